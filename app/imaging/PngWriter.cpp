#include "imaging/PngWriter.h"

#include "payload/BmpHeader.h"

#include <QFile>
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
// first (libpng's choice): cheap, and well ahead of any single filter on photographs.
void filterRow(const std::vector<unsigned char>& row, const std::vector<unsigned char>& above,
               std::array<std::vector<unsigned char>, 5>& candidates, size_t& best) {
    const size_t n = row.size();
    uint64_t bestSum = UINT64_MAX;
    for (size_t f = 0; f < candidates.size(); ++f) {
        std::vector<unsigned char>& out = candidates[f];
        out.resize(n + 1);
        out[0] = static_cast<unsigned char>(f);
        uint64_t sum = 0;
        for (size_t i = 0; i < n; ++i) {
            const int a = i >= 3 ? row[i - 3] : 0;
            const int b = above[i];
            const int c = i >= 3 ? above[i - 3] : 0;
            int predicted = 0;
            switch (f) {
            case 1:
                predicted = a;
                break;
            case 2:
                predicted = b;
                break;
            case 3:
                predicted = (a + b) / 2;
                break;
            case 4:
                predicted = paeth(a, b, c);
                break;
            default:
                break;
            }
            const auto value = static_cast<unsigned char>(row[i] - predicted);
            out[i + 1] = value;
            sum += value < 128 ? value : 256 - value;
        }
        if (sum < bestSum) {
            bestSum = sum;
            best = f;
        }
    }
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
    std::vector<unsigned char> stored(static_cast<size_t>(stride));
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
        const int64_t fileRow = topDown ? y : height - 1 - y;
        if (!in.seek(h.dataOffset + fileRow * stride) ||
            in.read(reinterpret_cast<char*>(stored.data()), stride) != stride) {
            return failed(in.errorString());
        }
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
