// Whatever an embedder hides, extract gives back: the document, byte for byte.

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace enginetest {
namespace {

struct RoundTripCase {
    CarrierKind kind;
    int32_t width, height;
    int32_t cropLeftPixels, cropBottomRows, outWidth, rowCount;
    int32_t embedRowsPerBlock, extractRowsPerBlock;
    size_t headerLength;
    int32_t docLength;
};

EmbedJob makeJob(const RoundTripCase& c, std::mt19937& rng) {
    EmbedJob job;
    job.kind = c.kind;
    job.cropBottomRows = c.cropBottomRows;
    job.outWidth = c.outWidth;
    job.rowCount = c.rowCount;
    job.rowsPerBlock = c.embedRowsPerBlock;
    job.header = randomHeader(rng, c.headerLength);
    job.docLength = c.docLength;
    job.document = randomBytes(rng, static_cast<size_t>(c.docLength));
    const auto palette = bmptest::testPalette(256);
    switch (c.kind) {
    case CarrierKind::Bits24:
        job.carrier = bmptest::make24(
            c.width, c.height, randomBytes(rng, static_cast<size_t>(3 * c.width * c.height)));
        job.cropLeft = 3 * c.cropLeftPixels;
        job.rowStride = bmptest::stride24(c.width);
        break;
    case CarrierKind::Bits8:
        job.carrier =
            bmptest::make8(c.width, c.height, palette, randomIndices(rng, c.width, c.height, 255));
        job.dataOffset = 1078;
        job.cropLeft = c.cropLeftPixels;
        job.rowStride = bmptest::stride8(c.width);
        break;
    case CarrierKind::Rle8: {
        const int32_t rowPixels = bmptest::rle8RowPixels(c.width);
        job.carrier = bmptest::makeRle8(c.width, c.height, palette,
                                        randomIndices(rng, rowPixels, c.height, 255), rowPixels);
        job.dataOffset = 1078;
        job.cropLeft = c.cropLeftPixels;
        job.imageWidth = c.width;
        break;
    }
    }
    return job;
}

TEST(RoundTrip, ExtractReturnsTheEmbeddedDocument) {
    const RoundTripCase cases[] = {
        {CarrierKind::Bits24, 1, 40, 0, 0, 1, 40, 4, 8, 2, 28},
        {CarrierKind::Bits24, 5, 13, 1, 2, 3, 11, 4, 4, 2, 20},
        {CarrierKind::Bits24, 7, 9, 2, 1, 5, 8, 4, 8, 1, 28},
        {CarrierKind::Bits24, 10, 10, 0, 0, 10, 10, 2, 4, 3, 72},
        {CarrierKind::Bits24, 13, 9, 3, 3, 8, 6, 1, 4, 5, 30},
        {CarrierKind::Bits24, 33, 17, 4, 5, 26, 12, 12, 12, 90, 130},
        {CarrierKind::Bits8, 3, 20, 0, 0, 3, 20, 4, 4, 2, 40},
        {CarrierKind::Bits8, 10, 9, 1, 2, 6, 7, 2, 8, 4, 27},
        {CarrierKind::Bits8, 13, 12, 5, 4, 7, 8, 4, 4, 3, 36},
        {CarrierKind::Rle8, 4, 16, 0, 0, 4, 16, 1, 4, 2, 44},
        {CarrierKind::Rle8, 10, 12, 3, 2, 7, 10, 4, 8, 5, 45},
        {CarrierKind::Rle8, 13, 11, 1, 3, 12, 8, 1, 4, 7, 64},
        {CarrierKind::Rle8, 300, 3, 20, 1, 270, 2, 4, 4, 90, 300},
    };
    std::mt19937 rng(2024);
    for (const RoundTripCase& c : cases) {
        const EmbedJob job = makeJob(c, rng);
        SCOPED_TRACE(describe(job));
        ASSERT_LE(4 * (job.header.size() + static_cast<size_t>(c.docLength)),
                  static_cast<size_t>(3 * c.outWidth * c.rowCount));
        const Outcome embedded = engineEmbed(job);
        ASSERT_EQ(embedded.statuses.back(), 0);

        ExtractJob back;
        back.image = embedded.output;
        back.rowsPerBlock = c.extractRowsPerBlock;
        back.rowBytes = 3 * c.outWidth;
        back.docLength = c.docLength;
        back.headerLength = static_cast<int32_t>(job.header.size());
        const Outcome extracted = engineExtract(back);
        EXPECT_EQ(extracted.statuses.back(), 0);
        EXPECT_TRUE(sameBytes(extracted.output, job.document));
    }
}

// The crop argument of embed80 and embed81 counts pixels, not bytes: the same picture cropped the
// same way must hide the same payload identically whatever the carrier's depth.
TEST(RoundTrip, AllCarrierKindsGiveTheSameImage) {
    std::mt19937 rng(3);
    const int32_t width = 9;
    const int32_t height = 7;
    const auto palette = bmptest::testPalette(256);
    const int32_t rowPixels = bmptest::rle8RowPixels(width);
    const Bytes indices = randomIndices(rng, rowPixels, height, 255);
    Bytes narrow;
    Bytes bgr;
    for (int32_t r = 0; r < height; ++r) {
        for (int32_t col = 0; col < width; ++col) {
            const uint8_t x = indices[static_cast<size_t>(r * rowPixels + col)];
            narrow.push_back(x);
            bgr.insert(bgr.end(), palette[x].begin(), palette[x].begin() + 3);
        }
    }

    EmbedJob job;
    job.cropLeft = 2;
    job.cropBottomRows = 1;
    job.outWidth = 6;
    job.rowCount = 5;
    job.rowsPerBlock = 4;
    job.header = "+/header/+";
    job.docLength = 9;
    job.document = randomBytes(rng, 9);

    EmbedJob job24 = job;
    job24.carrier = bmptest::make24(width, height, bgr);
    job24.cropLeft = 3 * job.cropLeft;
    job24.rowStride = bmptest::stride24(width);
    EmbedJob job8 = job;
    job8.kind = CarrierKind::Bits8;
    job8.carrier = bmptest::make8(width, height, palette, narrow);
    job8.dataOffset = 1078;
    job8.rowStride = bmptest::stride8(width);
    EmbedJob jobRle = job8;
    jobRle.kind = CarrierKind::Rle8;
    jobRle.carrier = bmptest::makeRle8(width, height, palette, indices, rowPixels);
    jobRle.imageWidth = width;

    const Outcome from24 = onFreshThread([&] { return engineEmbed(job24); });
    const Outcome from8 = onFreshThread([&] { return engineEmbed(job8); });
    const Outcome fromRle = onFreshThread([&] { return engineEmbed(jobRle); });
    EXPECT_TRUE(sameBytes(from8.output, from24.output));
    EXPECT_TRUE(sameBytes(fromRle.output, from24.output));
}

} // namespace
} // namespace enginetest
