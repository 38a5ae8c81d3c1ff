// The costs must be HILL's, whatever the picture's size, and must not depend on how a picture is
// cut into strips, since threads cost it strip by strip.
#include "protection/HillCost.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <vector>

using namespace brindmar;

namespace {

// HILL written out plainly, in doubles: the residual with mirrored neighbours, its 3 x 3 mean,
// the reciprocal (in the costs' whole units, capped), its 15 x 15 mean, edges repeated.
std::vector<double> plainHill(const std::vector<unsigned char>& picture, int w, int h) {
    const auto mirror = [](int v, int n) { return n < 2 ? 0 : (v < 0 ? 1 : (v >= n ? n - 2 : v)); };
    const auto clamp = [](int v, int n) { return std::clamp(v, 0, n - 1); };
    const auto at = [&](int x, int y, int c) { return static_cast<size_t>((y * w + x) * 3 + c); };
    const auto mean = [&](const std::vector<double>& plane, int x, int y, int c, int r) {
        double sum = 0;
        for (int dy = -r; dy <= r; ++dy) {
            for (int dx = -r; dx <= r; ++dx) {
                sum += plane[at(clamp(x + dx, w), clamp(y + dy, h), c)];
            }
        }
        return sum / ((2 * r + 1) * (2 * r + 1));
    };
    constexpr int kKernel[3][3] = {{-1, 2, -1}, {2, -4, 2}, {-1, 2, -1}};
    std::vector<double> strength(picture.size()), reciprocal(picture.size()), cost(picture.size());
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        sum += kKernel[dy + 1][dx + 1] *
                               picture[at(mirror(x + dx, w), mirror(y + dy, h), c)];
                    }
                }
                strength[at(x, y, c)] = std::abs(sum);
            }
        }
    }
    for (size_t pass = 0; pass < 2; ++pass) {
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                for (int c = 0; c < 3; ++c) {
                    if (pass == 0) {
                        reciprocal[at(x, y, c)] = hillReciprocal(mean(strength, x, y, c, 1));
                    } else {
                        cost[at(x, y, c)] = mean(reciprocal, x, y, c, 7);
                    }
                }
            }
        }
    }
    return cost;
}

// Costs are HILL's, finite and positive, the same costed in strips as whole, and texture is
// cheaper. A picture narrower or shorter than the 15 x 15 window repeats its edges many times.
TEST(HillCost, StripsAgreeWithTheWholeAndTextureIsCheaper) {
    std::mt19937 random(8);
    using Size = std::pair<uint32_t, uint32_t>;
    for (const auto& [w, h] :
         {Size{1, 1}, Size{1, 40}, Size{40, 1}, Size{2, 2}, Size{1, 16}, Size{64, 45}}) {
        const size_t row = size_t{w} * 3;
        std::vector<unsigned char> picture(row * h); // left half a slight slope, right half noise
        for (size_t i = 0; i < picture.size(); ++i) {
            const bool busy = (i % row) >= row / 2;
            picture[i] = static_cast<unsigned char>(busy ? random() % 256 : 100 + (i / row) / 8);
        }
        const HillCost hill(picture.data(), w, h);
        std::vector<float> whole(picture.size()), parts(picture.size());
        hill.rows(0, h, whole.data());
        const uint32_t split = h / 3;
        hill.rows(split, h, parts.data() + split * row);
        hill.rows(0, split, parts.data());
        EXPECT_EQ(parts, whole) << w << " x " << h;
        const std::vector<double> plain =
            plainHill(picture, static_cast<int>(w), static_cast<int>(h));
        for (size_t i = 0; i < whole.size(); ++i) {
            ASSERT_TRUE(std::isfinite(whole[i]) && whole[i] > 0);
            ASSERT_NEAR(whole[i], plain[i], 1e-4 * plain[i]) << w << " x " << h << " at " << i;
        }
        if (w == 64) {
            EXPECT_GT(whole[22 * row + 3], 10 * whole[22 * row + row - 3]);
        }
    }
}

// A strip costed from a copy of its rows and kRowsAround on either side, the rest of the picture
// absent, costs as the whole picture does: the strips of a large picture are costed that way.
TEST(HillCost, AStripHeldWithTheRowsAboutItCostsAsTheWhole) {
    std::mt19937 random(31);
    const uint32_t w = 23;
    const uint32_t h = 61;
    const size_t row = size_t{w} * 3;
    std::vector<unsigned char> picture(row * h);
    for (unsigned char& v : picture) {
        v = static_cast<unsigned char>(random() % 256);
    }
    std::vector<float> whole(picture.size());
    HillCost(picture.data(), w, h).rows(0, h, whole.data());
    for (int trial = 0; trial < 20; ++trial) {
        const auto first = static_cast<uint32_t>(random() % h);
        const auto end = static_cast<uint32_t>(first + 1 + random() % (h - first));
        const uint32_t from = first - std::min(first, HillCost::kRowsAround);
        const uint32_t to = std::min(h, end + HillCost::kRowsAround);
        const std::vector<unsigned char> held(picture.begin() + from * row,
                                              picture.begin() + to * row);
        std::vector<float> strip((end - first) * row);
        HillCost(held.data(), w, h, from).rows(first, end, strip.data());
        EXPECT_TRUE(std::equal(strip.begin(), strip.end(), whole.begin() + first * row))
            << "rows " << first << " to " << end;
    }
}

// Two pictures costed in step give each its own costs, whatever strip is asked for.
TEST(HillCost, TwoPicturesInStepCostAsEachAlone) {
    std::mt19937 random(47);
    const uint32_t w = 19;
    const uint32_t h = 40;
    const size_t row = size_t{w} * 3;
    std::vector<unsigned char> one(row * h), two(row * h);
    for (size_t i = 0; i < one.size(); ++i) {
        one[i] = static_cast<unsigned char>(random() % 256);
        two[i] = static_cast<unsigned char>(100 + random() % 3);
    }
    std::vector<float> oneAlone(one.size()), twoAlone(two.size());
    HillCost(one.data(), w, h).rows(0, h, oneAlone.data());
    HillCost(two.data(), w, h).rows(0, h, twoAlone.data());
    for (const auto& [first, end] : {std::pair<uint32_t, uint32_t>{0, h}, {0, 1}, {13, 29}}) {
        uint32_t next = first;
        HillCost(one.data(), w, h)
            .eachRowOfBoth(HillCost(two.data(), w, h), first, end,
                           [&](uint32_t y, const float* costs, const float* others) {
                               EXPECT_EQ(y, next++);
                               EXPECT_TRUE(std::equal(costs, costs + row, &oneAlone[y * row]));
                               EXPECT_TRUE(std::equal(others, others + row, &twoAlone[y * row]));
                           });
        EXPECT_EQ(next, end);
    }
}

} // namespace
