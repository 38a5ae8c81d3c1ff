#include "workflows/CropGeometry.h"

#include <gtest/gtest.h>

using namespace brindmar;

namespace {

// The shrink search written the long way: every width from the start down, every height from
// the best so far down, the first of equal areas kept.
void literalShrink(int64_t need, int32_t& W, int32_t& H) {
    int64_t best = 3LL * W * H;
    for (int32_t w = W; w >= 0; --w) {
        const int64_t rowBytes = 3LL * w;
        const int32_t start = H;
        int32_t h = start;
        for (; h >= 0; --h) {
            const int64_t p = rowBytes * h;
            if (p >= need && p < best) {
                best = p;
                W = w;
                H = h;
            }
            if (p < need) {
                break;
            }
        }
        if (h == start) {
            break;
        }
    }
}

TEST(CropGeometry, ShrinkMatchesTheLiteralSearch) {
    for (int32_t width = 1; width <= 40; ++width) {
        for (int32_t height = 1; height <= 40; ++height) {
            for (int64_t need = 1; need <= 3LL * width * height; need += 1 + need / 7) {
                int32_t w1 = width, h1 = height, w2 = width, h2 = height;
                literalShrink(need, w1, h1);
                shrinkArea(need, w2, h2);
                ASSERT_EQ(std::make_pair(w1, h1), std::make_pair(w2, h2))
                    << width << "x" << height << " need " << need;
            }
        }
    }
}

struct GeometryCase {
    uint8_t mode;
    int64_t payload;
    CropRect drawn;
    CropArea expected;
};

TEST(CropGeometry, SizesAndPlaces) {
    // 200 x 100 carrier: 60000 colour bytes; a payload of 4500 needs 30% of them.
    const GeometryCase cases[] = {
        // sqrt(0.3) = 0.5477: at most 110 x 55, and no narrower width holds 18000 in 55 rows.
        {1, 4500, {}, {110, 55, 45, 22}},
        {0, 4500, {}, {200, 100, 0, 0}},
        {9, 4500, {}, {110, 55, 90, 0}},
        {4, 4500, {}, {110, 55, 0, 45}},
        {10, 4500, {}, {60, 100, 0, 0}},
        {12, 4500, {}, {60, 100, 140, 0}},
        {14, 4500, {}, {200, 30, 0, 35}},
        // Drawn at the right edge: pulled back to end at the last column.
        {99, 4500, {0.9f, 0.625f, 0.25f, 0.5f}, {125, 48, 75, 25}},
        // A payload filling the carrier asks for no column or row beyond it.
        {1, 15000, {}, {200, 100, 0, 0}},
    };
    for (const GeometryCase& c : cases) {
        CropRect rect = c.drawn;
        const auto area = cropGeometry(c.mode, 200, 100, 60000, c.payload, rect);
        ASSERT_TRUE(area) << int(c.mode);
        EXPECT_EQ(std::tie(area->width, area->height, area->left, area->bottom),
                  std::tie(c.expected.width, c.expected.height, c.expected.left,
                           c.expected.bottom))
            << "mode " << int(c.mode) << ": " << area->width << "x" << area->height << " at "
            << area->left << "," << area->bottom;
    }
    CropRect rect;
    EXPECT_FALSE(cropGeometry(1, 200, 100, 60000, 15001, rect));
}

} // namespace
