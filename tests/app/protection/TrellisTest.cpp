// The trellis search must find the cheapest changes that carry the message, and the costs must
// not depend on how a picture is cut into strips, since threads cost it strip by strip.
#include "protection/Trellis.h"
#include "protection/HillCost.h"

#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <vector>

using namespace brindmar;

namespace {

std::vector<unsigned char> randomBytes(std::mt19937& random, size_t n) {
    std::vector<unsigned char> bytes(n);
    for (unsigned char& b : bytes) {
        b = static_cast<unsigned char>(random());
    }
    return bytes;
}

// Small codes against every set of changes: the search's changes carry the message and cost no
// more than the cheapest set that does; large ones across segments carry it too.
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
            cost[j] = 0.25f * static_cast<float>(1 + random() % 40);
            column[j] = trellisColumn(cost[j], low[j] != 0); // quarters keep every bit
        }
        const std::vector<unsigned char> message = randomBytes(random, (bits + 7) / 8);
        const auto carries = [&](const std::vector<uint8_t>& bitsNow) {
            const std::vector<unsigned char> read = trellisSyndrome(code, bitsNow.data(), bits);
            for (uint64_t i = 0; i < bits; ++i) {
                if (((read[i / 8] ^ message[i / 8]) >> (i % 8) & 1) != 0) {
                    return false;
                }
            }
            return true;
        };
        const TrellisFlips flips = trellisEmbed(code, column.data(), message.data(), bits);
        ASSERT_TRUE(flips.ok);
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
                if ((set >> j) & 1) {
                    trial[j] ^= 1;
                    price += cost[j];
                }
            }
            if (price < least && carries(trial)) {
                least = price;
            }
        }
        EXPECT_NEAR(spent, least, 1e-3) << "round " << round;
    }
}

TEST(HillCost, StripsAgreeWithTheWholeAndTextureIsCheaper) {
    std::mt19937 random(8);
    struct Size {
        uint32_t width, height;
    };
    for (const Size size : {Size{1, 1}, Size{1, 40}, Size{40, 1}, Size{2, 2}, Size{64, 45}}) {
        const uint32_t w = size.width;
        const uint32_t h = size.height;
        const size_t row = size_t{w} * 3;
        // Left half flat with a slight slope, right half noise.
        std::vector<unsigned char> picture(row * h);
        for (size_t i = 0; i < picture.size(); ++i) {
            const bool busy = (i % row) >= row / 2;
            picture[i] = static_cast<unsigned char>(busy ? random() % 256 : 100 + (i / row) / 8);
        }
        const HillCost hill(picture.data(), w, h);
        std::vector<float> whole(picture.size());
        hill.rows(0, h, whole.data());
        const uint32_t split = h / 3;
        std::vector<float> parts(picture.size());
        hill.rows(split, h, parts.data() + split * row);
        hill.rows(0, split, parts.data());
        EXPECT_EQ(parts, whole) << w << " x " << h;
        for (float c : whole) {
            ASSERT_TRUE(std::isfinite(c) && c > 0);
        }
        if (w == 64) {
            EXPECT_GT(whole[22 * row + 3], 10 * whole[22 * row + row - 3]);
        }
    }
}

} // namespace
