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
    // Squares and their neighbours, where the split and the walk-back change. From 1000 on,
    // another key must give another order: about one match in n by chance.
    for (uint32_t n :
         {1u, 2u, 3u, 4u, 5u, 8u, 9u, 10u, 255u, 256u, 257u, 1000u, 3000u, 4097u, 65535u}) {
        const auto key = keyOf(static_cast<unsigned char>(n));
        const auto otherKey = keyOf(static_cast<unsigned char>(n + 1));
        const KeyedPermutation permutation(key.data(), n);
        const KeyedPermutation other(otherKey.data(), n);
        uint32_t same = 0;
        std::vector<bool> seen(n);
        for (uint32_t i = 0; i < n; ++i) {
            const uint32_t x = permutation(i);
            ASSERT_LT(x, n) << "n " << n;
            ASSERT_FALSE(seen[x]) << "n " << n << " index " << i;
            seen[x] = true;
            same += other(i) == x ? 1 : 0;
        }
        if (n >= 1000) {
            EXPECT_LT(same, 20u) << "n " << n;
        }
    }
}

// As many places as the old fixed salt had: a list left out of the walk, spread or bunched.
constexpr uint64_t kSaltPositions = 480;

// Every colour byte but the salt's once, whatever the picture's size and wherever the salt lies:
// spread as the format puts it, or bunched so that one slice of the walk holds many of them.
TEST(KeyedWalk, SkipsTheSaltAndCoversTheRest) {
    struct Case {
        uint64_t colourBytes;
        bool bunched;
    };
    // Too few bytes for a slice each (a keyed permutation alone), one byte a slice and a few
    // left over, slices of many bytes.
    for (const Case c :
         {Case{480 + 7, false}, Case{3 * 17 * 13, false}, Case{480 + 4096 + 5, false},
          Case{480 + 4096 + 5, true}, Case{3 * 300 * 200, false}, Case{3 * 300 * 200, true},
          Case{3 * 1000 * 701, false}}) {
        SCOPED_TRACE(testing::Message() << c.colourBytes << (c.bunched ? " bunched" : ""));
        std::vector<uint64_t> salt;
        if (c.bunched) {
            for (uint64_t k = 0; k < kSaltPositions; ++k) {
                salt.push_back(c.colourBytes / 2 + k * (k % 3 == 0 ? 1 : 2));
            }
        } else {
            const KeyedPermutation spread(keyOf(1).data(), static_cast<uint32_t>(c.colourBytes));
            for (uint32_t k = 0; k < kSaltPositions; ++k) {
                salt.push_back(spread(k));
            }
        }
        const std::set<uint64_t> saltSet(salt.begin(), salt.end());
        ASSERT_EQ(saltSet.size(), salt.size());
        const auto key = keyOf(7);
        const KeyedWalk walk(key.data(), c.colourBytes, salt);
        ASSERT_EQ(walk.size(), c.colourBytes - salt.size());
        std::vector<uint32_t> bytes(walk.size());
        walk.bytesAt(0, static_cast<uint32_t>(walk.size()), bytes.data());
        std::vector<bool> seen(c.colourBytes);
        for (uint64_t step = 0; step < walk.size(); ++step) {
            const uint64_t at = bytes[step];
            ASSERT_LT(at, c.colourBytes);
            ASSERT_FALSE(seen[at]) << "step " << step;
            ASSERT_EQ(saltSet.count(at), 0u) << "the walk reached the salt at step " << step;
            seen[at] = true;
            if (step % 97 == 0) {
                ASSERT_EQ(walk(step), at) << "step " << step;
            }
        }
        // Stretches looked up from anywhere, long or a few passes through the slices, land
        // where the whole walk does.
        for (const uint64_t length :
             {walk.size() - walk.size() / 3 - 1, uint64_t{4096}, uint64_t{999}}) {
            std::vector<uint32_t> stretch(length);
            for (uint64_t from = walk.size() / 3 + 1; from < walk.size(); from += length) {
                const auto count = static_cast<uint32_t>(std::min(length, walk.size() - from));
                walk.bytesAt(from, count, stretch.data());
                ASSERT_TRUE(std::equal(stretch.begin(), stretch.begin() + count,
                                       bytes.begin() + static_cast<std::ptrdiff_t>(from)))
                    << "stretches of " << length << " from " << from;
            }
        }
    }
    // Too small for the salt: no positions at all rather than a partial salt.
    EXPECT_TRUE(saltPositions(1, 159, kSaltPositions).empty());
    EXPECT_EQ(saltPositions(1, 160, kSaltPositions).size(), kSaltPositions);
    EXPECT_EQ(saltPositions(40, 30, 480), saltPositions(40, 30, 480));
    // Same count of bytes, another shape: other positions.
    EXPECT_NE(saltPositions(40, 30, 480), saltPositions(30, 40, 480));
}

// What makes the walk fast must hold: a step a pass later lands a byte further on in the same
// slice (salt positions apart, and once a slice, where its keyed start wraps round).
TEST(KeyedWalk, APassLaterIsTheNextByteOfTheSameSlice) {
    const uint32_t width = 1000;
    const uint32_t height = 700;
    const uint64_t colourBytes = uint64_t{width} * height * 3;
    const auto key = keyOf(9);
    const KeyedWalk walk(key.data(), colourBytes, saltPositions(width, height, kSaltPositions));
    const uint64_t sliceLength = walk.size() / KeyedWalk::kSlices;
    std::vector<uint32_t> bytes(walk.size());
    walk.bytesAt(0, static_cast<uint32_t>(bytes.size()), bytes.data());
    uint64_t next = 0;
    uint64_t wraps = 0;
    for (uint64_t step = 0; step + KeyedWalk::kSlices < sliceLength * KeyedWalk::kSlices;
         step += 7) {
        const uint64_t here = bytes[step];
        const uint64_t later = bytes[step + KeyedWalk::kSlices];
        next += later > here && later - here <= 3 ? 1 : 0;
        wraps += later < here ? 1 : 0;
    }
    const uint64_t looked = (sliceLength - 1) * KeyedWalk::kSlices / 7;
    EXPECT_GT(next, looked * 99 / 100);
    EXPECT_LE(wraps, looked / (sliceLength - 1) * 2);
}

} // namespace
