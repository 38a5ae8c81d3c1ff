#include "TestSupport.h"

#include "vokbfn1.h"

#include <atomic>
#include <cerrno>
#include <sstream>
#include <unistd.h>

namespace enginetest {

namespace {

// A run that keeps returning "block done" is a fault, not a reason to hang the suite.
constexpr size_t kMaxCalls = 100000;

template <class Call> Outcome runProtocol(Call call, bool resumeFromStatus) {
    Outcome run;
    int32_t block = 0;
    int32_t resume = 0;
    int32_t status = 0;
    do {
        errno = 0;
        status = call(block, resume);
        run.error = errno;
        run.statuses.push_back(status);
        if (resumeFromStatus) {
            resume = status;
        }
        ++block;
    } while (status > 0 && run.statuses.size() < kMaxCalls);
    return run;
}

} // namespace

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device entropy;
    std::ostringstream name;
    name << "brindmar-test-" << getpid() << '-' << counter++ << '-' << entropy();
    path_ = std::filesystem::temp_directory_path() / name.str();
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

Outcome engineEmbed(const EmbedJob& job) {
    TempDir dir;
    const std::string carrier = dir.file("carrier.bmp");
    const std::string document = dir.file("document.bin");
    const std::string output = dir.file("output.bmp");
    bmptest::writeFile(carrier, job.carrier);
    bmptest::writeFile(document, job.document);
    bmptest::writeFile(output, bmptest::outputHeaders24(job.outWidth, job.rowCount));
    const char* h = job.header.c_str();
    const char* c = carrier.c_str();
    const char* d = document.c_str();
    const char* o = output.c_str();

    Outcome run = runProtocol(
        [&](int32_t block, int32_t resume) {
            switch (job.kind) {
            case CarrierKind::Bits24:
                return embed24(block, job.rowsPerBlock, job.dataOffset, job.cropLeft,
                               job.cropBottomRows, job.rowStride, job.outWidth, job.rowCount,
                               job.docLength, h, c, d, o);
            case CarrierKind::Bits8:
                return embed80(block, job.rowsPerBlock, job.dataOffset, job.cropLeft,
                               job.cropBottomRows, job.rowStride, job.outWidth, job.rowCount,
                               job.docLength, h, c, d, o);
            case CarrierKind::Rle8:
                break;
            }
            return embed81(block, resume, job.rowsPerBlock, job.dataOffset, job.cropLeft,
                           job.cropBottomRows, job.imageWidth, job.outWidth, job.rowCount,
                           job.docLength, h, c, d, o);
        },
        job.kind == CarrierKind::Rle8);
    run.output = bmptest::readFile(output);
    return run;
}

Outcome modelEmbed(const EmbedJob& job, refmodel::Filler& filler) {
    Bytes output = bmptest::outputHeaders24(job.outWidth, job.rowCount);
    Outcome run = runProtocol(
        [&](int32_t block, int32_t resume) {
            refmodel::CallResult result;
            if (job.kind == CarrierKind::Rle8) {
                const refmodel::Rle8Args args{block,          resume,       job.rowsPerBlock,
                                              job.dataOffset, job.cropLeft, job.cropBottomRows,
                                              job.imageWidth, job.outWidth, job.rowCount,
                                              job.docLength,  job.header};
                result = refmodel::embed81(args, job.carrier, job.document, filler);
            } else {
                const refmodel::EmbedArgs args{block,        job.rowsPerBlock,   job.dataOffset,
                                               job.cropLeft, job.cropBottomRows, job.rowStride,
                                               job.outWidth, job.rowCount,       job.docLength,
                                               job.header};
                result = job.kind == CarrierKind::Bits24
                             ? refmodel::embed24(args, job.carrier, job.document, filler)
                             : refmodel::embed80(args, job.carrier, job.document, filler);
            }
            output.insert(output.end(), result.written.begin(), result.written.end());
            return result.status;
        },
        job.kind == CarrierKind::Rle8);
    run.output = std::move(output);
    return run;
}

Outcome modelEmbed(const EmbedJob& job) {
    refmodel::Filler filler;
    return modelEmbed(job, filler);
}

Outcome engineExtract(const ExtractJob& job) {
    TempDir dir;
    const std::string image = dir.file("image.bmp");
    const std::string output = dir.file("document.out");
    bmptest::writeFile(image, job.image);
    Outcome run = runProtocol(
        [&](int32_t block, int32_t) {
            return extract(block, job.rowsPerBlock, job.dataOffset, job.rowBytes, job.docLength,
                           job.headerLength, image.c_str(), output.c_str());
        },
        false);
    run.output = bmptest::readFile(output);
    return run;
}

Outcome modelExtract(const ExtractJob& job) {
    Bytes output;
    Outcome run = runProtocol(
        [&](int32_t block, int32_t) {
            const refmodel::ExtractArgs args{block,        job.rowsPerBlock, job.dataOffset,
                                             job.rowBytes, job.docLength,    job.headerLength};
            refmodel::CallResult result = refmodel::extract(args, job.image);
            output.insert(output.end(), result.written.begin(), result.written.end());
            return result.status;
        },
        false);
    run.output = std::move(output);
    return run;
}

std::string describe(const EmbedJob& job) {
    static const char* const kinds[] = {"24-bit", "8-bit", "RLE8"};
    std::ostringstream out;
    out << kinds[static_cast<int>(job.kind)] << " carrier of " << job.carrier.size()
        << " bytes, document " << job.document.size() << " bytes, header " << job.header.size()
        << " bytes; rowsPerBlock " << job.rowsPerBlock << ", dataOffset " << job.dataOffset
        << ", cropLeft " << job.cropLeft << ", cropBottomRows " << job.cropBottomRows
        << ", rowStride " << job.rowStride << ", imageWidth " << job.imageWidth << ", outWidth "
        << job.outWidth << ", rowCount " << job.rowCount << ", docLength " << job.docLength;
    return out.str();
}

std::string describe(const ExtractJob& job) {
    std::ostringstream out;
    out << "image of " << job.image.size() << " bytes; rowsPerBlock " << job.rowsPerBlock
        << ", dataOffset " << job.dataOffset << ", rowBytes " << job.rowBytes << ", docLength "
        << job.docLength << ", headerLength " << job.headerLength;
    return out.str();
}

::testing::AssertionResult sameBytes(const Bytes& actual, const Bytes& expected) {
    const size_t common = std::min(actual.size(), expected.size());
    for (size_t i = 0; i < common; ++i) {
        if (actual[i] != expected[i]) {
            return ::testing::AssertionFailure()
                   << "first difference at byte " << i << ": " << int{actual[i]} << " instead of "
                   << int{expected[i]} << " (sizes " << actual.size() << " and " << expected.size()
                   << ")";
        }
    }
    if (actual.size() != expected.size()) {
        return ::testing::AssertionFailure() << "size " << actual.size() << " instead of "
                                             << expected.size() << " (common prefix equal)";
    }
    return ::testing::AssertionSuccess();
}

int32_t randomIn(std::mt19937& rng, int32_t lo, int32_t hi) {
    return std::uniform_int_distribution<int32_t>(lo, hi)(rng);
}

Bytes randomBytes(std::mt19937& rng, size_t count) {
    static const uint8_t edges[] = {0, 1, 2, 3, 4, 5, 6, 250, 251, 252, 253, 254, 255};
    Bytes out(count);
    for (uint8_t& b : out) {
        b = randomIn(rng, 0, 2) == 0 ? edges[randomIn(rng, 0, std::size(edges) - 1)]
                                     : static_cast<uint8_t>(randomIn(rng, 0, 255));
    }
    return out;
}

std::string randomHeader(std::mt19937& rng, size_t length) {
    std::string out(length, ' ');
    for (char& c : out) {
        c = static_cast<char>(randomIn(rng, 1, 255));
    }
    return out;
}

Bytes randomIndices(std::mt19937& rng, int32_t rowPixels, int32_t rows, int32_t indexLimit) {
    Bytes out;
    for (int32_t r = 0; r < rows; ++r) {
        for (int32_t col = 0; col < rowPixels;) {
            const int32_t shape = randomIn(rng, 0, 9);
            const int32_t run = shape < 5   ? 1
                                : shape < 9 ? randomIn(rng, 2, 6)
                                            : randomIn(rng, 7, 300);
            const auto index = static_cast<uint8_t>(randomIn(rng, 0, indexLimit));
            for (int32_t k = 0; k < run && col < rowPixels; ++k, ++col) {
                out.push_back(index);
            }
        }
    }
    return out;
}

int32_t randomRowsPerBlock(std::mt19937& rng, int32_t outWidth, int32_t rowCount) {
    const int32_t step = outWidth % 4 == 0 ? 1 : outWidth % 2 == 0 ? 2 : 4;
    return step * randomIn(rng, 1, std::max(1, (rowCount + step) / step));
}

std::vector<bmptest::PaletteEntry> traceablePalette() {
    std::vector<bmptest::PaletteEntry> palette;
    for (int i = 0; i < 64; ++i) {
        palette.push_back({static_cast<uint8_t>((i << 2) | 2),
                           static_cast<uint8_t>(((63 - i) << 2) | 2),
                           static_cast<uint8_t>((((i * 5) & 63) << 2) | 2), 0xAA});
    }
    return palette;
}

Bytes colourBytes(const Bytes& output, int32_t width, int32_t height) {
    const auto rowBytes = static_cast<size_t>(3 * width);
    const auto stride = static_cast<size_t>(bmptest::stride24(width));
    Bytes out;
    for (size_t r = 0; r < static_cast<size_t>(height); ++r) {
        const size_t first = 54 + r * stride;
        for (size_t k = 0; k < rowBytes && first + k < output.size(); ++k) {
            out.push_back(output[first + k]);
        }
    }
    return out;
}

Bytes tracedIndices(const Bytes& output, int32_t width, int32_t height) {
    const Bytes colours = colourBytes(output, width, height);
    Bytes out;
    for (size_t k = 0; k + 2 < colours.size(); k += 3) {
        out.push_back(static_cast<uint8_t>(colours[k] >> 2));
    }
    return out;
}

Bytes lowBitBytes(const Bytes& colours, size_t firstByte, size_t count) {
    Bytes out;
    for (size_t j = firstByte; j < firstByte + count; ++j) {
        unsigned value = 0;
        for (unsigned t = 0; t < 4; ++t) {
            value |= (colours.at(4 * j + t) & 3u) << (2 * t);
        }
        out.push_back(static_cast<uint8_t>(value));
    }
    return out;
}

} // namespace enginetest
