#include "imaging/PngWriter.h"

#include "payload/BmpHeader.h"
#include "protection/Parallel.h"

#include <QFile>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <iterator>
#include <thread>
#include <vector>
#include <zlib.h>

namespace brindmar {

namespace {

constexpr std::array<unsigned char, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// Compressed data goes out in chunks of this size, libpng's: readers take any split, but an
// image split otherwise would name the program that wrote it.
constexpr size_t kChunkBytes = 8192;
// The zlib header libpng writes at its default level: 32K window, "default" compression.
constexpr std::array<unsigned char, 2> kZlibHeader = {0x78, 0x9c};
// Rows are deflated in parts of about this many filtered bytes, as parallel compressors cut
// theirs; a few parts a core are read, filtered and deflated at a time.
constexpr size_t kPartBytes = 128 * 1024;
constexpr int kPartsPerCore = 2;

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

uint32_t be32(const QByteArray& bytes, qsizetype at) {
    uint32_t v = 0;
    for (qsizetype i = 0; i < 4; ++i) {
        v = v << 8 | static_cast<uint8_t>(bytes.at(at + i));
    }
    return v;
}

struct KeptChunk {
    QByteArray type;
    QByteArray data;
};

// The chunks of the PNG at path that say how its colours look or how large its pixels are,
// in their order: gAMA, cHRM, sRGB, iCCP, pHYs and bKGD, all before its pixel data. A
// background given for grey or by palette index, and a grey profile, do not fit an RGB image and
// go; so do a file's times and texts, and anything whose checksum fails.
std::vector<KeptChunk> keptChunks(const QString& path) {
    static const QByteArray kKept[] = {"gAMA", "cHRM", "sRGB", "iCCP", "pHYs", "bKGD"};
    constexpr qint64 kMostKept = 1 << 24; // a profile is a few kilobytes; a hostile file is not
    std::vector<KeptChunk> kept;
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly) ||
        file.read(8) != QByteArray(reinterpret_cast<const char*>(kSignature.data()), 8)) {
        return kept;
    }
    int colourType = -1;
    qint64 total = 0;
    for (;;) {
        const QByteArray head = file.read(8);
        if (head.size() != 8) {
            break;
        }
        const uint32_t length = be32(head, 0);
        const QByteArray type = head.mid(4, 4);
        if (type == "IDAT" || type == "IEND" || length > kMostKept || total + length > kMostKept) {
            break;
        }
        const QByteArray data = file.read(length);
        const QByteArray crc = file.read(4);
        if (data.size() != static_cast<qsizetype>(length) || crc.size() != 4) {
            break;
        }
        uLong sum = crc32(0, reinterpret_cast<const Bytef*>(type.constData()), 4);
        sum = crc32(sum, reinterpret_cast<const Bytef*>(data.constData()), length);
        if (static_cast<uint32_t>(sum) != be32(crc, 0)) {
            continue;
        }
        if (type == "IHDR" && length == 13) {
            colourType = static_cast<uint8_t>(data.at(9));
        }
        const bool colour = colourType == 2 || colourType == 3 || colourType == 6;
        const bool fits = (type != "bKGD" || length == 6) && (type != "iCCP" || colour);
        if (fits && std::find(std::begin(kKept), std::end(kKept), type) != std::end(kKept)) {
            kept.push_back({type, data});
            total += length;
        }
    }
    return kept;
}

// The compressed stream goes out in IDAT chunks of kChunkBytes, the last one shorter, as libpng
// writes them.
class IdatWriter {
public:
    explicit IdatWriter(ChunkWriter& chunks) : m_chunks(chunks) {}

    bool add(const unsigned char* data, size_t size) {
        m_pending.insert(m_pending.end(), data, data + size);
        size_t at = 0;
        for (; m_pending.size() - at >= kChunkBytes; at += kChunkBytes) {
            if (!m_chunks.write("IDAT", m_pending.data() + at, kChunkBytes)) {
                return false;
            }
        }
        m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(at));
        return true;
    }
    bool finish() {
        return m_pending.empty() || m_chunks.write("IDAT", m_pending.data(), m_pending.size());
    }

private:
    ChunkWriter& m_chunks;
    std::vector<unsigned char> m_pending;
};

// One part of the picture's rows, filtered and deflated on its own: raw deflate, ended by a
// flush to a byte boundary (by the stream's end for the last part), so that the parts joined in
// order make one stream, as parallel compressors make theirs. Its Adler-32 joins the others'.
struct Part {
    std::vector<unsigned char> filtered;
    std::vector<unsigned char> deflated;
    uLong adler = 1;
    bool ok = false;
};

void deflatePart(Part& part, int level, bool last) {
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        return;
    }
    part.adler = adler32(1, part.filtered.data(), static_cast<uInt>(part.filtered.size()));
    part.deflated.resize(deflateBound(&z, static_cast<uLong>(part.filtered.size())) + 64);
    z.next_in = part.filtered.data();
    z.avail_in = static_cast<uInt>(part.filtered.size());
    z.next_out = part.deflated.data();
    z.avail_out = static_cast<uInt>(part.deflated.size());
    const int status = deflate(&z, last ? Z_FINISH : Z_SYNC_FLUSH);
    part.ok = last ? status == Z_STREAM_END : status == Z_OK && z.avail_in == 0;
    part.deflated.resize(part.deflated.size() - z.avail_out);
    deflateEnd(&z);
}

} // namespace

PngWrite writePngFromBmp(const QString& bmpPath, const QString& target, int level,
                         const std::function<bool()>& keepGoing, const QString& chunksFrom) {
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
    for (const KeptChunk& chunk : keptChunks(chunksFrom)) {
        if (!chunks.write(chunk.type.constData(),
                          reinterpret_cast<const unsigned char*>(chunk.data.constData()),
                          static_cast<size_t>(chunk.data.size()))) {
            return failed(out.errorString());
        }
    }

    const size_t rowBytes = static_cast<size_t>(width * 3);
    const auto partRows = static_cast<int64_t>(std::max<size_t>(1, kPartBytes / (rowBytes + 1)));
    const unsigned cores = gMostTaskThreads != 0
                               ? gMostTaskThreads.load()
                               : std::max(1u, std::thread::hardware_concurrency());
    const int64_t roundRows = partRows * kPartsPerCore * cores;
    IdatWriter idat(chunks);
    if (!idat.add(kZlibHeader.data(), kZlibHeader.size())) {
        return failed(out.errorString());
    }
    uLong adler = 1;
    const bool topDown = h.height < 0;
    // The picture's rows top first, a round of parts at a time, each with the row above it.
    std::vector<unsigned char> rows;
    std::vector<unsigned char> above(rowBytes, 0);
    for (int64_t first = 0; first < height; first += roundRows) {
        if (keepGoing && !keepGoing()) {
            PngWrite stopped;
            stopped.stopped = true;
            return stopped;
        }
        const int64_t count = std::min(roundRows, height - first);
        // In file order: a bottom-up BMP read row by row from its end would seek backwards.
        std::vector<unsigned char> band(static_cast<size_t>(count * stride));
        const int64_t lowest = topDown ? first : height - first - count;
        const auto bytes = static_cast<qint64>(band.size());
        if (!in.seek(h.dataOffset + lowest * stride) ||
            in.read(reinterpret_cast<char*>(band.data()), bytes) != bytes) {
            return failed(in.errorString());
        }
        rows.assign(rowBytes, 0);
        std::copy(above.begin(), above.end(), rows.begin());
        rows.resize(static_cast<size_t>(count + 1) * rowBytes);
        for (int64_t y = 0; y < count; ++y) {
            const unsigned char* stored = band.data() + (topDown ? y : count - 1 - y) * stride;
            unsigned char* row = rows.data() + static_cast<size_t>(y + 1) * rowBytes;
            for (size_t x = 0; x < rowBytes; x += 3) {
                row[x] = stored[x + 2];
                row[x + 1] = stored[x + 1];
                row[x + 2] = stored[x];
            }
        }
        std::vector<Part> parts(static_cast<size_t>((count + partRows - 1) / partRows));
        const bool ran = forEachTask(parts.size(), [&](uint64_t p) {
            Part& part = parts[static_cast<size_t>(p)];
            const int64_t from = static_cast<int64_t>(p) * partRows;
            const int64_t to = std::min(count, from + partRows);
            std::vector<unsigned char> row(rowBytes);
            std::vector<unsigned char> up(rowBytes);
            std::array<std::vector<unsigned char>, 5> candidates;
            for (int64_t y = from; y < to; ++y) {
                const auto at = rows.begin() + static_cast<std::ptrdiff_t>(y * rowBytes);
                std::copy(at, at + static_cast<std::ptrdiff_t>(rowBytes), up.begin());
                std::copy(at + static_cast<std::ptrdiff_t>(rowBytes),
                          at + static_cast<std::ptrdiff_t>(2 * rowBytes), row.begin());
                size_t best = 0;
                filterRow(row, up, candidates, best);
                part.filtered.insert(part.filtered.end(), candidates[best].begin(),
                                     candidates[best].end());
            }
            deflatePart(part, level, first + to == height);
        });
        if (!ran) {
            return failed(QStringLiteral("not enough memory"));
        }
        for (const Part& part : parts) {
            if (keepGoing && !keepGoing()) {
                PngWrite stopped;
                stopped.stopped = true;
                return stopped;
            }
            if (!part.ok) {
                return failed(QStringLiteral("not enough memory"));
            }
            adler = adler32_combine(adler, part.adler, static_cast<z_off_t>(part.filtered.size()));
            if (!idat.add(part.deflated.data(), part.deflated.size())) {
                return failed(out.errorString());
            }
        }
        std::copy(rows.end() - static_cast<std::ptrdiff_t>(rowBytes), rows.end(), above.begin());
    }
    const std::array<unsigned char, 4> check = {
        static_cast<unsigned char>(adler >> 24), static_cast<unsigned char>(adler >> 16),
        static_cast<unsigned char>(adler >> 8), static_cast<unsigned char>(adler)};
    if (!idat.add(check.data(), check.size()) || !idat.finish() ||
        !chunks.write("IEND", nullptr, 0)) {
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
