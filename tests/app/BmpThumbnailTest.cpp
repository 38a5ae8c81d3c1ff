#include "payload/BmpThumbnail.h"
#include "AppTestSupport.h"
#include "payload/BmpHeader.h"

#include <gtest/gtest.h>
#include <optional>

using namespace brindmar;
using apptest::Bytes;
using Palette = std::vector<bmptest::PaletteEntry>;

namespace {

const Palette kPalette = bmptest::testPalette(20);
const std::vector<uint8_t> kPicture = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}; // 5 x 3

std::vector<uint32_t> colours(const std::vector<uint8_t>& indices,
                              const Palette& palette = kPalette) {
    std::vector<uint32_t> out;
    for (const uint8_t i : indices) {
        const auto& e = palette[i];
        out.push_back(0xFF000000u | uint32_t{e[2]} << 16 | uint32_t{e[1]} << 8 | e[0]);
    }
    return out;
}

// A picture given top row first, as the decoder returns it, laid out bottom row first as the
// file stores it. RLE rows are longer than the width; their extra pixels get `beyond`.
Bytes fileOrder(const std::vector<uint8_t>& topFirst, int32_t w, int32_t h, int32_t rowPixels,
                uint8_t beyond = 16) {
    Bytes out;
    for (int32_t y = h - 1; y >= 0; --y) {
        for (int32_t x = 0; x < rowPixels; ++x) {
            out.push_back(x < w ? topFirst[static_cast<size_t>(y * w + x)] : beyond);
        }
    }
    return out;
}

Bytes asBgr(const Bytes& indices, const Palette& palette) {
    Bytes out;
    for (const uint8_t i : indices) {
        out.insert(out.end(), palette[i].begin(), palette[i].begin() + 3);
    }
    return out;
}

class BmpThumbnailTest : public ::testing::Test {
protected:
    std::optional<ThumbnailImage> decode(const Bytes& file, int32_t w, int32_t h,
                                         DrawFailure* error = nullptr) {
        m_dir.write(QStringLiteral("carrier.bmp"), file);
        return decodeBmpThumbnail(m_dir.path(QStringLiteral("carrier.bmp")), w, h, error);
    }

    apptest::ScratchDir m_dir;
};

TEST_F(BmpThumbnailTest, FullSizeGivesThePixelsTopRowFirst) {
    const int32_t rle = bmptest::rle8RowPixels(5);
    const auto rleOf = [&](bmptest::RleStyle style, bool endOfImage) {
        return bmptest::makeRle8(5, 3, kPalette, fileOrder(kPicture, 5, 3, rle), rle, style,
                                 endOfImage);
    };
    const auto raw = [](const Bytes& stream) {
        return bmptest::makeRle8Raw(4, 2, kPalette, stream);
    };
    const std::tuple<const char*, Bytes, std::vector<uint32_t>> cases[] = {
        {"24-bit", bmptest::make24(5, 3, asBgr(fileOrder(kPicture, 5, 3, 5), kPalette)),
         colours(kPicture)},
        {"8-bit", bmptest::make8(5, 3, kPalette, fileOrder(kPicture, 5, 3, 5)), colours(kPicture)},
        {"RLE8 mixed", rleOf(bmptest::RleStyle::Mixed, true), colours(kPicture)},
        {"RLE8 encoded", rleOf(bmptest::RleStyle::EncodedOnly, true), colours(kPicture)},
        {"RLE8 absolute", rleOf(bmptest::RleStyle::AbsoluteOnly, true), colours(kPicture)},
        {"RLE8 without end of image", rleOf(bmptest::RleStyle::Mixed, false), colours(kPicture)},
        {"palette shorter than the indices",
         bmptest::make8(2, 1, {kPalette[0], kPalette[1]}, {1, 5}),
         {colours({1})[0], 0xFF000000u}},
        {"RLE8 delta leaves entry 0", raw({2, 3, 0, 2, 1, 1, 1, 5, 0, 1}),
         colours({0, 0, 0, 5, 3, 3, 0, 0})},
        {"RLE8 early end of image", raw({4, 2, 0, 1}), colours({0, 0, 0, 0, 2, 2, 2, 2})},
        {"RLE8 runs past the width, rows past the height",
         raw({255, 1, 0, 0, 3, 2, 0, 3, 4, 5, 6, 0, 0, 0, 9, 9}),
         colours({2, 2, 2, 4, 1, 1, 1, 1})},
    };
    for (const auto& [what, file, pixels] : cases) {
        const auto image = decode(file, 99, 99);
        ASSERT_TRUE(image.has_value()) << what;
        EXPECT_EQ(image->width, file[18]) << what;
        EXPECT_EQ(image->pixels, pixels) << what;
    }
}

struct ScaleCase {
    int32_t width, height;
    std::vector<uint8_t> greys; // top row first
    int32_t targetWidth, targetHeight, expectedWidth;
    std::vector<uint8_t> expected;
};

TEST_F(BmpThumbnailTest, EachTargetPixelAveragesTheSourcePixelsFallingToIt) {
    Palette greys;
    for (int i = 0; i < 256; ++i) {
        greys.push_back({uint8_t(i), uint8_t(i), uint8_t(i), 0});
    }
    const ScaleCase cases[] = {
        {4, 2, {10, 20, 30, 40, 50, 60, 70, 80}, 2, 1, 2, {35, 55}},
        {4, 4, {0, 4, 8, 8, 4, 0, 8, 8, 1, 1, 250, 250, 1, 2, 250, 251}, 2, 2, 2, {2, 8, 1, 250}},
        {5, 1, {0, 0, 3, 90, 100}, 2, 1, 2, {1, 95}},
        {2, 1, {1, 2}, 1, 1, 1, {2}},
        {1, 3, {9, 3, 3}, 1, 1, 1, {5}},
        // Targets are clamped to 1 .. the image's size, and to 4096.
        {2, 2, {1, 2, 3, 4}, 9, 9, 2, {1, 2, 3, 4}},
        {2, 2, {1, 2, 3, 4}, 0, -4, 1, {3}},
        {5000, 1, std::vector<uint8_t>(5000, 7), 9000, 9, 4096, std::vector<uint8_t>(4096, 7)},
    };
    for (const ScaleCase& c : cases) {
        const int32_t rle = bmptest::rle8RowPixels(c.width);
        const Bytes indices = fileOrder(c.greys, c.width, c.height, c.width);
        const Bytes files[] = {
            bmptest::make24(c.width, c.height, asBgr(indices, greys)),
            bmptest::make8(c.width, c.height, greys, indices),
            bmptest::makeRle8(c.width, c.height, greys,
                              fileOrder(c.greys, c.width, c.height, rle, 255), rle),
        };
        for (const Bytes& file : files) {
            const auto image = decode(file, c.targetWidth, c.targetHeight);
            ASSERT_TRUE(image.has_value());
            EXPECT_EQ(image->width, c.expectedWidth);
            EXPECT_EQ(image->pixels, colours(c.expected, greys))
                << c.width << "x" << c.height << ", bits " << int{file[28]};
        }
    }
}

TEST_F(BmpThumbnailTest, HostileFilesFailWithAReason) {
    const Bytes good = bmptest::make24(5, 3, Bytes(5 * 3 * 3, 9));
    const auto patched = [&](size_t at, uint32_t value, size_t size = 4) {
        Bytes b = good;
        for (size_t i = 0; i < size; ++i) {
            b[at + i] = static_cast<uint8_t>(value >> (8 * i));
        }
        return b;
    };
    const auto rle = [](const Bytes& stream) { return bmptest::makeRle8Raw(2, 2, {}, stream); };
    const std::pair<const char*, Bytes> cases[] = {
        {"padding of the last row missing", Bytes(good.begin(), good.end() - 1)},
        {"shorter than the headers", Bytes(good.begin(), good.begin() + 40)},
        {"not BM", patched(0, 'X', 1)},
        {"negative height", patched(22, static_cast<uint32_t>(-3))},
        {"larger info header", patched(14, 108)},
        {"two planes", patched(26, 2, 2)},
        {"32 bits", patched(28, 32, 2)},
        {"RLE8 stream ends before the last row", rle({2, 1, 0, 0, 2, 1, 0})},
        {"RLE8 stream ends after one row", rle({2, 1, 0, 0})},
        {"RLE8 stream ends inside a delta", rle({0, 2, 1})},
        {"RLE8 stream ends inside an absolute run", rle({0, 5, 1, 2, 3})},
    };
    for (const auto& [what, file] : cases) {
        DrawFailure why;
        EXPECT_FALSE(decode(file, 2, 2, &why).has_value()) << what;
        EXPECT_NE(why.fault, DrawFault::None) << what;
    }
    EXPECT_FALSE(decodeBmpThumbnail(m_dir.path(QStringLiteral("missing.bmp")), 2, 2));
}

TEST_F(BmpThumbnailTest, AHugeImageClaimCostsNoMoreThanTheTarget) {
    // Colour bytes just under the signed 32-bit limit, carried by a two-byte stream.
    const auto huge = decode(bmptest::makeRle8Raw(715827882, 1, kPalette, {0, 1}), 184, 168);
    ASSERT_TRUE(huge.has_value());
    EXPECT_EQ(huge->pixels, std::vector<uint32_t>(184, colours({0})[0]));
}

struct LayoutCase {
    const char* what;
    int32_t width, height;
    uint16_t bitCount;
    uint32_t compression, dataOffset;
    int64_t fileSize;
    bool sound;
};

TEST(CarrierLayout, AcceptsOnlyHeadersWhosePixelsTheFileHolds) {
    // 10 x 10 at 24 bits: rows of 30 colour bytes padded to 32.
    const LayoutCase cases[] = {
        {"24-bit, file exactly long enough", 10, 10, 24, 0, 54, 374, true},
        {"last row without its padding", 10, 10, 24, 0, 54, 372, false},
        {"zero width", 0, 10, 24, 0, 54, 374, false},
        {"zero height", 10, 0, 24, 0, 54, 374, false},
        {"negative width", -10, 10, 24, 0, 54, 374, false},
        {"negative height", 10, -10, 24, 0, 54, 374, false},
        {"24-bit RLE8", 10, 10, 24, 1, 54, 374, false},
        {"24-bit bit fields", 10, 10, 24, 3, 54, 374, false},
        {"8-bit RLE4", 10, 10, 8, 2, 1078, 5000, false},
        {"8-bit RLE8", 10, 10, 8, 1, 1078, 1079, true},
        {"8-bit RLE8 offset at the end of the file", 10, 10, 8, 1, 1078, 1078, false},
        {"8-bit uncompressed", 10, 10, 8, 0, 1078, 1078 + 120, true},
        {"offset inside the headers", 10, 10, 24, 0, 53, 1000, false},
        {"largest offset", 10, 10, 24, 0, 32767, 32767 + 320, true},
        {"offset past 16 bits", 10, 10, 24, 0, 32768, 40000, false},
        {"colour bytes just fit 32 bits", 715827882, 1, 8, 1, 1078, 2000, true},
        {"colour bytes past 32 bits", 715827883, 1, 8, 1, 1078, 2000, false},
        {"width times height past 32 bits", 65536, 65536, 8, 1, 1078, 2000, false},
    };
    for (const LayoutCase& c : cases) {
        BmpHeader h;
        h.infoSize = 40;
        h.planes = 1;
        h.width = c.width;
        h.height = c.height;
        h.bitCount = c.bitCount;
        h.compression = c.compression;
        h.dataOffset = c.dataOffset;
        EXPECT_EQ(carrierLayoutSound(h, c.fileSize), c.sound) << c.what;
    }
}

} // namespace
