#include "EmbedCore.h"
#include "Filler.h"
#include "PlusMinusOne.h"
#include "StealthAdapter.h"
#include "SyntheticTiles.h"
#include "TodayFormat.h"
#include "protection/HillCost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <thread>

namespace detect {
namespace {

using testing::smoothTile;

TEST(TodayFormat, FillerIsTheEnginesFirstFiller) {
    // The engine's generator is per thread and starts afresh in a new one.
    std::vector<uint8_t> engine(5000);
    std::thread([&] { vokb::nextFillerBytes(engine.data(), engine.size()); }).join();
    EXPECT_EQ(fillerBytes(engine.size()), engine);
}

TEST(TodayFormat, PayloadThenFillerInTheLowPairsFromTheBottomRow) {
    const Tile cover = smoothTile(32, 5);
    for (Protection protection : {Protection::Plain, Protection::Strong}) {
        const std::vector<uint8_t> payload = todayPayload(cover, protection, 0.05, 9);
        // 0.05 bits of 3072 colour bytes: 19 bytes, less than the header alone.
        EXPECT_EQ(std::string(payload.begin(), payload.begin() + 14), "+/VOKE01170+++");
        Tile stego = cover;
        carryWithFiller(stego, payload);
        const std::vector<uint8_t> filler = fillerBytes(stego.colourBytes() / 4);
        size_t u = 0;
        for (int row = stego.height - 1; row >= 0; --row) {
            for (int k = 0; k < stego.width * 3; ++k, ++u) {
                const uint8_t source =
                    u / 4 < payload.size() ? payload[u / 4] : filler[u / 4 - payload.size()];
                const auto before = cover.bgr[static_cast<size_t>(row * stego.width * 3 + k)];
                const auto after = stego.bgr[static_cast<size_t>(row * stego.width * 3 + k)];
                ASSERT_EQ(after & 3, (source >> (2 * (u % 4))) & 3) << u;
                ASSERT_LE(std::abs(after - before), 2) << u;
            }
        }
    }
}

TEST(TodayFormat, PayloadLengthFollowsTheRate) {
    const Tile cover(256, 256);
    for (double rate : {0.01, 0.05, 0.1}) {
        const auto bytes = static_cast<size_t>(rate * 256 * 256 * 3 / 8);
        EXPECT_EQ(todayPayload(cover, Protection::Plain, rate, 1).size(), bytes) << rate;
        const std::vector<uint8_t> strong = todayPayload(cover, Protection::Strong, rate, 1);
        EXPECT_EQ(strong.size(), bytes) << rate;
        EXPECT_EQ(strong[98], 1) << "the sealed layout's version follows the header";
    }
}

// Every stealth row changes bytes by one only, about as often as its coding promises.
TEST(StealthRows, ChangeByOneWithinTheirBudget) {
    const Tile cover = smoothTile(96, 11);
    const double rate = 0.1;
    const double bits = rate * static_cast<double>(cover.colourBytes());
    for (const StealthEmbedding& row : stealthEmbeddings()) {
        Tile stego = cover;
        row.embed(stego, rate, 3);
        size_t changes = 0;
        for (size_t i = 0; i < cover.bgr.size(); ++i) {
            const int d = std::abs(stego.bgr[i] - cover.bgr[i]);
            ASSERT_LE(d, 1) << row.name;
            changes += d;
        }
        // Random ±1 makes one change per two bits; an adaptive code fewer.
        EXPECT_GT(changes, bits / 50) << row.name;
        EXPECT_LT(changes, bits * 0.6) << row.name;
    }
}

TEST(PlusMinusOne, HillCostsAreLowerInTexture) {
    Tile tile = smoothTile(64, 2);
    Rng rng(4);
    for (int y = 0; y < 64; ++y) {
        for (int x = 32; x < 64; ++x) {
            for (int c = 0; c < 3; ++c) {
                tile.at(x, y, c) = static_cast<uint8_t>(64 + rng.below(128));
            }
        }
    }
    const std::vector<double> costs = hillCosts(tile);
    const auto cost = [&](int x, int y) { return costs[static_cast<size_t>(y * 64 + x) * 3]; };
    EXPECT_GT(cost(5, 30), 10.0 * cost(58, 30));
}

// The coder's costs (floats, in strips) are the benchmark's reference HILL costs.
TEST(PlusMinusOne, TheCodersHillCostsAreTheReference) {
    Tile tile = smoothTile(70, 3);
    Rng rng(5);
    for (size_t i = tile.bgr.size() / 2; i < tile.bgr.size(); ++i) {
        tile.bgr[i] = static_cast<uint8_t>(rng.below(256));
    }
    const std::vector<double> reference = hillCosts(tile);
    std::vector<float> coder(tile.bgr.size());
    brindmar::HillCost(tile.bgr.data(), 70, 70).rows(0, 70, coder.data());
    for (size_t i = 0; i < coder.size(); ++i) {
        ASSERT_NEAR(coder[i], reference[i], 1e-4 * reference[i]) << i;
    }
}

// With equal costs every byte changes with the same probability p, and the payload is the
// ternary entropy of p per byte: the share of changed bytes must be 2p for the entropy asked.
TEST(PlusMinusOne, AdaptiveSenderCarriesThePayloadAsked) {
    const Tile cover = smoothTile(160, 8);
    const std::vector<double> costs(cover.colourBytes(), 3.0);
    for (double rate : {0.01, 0.1, 0.5}) {
        double lo = 0.0;
        double hi = 1.0 / 3.0;
        for (int i = 0; i < 60; ++i) {
            const double p = (lo + hi) / 2.0;
            const double h = -2.0 * p * std::log2(p) - (1.0 - 2.0 * p) * std::log2(1.0 - 2.0 * p);
            (h < rate ? lo : hi) = p;
        }
        Tile stego = cover;
        const double bytes = static_cast<double>(cover.colourBytes());
        const size_t changes = simulateAdaptive(stego, costs, rate * bytes, 21);
        EXPECT_NEAR(static_cast<double>(changes) / bytes, 2.0 * lo, 0.05 * 2.0 * lo + 5e-4) << rate;
    }
}

TEST(PlusMinusOne, ChangesAtTheEndsOfTheRangeStayInside) {
    Tile tile(40, 40);
    for (size_t i = 0; i < tile.bgr.size(); ++i) {
        tile.bgr[i] = i % 2 == 0 ? 0 : 255;
    }
    Tile random = tile;
    embedRandomPlusMinusOne(random, static_cast<double>(random.colourBytes()), 1);
    Tile adaptive = tile;
    std::vector<double> flatCosts(tile.colourBytes(), 1.0);
    const size_t changes = simulateAdaptive(adaptive, flatCosts, 0.5 * 4800, 1);
    EXPECT_GT(changes, 0u);
    for (const Tile* t : {&random, &adaptive}) {
        for (size_t i = 0; i < tile.bgr.size(); ++i) {
            if (i % 2 == 0) {
                ASSERT_LE(t->bgr[i], 1) << i;
            } else {
                ASSERT_GE(t->bgr[i], 254) << i;
            }
        }
    }
}

} // namespace
} // namespace detect
