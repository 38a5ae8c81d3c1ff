// The engine against the naive reference model, byte for byte, over many random geometries.

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace enginetest {
namespace {

const int32_t kWidths[] = {1, 2, 3, 4, 5, 6, 7, 8, 10, 13, 17, 33};
constexpr int kCasesPerWidth = 12;

void expectEngineMatchesModel(const EmbedJob& job) {
    SCOPED_TRACE(describe(job));
    const Outcome engine = onFreshThread([&] { return engineEmbed(job); });
    const Outcome model = modelEmbed(job);
    EXPECT_EQ(engine.statuses, model.statuses);
    EXPECT_TRUE(sameBytes(engine.output, model.output));
}

// The crop, block height, header and document shared by all three carrier kinds; the crop may
// run past the carrier's last row so that reads at its end are covered too.
void chooseCropAndPayload(std::mt19937& rng, EmbedJob& job, int32_t width, int32_t height,
                          bool nearlyWholeWidth = false) {
    const int32_t left = randomIn(rng, 0, nearlyWholeWidth ? 7 : width - 1);
    job.cropLeft = left;
    job.outWidth =
        nearlyWholeWidth ? width - left - randomIn(rng, 0, 3) : randomIn(rng, 1, width - left);
    job.cropBottomRows = randomIn(rng, 0, height - 1);
    job.rowCount = randomIn(rng, 1, height - job.cropBottomRows + (randomIn(rng, 0, 7) == 0));
    job.rowsPerBlock = randomRowsPerBlock(rng, job.outWidth, job.rowCount);
    const int32_t headerRoom = job.rowsPerBlock * job.outWidth * 3 / 4;
    job.header = randomHeader(rng, static_cast<size_t>(randomIn(rng, 1, std::min(24, headerRoom))));
    const int32_t capacity =
        job.rowCount * job.outWidth * 3 / 4 - static_cast<int32_t>(job.header.size());
    job.docLength = randomIn(rng, 0, std::max(0, capacity) + 2);
    // Documents longer than docLength are cut; a shorter one fails, which the model does not
    // know (the read-error tests hold it). RLE8 jobs raise a docLength of 0 to 1.
    const int32_t actual = std::max(job.docLength, 1) + randomIn(rng, 0, 3);
    job.document = randomBytes(rng, static_cast<size_t>(actual));
}

TEST(ModelComparison, Embed24MatchesModel) {
    std::mt19937 rng(24);
    for (const int32_t width : kWidths) {
        for (int n = 0; n < kCasesPerWidth; ++n) {
            EmbedJob job;
            const int32_t height = randomIn(rng, 1, 10);
            chooseCropAndPayload(rng, job, width, height);
            job.cropLeft *= 3;
            job.rowStride = bmptest::stride24(width) + 4 * randomIn(rng, 0, 1);
            job.dataOffset = 54 + (randomIn(rng, 0, 2) == 0 ? randomIn(rng, 1, 60) : 0);
            auto size = static_cast<size_t>(job.dataOffset + job.rowStride * height);
            if (randomIn(rng, 0, 4) == 0) {
                size -= static_cast<size_t>(randomIn(rng, 1, job.rowStride));
            }
            job.carrier = randomBytes(rng, size);
            expectEngineMatchesModel(job);
        }
    }
}

TEST(ModelComparison, Embed80MatchesModel) {
    std::mt19937 rng(80);
    const int32_t paletteSizes[] = {0, 1, 2, 5, 16, 64, 256};
    for (const int32_t width : kWidths) {
        for (int n = 0; n < kCasesPerWidth; ++n) {
            EmbedJob job;
            job.kind = CarrierKind::Bits8;
            const int32_t height = randomIn(rng, 1, 10);
            chooseCropAndPayload(rng, job, width, height);
            const int32_t entries = paletteSizes[randomIn(rng, 0, std::size(paletteSizes) - 1)];
            // Offsets that are not 54 plus a multiple of 4 still read whole entries only.
            job.dataOffset = 54 + 4 * entries + (entries < 256 ? randomIn(rng, 0, 3) : 0);
            job.rowStride = bmptest::stride8(width) + 4 * randomIn(rng, 0, 1);
            Bytes carrier = randomBytes(rng, static_cast<size_t>(job.dataOffset));
            // Mostly indices inside the palette, some beyond it.
            const Bytes indices =
                randomIndices(rng, job.rowStride, height, std::max(entries, 4) - 1);
            carrier.insert(carrier.end(), indices.begin(), indices.end());
            job.carrier = std::move(carrier);
            expectEngineMatchesModel(job);
        }
    }
}

TEST(ModelComparison, Embed81MatchesModelOnWellFormedStreams) {
    std::mt19937 rng(81);
    const bmptest::RleStyle styles[] = {bmptest::RleStyle::Mixed, bmptest::RleStyle::EncodedOnly,
                                        bmptest::RleStyle::AbsoluteOnly};
    std::vector<int32_t> widths(std::begin(kWidths), std::end(kWidths));
    widths.push_back(300); // runs longer than 255 pixels are split
    widths.push_back(517);
    for (const int32_t width : widths) {
        for (int n = 0; n < kCasesPerWidth; ++n) {
            EmbedJob job;
            job.kind = CarrierKind::Rle8;
            job.imageWidth = width;
            const int32_t height = randomIn(rng, 1, width > 100 ? 3 : 10);
            const int32_t rowPixels = bmptest::rle8RowPixels(width);
            // The crop may reach into the decoded pixels past the width (the row's rounding).
            chooseCropAndPayload(rng, job, rowPixels, height);
            job.docLength = std::max(job.docLength, 1);
            const int32_t entries = randomIn(rng, 1, 256);
            const Bytes paletteBytes = randomBytes(rng, static_cast<size_t>(4 * entries));
            std::vector<bmptest::PaletteEntry> palette(static_cast<size_t>(entries));
            for (size_t e = 0; e < palette.size(); ++e) {
                std::copy_n(paletteBytes.begin() + static_cast<std::ptrdiff_t>(4 * e), 4,
                            palette[e].begin());
            }
            job.dataOffset = 54 + 4 * entries;
            job.carrier = bmptest::makeRle8(width, height, palette,
                                            randomIndices(rng, rowPixels, height, entries - 1),
                                            rowPixels, styles[n % 3], randomIn(rng, 0, 1) == 1);
            expectEngineMatchesModel(job);
        }
    }
}

// Arbitrary bytes as the compressed stream: whatever the engine makes of them, it must make
// exactly what the model makes, and it must not touch memory it does not own (sanitizer build).
TEST(ModelComparison, Embed81MatchesModelOnGarbageStreams) {
    std::mt19937 rng(666);
    for (int n = 0; n < 400; ++n) {
        Bytes stream;
        const int32_t length = randomIn(rng, 0, 120);
        for (int32_t k = 0; k < length; ++k) {
            const int32_t pick = randomIn(rng, 0, 9);
            stream.push_back(static_cast<uint8_t>(pick < 4   ? 0
                                                  : pick < 8 ? randomIn(rng, 1, 6)
                                                             : randomIn(rng, 0, 255)));
        }
        EmbedJob job;
        job.kind = CarrierKind::Rle8;
        const int32_t entries = randomIn(rng, 0, 8);
        job.carrier = bmptest::makeRle8Raw(8, 8, bmptest::testPalette(entries), stream);
        job.dataOffset = 54 + 4 * entries;
        job.imageWidth = randomIn(rng, 1, 12);
        job.cropLeft = randomIn(rng, -2, 6);
        job.cropBottomRows = randomIn(rng, 0, 3);
        job.outWidth = randomIn(rng, 1, 12);
        job.rowCount = randomIn(rng, 1, 6);
        job.rowsPerBlock = randomRowsPerBlock(rng, job.outWidth, job.rowCount);
        job.header = randomHeader(rng, static_cast<size_t>(randomIn(rng, 1, 2)));
        job.docLength = randomIn(rng, 1, 9);
        job.document = randomBytes(rng, static_cast<size_t>(job.docLength));
        expectEngineMatchesModel(job);
    }
}

TEST(ModelComparison, ExtractMatchesModel) {
    std::mt19937 rng(14);
    for (int n = 0; n < 300; ++n) {
        ExtractJob job;
        job.rowBytes = randomIn(rng, 1, 40);
        const int32_t stride = (job.rowBytes + 3) / 4 * 4;
        const int32_t rows = randomIn(rng, 1, 12);
        job.dataOffset = randomIn(rng, 1, 80);
        job.rowsPerBlock = randomIn(rng, 1, 3) * (job.rowBytes % 4 == 0   ? 1
                                                  : job.rowBytes % 2 == 0 ? 2
                                                                          : 4);
        // Up to and including a header that fills block 0 exactly (rejected).
        job.headerLength = randomIn(rng, 1, job.rowsPerBlock * job.rowBytes / 4);
        job.docLength = randomIn(rng, 1, rows * job.rowBytes / 4 + 3);
        auto size = static_cast<size_t>(job.dataOffset + rows * stride);
        if (randomIn(rng, 0, 4) == 0) {
            size -= static_cast<size_t>(randomIn(rng, 1, stride));
        }
        job.image = randomBytes(rng, size);
        SCOPED_TRACE(describe(job));
        const Outcome engine = engineExtract(job);
        const Outcome model = modelExtract(job);
        EXPECT_EQ(engine.statuses, model.statuses);
        EXPECT_TRUE(sameBytes(engine.output, model.output));
    }
}

// Rows, documents and streams of many kilobytes, so that every read and write crosses buffer
// boundaries, and carriers cut short in the middle of a row.
TEST(ModelComparison, LargeImagesMatchModel) {
    struct Case {
        CarrierKind kind;
        int32_t width, height;
        bool truncated;
    };
    const Case cases[] = {
        {CarrierKind::Bits24, 90001, 2, false}, {CarrierKind::Bits24, 90001, 2, true},
        {CarrierKind::Bits24, 1500, 40, false}, {CarrierKind::Bits24, 1500, 40, true},
        {CarrierKind::Bits8, 100000, 3, true},  {CarrierKind::Bits8, 5000, 30, false},
        {CarrierKind::Rle8, 3000, 30, false},   {CarrierKind::Rle8, 70000, 3, false},
    };
    std::mt19937 rng(42);
    for (const Case& c : cases) {
        EmbedJob job;
        job.kind = c.kind;
        chooseCropAndPayload(rng, job, c.width, c.height, true);
        if (c.kind == CarrierKind::Rle8) {
            const int32_t rowPixels = bmptest::rle8RowPixels(c.width);
            job.carrier = bmptest::makeRle8(c.width, c.height, bmptest::testPalette(256),
                                            randomIndices(rng, rowPixels, c.height, 255), rowPixels,
                                            bmptest::RleStyle::Mixed);
            job.dataOffset = 1078;
            job.imageWidth = c.width;
            job.docLength = std::max(job.docLength, 1);
        } else {
            const bool indexed = c.kind == CarrierKind::Bits8;
            job.dataOffset = indexed ? 1078 : 54;
            job.rowStride = indexed ? bmptest::stride8(c.width) : bmptest::stride24(c.width);
            job.cropLeft *= indexed ? 1 : 3;
            job.carrier =
                randomBytes(rng, static_cast<size_t>(job.dataOffset + job.rowStride * c.height -
                                                     (c.truncated ? job.rowStride / 2 : 0)));
        }
        expectEngineMatchesModel(job);

        const Outcome embedded = onFreshThread([&] { return engineEmbed(job); });
        ExtractJob back;
        back.image = embedded.output;
        back.rowBytes = 3 * job.outWidth;
        back.rowsPerBlock = 4;
        back.docLength = std::max(job.docLength, 1);
        back.headerLength = static_cast<int32_t>(job.header.size());
        SCOPED_TRACE(describe(back));
        const Outcome engine = engineExtract(back);
        const Outcome model = modelExtract(back);
        EXPECT_EQ(engine.statuses, model.statuses);
        EXPECT_TRUE(sameBytes(engine.output, model.output));
    }
}

// Arguments the program never passes but whose outcome follows from the algorithm: negative
// values that pass the zero checks, positions before the start of a file, 16-bit wrap-around.
TEST(ModelComparison, UnusualArgumentsMatchModel) {
    std::mt19937 rng(7);
    const Bytes carrier24 = bmptest::make24(4, 8, randomBytes(rng, 4 * 3 * 8));
    const Bytes carrier8 =
        bmptest::make8(4, 8, bmptest::testPalette(16), randomIndices(rng, 4, 8, 15));
    const Bytes carrierRle =
        bmptest::makeRle8(4, 8, bmptest::testPalette(16), randomIndices(rng, 4, 8, 15), 4);
    const Bytes document = randomBytes(rng, 40);

    struct Case {
        const char* what;
        CarrierKind kind;
        int32_t dataOffset, cropLeft, cropBottomRows, rowStride, rowsPerBlock, headerLength;
        int32_t docLength, expectedLast;
    };
    const CarrierKind k24 = CarrierKind::Bits24;
    const CarrierKind k8 = CarrierKind::Bits8;
    const CarrierKind kRle = CarrierKind::Rle8;
    const Case cases[] = {
        {"row before the file start", k24, -100, 0, 0, 12, 4, 2, 10, -13},
        {"block 1 document position before its start", k24, 54, 0, 0, 12, 4, 13, 10, -12},
        {"row before the file start, 8-bit", k8, -100, 0, 0, 4, 4, 2, 10, -14},
        {"document position before its start, 8-bit", k8, 118, 0, 0, 4, 4, 13, 10, -13},
        {"document position before its start, RLE8", kRle, 118, 0, 0, 0, 4, 13, 10, -15},
        {"negative stride walks down the file", k24, 54, 0, -7, -12, 4, 2, 10, 0},
        {"negative crop bottom reads the headers", k24, 54, 3, -1, 12, 8, 2, 10, 0},
        // Filler is chosen before the header, so it covers the header's last bytes here.
        {"negative document length", k24, 54, 0, 0, 12, 4, 3, -2, 0},
        {"negative document length, RLE8", kRle, 118, 0, 0, 0, 4, 3, -2, 0},
        {"wrapped 16-bit arguments", k24, 65536 + 54, 65536 + 3, 65536 + 1, 12, 65536 + 4, 2, 10,
         0},
        {"wrapped 16-bit arguments, RLE8", kRle, 65536 + 118, 65536 + 1, 65536 + 1, 0, 65536 + 4, 2,
         10, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EmbedJob job;
        job.kind = c.kind;
        job.carrier = c.kind == CarrierKind::Bits24  ? carrier24
                      : c.kind == CarrierKind::Bits8 ? carrier8
                                                     : carrierRle;
        job.dataOffset = c.dataOffset;
        job.cropLeft = c.cropLeft;
        job.cropBottomRows = c.cropBottomRows;
        job.rowStride = c.rowStride;
        job.imageWidth = 4;
        job.outWidth = 3;
        job.rowCount = 6;
        job.rowsPerBlock = c.rowsPerBlock;
        job.header = std::string(static_cast<size_t>(c.headerLength), 'h');
        job.docLength = c.docLength;
        job.document = document;
        const Outcome engine = onFreshThread([&] { return engineEmbed(job); });
        ASSERT_FALSE(engine.statuses.empty());
        EXPECT_EQ(engine.statuses.back(), c.expectedLast);
        expectEngineMatchesModel(job);
    }
}

} // namespace
} // namespace enginetest
