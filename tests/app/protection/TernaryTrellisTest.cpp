// Ternary embedding: whatever the values, prices and message, the reader must get the message
// back from values each moved by at most one, and the embed must report what it moved.
#include "protection/TernaryTrellis.h"

#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <vector>

using namespace brindmar;

namespace {

TEST(TernaryTrellis, CarriesTheMessageWithChangesOfOne) {
    std::mt19937 random(2027);
    for (int round = 0; round < 24; ++round) {
        const size_t n = 2000 + random() % 6000;
        std::vector<uint8_t> cover(n);
        std::vector<float> costs(n);
        for (size_t i = 0; i < n; ++i) {
            // A share of saturated values, which can move one way only.
            const unsigned pick = random() % 16;
            cover[i] = pick == 0 ? 0 : pick == 1 ? 255 : static_cast<uint8_t>(random());
            costs[i] = std::exp(static_cast<float>(random() % 1000) / 150.0f);
        }
        const double rate = 0.01 + 0.3 * static_cast<double>(random() % 100) / 100.0;
        std::vector<uint8_t> message(static_cast<size_t>(rate * static_cast<double>(n)) + 1);
        for (uint8_t& b : message) {
            b = random() & 1;
        }
        const int height = 6 + round % 4;
        const uint64_t seed = random();
        std::vector<uint8_t> stego = cover;
        const TernaryResult made =
            ternaryEmbed(stego.data(), costs.data(), n, message, height, seed);
        ASSERT_TRUE(made.ok) << round;
        EXPECT_EQ(made.plan.bitsOne + made.plan.bitsTwo, message.size());
        size_t changed = 0;
        for (size_t i = 0; i < n; ++i) {
            const int d = stego[i] - cover[i];
            ASSERT_LE(std::abs(d), 1) << i;
            changed += d != 0 ? 1 : 0;
        }
        EXPECT_EQ(changed, made.changes);
        const TernaryCode code = ternaryCodeFor(made.plan, n, height, seed);
        EXPECT_EQ(ternaryExtract(code, stego.data(), n, made.plan.bitsOne, made.plan.bitsTwo),
                  message)
            << round;
    }
}

// The point of the directions: on prices spread as a photograph's are, the changes stay near
// what the payload-limited sender with the same prices expects, and well under the one change
// per two bits of plain ±1.
TEST(TernaryTrellis, ChangesStayNearTheSendersBound) {
    std::mt19937 random(7);
    const size_t n = 40000;
    std::vector<uint8_t> values(n);
    std::vector<float> costs(n);
    for (size_t i = 0; i < n; ++i) {
        values[i] = static_cast<uint8_t>(1 + random() % 254);
        costs[i] = std::exp(static_cast<float>(random() % 1000) / 150.0f);
    }
    for (const double rate : {0.02, 0.05, 0.1}) {
        std::vector<uint8_t> message(static_cast<size_t>(rate * static_cast<double>(n)));
        for (uint8_t& b : message) {
            b = random() & 1;
        }
        std::vector<uint8_t> stego = values;
        const TernaryResult made = ternaryEmbed(stego.data(), costs.data(), n, message, 8, 3);
        ASSERT_TRUE(made.ok);
        EXPECT_GT(made.plan.bitsTwo, 0u);
        EXPECT_LT(static_cast<double>(made.changes), 1.4 * made.plan.expectedChanges) << rate;
        EXPECT_LT(static_cast<double>(made.changes), 0.3 * static_cast<double>(message.size()));
    }
}

} // namespace
