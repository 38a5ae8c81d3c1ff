#include "CoderCosts.h"
#include "LayerCosts.h"
#include "PixelSumCoder.h"
#include "SyntheticTiles.h"
#include "protection/Trellis.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <random>

namespace detect {
namespace {

TEST(PixelSum, PricesTakeTheCheaperWayWithDryBytesOnly) {
    struct Case {
        std::vector<double> single, own;
        float triple;
        float cost;
        int8_t way;
    };
    const float never = std::numeric_limits<float>::infinity();
    const Case cases[] = {
        {{5, 3, 4}, {2, 2, 2}, 1, 3.0f, 1},         // one channel is cheaper than all three
        {{9, 8, 7}, {1, 2, 3}, 1, 6.0f, kAllThree}, // all three, priced by their own costs
        {{kWet, 9, 8}, {kWet, 1, 1}, 1, 8.0f, 2},   // a wet byte rules all three out
        {{4, 4, 4}, {1, 1, 2}, 1, 4.0f, 0},         // equal ways: the single channel, the first
        {{kWet, kWet, kWet}, {kWet, kWet, kWet}, 1, brindmar::kWetCost, kNoMove},
        {{9, 8, 7}, {1, 2, 3}, 1.5f, 7.0f, 2},          // priced up past the cheapest channel
        {{9, 8, 10}, {1, 2, 1}, 1.5f, 6.0f, kAllThree}, // priced up, still the cheaper
        {{9, 8, 7}, {0.1, 0.1, 0.1}, never, 7.0f, 2},   // one channel only
    };
    for (const Case& c : cases) {
        const PixelPrices prices = pixelPrices(c.single, c.own, c.triple);
        EXPECT_EQ(prices.cost[0], c.cost) << c.single[0] << ' ' << c.triple;
        EXPECT_EQ(prices.way[0], c.way) << c.single[0] << ' ' << c.triple;
    }
}

TEST(PixelSum, CouplingLowersTheWaysThatFollowTheirNeighbours) {
    struct Case {
        std::vector<int8_t> lean;
        int d;
        float cost;
        int8_t way;
    };
    const std::vector<double> single = {8, 6, 7};
    const std::vector<double> own = {3, 3, 3};
    const Case cases[] = {
        {{0, 0, 0}, 1, 6.0f, 1},             // no leaning: the cheapest channel
        {{2, 0, 0}, 1, 2.0f, 0},             // blue leans up, the move goes up: 8 / 4
        {{2, 0, 0}, -1, 6.0f, 1},            // the move goes down: no help
        {{-1, -1, -3}, 1, 2.25f, kAllThree}, // all three lean down and move down: 9 / 4
        {{-1, 0, -1}, 1, 4.5f, kAllThree},   // two lean the joint way: 0.75 + 3 + 0.75
    };
    for (const Case& c : cases) {
        const PixelMove move = cheaperMove(single.data(), own.data(), c.lean.data(), c.d, 4.0f);
        EXPECT_EQ(move.cost, c.cost) << int{c.lean[0]} << c.d;
        EXPECT_EQ(move.way, c.way) << int{c.lean[0]} << c.d;
    }
}

// Whatever the picture, key and rate: the message comes back from the pixels alone; each changed
// pixel moved its sum by one, with one channel or all three the other way; no wet byte moved.
TEST(PixelSum, ReadsBackWithMovesOfOneChannelOrAllThree) {
    for (uint64_t seed = 1; seed <= 6; ++seed) {
        Tile cover = testing::smoothTile(64, seed);
        for (int y = 0; y < 8; ++y) { // a clipped corner and a flat strip
            for (int x = 0; x < 16; ++x) {
                cover.at(x, y, static_cast<int>(seed % 3)) = 255;
                cover.at(x + 32, y + 40, 1) = 100;
            }
        }
        const double rate = 0.02 * static_cast<double>(seed);
        Rng rng(seed * 31);
        const PixelSumKey key = randomPixelSumKey(rng);
        std::vector<unsigned char> message(
            static_cast<size_t>(rate * static_cast<double>(cover.colourBytes()) / 8));
        for (unsigned char& b : message) {
            b = static_cast<unsigned char>(rng.next());
        }
        const std::vector<double> costs = coderCosts(cover);
        // Uncoupled in one pass, or coupled in three; the all-three move as cheap as its
        // bytes, dearer, or never.
        const float factors[] = {1.0f, 2.0f, std::numeric_limits<float>::infinity()};
        const PixelSumShape shape{seed % 2 == 0 ? 1 : 3, seed % 2 == 0 ? 1.0f : 4.0f,
                                  factors[seed % 3]};
        Tile stego = cover;
        const PixelSumChanges made =
            pixelSumEmbed(stego, costs, coderCosts(cover, false, true), key, message, shape);
        ASSERT_TRUE(made.carried) << seed;
        EXPECT_EQ(pixelSumRead(stego, key, message.size(), shape.passes), message) << seed;
        uint64_t moved = 0;
        uint64_t triples = 0;
        for (size_t p = 0; p < cover.colourBytes() / 3; ++p) {
            int sum = 0;
            int changed = 0;
            for (size_t b = 3 * p; b < 3 * p + 3; ++b) {
                const int d = stego.bgr[b] - cover.bgr[b];
                ASSERT_LE(std::abs(d), 1) << b;
                ASSERT_TRUE(d == 0 || costs[b] != kWet) << b;
                sum += d;
                changed += d != 0 ? 1 : 0;
            }
            ASSERT_TRUE(changed == 0 || (changed == 1 && std::abs(sum) == 1) ||
                        (changed == 3 && std::abs(sum) == 3))
                << p;
            moved += changed != 0 ? 1 : 0;
            triples += changed == 3 ? 1 : 0;
        }
        EXPECT_EQ(made.moves, moved) << seed;
        EXPECT_EQ(made.triples, triples) << seed;
        EXPECT_TRUE(shape.triple != factors[2] || triples == 0) << seed;
        EXPECT_GT(moved, 0u) << seed;
    }
}

// Two binary layers, the first priced as a move there also spends the pixel's chance in the
// second and carrying what the ternary sender puts in bit 1, are that sender exactly; split half
// and half at the plain prices they can only do worse.
TEST(PixelSum, IdealLayersAreTheTernarySender) {
    std::mt19937 random(0x1A7E5);
    for (const double share : {0.01, 0.1, 0.5}) {
        std::vector<double> costs(4000);
        for (double& c : costs) {
            c = random() % 10 == 0 ? kWet : 0.05 + static_cast<double>(random() % 10000) / 500.0;
        }
        const double bits = share * static_cast<double>(costs.size());
        const double lambda = lambdaFor(costs, bits, false);
        std::vector<double> first(costs.size());
        double firstBits = 0;
        for (size_t i = 0; i < costs.size(); ++i) {
            first[i] = bitOneCost(costs[i], lambda);
            firstBits += costs[i] == kWet ? 0.0 : binaryBits(oneWay(lambda, costs[i]));
        }
        const Expected ternary = ternaryBound(costs, bits);
        const Expected ideal = layeredBound(costs, first, firstBits, bits - firstBits);
        EXPECT_NEAR(ideal.moves / ternary.moves, 1.0, 1e-6) << share;
        EXPECT_NEAR(ideal.distortion / ternary.distortion, 1.0, 1e-6) << share;
        const Expected halves = layeredBound(costs, costs, bits / 2, bits / 2);
        EXPECT_GE(halves.distortion, ternary.distortion * (1 - 1e-9)) << share;
    }
}

} // namespace
} // namespace detect
