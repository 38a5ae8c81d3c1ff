#include "workflows/CropGeometry.h"

#include <gtest/gtest.h>

using namespace brindmar;

namespace {

// The shrink search written the long way: every width from the start down (a width whose row
// bytes equal the one before skipped), every height from the start height down, the first of
// equal areas kept; a width that cannot hold the need at the start height ends it.
void literalShrink(int64_t need, int32_t& W, int32_t& H) {
    const int32_t startHeight = H;
    int64_t best = 3LL * W * H;
    int64_t previousRow = -1;
    for (int32_t w = W; w >= 0; --w) {
        const int64_t rowBytes = 3LL * w;
        if (rowBytes == previousRow) {
            continue;
        }
        previousRow = rowBytes;
        int32_t h = startHeight;
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
        if (h == startHeight) {
            break;
        }
    }
}

// Every start size up to 60 x 60 and every need it can hold.
TEST(CropGeometry, ShrinkMatchesTheLiteralSearch) {
    for (int32_t width = 1; width <= 60; ++width) {
        for (int32_t height = 1; height <= 60; ++height) {
            for (int64_t need = 1; need <= 3LL * width * height; ++need) {
                int32_t w1 = width, h1 = height, w2 = width, h2 = height;
                literalShrink(need, w1, h1);
                shrinkArea(need, w2, h2);
                ASSERT_EQ(std::make_pair(w1, h1), std::make_pair(w2, h2))
                    << width << "x" << height << " need " << need;
            }
        }
    }
    // A narrower, taller crop is smaller than the widest one that holds the need: 24 x 35 (840
    // pixels) rather than 25 x 34 (850).
    int32_t w = 25, h = 35;
    shrinkArea(2500, w, h);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(24, 35));
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
                  std::tie(c.expected.width, c.expected.height, c.expected.left, c.expected.bottom))
            << "mode " << int(c.mode) << ": " << area->width << "x" << area->height << " at "
            << area->left << "," << area->bottom;
    }
    CropRect rect;
    EXPECT_FALSE(cropGeometry(1, 200, 100, 60000, 15001, rect));
}

} // namespace
