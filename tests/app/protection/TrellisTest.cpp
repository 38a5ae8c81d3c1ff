// The trellis search must find the cheapest changes that carry the message, on any processor,
// and the reader must read what the columns carry.
#include "protection/Trellis.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <vector>

using namespace brindmar;

namespace {

std::vector<unsigned char> randomBytes(std::mt19937& random, size_t n) {
    std::vector<unsigned char> bytes(n);
    std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<unsigned char>(random()); });
    return bytes;
}

// Small codes against every set of changes: the search's changes, in rising order, carry the
// message and cost no more than the cheapest set that does; large ones across segments carry it.
TEST(Trellis, CarriesTheMessageAtTheLeastCost) {
    std::mt19937 random(2026);
    for (int round = 0; round < 60; ++round) {
        const bool small = round < 50;
        const auto width = static_cast<uint32_t>(2 + random() % (small ? 3 : 9));
        const uint64_t bits = small ? 1 + random() % (12 / width) : 2 * kSegmentBits + 77;
        const size_t columns = static_cast<size_t>(bits * width);
        const TrellisCode code = trellisCode(width, randomBytes(random, width).data());
        std::vector<uint8_t> low(columns);
        std::vector<uint16_t> column(columns);
        std::vector<float> cost(columns);
        for (size_t j = 0; j < columns; ++j) {
            low[j] = random() & 1;
            // Quarters keep every bit; the large rounds span the prices from the cheapest to
            // the capped, as photographs do.
            cost[j] = small ? 0.25f * static_cast<float>(1 + random() % 40)
                            : std::ldexp(1.0f + static_cast<float>(random() % 64) / 64.0f,
                                         static_cast<int>(random() % 40) - 20);
            column[j] = trellisColumn(cost[j], low[j] != 0);
        }
        const std::vector<unsigned char> message = randomBytes(random, (bits + 7) / 8);
        std::vector<unsigned char> wanted = message; // the syndrome leaves bits past the end 0
        wanted.back() = static_cast<unsigned char>(wanted.back() & (0xffu >> (7 - (bits - 1) % 8)));
        const auto carries = [&](const std::vector<uint8_t>& now) {
            return trellisSyndrome(code, now.data(), bits) == wanted;
        };
        const TrellisFlips flips = trellisEmbed(code, column.data(), message.data(), bits);
        ASSERT_TRUE(flips.ok);
        for (const int narrower : {256, 128, 0}) {
            gTrellisVectorBits = narrower;
            const TrellisFlips other = trellisEmbed(code, column.data(), message.data(), bits);
            gTrellisVectorBits = 512;
            ASSERT_EQ(other.columns, flips.columns) << "round " << round << ", " << narrower;
        }
        std::vector<uint8_t> changed = low;
        float spent = 0;
        for (size_t k = 0; k < flips.columns.size(); ++k) {
            ASSERT_LT(flips.columns[k], columns);
            ASSERT_TRUE(k == 0 || flips.columns[k - 1] < flips.columns[k]);
            changed[flips.columns[k]] ^= 1;
            spent += cost[flips.columns[k]];
        }
        ASSERT_TRUE(carries(changed)) << "round " << round;
        if (!small) {
            EXPECT_LT(flips.columns.size(), bits / 2) << "far from the code's efficiency";
            continue;
        }
        float least = INFINITY;
        for (uint32_t set = 0; set < (1u << columns); ++set) {
            std::vector<uint8_t> trial = low;
            float price = 0;
            for (size_t j = 0; j < columns; ++j) {
                trial[j] = static_cast<uint8_t>(trial[j] ^ ((set >> j) & 1));
                price += ((set >> j) & 1) != 0 ? cost[j] : 0;
            }
            least = price < least && carries(trial) ? price : least;
        }
        EXPECT_NEAR(spent, least, 1e-3) << "round " << round;
    }
}

// The format's own description of a segment's syndrome, bit by bit.
std::vector<unsigned char> syndromeAsDescribed(const TrellisCode& code,
                                               const std::vector<uint8_t>& low, uint64_t bits) {
    std::vector<unsigned char> message((bits + 7) / 8);
    for (uint64_t first = 0; first < bits; first += kSegmentBits) {
        const uint64_t b = std::min(kSegmentBits, bits - first);
        for (uint64_t i = 0; i < b; ++i) {
            for (uint32_t c = 0; c < code.width; ++c) {
                const bool set = low[(first + i) * code.width + c] != 0;
                for (uint64_t r = 0; set && r < std::min<uint64_t>(7, b - i); ++r) {
                    const uint64_t at = first + i + r;
                    message[at / 8] = static_cast<unsigned char>(
                        message[at / 8] ^ ((code.submatrix[c] >> r & 1u) << at % 8));
                }
            }
        }
    }
    return message;
}

// The reader, segment by segment on several threads, reads what the format says the columns
// carry, across segments and a short last one.
TEST(Trellis, ReadsTheMessageTheColumnsCarry) {
    std::mt19937 random(26);
    for (int round = 0; round < 40; ++round) {
        const auto width = static_cast<uint32_t>(2 + random() % 31);
        const uint64_t bits = round < 10 ? 1 + random() % 20 : 1 + random() % (3 * kSegmentBits);
        const TrellisCode code = trellisCode(width, randomBytes(random, width).data());
        std::vector<uint8_t> low(static_cast<size_t>(bits * width));
        for (uint8_t& bit : low) {
            bit = random() % 3 == 0 ? 1 : 0;
        }
        EXPECT_EQ(trellisSyndrome(code, low.data(), bits), syndromeAsDescribed(code, low, bits))
            << "round " << round << " width " << width;
    }
}

// Wet columns are never changed, on any processor. Where a few are wet the message still goes
// through; where all of a segment's are, the search says it could not carry it rather than
// hand back changes that do not make the message.
TEST(Trellis, NeverChangesAWetColumn) {
    struct Case {
        unsigned wetInSixteen;
        bool carried;
    };
    std::mt19937 random(7);
    for (const Case c : {Case{0, true}, Case{2, true}, Case{16, false}}) {
        const uint32_t width = 6;
        const uint64_t bits = kSegmentBits + 300;
        const TrellisCode code = trellisCode(width, randomBytes(random, width).data());
        std::vector<uint16_t> column(static_cast<size_t>(bits * width));
        std::vector<bool> wet(column.size());
        for (size_t j = 0; j < column.size(); ++j) {
            wet[j] = random() % 16 < c.wetInSixteen;
            const float cost = static_cast<float>(1 + random() % 50);
            column[j] = trellisColumn(wet[j] ? kWetCost : cost, (random() & 1) != 0);
        }
        const std::vector<unsigned char> message = randomBytes(random, (bits + 7) / 8);
        for (const int vectors : {512, 256, 128, 0}) {
            gTrellisVectorBits = vectors;
            const TrellisFlips flips = trellisEmbed(code, column.data(), message.data(), bits);
            gTrellisVectorBits = 512;
            ASSERT_TRUE(flips.ok);
            EXPECT_EQ(flips.carried, c.carried) << c.wetInSixteen << ", " << vectors;
            for (const uint64_t j : flips.columns) {
                ASSERT_FALSE(wet[static_cast<size_t>(j)]) << "column " << j << ", " << vectors;
            }
        }
    }
}

} // namespace
