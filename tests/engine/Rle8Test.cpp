// embed81's decoding of the run-length stream: which pixels reach the output, and how each kind
// of malformed stream is reported.

#include "TestSupport.h"
#include "vokbfn1.h"

#include <gtest/gtest.h>

namespace enginetest {
namespace {

constexpr int32_t kTraceableOffset = 54 + 4 * 64;

EmbedJob rleJob(const Bytes& stream, int32_t imageWidth) {
    EmbedJob job;
    job.kind = CarrierKind::Rle8;
    job.carrier = bmptest::makeRle8Raw(imageWidth, 8, traceablePalette(), stream);
    job.dataOffset = kTraceableOffset;
    job.imageWidth = imageWidth;
    job.docLength = 1;
    job.document = {0x5A};
    return job;
}

TEST(Rle8Decoding, StreamsGiveTheseStatusesAndPixels) {
    struct Case {
        const char* what;
        int32_t imageWidth, cropLeft, cropBottom, outWidth, rowCount;
        Bytes stream;
        int32_t status;
        Bytes indices; // of the output, when the call succeeds
    };
    const Case cases[] = {
        // Malformed codes, by where they are met.
        {"jump among the bottom rows", 4, 0, 1, 4, 1, {0, 2, 1, 1, 4, 1, 0, 0}, -17, {}},
        {"end of image ending a bottom row", 4, 0, 1, 4, 1, {4, 1, 0, 1, 4, 2, 0, 0}, -17, {}},
        {"bottom row too short", 4, 0, 1, 4, 1, {3, 1, 0, 0, 4, 2, 0, 0}, -17, {}},
        {"jump among the left pixels", 4, 2, 0, 2, 1, {1, 1, 0, 2, 3, 1, 0, 0}, -18, {}},
        {"end of row among the left pixels", 4, 2, 0, 2, 1, {2, 1, 0, 0}, -18, {}},
        {"jump at a row start", 4, 0, 0, 4, 1, {0, 2, 4, 1, 0, 0}, -19, {}},
        {"end of row at a row start", 4, 0, 0, 4, 1, {0, 0, 4, 1, 0, 0}, -19, {}},
        {"jump inside a row", 4, 0, 0, 4, 1, {2, 1, 0, 2, 2, 1, 0, 0}, -20, {}},
        {"end of row too early", 4, 0, 0, 4, 1, {2, 1, 0, 0}, -20, {}},
        {"jump after the last pixel", 4, 0, 0, 4, 1, {4, 1, 0, 2}, -21, {}},
        {"absolute code after the last pixel", 4, 0, 0, 4, 1, {4, 1, 0, 5}, -21, {}},
        {"run after the last pixel", 4, 0, 0, 4, 1, {4, 1, 4, 2}, -21, {}},
        {"second row malformed", 4, 0, 0, 4, 2, {4, 1, 0, 0, 0, 2}, -19, {}},
        // Accepted row ends.
        {"end of image ending a crop row",
         4,
         0,
         0,
         4,
         2,
         {4, 1, 0, 1, 4, 2, 0, 0},
         0,
         {1, 1, 1, 1, 2, 2, 2, 2}},
        {"only the second byte of a row end counts",
         4,
         0,
         0,
         4,
         2,
         {4, 1, 7, 0, 4, 2, 9, 1},
         0,
         {1, 1, 1, 1, 2, 2, 2, 2}},
        {"overlong bottom row ends without a row end",
         4,
         0,
         1,
         4,
         1,
         {3, 1, 3, 1, 4, 2, 0, 1},
         0,
         {2, 2, 2, 2}},
        // Runs at the crop's left edge and pad bytes.
        {"encoded run across the left edge", 4, 2, 0, 2, 1, {3, 1, 1, 2, 0, 0}, 0, {1, 2}},
        {"odd absolute run across the left edge",
         5,
         2,
         0,
         6,
         1,
         {0, 5, 1, 2, 3, 4, 5, 0, 3, 6, 0, 0},
         0,
         {3, 4, 5, 6, 6, 6}},
        {"even absolute run across the left edge",
         5,
         1,
         0,
         7,
         1,
         {0, 4, 1, 2, 3, 4, 4, 6, 0, 0},
         0,
         {2, 3, 4, 6, 6, 6, 6}},
        {"odd absolute run ending at the left edge",
         5,
         3,
         0,
         5,
         1,
         {0, 3, 1, 2, 3, 0, 5, 6, 0, 0},
         0,
         {6, 6, 6, 6, 6}},
        {"encoded run ending at the left edge",
         8,
         2,
         0,
         6,
         1,
         {2, 1, 0, 6, 2, 3, 4, 5, 6, 7, 0, 0},
         0,
         {2, 3, 4, 5, 6, 7}},
        {"odd absolute run mid-row",
         5,
         0,
         0,
         8,
         1,
         {0, 3, 1, 2, 3, 0, 5, 4, 0, 0},
         0,
         {1, 2, 3, 4, 4, 4, 4, 4}},
        {"odd absolute run ending the row",
         8,
         0,
         0,
         8,
         2,
         {1, 1, 0, 7, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 8, 9, 0, 1},
         0,
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 9, 9, 9, 9, 9, 9, 9}},
        {"width 10 decodes 12 pixels a row",
         10,
         0,
         0,
         10,
         2,
         {12, 3, 0, 0, 10, 4, 2, 5, 0, 0},
         0,
         {3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EmbedJob job = rleJob(c.stream, c.imageWidth);
        job.cropLeft = c.cropLeft;
        job.cropBottomRows = c.cropBottom;
        job.outWidth = c.outWidth;
        job.rowCount = c.rowCount;
        const Outcome engine = onFreshThread([&] { return engineEmbed(job); });
        EXPECT_EQ(engine.statuses, std::vector<int32_t>{c.status});
        if (c.status == 0) {
            EXPECT_EQ(tracedIndices(engine.output, c.outWidth, c.rowCount), c.indices);
        }
        EXPECT_TRUE(sameBytes(engine.output, modelEmbed(job).output));
    }
}

// Whatever mix of runs the stream uses, the output shows exactly the crop of the pixels.
TEST(Rle8Decoding, OutputShowsTheCropOfTheEncodedPixels) {
    std::mt19937 rng(8);
    const bmptest::RleStyle styles[] = {bmptest::RleStyle::Mixed, bmptest::RleStyle::EncodedOnly,
                                        bmptest::RleStyle::AbsoluteOnly};
    for (const int32_t width : {1, 2, 3, 5, 7, 10, 13, 31, 260, 511}) {
        for (const bmptest::RleStyle style : styles) {
            const int32_t height = width > 100 ? 3 : 9;
            const int32_t rowPixels = bmptest::rle8RowPixels(width);
            const Bytes indices = randomIndices(rng, rowPixels, height, 63);
            EmbedJob job;
            job.kind = CarrierKind::Rle8;
            job.carrier =
                bmptest::makeRle8(width, height, traceablePalette(), indices, rowPixels, style);
            job.dataOffset = kTraceableOffset;
            job.imageWidth = width;
            job.cropLeft = randomIn(rng, 0, width - 1);
            job.outWidth = randomIn(rng, 1, width - job.cropLeft);
            job.cropBottomRows = randomIn(rng, 0, height - 1);
            job.rowCount = randomIn(rng, 1, height - job.cropBottomRows);
            job.rowsPerBlock = randomRowsPerBlock(rng, job.outWidth, job.rowCount);
            job.docLength = 1;
            job.document = {0x5A};
            SCOPED_TRACE(describe(job));
            Bytes expected;
            for (int32_t r = 0; r < job.rowCount; ++r) {
                const auto first =
                    indices.begin() + (job.cropBottomRows + r) * rowPixels + job.cropLeft;
                expected.insert(expected.end(), first, first + job.outWidth);
            }
            const Outcome run = engineEmbed(job);
            EXPECT_EQ(run.statuses.back(), 0);
            EXPECT_EQ(tracedIndices(run.output, job.outWidth, job.rowCount), expected);
        }
    }
}

TEST(Rle8Decoding, ResumePositionBeforeTheFileFails) {
    TempDir dir;
    const std::string carrier = dir.file("carrier.bmp");
    const std::string document = dir.file("document.bin");
    const std::string output = dir.file("output.bmp");
    bmptest::writeFile(carrier, rleJob({4, 1, 0, 0, 4, 1, 0, 0}, 4).carrier);
    bmptest::writeFile(document, {1});
    bmptest::writeFile(output, {});
    EXPECT_EQ(embed81(1, -1, 4, kTraceableOffset, 0, 0, 4, 4, 8, 1, "H", carrier.c_str(),
                      document.c_str(), output.c_str()),
              -16);
    EXPECT_TRUE(bmptest::readFile(output).empty());
}

} // namespace
} // namespace enginetest
