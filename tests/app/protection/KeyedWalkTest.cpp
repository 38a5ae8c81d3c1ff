// The walk must visit every colour byte but the salt's exactly once, for any picture size,
// and another key must give another order; the salt positions depend on the size alone.
#include "protection/KeyedWalk.h"

#include <algorithm>
#include <array>
#include <gtest/gtest.h>
#include <set>
#include <vector>

using namespace brindmar;

namespace {

std::array<unsigned char, 32> keyOf(unsigned char seed) {
    std::array<unsigned char, 32> key{};
    for (size_t i = 0; i < key.size(); ++i) {
        key[i] = static_cast<unsigned char>(seed * 31 + i);
    }
    return key;
}

TEST(KeyedWalk, PermutationVisitsEveryIndexOnceAtEverySize) {
    // Powers of two and their neighbours, where the Feistel domain and the walk-back change.
    // Squares and their neighbours, where the split and the walk-back change; batches that
    // start anywhere must agree with one index at a time, and the inverse must undo both.
    // From 1000 on, another key must give another order: about one match in n by chance.
    for (uint32_t n :
         {1u, 2u, 3u, 4u, 5u, 8u, 9u, 10u, 255u, 256u, 257u, 1000u, 3000u, 4097u, 65535u}) {
        const auto key = keyOf(static_cast<unsigned char>(n));
        const auto otherKey = keyOf(static_cast<unsigned char>(n + 1));
        const KeyedPermutation permutation(key.data(), n);
        const KeyedPermutation other(otherKey.data(), n);
        uint32_t same = 0;
        std::vector<uint32_t> batch(n);
        std::vector<uint32_t> back(n);
        const uint32_t start = n / 3;
        permutation.forward(start, n - start, batch.data());
        permutation.backward(start, n - start, back.data());
        std::vector<bool> seen(n);
        for (uint32_t i = 0; i < n; ++i) {
            const uint32_t x = permutation(i);
            ASSERT_LT(x, n) << "n " << n;
            ASSERT_FALSE(seen[x]) << "n " << n << " index " << i;
            seen[x] = true;
            ASSERT_EQ(permutation.inverse(x), i) << "n " << n;
            if (i >= start) {
                ASSERT_EQ(batch[i - start], x) << "n " << n << " index " << i;
                ASSERT_EQ(back[i - start], permutation.inverse(i)) << "n " << n << " value " << i;
            }
            same += other(i) == x ? 1 : 0;
        }
        if (n >= 1000) {
            EXPECT_LT(same, 20u) << "n " << n;
        }
    }
}

TEST(KeyedWalk, SkipsTheSaltAndCoversTheRest) {
    struct Size {
        uint32_t width, height;
    };
    // The last size spans several of the stretches the walk looks its skips up by.
    for (const Size size :
         {Size{1, 160}, Size{160, 1}, Size{1, 400}, Size{17, 13}, Size{40, 30}, Size{300, 200}}) {
        const uint64_t colourBytes = uint64_t{size.width} * size.height * 3;
        const std::vector<uint64_t> salt = saltPositions(size.width, size.height);
        ASSERT_EQ(salt.size(), kSaltPositions);
        EXPECT_EQ(salt, saltPositions(size.width, size.height));
        const std::set<uint64_t> saltSet(salt.begin(), salt.end());
        ASSERT_EQ(saltSet.size(), salt.size());
        const auto key = keyOf(7);
        const KeyedWalk walk(key.data(), colourBytes, salt);
        ASSERT_EQ(walk.size(), colourBytes - salt.size());
        std::vector<bool> seen(colourBytes);
        for (uint64_t step = 0; step < walk.size(); ++step) {
            const uint64_t at = walk(step);
            ASSERT_LT(at, colourBytes);
            ASSERT_FALSE(seen[at]);
            ASSERT_EQ(saltSet.count(at), 0u) << "the walk reached the salt at step " << step;
            seen[at] = true;
        }
        // The sweep meets every byte once, at the step the walk gives for it.
        uint64_t swept = 0;
        walk.sweep([&](uint64_t step, uint64_t byte) {
            EXPECT_EQ(walk(step), byte);
            ++swept;
        });
        EXPECT_EQ(swept, walk.size());
        // Stretches of steps looked up at once land where the steps one at a time do.
        std::vector<uint32_t> stretch(walk.size());
        for (const uint64_t from : {uint64_t{0}, walk.size() / 2}) {
            const auto count = static_cast<uint32_t>(walk.size() - from);
            walk.bytesAt(from, count, stretch.data());
            for (uint32_t k = 0; k < count; ++k) {
                ASSERT_EQ(stretch[k], walk(from + k)) << "step " << from + k;
            }
        }
        // Swept in two parts split anywhere (salt positions included), the same pairs.
        for (const uint64_t split : {salt[0], salt[1] + 1, colourBytes / 3}) {
            uint64_t parts = 0;
            const auto check = [&](uint64_t step, uint64_t byte) {
                EXPECT_EQ(walk(step), byte);
                ++parts;
            };
            walk.sweepBytes(0, split, check);
            walk.sweepBytes(split, colourBytes, [&](uint64_t step, uint64_t byte) {
                EXPECT_GE(byte, split);
                check(step, byte);
            });
            EXPECT_EQ(parts, walk.size()) << "split at " << split;
        }
    }
    // Too small for the salt: no positions at all rather than a partial salt.
    EXPECT_TRUE(saltPositions(1, 159).empty());
    // Same count of bytes, another shape: other positions.
    EXPECT_NE(saltPositions(40, 30), saltPositions(30, 40));
}

} // namespace
