// Reads that fail are failures, never ends of file: one failed read anywhere in a run fails the
// call it hits and says why in errno; a document that shrank fails the same way; a write the disk
// has no room for says so.

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

// Gives the job a random carrier of its kind, width x height pixels in rows of rowPixels
// (wider than width for RLE8 only).
void randomCarrier(std::mt19937& rng, EmbedJob& job, int32_t width, int32_t height,
                   int32_t rowPixels) {
    const auto palette = bmptest::testPalette(256);
    job.imageWidth = width;
    job.dataOffset = job.kind == CarrierKind::Bits24 ? 54 : 1078;
    job.rowStride =
        job.kind == CarrierKind::Bits24 ? bmptest::stride24(width) : bmptest::stride8(width);
    job.carrier =
        job.kind == CarrierKind::Bits24
            ? bmptest::make24(width, height,
                              randomBytes(rng, static_cast<size_t>(3 * width * height)))
        : job.kind == CarrierKind::Bits8
            ? bmptest::make8(width, height, palette, randomIndices(rng, width, height, 255))
            : bmptest::makeRle8(width, height, palette, randomIndices(rng, rowPixels, height, 255),
                                rowPixels);
}

// A random embedding whose document fills a random part of the crop, of exactly docLength bytes.
EmbedJob randomJob(std::mt19937& rng, CarrierKind kind) {
    EmbedJob job;
    job.kind = kind;
    const int32_t width = randomIn(rng, 1, 40);
    const int32_t height = randomIn(rng, 1, 12);
    const int32_t rowPixels = kind == CarrierKind::Rle8 ? bmptest::rle8RowPixels(width) : width;
    job.outWidth = randomIn(rng, 1, rowPixels);
    job.cropLeft = randomIn(rng, 0, rowPixels - job.outWidth);
    job.cropBottomRows = randomIn(rng, 0, height - 1);
    job.rowCount = height - job.cropBottomRows;
    job.rowsPerBlock = randomRowsPerBlock(rng, job.outWidth, job.rowCount);
    if (job.rowsPerBlock * job.outWidth * 3 / 4 - 1 < 1) { // no room for the header
        job.rowsPerBlock *= 4;
    }
    job.header = randomHeader(rng, 1);
    const int32_t capacity = job.rowCount * job.outWidth * 3 / 4 - 1;
    job.docLength = randomIn(rng, 1, std::max(1, capacity));
    job.document = randomBytes(rng, static_cast<size_t>(job.docLength));
    randomCarrier(rng, job, width, height, rowPixels);
    if (kind == CarrierKind::Bits24) {
        job.cropLeft *= 3;
    }
    return job;
}

template <class R> struct Counted {
    R run{};
    int64_t reads = 0;
};

// Runs work on a fresh thread, where the seam and the count start clean, with the n-th read
// failing (none when n is 0).
template <class Work> auto withFailingRead(int64_t n, Work work) {
    return onFreshThread([&] {
        vokb::failNthRead(n, EIO);
        Counted<std::invoke_result_t<Work>> counted{work(), vokb::systemReads()};
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
                back.image = onFreshThread([&] { return engineEmbed(job); }).output;
                back.rowBytes = 3 * job.outWidth;
                back.rowsPerBlock = job.rowsPerBlock;
                back.docLength = job.docLength;
                back.headerLength = static_cast<int32_t>(job.header.size());
                work = [back] { return engineExtract(back); };
            }
            const auto clean = withFailingRead(0, work);
            ASSERT_EQ(clean.run.statuses.back(), 0) << kind.name << ' ' << describe(job);
            const int64_t failing = randomIn(rng, 1, static_cast<int32_t>(clean.reads));
            const auto faulty = withFailingRead(failing, work);
            SCOPED_TRACE(std::string(kind.name) + " read " + std::to_string(failing) + " of " +
                         std::to_string(clean.reads) + ": " + describe(job));
            EXPECT_EQ(kind.readStatuses.count(faulty.run.statuses.back()), 1u)
                << faulty.run.statuses.back();
            EXPECT_EQ(faulty.run.error, EIO);
        }
    }
}

// A document shorter than the length it was announced with fails with its read status; a
// longer one is cut at the length, as it always was.
TEST(ReadErrors, DocumentThatShrankFails) {
    struct Case {
        CarrierKind kind;
        int32_t missing; // bytes fewer than docLength
        int32_t status;  // a failure says ENODATA
    };
    const Case cases[] = {
        {CarrierKind::Bits24, 1, -12},  {CarrierKind::Bits8, 1, -13}, {CarrierKind::Rle8, 1, -15},
        {CarrierKind::Bits24, 37, -12}, {CarrierKind::Bits24, -5, 0}, {CarrierKind::Rle8, -5, 0},
    };
    std::mt19937 rng(2202);
    for (const Case& c : cases) {
        // A 60 x 4 crop holds 179 document bytes after the header: room for all of them.
        EmbedJob job;
        job.kind = c.kind;
        job.outWidth = 60;
        job.rowCount = 4;
        job.docLength = 100;
        randomCarrier(rng, job, 60, 4, bmptest::rle8RowPixels(60));
        job.document = randomBytes(rng, static_cast<size_t>(job.docLength - c.missing));
        const Outcome run = onFreshThread([&] { return engineEmbed(job); });
        SCOPED_TRACE(describe(job));
        EXPECT_EQ(run.statuses.back(), c.status);
        EXPECT_EQ(run.error, c.status == 0 ? 0 : ENODATA);
    }
}

// filefindstr cannot say "not found" about bytes it could not read; a file that is full is said
// to be, in errno, by every export that writes.
TEST(ReadErrors, SearchAndFullDisk) {
    TempDir dir;
    const std::string text = dir.file("text.txt");
    bmptest::writeFile(text, Bytes(10000, 'a'));
    struct SearchCase {
        int64_t failingRead;
        const char* needle;
        int32_t status;
    };
    for (const SearchCase& c : {SearchCase{0, "b", -1}, SearchCase{1, "b", -5},
                                SearchCase{2, "b", -5}, SearchCase{0, "aa", 0}}) {
        const auto found = withFailingRead(
            c.failingRead, [&] { return filefindstr(2, 0, 0, c.needle, text.c_str()); });
        EXPECT_EQ(found.run, c.status) << c.failingRead << ' ' << c.needle;
    }

    struct stat st {};
    if (stat("/dev/full", &st) != 0 || !S_ISCHR(st.st_mode)) {
        GTEST_SKIP() << "no /dev/full to fill";
    }
    std::mt19937 rng(2203);
    EmbedJob job = randomJob(rng, CarrierKind::Bits24);
    const std::string carrier = dir.file("carrier.bmp");
    const std::string document = dir.file("document.bin");
    bmptest::writeFile(carrier, job.carrier);
    bmptest::writeFile(document, job.document);
    const std::pair<std::function<int32_t()>, int32_t> writes[] = {
        {[&] {
             return embed24(0, job.rowsPerBlock, 54, job.cropLeft, job.cropBottomRows,
                            job.rowStride, job.outWidth, job.rowCount, job.docLength,
                            job.header.c_str(), carrier.c_str(), document.c_str(), "/dev/full");
         },
         -15},
        {[&] { return extract(0, 4, 54, 3, 2, 1, carrier.c_str(), "/dev/full"); }, -14},
    };
    for (const auto& [write, status] : writes) {
        errno = 0;
        const int32_t written = write();
        const int error = errno;
        EXPECT_EQ(written, status);
        EXPECT_EQ(error, ENOSPC) << status;
    }
}

} // namespace
} // namespace enginetest
