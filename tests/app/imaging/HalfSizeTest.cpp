// Halving is a true 2 x 2 average, rounded to nearest, with the odd edge's pairs and corner
// averaged over what is there; nearest-neighbour or a filter that reaches further would fail.

#include "imaging/HalfSize.h"

#include <gtest/gtest.h>
#include <vector>

using brindmar::halvedPicture;

namespace {

struct Row {
    const char* name;
    int width, height;
    std::vector<uint32_t> pixels;   // 0xAARRGGBB, row by row
    std::vector<uint32_t> expected; // at ((width + 1) / 2) x ((height + 1) / 2)
    bool alpha = false;
};

QImage imageOf(const Row& row) {
    QImage image(row.width, row.height, row.alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < row.height; ++y) {
        for (int x = 0; x < row.width; ++x) {
            image.setPixel(x, y, row.pixels[size_t(y * row.width + x)]);
        }
    }
    return image;
}

TEST(HalfSize, EveryPixelIsTheRoundedAverageOfItsSquare) {
    const std::vector<Row> rows = {
        // Channels apart: 10+20+30+41 = 101 -> 25.25 -> 25; 1+2+3+4 -> 2.5 -> 3 (half up).
        {"square", 2, 2, {0xFF0A0001, 0xFF140002, 0xFF1E0003, 0xFF290004}, {0xFF190003}},
        {"one pixel", 1, 1, {0xFF123456}, {0xFF123456}},
        // 3 x 3: a full square, a column pair, a row pair and the lone corner.
        {"odd both ways",
         3,
         3,
         {0xFF000000, 0xFF040404, 0xFF0A0A0A, 0xFF080808, 0xFF0C0C0C, 0xFF141414, 0xFFFF0000,
          0xFFFD0000, 0xFF00FF00},
         {0xFF060606, 0xFF0F0F0F, 0xFFFE0000, 0xFF00FF00}},
        {"odd width",
         3,
         2,
         {0xFF646464, 0, 0xFF010203, 0, 0, 0xFF030201},
         {0xFF191919, 0xFF020202}},
        {"one row",
         5,
         1,
         {0xFF000000, 0xFF000001, 0xFF000002, 0xFF000004, 0xFFFFFFFF},
         {0xFF000001, 0xFF000003, 0xFFFFFFFF}},
        {"alpha averaged too", 2, 1, {0x00FFFFFF, 0xFF000000}, {0x80808080}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const QImage half = halvedPicture(imageOf(row));
        ASSERT_EQ(half.width(), (row.width + 1) / 2);
        ASSERT_EQ(half.height(), (row.height + 1) / 2);
        std::vector<uint32_t> got;
        for (int y = 0; y < half.height(); ++y) {
            for (int x = 0; x < half.width(); ++x) {
                got.push_back(half.pixel(x, y));
            }
        }
        EXPECT_EQ(got, row.expected);
    }
}

} // namespace
