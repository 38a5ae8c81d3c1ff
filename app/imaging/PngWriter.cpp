#include "imaging/PngWriter.h"

#include "payload/BmpHeader.h"

#include <QFile>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>
#include <zlib.h>

namespace brindmar {

namespace {

constexpr std::array<unsigned char, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// Compressed data goes out in chunks of this size; readers take any split.
constexpr size_t kChunkBytes = 1 << 16;
constexpr int kRowsBetweenChecks = 64;
constexpr int64_t kBandRows = 32;

void putBe32(std::vector<unsigned char>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<unsigned char>(v >> shift));
    }
}

class ChunkWriter {
public:
    explicit ChunkWriter(QFile& file) : m_file(file) {}

    bool write(const char* type, const unsigned char* data, size_t size) {
        std::vector<unsigned char> head;
        putBe32(head, static_cast<uint32_t>(size));
        head.insert(head.end(), type, type + 4);
        uLong crc = crc32(0, head.data() + 4, 4);
        if (size > 0) {
            crc = crc32(crc, data, static_cast<uInt>(size));
        }
        std::vector<unsigned char> tail;
        putBe32(tail, static_cast<uint32_t>(crc));
        return put(head.data(), head.size()) && put(data, size) && put(tail.data(), tail.size());
    }
    bool put(const unsigned char* data, size_t size) {
        return size == 0 || m_file.write(reinterpret_cast<const char*>(data),
                                         static_cast<qint64>(size)) == static_cast<qint64>(size);
    }

private:
    QFile& m_file;
};

int paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a);
    const int pb = std::abs(p - b);
    const int pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// The row under each of the five filters, the one whose bytes, read as signed, sum smallest
// first (libpng's choice): cheap, and well ahead of any single filter on photographs. Each
// filter has a loop of its own the compiler can keep tight, and a candidate is given up as soon
// as its sum reaches the best so far; a tie keeps the earlier filter.
template <typename Predict>
bool filterWith(const unsigned char* row, const unsigned char* above, size_t n, unsigned char* out,
                uint64_t limit, uint64_t& sum, Predict predict) {
    constexpr size_t kStep = 256;
    sum = 0;
    for (size_t start = 0; start < n; start += kStep) {
        const size_t end = std::min(n, start + kStep);
        uint64_t part = 0;
        for (size_t i = start; i < end; ++i) {
            const auto value = static_cast<unsigned char>(row[i] - predict(row, above, i));
            out[i] = value;
            part += value < 128 ? value : 256 - value;
        }
        sum += part;
        if (sum >= limit) {
            return false;
        }
    }
    return true;
}

void filterRow(const std::vector<unsigned char>& row, const std::vector<unsigned char>& above,
               std::array<std::vector<unsigned char>, 5>& candidates, size_t& best) {
    const size_t n = row.size();
    const unsigned char* r = row.data();
    const unsigned char* b = above.data();
    uint64_t bestSum = UINT64_MAX;
    const auto consider = [&](size_t f, auto predict) {
        std::vector<unsigned char>& out = candidates[f];
        out.resize(n + 1);
        out[0] = static_cast<unsigned char>(f);
        uint64_t sum = 0;
        if (filterWith(r, b, n, out.data() + 1, bestSum, sum, predict)) {
            bestSum = sum;
            best = f;
        }
    };
    using Bytes = const unsigned char*;
    consider(0, [](Bytes, Bytes, size_t) { return 0; });
    consider(1, [](Bytes x, Bytes, size_t i) { return i >= 3 ? int(x[i - 3]) : 0; });
    consider(2, [](Bytes, Bytes y, size_t i) { return int(y[i]); });
    consider(3, [](Bytes x, Bytes y, size_t i) { return ((i >= 3 ? x[i - 3] : 0) + y[i]) / 2; });
    consider(4, [](Bytes x, Bytes y, size_t i) {
        return i >= 3 ? paeth(x[i - 3], y[i], y[i - 3]) : int(y[i]);
    });
}

PngWrite failed(const QString& why) {
    PngWrite result;
    result.error = why;
    return result;
}

} // namespace

PngWrite writePngFromBmp(const QString& bmpPath, const QString& target, int level,
                         const std::function<bool()>& keepGoing) {
    QFile in(bmpPath);
    if (!in.open(QIODevice::ReadOnly)) {
        return failed(in.errorString());
    }
    std::array<unsigned char, kBmpHeadersLength> headBytes{};
    if (in.read(reinterpret_cast<char*>(headBytes.data()), kBmpHeadersLength) !=
        kBmpHeadersLength) {
        return failed(QStringLiteral("the image is cut short"));
    }
    const BmpHeader h = parseBmpHeader(headBytes);
    const int64_t width = h.width;
    const int64_t height = std::abs(int64_t{h.height});
    const int64_t stride = bmpStride(width, 24);
    if (headBytes[0] != 'B' || headBytes[1] != 'M' || h.bitCount != 24 || h.compression != 0 ||
        width <= 0 || height == 0 || h.dataOffset + stride * height > in.size()) {
        return failed(QStringLiteral("the image is not an uncompressed 24-bit BMP"));
    }

    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return failed(out.errorString());
    }
    ChunkWriter chunks(out);
    std::vector<unsigned char> ihdr;
    putBe32(ihdr, static_cast<uint32_t>(width));
    putBe32(ihdr, static_cast<uint32_t>(height));
    ihdr.insert(ihdr.end(),
                {8, 2, 0, 0, 0}); // 8 bits, RGB, deflate, adaptive filters, no interlace
    if (!chunks.put(kSignature.data(), kSignature.size()) ||
        !chunks.write("IHDR", ihdr.data(), ihdr.size())) {
        return failed(out.errorString());
    }

    z_stream z{};
    if (deflateInit(&z, level) != Z_OK) {
        return failed(QStringLiteral("not enough memory"));
    }
    struct End {
        z_stream& z;
        ~End() { deflateEnd(&z); }
    } end{z};
    std::vector<unsigned char> compressed(kChunkBytes);
    const auto drain = [&](int flush) {
        for (;;) {
            z.next_out = compressed.data();
            z.avail_out = static_cast<uInt>(compressed.size());
            const int status = deflate(&z, flush);
            if (status == Z_STREAM_ERROR) {
                return false;
            }
            const size_t made = compressed.size() - z.avail_out;
            if (made > 0 && !chunks.write("IDAT", compressed.data(), made)) {
                return false;
            }
            if (flush == Z_FINISH ? status == Z_STREAM_END : z.avail_out != 0) {
                return true;
            }
        }
    };

    const size_t rowBytes = static_cast<size_t>(width * 3);
    // Rows are read a band at a time, in file order: a bottom-up BMP read row by row from its
    // end would seek backwards for every row.
    std::vector<unsigned char> band;
    int64_t bandFirst = 0;
    int64_t bandRows = 0;
    std::vector<unsigned char> row(rowBytes);
    std::vector<unsigned char> above(rowBytes, 0);
    std::array<std::vector<unsigned char>, 5> candidates;
    const bool topDown = h.height < 0;
    for (int64_t y = 0; y < height; ++y) {
        if (keepGoing && y % kRowsBetweenChecks == 0 && !keepGoing()) {
            PngWrite stopped;
            stopped.stopped = true;
            return stopped;
        }
        if (y >= bandFirst + bandRows) {
            bandFirst = y;
            bandRows = std::min<int64_t>(kBandRows, height - y);
            const int64_t lowest = topDown ? y : height - y - bandRows;
            band.resize(static_cast<size_t>(bandRows * stride));
            const auto bytes = static_cast<qint64>(band.size());
            if (!in.seek(h.dataOffset + lowest * stride) ||
                in.read(reinterpret_cast<char*>(band.data()), bytes) != bytes) {
                return failed(in.errorString());
            }
        }
        const int64_t inBand = topDown ? y - bandFirst : bandFirst + bandRows - 1 - y;
        const unsigned char* stored = band.data() + inBand * stride;
        for (size_t x = 0; x < rowBytes; x += 3) {
            row[x] = stored[x + 2];
            row[x + 1] = stored[x + 1];
            row[x + 2] = stored[x];
        }
        size_t best = 0;
        filterRow(row, above, candidates, best);
        z.next_in = candidates[best].data();
        z.avail_in = static_cast<uInt>(candidates[best].size());
        if (!drain(Z_NO_FLUSH)) {
            return failed(out.errorString());
        }
        row.swap(above);
    }
    if (!drain(Z_FINISH) || !chunks.write("IEND", nullptr, 0)) {
        return failed(out.errorString());
    }
    out.close();
    if (out.error() != QFileDevice::NoError) {
        return failed(out.errorString());
    }
    PngWrite done;
    done.ok = true;
    return done;
}

} // namespace brindmar
