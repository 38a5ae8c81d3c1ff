// How the long operations split their work into blocks, and extract's reading of an image.

#include "TestSupport.h"
#include "vokbfn1.h"

#include <gtest/gtest.h>

namespace enginetest {
namespace {

TEST(BlockProtocol, LastCallReturnsZeroEvenAtABlockBoundary) {
    struct Case {
        int32_t rowCount, rowsPerBlock;
        size_t calls;
    };
    const Case cases[] = {{8, 4, 2}, {9, 4, 3}, {4, 4, 1}, {1, 4, 1}, {12, 4, 3}, {6, 1, 6}};
    std::mt19937 rng(4);
    const int32_t width = 4;
    const int32_t height = 12;
    const Bytes indices = randomIndices(rng, width, height, 255);
    const auto palette = bmptest::testPalette(256);
    const CarrierKind kinds[] = {CarrierKind::Bits24, CarrierKind::Bits8, CarrierKind::Rle8};
    for (const CarrierKind kind : kinds) {
        for (const Case& c : cases) {
            EmbedJob job;
            job.kind = kind;
            job.outWidth = width;
            job.imageWidth = width;
            job.rowCount = c.rowCount;
            job.rowsPerBlock = c.rowsPerBlock;
            job.docLength = 1;
            job.document = {0x5A};
            if (kind == CarrierKind::Bits24) {
                job.carrier = bmptest::make24(width, height, randomBytes(rng, width * height * 3));
                job.rowStride = bmptest::stride24(width);
            } else {
                job.dataOffset = 1078;
                job.rowStride = width;
                job.carrier = kind == CarrierKind::Bits8
                                  ? bmptest::make8(width, height, palette, indices)
                                  : bmptest::makeRle8(width, height, palette, indices, width);
            }
            SCOPED_TRACE(describe(job));
            const Outcome run = engineEmbed(job);
            ASSERT_EQ(run.statuses.size(), c.calls);
            EXPECT_EQ(run.statuses.back(), 0);
            for (size_t k = 0; k + 1 < run.statuses.size(); ++k) {
                if (kind == CarrierKind::Rle8) {
                    EXPECT_GT(run.statuses[k], 1);
                } else {
                    EXPECT_EQ(run.statuses[k], 1);
                }
            }
        }
    }
}

// embed81 hands back the offset just after the end-of-row pair of the block's last row.
TEST(BlockProtocol, Embed81ReturnsTheOffsetAfterTheLastRowsEnd) {
    struct Case {
        const char* what;
        int32_t imageWidth;
        Bytes row; // one encoded row, repeated for every row of the carrier
        int32_t cropLeftPixels, cropBottomRows, outWidth, rowCount, rowsPerBlock;
    };
    const Case cases[] = {
        {"encoded rows of 4 bytes", 4, {4, 3, 0, 0}, 0, 2, 4, 8, 3},
        {"odd absolute runs with pad bytes",
         5,
         {0, 3, 1, 2, 3, 0, 0, 5, 4, 5, 6, 7, 8, 0, 0, 0},
         0,
         1,
         5,
         5,
         4},
        {"runs split at the crop's left edge",
         7,
         {2, 9, 0, 3, 1, 2, 3, 0, 3, 4, 0, 0},
         3,
         0,
         4,
         6,
         4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes stream;
        for (int r = 0; r < 10; ++r) {
            stream.insert(stream.end(), c.row.begin(), c.row.end());
        }
        EmbedJob job;
        job.kind = CarrierKind::Rle8;
        job.carrier = bmptest::makeRle8Raw(c.imageWidth, 10, bmptest::testPalette(16), stream);
        job.dataOffset = 54 + 64;
        job.imageWidth = c.imageWidth;
        job.cropLeft = c.cropLeftPixels;
        job.cropBottomRows = c.cropBottomRows;
        job.outWidth = c.outWidth;
        job.rowCount = c.rowCount;
        job.rowsPerBlock = c.rowsPerBlock;
        job.docLength = 1;
        job.document = {42};
        std::vector<int32_t> expected;
        for (int32_t row = c.rowsPerBlock; row < c.rowCount; row += c.rowsPerBlock) {
            expected.push_back(job.dataOffset +
                               static_cast<int32_t>(c.row.size()) * (c.cropBottomRows + row));
        }
        expected.push_back(0);
        EXPECT_EQ(engineEmbed(job).statuses, expected);
    }
}

class ExtractTest : public ::testing::Test {
protected:
    // An image whose colour bytes carry `pairs` in their low bits, with pad bytes of 255 so that
    // reading one of them would show.
    static Bytes imageCarrying(const Bytes& payload, int32_t rowBytes, int32_t rows) {
        const int32_t stride = (rowBytes + 3) / 4 * 4;
        Bytes image(54, 0);
        size_t pair = 0;
        for (int32_t r = 0; r < rows; ++r) {
            for (int32_t k = 0; k < stride; ++k) {
                if (k >= rowBytes) {
                    image.push_back(255);
                    continue;
                }
                const size_t byte = pair / 4;
                const unsigned bits =
                    byte < payload.size() ? (payload[byte] >> (2 * (pair % 4))) & 3u : 0u;
                image.push_back(static_cast<uint8_t>(0x40 | bits));
                ++pair;
            }
        }
        return image;
    }

    TempDir dir;
    const std::string image = dir.file("image.bmp");
    const std::string output = dir.file("document.out");
};

TEST_F(ExtractTest, SkipsThePaddingOfEveryRow) {
    const Bytes payload{'Z', 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 130, 140};
    const Bytes document(payload.begin() + 1, payload.end());
    for (const int32_t rowBytes : {15, 12, 3, 6, 9}) {
        SCOPED_TRACE(rowBytes);
        ExtractJob job{imageCarrying(payload, rowBytes, 24),  4, 54, rowBytes,
                       static_cast<int32_t>(document.size()), 1};
        const Outcome run = engineExtract(job);
        EXPECT_EQ(run.statuses.back(), 0);
        EXPECT_TRUE(sameBytes(run.output, document));
    }
}

TEST_F(ExtractTest, ReadsPastTheImageEndAsPairThree) {
    Bytes shortImage(54 + 12, 0);
    bmptest::writeFile(image, shortImage);
    EXPECT_EQ(extract(0, 4, 54, 12, 6, 1, image.c_str(), output.c_str()), 0);
    EXPECT_EQ(bmptest::readFile(output), (Bytes{0, 0, 255, 255, 255, 255}));
}

TEST_F(ExtractTest, BlockZeroTruncatesLaterBlocksAppend) {
    // Every colour byte carries pair 1, so every document byte is 0x55; block 0 holds 11 of them
    // after the one-byte header, block 1 the remaining 9.
    bmptest::writeFile(image, bmptest::make24(4, 8, Bytes(4 * 8 * 3, 0x01)));
    const Bytes junk{'j', 'u', 'n', 'k', '!'};
    struct Case {
        int32_t blockIndex;
        int32_t status;
        Bytes expected;
    };
    Bytes appended = junk;
    appended.insert(appended.end(), 9, 0x55);
    const Case cases[] = {
        {0, 1, Bytes(11, 0x55)},
        {1, 0, appended},
        {-1, 0, {}}, // blocks below 0 also create anew, and hold no document bytes
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.blockIndex);
        bmptest::writeFile(output, junk);
        EXPECT_EQ(extract(c.blockIndex, 4, 54, 12, 20, 1, image.c_str(), output.c_str()), c.status);
        EXPECT_EQ(bmptest::readFile(output), c.expected);
    }
}

TEST_F(ExtractTest, HeaderMustEndBeforeBlockZeroEnds) {
    bmptest::writeFile(image, bmptest::make24(4, 8, Bytes(4 * 8 * 3, 0x02)));
    struct Case {
        int32_t rowsPerBlock, rowBytes, headerLength, status;
    };
    const Case cases[] = {
        {4, 3, 3, -11}, {4, 3, 2, 0},   {1, 12, 3, -11},
        {1, 12, 2, 0},  {2, 6, 3, -11}, {4, 12, 13, -11},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rowsPerBlock << " rows of " << c.rowBytes
                                        << " bytes, header " << c.headerLength);
        EXPECT_EQ(extract(0, c.rowsPerBlock, 54, c.rowBytes, 1, c.headerLength, image.c_str(),
                          output.c_str()),
                  c.status);
    }
}

} // namespace
} // namespace enginetest
