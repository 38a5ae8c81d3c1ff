// Reads that fail are failures, never ends of file: one failed read anywhere in a run fails the
// call it hits and says why in errno; so does a document that shrank; a full disk says so.

#include "Streams.h"
#include "TestSupport.h"
#include "vokbfn1.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <optional>
#include <set>
#include <sys/stat.h>

namespace enginetest {
namespace {

// A random carrier of the job's kind, width x height pixels (RLE8 rows are wider).
void randomCarrier(std::mt19937& rng, EmbedJob& job, int32_t width, int32_t height) {
    const bool rgb = job.kind == CarrierKind::Bits24;
    const int32_t rowPixels = job.kind == CarrierKind::Rle8 ? bmptest::rle8RowPixels(width) : width;
    job.imageWidth = width;
    job.dataOffset = rgb ? 54 : 1078;
    job.rowStride = rgb ? bmptest::stride24(width) : bmptest::stride8(width);
    if (rgb) {
        job.carrier = bmptest::make24(width, height, randomBytes(rng, size_t(3 * width * height)));
        return;
    }
    const auto palette = bmptest::testPalette(256);
    const Bytes pixels = randomIndices(rng, rowPixels, height, 255);
    job.carrier = job.kind == CarrierKind::Bits8
                      ? bmptest::make8(width, height, palette, pixels)
                      : bmptest::makeRle8(width, height, palette, pixels, rowPixels);
}

// A random embedding whose document of docLength bytes fills a random part of a random crop.
EmbedJob randomJob(std::mt19937& rng, CarrierKind kind) {
    EmbedJob job;
    job.kind = kind;
    const int32_t width = randomIn(rng, 1, 40), height = randomIn(rng, 1, 12);
    const int32_t rowPixels = kind == CarrierKind::Rle8 ? bmptest::rle8RowPixels(width) : width;
    job.outWidth = randomIn(rng, 1, rowPixels);
    job.cropLeft = randomIn(rng, 0, rowPixels - job.outWidth);
    job.cropBottomRows = randomIn(rng, 0, height - 1);
    job.rowCount = height - job.cropBottomRows;
    job.rowsPerBlock = randomRowsPerBlock(rng, job.outWidth, job.rowCount);
    job.rowsPerBlock *= job.rowsPerBlock * job.outWidth * 3 / 4 - 1 < 1 ? 4 : 1; // header room
    job.header = randomHeader(rng, 1);
    job.docLength = randomIn(rng, 1, std::max(1, job.rowCount * job.outWidth * 3 / 4 - 1));
    job.document = randomBytes(rng, static_cast<size_t>(job.docLength));
    randomCarrier(rng, job, width, height);
    job.cropLeft *= kind == CarrierKind::Bits24 ? 3 : 1;
    return job;
}

// Runs work on a fresh thread (clean seam and count) with the n-th read failing (none if n is 0);
// gives its result and how many reads it made.
template <class Work> auto withFailingRead(int64_t n, Work work) {
    return onFreshThread([&] {
        vokb::failNthRead(n, EIO);
        std::pair<std::invoke_result_t<Work>, int64_t> counted{work(), vokb::systemReads()};
        vokb::failNthRead(0, 0);
        return counted;
    });
}

// Property: whichever single read fails, the run ends in a failure of the file being read, with
// EIO in errno, and no call before it claims the work done.
TEST(ReadErrors, AnyFailedReadFailsTheRun) {
    struct Kind {
        const char* name;
        std::optional<CarrierKind> embed; // none: extract
        std::set<int32_t> readStatuses;
    };
    const Kind kinds[] = {
        {"embed24", CarrierKind::Bits24, {-12, -13}},
        {"embed80", CarrierKind::Bits8, {-12, -13, -14}},
        {"embed81", CarrierKind::Rle8, {-14, -15, -16}},
        {"extract", std::nullopt, {-13}},
    };
    std::mt19937 rng(2201);
    for (const Kind& kind : kinds) {
        for (int n = 0; n < 40; ++n) {
            const EmbedJob job = randomJob(rng, kind.embed.value_or(CarrierKind::Bits24));
            std::function<Outcome()> work = [&] { return engineEmbed(job); };
            if (!kind.embed) {
                ExtractJob back;
                back.image = onFreshThread(work).output;
                back.rowBytes = 3 * job.outWidth;
                back.rowsPerBlock = job.rowsPerBlock;
                back.docLength = job.docLength;
                back.headerLength = static_cast<int32_t>(job.header.size());
                work = [back] { return engineExtract(back); };
            }
            const auto [clean, reads] = withFailingRead(0, work);
            ASSERT_EQ(clean.statuses.back(), 0) << kind.name << ' ' << describe(job);
            const int64_t failing = randomIn(rng, 1, static_cast<int32_t>(reads));
            const Outcome faulty = withFailingRead(failing, work).first;
            SCOPED_TRACE(std::string(kind.name) + " read " + std::to_string(failing) + " of " +
                         std::to_string(reads) + ": " + describe(job));
            EXPECT_EQ(kind.readStatuses.count(faulty.statuses.back()), 1u)
                << faulty.statuses.back();
            EXPECT_EQ(faulty.error, EIO);
        }
    }
}

// A document shorter than its announced length fails with its read status and ENODATA; a longer
// one (missing < 0) is cut at the length, as it always was.
TEST(ReadErrors, DocumentThatShrankFails) {
    const std::tuple<CarrierKind, int32_t, int32_t> cases[] = {
        // kind, missing bytes, status
        {CarrierKind::Bits24, 1, -12},  {CarrierKind::Bits8, 1, -13}, {CarrierKind::Rle8, 1, -15},
        {CarrierKind::Bits24, 37, -12}, {CarrierKind::Bits24, -5, 0}, {CarrierKind::Rle8, -5, 0},
    };
    std::mt19937 rng(2202);
    for (const auto& [kind, missing, status] : cases) {
        // A 60 x 4 crop holds 179 document bytes after the header: room for all of them.
        EmbedJob job;
        job.kind = kind;
        job.outWidth = 60;
        job.rowCount = 4;
        job.docLength = 100;
        randomCarrier(rng, job, 60, 4);
        job.document = randomBytes(rng, static_cast<size_t>(job.docLength - missing));
        const Outcome run = onFreshThread([&] { return engineEmbed(job); });
        EXPECT_EQ(run.statuses.back(), status) << describe(job);
        EXPECT_EQ(run.error, status == 0 ? 0 : ENODATA) << describe(job);
    }
}

// filefindstr cannot say "not found" about bytes it could not read; every export that writes
// says in errno that the disk is full.
TEST(ReadErrors, SearchAndFullDisk) {
    TempDir dir;
    const std::string text = dir.file("text.txt");
    bmptest::writeFile(text, Bytes(10000, 'a'));
    const std::tuple<int64_t, const char*, int32_t> searches[] = {// failing read, needle, status
                                                                  {0, "b", -1},
                                                                  {1, "b", -5},
                                                                  {2, "b", -5},
                                                                  {0, "aa", 0}};
    for (const auto& [failingRead, needle, status] : searches) {
        const auto found = withFailingRead(failingRead, [&, needle = needle] {
            return filefindstr(2, 0, 0, needle, text.c_str());
        });
        EXPECT_EQ(found.first, status) << failingRead << ' ' << needle;
    }

    struct stat st {};
    if (stat("/dev/full", &st) != 0 || !S_ISCHR(st.st_mode)) {
        GTEST_SKIP() << "no /dev/full to fill";
    }
    std::mt19937 rng(2203);
    const EmbedJob job = randomJob(rng, CarrierKind::Bits24);
    const std::string carrier = dir.file("carrier.bmp"), document = dir.file("document.bin");
    bmptest::writeFile(carrier, job.carrier);
    bmptest::writeFile(document, job.document);
    const auto expectDiskFull = [](int32_t status, int32_t written) {
        const int error = errno;
        EXPECT_EQ(written, status);
        EXPECT_EQ(error, ENOSPC) << status;
    };
    errno = 0;
    expectDiskFull(-15,
                   embed24(0, job.rowsPerBlock, 54, job.cropLeft, job.cropBottomRows, job.rowStride,
                           job.outWidth, job.rowCount, job.docLength, job.header.c_str(),
                           carrier.c_str(), document.c_str(), "/dev/full"));
    errno = 0;
    expectDiskFull(-14, extract(0, 4, 54, 3, 2, 1, carrier.c_str(), "/dev/full"));
}

} // namespace
} // namespace enginetest
