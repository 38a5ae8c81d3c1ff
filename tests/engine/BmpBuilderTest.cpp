// The test carriers themselves: other suites, the fuzz seeds and the benchmark trust these bytes.

#include "BmpBuilder.h"

#include <gtest/gtest.h>

namespace bmptest {
namespace {

uint32_t le32(const Bytes& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
uint32_t le16(const Bytes& b, size_t at) {
    return b[at] | b[at + 1] << 8;
}

TEST(BmpBuilder, HeadersDescribeTheImage) {
    struct Case {
        const char* what;
        Bytes file;
        uint32_t dataOffset, width, height, bitCount, compression, imageSize, colours;
    };
    const Bytes stream{4, 7, 0, 1};
    const Case cases[] = {
        {"24-bit", make24(5, 3, Bytes(45, 9)), 54, 5, 3, 24, 0, 3 * 16, 0},
        {"8-bit", make8(5, 3, testPalette(10), Bytes(15, 1)), 94, 5, 3, 8, 0, 3 * 8, 10},
        {"RLE8", makeRle8Raw(4, 1, testPalette(256), stream), 1078, 4, 1, 8, 1, 4, 256},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes& f = c.file;
        ASSERT_EQ(f.size(), c.dataOffset + c.imageSize);
        EXPECT_EQ(f[0], 'B');
        EXPECT_EQ(f[1], 'M');
        EXPECT_EQ(le32(f, 2), f.size());
        EXPECT_EQ(le32(f, 10), c.dataOffset);
        EXPECT_EQ(le32(f, 14), 40u);
        EXPECT_EQ(le32(f, 18), c.width);
        EXPECT_EQ(le32(f, 22), c.height);
        EXPECT_EQ(le16(f, 26), 1u);
        EXPECT_EQ(le16(f, 28), c.bitCount);
        EXPECT_EQ(le32(f, 30), c.compression);
        EXPECT_EQ(le32(f, 34), c.imageSize);
        EXPECT_EQ(le32(f, 46), c.colours);
    }
    EXPECT_EQ(outputHeaders24(5, 3), Bytes(cases[0].file.begin(), cases[0].file.begin() + 54));
}

TEST(BmpBuilder, RowsArePaddedInFileOrder) {
    const Bytes file = make24(1, 2, {1, 2, 3, 4, 5, 6});
    EXPECT_EQ(Bytes(file.begin() + 54, file.end()), (Bytes{1, 2, 3, 0, 4, 5, 6, 0}));
    const auto palette = testPalette(1);
    const Bytes file8 = make8(5, 1, palette, {1, 2, 3, 4, 5});
    EXPECT_EQ(Bytes(file8.begin() + 54, file8.begin() + 58),
              Bytes(palette[0].begin(), palette[0].end()));
    EXPECT_EQ(Bytes(file8.begin() + 58, file8.end()), (Bytes{1, 2, 3, 4, 5, 0, 0, 0}));
}

TEST(BmpBuilder, Rle8RunsFollowTheStyle) {
    struct Case {
        const char* what;
        Bytes row;
        RleStyle style;
        Bytes stream; // without the row's end pair
    };
    const Bytes mixed{5, 5, 5, 5, 1, 2, 3, 9};
    const Case cases[] = {
        {"mixed", mixed, RleStyle::Mixed, {4, 5, 0, 4, 1, 2, 3, 9}},
        {"mixed, short literals", {5, 5, 5, 1, 7, 7, 7, 7}, RleStyle::Mixed, {3, 5, 1, 1, 4, 7}},
        {"mixed, odd literals",
         {1, 2, 3, 9, 9, 9, 9, 9},
         RleStyle::Mixed,
         {0, 3, 1, 2, 3, 0, 5, 9}},
        {"encoded", mixed, RleStyle::EncodedOnly, {4, 5, 1, 1, 1, 2, 1, 3, 1, 9}},
        {"absolute", mixed, RleStyle::AbsoluteOnly, {0, 8, 5, 5, 5, 5, 1, 2, 3, 9}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes file = makeRle8(8, 1, {}, c.row, 8, c.style, false);
        Bytes expected = c.stream;
        expected.insert(expected.end(), {0, 0});
        EXPECT_EQ(Bytes(file.begin() + 54, file.end()), expected);
    }
}

TEST(BmpBuilder, Rle8LongRowsSplitIntoRunsOfAtMost255) {
    Bytes same(300, 4);
    Bytes file = makeRle8(300, 1, {}, same, 300, RleStyle::EncodedOnly, true);
    EXPECT_EQ(Bytes(file.begin() + 54, file.end()), (Bytes{255, 4, 45, 4, 0, 1}));

    Bytes distinct(256);
    for (size_t k = 0; k < distinct.size(); ++k) {
        distinct[k] = static_cast<uint8_t>(k);
    }
    file = makeRle8(256, 1, {}, distinct, 256, RleStyle::AbsoluteOnly, false);
    // 253 literals (odd, so a pad byte follows) and 3 more: no absolute run shorter than 3.
    ASSERT_EQ(file.size(), 54u + 2 + 253 + 1 + 2 + 3 + 1 + 2);
    EXPECT_EQ(file[54 + 1], 253);
    EXPECT_EQ(file[54 + 2 + 253], 0);
    EXPECT_EQ(file[54 + 2 + 253 + 1 + 1], 3);
    EXPECT_EQ(rle8RowPixels(10), 12);
    EXPECT_EQ(rle8RowPixels(12), 12);
}

} // namespace
} // namespace bmptest
