#include "payload/CarrierNormalizer.h"

#include "payload/BmpHeader.h"
#include "payload/CarrierFile.h"

#include <QFile>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace brindmar {

namespace {

constexpr int64_t kEngineLargestDataOffset = 1078;
constexpr int64_t kMostPaletteEntries = 256;
constexpr size_t kChunk = 64 * 1024;
// Often enough for the window to answer a Stop click while a large copy is written.
constexpr int64_t kAskEvery = int64_t{4} << 20;

struct Layout {
    BmpHeader header;
    int64_t paletteEntries = 0;
    int64_t pixelBytes = 0; // of the uncompressed rows
};

// The colour table ends where the header says it does, not at the pixels: a writer may leave
// room between the two, and those bytes are no colours.
int64_t paletteEntriesOf(const BmpHeader& h) {
    const int64_t room = (int64_t{h.dataOffset} - kBmpHeadersLength) / 4;
    const int64_t declared = h.coloursUsed == 0 ? kMostPaletteEntries : int64_t{h.coloursUsed};
    return std::min({room, declared, kMostPaletteEntries});
}

// Read from the open file itself, so that the judgement and the pixels come from one file even
// when the path is given a new one meanwhile.
std::optional<Layout> layoutOf(const CarrierFile& file) {
    std::array<unsigned char, kBmpHeadersLength> bytes{};
    if (!file.isOpen() || file.readAt(0, bytes.data(), bytes.size()) != bytes.size() ||
        bytes[0] != 'B' || bytes[1] != 'M') {
        return std::nullopt;
    }
    Layout l;
    l.header = parseBmpHeader(bytes);
    const BmpHeader& h = l.header;
    if (h.infoSize != 40 || h.planes != 1 || h.bitCount != 8 ||
        !carrierLayoutSound(h, file.size())) {
        return std::nullopt;
    }
    l.paletteEntries = paletteEntriesOf(h);
    l.pixelBytes = bmpStride(h.width, 8) * h.height;
    return l;
}

// The engine takes every 4 bytes between the headers and the data offset for a palette entry,
// and reads a compressed stream from the end of those entries on.
bool engineFindsPalette(const Layout& l) {
    const int64_t room = int64_t{l.header.dataOffset} - kBmpHeadersLength;
    if (l.header.dataOffset > kEngineLargestDataOffset || l.paletteEntries != room / 4) {
        return false;
    }
    return l.header.compression == 0 || room % 4 == 0;
}

// The work copy, written through a buffer. It holds what the carrier holds, so it is the user's
// alone, and a link or a device left under its name is never written through.
class CopyWriter {
public:
    CopyWriter(const QString& path, const std::function<bool()>& keepGoing)
        : m_buffer(kChunk), m_keepGoing(keepGoing) {
        m_fd = ::open(QFile::encodeName(path).constData(),
                      O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
        struct stat info {};
        if (m_fd < 0 || ::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            m_error = m_fd < 0 ? errno : EINVAL;
            closeFile();
        }
    }
    ~CopyWriter() { closeFile(); }
    CopyWriter(const CopyWriter&) = delete;
    CopyWriter& operator=(const CopyWriter&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    bool stopped() const { return m_stopped; }
    int error() const { return m_error; }

    bool put(const uint8_t* bytes, size_t count) {
        while (count > 0) {
            if (m_used == m_buffer.size() && !flush()) {
                return false;
            }
            const size_t n = std::min(count, m_buffer.size() - m_used);
            std::memcpy(m_buffer.data() + m_used, bytes, n);
            m_used += n;
            bytes += n;
            count -= n;
        }
        return true;
    }

    bool fill(uint8_t value, int64_t count) {
        while (count > 0) {
            if (m_used == m_buffer.size() && !flush()) {
                return false;
            }
            const auto n =
                static_cast<size_t>(std::min<int64_t>(count, int64_t(m_buffer.size() - m_used)));
            std::memset(m_buffer.data() + m_used, value, n);
            m_used += n;
            count -= static_cast<int64_t>(n);
        }
        return true;
    }

    bool finish() {
        if (!flush()) {
            return false;
        }
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0) {
            m_error = errno;
            return false;
        }
        return true;
    }

private:
    bool flush() {
        if (m_fd < 0 || m_stopped) {
            return false;
        }
        size_t done = 0;
        while (done < m_used) {
            const ssize_t n = ::write(m_fd, m_buffer.data() + done, m_used - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                m_error = n < 0 ? errno : EIO;
                return false;
            }
            done += static_cast<size_t>(n);
        }
        m_sinceAsked += static_cast<int64_t>(m_used);
        m_used = 0;
        if (m_sinceAsked >= kAskEvery) {
            m_sinceAsked = 0;
            m_stopped = m_keepGoing && !m_keepGoing();
        }
        return !m_stopped;
    }

    void closeFile() {
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }

    int m_fd = -1;
    std::vector<uint8_t> m_buffer;
    size_t m_used = 0;
    int64_t m_sinceAsked = 0;
    int m_error = 0;
    bool m_stopped = false;
    std::function<bool()> m_keepGoing;
};

// Lays decoded pixels into padded rows. A compressed stream only ever moves on (down the file,
// right along a row), so the pixels go straight out in order, and what it passes over is index
// 0; pixels past the width land in the row's padding as zeros.
class RowSink {
public:
    RowSink(CopyWriter& out, int64_t width, int64_t rowBytes)
        : m_out(out), m_width(width), m_rowBytes(rowBytes) {}

    bool run(int64_t row, int64_t x, int64_t count, uint8_t index) {
        const int64_t shown = std::clamp<int64_t>(m_width - x, 0, count);
        if (!moveTo(row, x) || !m_out.fill(index, shown) || !m_out.fill(0, count - shown)) {
            return false;
        }
        m_at += count;
        return true;
    }
    bool literals(int64_t row, int64_t x, const uint8_t* indices, int64_t count) {
        const int64_t shown = std::clamp<int64_t>(m_width - x, 0, count);
        if (!moveTo(row, x) || !m_out.put(indices, static_cast<size_t>(shown)) ||
            !m_out.fill(0, count - shown)) {
            return false;
        }
        m_at += count;
        return true;
    }
    bool finish(int64_t rows) { return moveTo(rows, 0); }

private:
    bool moveTo(int64_t row, int64_t x) {
        const int64_t to = row * m_rowBytes + x;
        const bool written = m_out.fill(0, to - m_at);
        m_at = std::max(m_at, to);
        return written;
    }

    CopyWriter& m_out;
    const int64_t m_width;
    const int64_t m_rowBytes;
    int64_t m_at = 0; // pixels written, padding included
};

enum class WalkEnd { Complete, Fault, SinkFailed };

struct Walk {
    WalkEnd end = WalkEnd::Complete;
    CarrierFault fault = CarrierFault::None;
    bool engineShaped = false; // the engine would decode the stream to the same pixels
};

// One pass over an RLE8 stream, rows in file order. Without a sink only the run lengths are
// read. Every step reads at least two bytes, so a stream of any content ends with the file.
Walk walkRle8(CarrierStream& in, int64_t width, int64_t height, RowSink* sink) {
    const int64_t rowBytes = bmpStride(width, 8);
    const auto fault = [](CarrierFault f) { return Walk{WalkEnd::Fault, f, false}; };
    const Walk sinkFailed{WalkEnd::SinkFailed, CarrierFault::None, false};
    std::array<uint8_t, 256> literals{};
    int64_t row = 0;
    int64_t x = 0;
    bool shaped = true;
    while (row < height) {
        std::array<uint8_t, 2> pair{};
        if (!in.read(pair.data(), pair.size())) {
            return fault(CarrierFault::EndsEarly);
        }
        const int f = pair[0];
        const int s = pair[1];
        if (f > 0) {
            if (x + f > rowBytes) {
                return fault(CarrierFault::PastRowEnd);
            }
            if (sink != nullptr && !sink->run(row, x, f, static_cast<uint8_t>(s))) {
                return sinkFailed;
            }
            x += f;
        } else if (s >= 3) {
            if (x + s > rowBytes) {
                return fault(CarrierFault::PastRowEnd);
            }
            const auto stored = static_cast<size_t>(s + (s & 1)); // pairs stay 16-bit aligned
            if (sink == nullptr ? !in.skip(stored) : !in.read(literals.data(), stored)) {
                return fault(CarrierFault::EndsEarly);
            }
            if (sink != nullptr && !sink->literals(row, x, literals.data(), s)) {
                return sinkFailed;
            }
            x += s;
        } else if (s == 0) {
            // The engine needs every row decoded to its padded length.
            shaped = shaped && x == rowBytes;
            ++row;
            x = 0;
        } else if (s == 1) {
            shaped = shaped && x == rowBytes && row == height - 1;
            break;
        } else {
            std::array<uint8_t, 2> jump{};
            if (!in.read(jump.data(), jump.size())) {
                return fault(CarrierFault::EndsEarly);
            }
            if (x + jump[0] > rowBytes) {
                return fault(CarrierFault::PastRowEnd);
            }
            shaped = false; // the engine has no position jumps
            x += jump[0];
            row += jump[1];
        }
    }
    return {WalkEnd::Complete, CarrierFault::None, shaped};
}

std::array<unsigned char, kBmpHeadersLength> copyHeaders(const Layout& l) {
    BmpHeader h = uncompressedBmpHeader(l.header.width, l.header.height, 8,
                                        static_cast<uint32_t>(l.paletteEntries));
    h.xPixelsPerMetre = l.header.xPixelsPerMetre;
    h.yPixelsPerMetre = l.header.yPixelsPerMetre;
    return formatBmpHeader(h);
}

// Uncompressed rows already have the padded layout; only their place in the file changes.
bool copyRows(const CarrierFile& file, const Layout& l, CopyWriter& out) {
    std::vector<uint8_t> buffer(kChunk);
    int64_t at = l.header.dataOffset;
    const int64_t end = at + l.pixelBytes; // inside the file: the layout is sound
    while (at < end) {
        const auto n = static_cast<size_t>(std::min<int64_t>(end - at, int64_t(kChunk)));
        if (file.readAt(at, buffer.data(), n) != n) {
            return false;
        }
        if (!out.put(buffer.data(), n)) {
            return false;
        }
        at += static_cast<int64_t>(n);
    }
    return true;
}

ConversionResult sourceFault(CarrierFault fault) {
    return {ConversionEnd::SourceFault, fault, 0};
}

ConversionResult writerFailure(const CopyWriter& out) {
    if (out.stopped()) {
        return {ConversionEnd::Stopped, CarrierFault::None, 0};
    }
    return {ConversionEnd::WriteFailed, CarrierFault::None, out.error()};
}

} // namespace

Indexed8Plan planIndexed8Carrier(const QString& path) {
    const CarrierFile file(path);
    const std::optional<Layout> layout = layoutOf(file);
    if (!layout) {
        return {};
    }
    const Layout& l = *layout;
    bool engineShaped = engineFindsPalette(l);
    if (l.header.compression == 1) {
        CarrierStream in(file, l.header.dataOffset);
        const Walk walk = walkRle8(in, l.header.width, l.header.height, nullptr);
        if (walk.end != WalkEnd::Complete) {
            return {Indexed8Route::Refused, walk.fault, 0};
        }
        engineShaped = engineShaped && walk.engineShaped;
    }
    if (engineShaped) {
        return {Indexed8Route::AsIs, CarrierFault::None, 0};
    }
    return {Indexed8Route::Convert, CarrierFault::None,
            kBmpHeadersLength + 4 * l.paletteEntries + l.pixelBytes};
}

ConversionResult writeUncompressedIndexed8(const QString& source, const QString& target,
                                           const std::function<bool()>& keepGoing) {
    const CarrierFile file(source);
    const std::optional<Layout> layout = layoutOf(file);
    if (!layout) {
        return sourceFault(CarrierFault::Unreadable);
    }
    const Layout& l = *layout;
    CopyWriter out(target, keepGoing);
    if (!out.isOpen()) {
        return writerFailure(out);
    }
    const std::array<unsigned char, kBmpHeadersLength> headers = copyHeaders(l);
    std::vector<uint8_t> palette(static_cast<size_t>(4 * l.paletteEntries));
    if (file.readAt(kBmpHeadersLength, palette.data(), palette.size()) != palette.size()) {
        return sourceFault(CarrierFault::EndsEarly);
    }
    if (!out.put(headers.data(), headers.size()) || !out.put(palette.data(), palette.size())) {
        return writerFailure(out);
    }
    if (l.header.compression == 0) {
        if (!copyRows(file, l, out)) {
            return out.stopped() || out.error() != 0 ? writerFailure(out)
                                                     : sourceFault(CarrierFault::EndsEarly);
        }
    } else {
        CarrierStream in(file, l.header.dataOffset);
        RowSink sink(out, l.header.width, bmpStride(l.header.width, 8));
        const Walk walk = walkRle8(in, l.header.width, l.header.height, &sink);
        if (walk.end == WalkEnd::Fault) {
            return sourceFault(walk.fault);
        }
        if (walk.end == WalkEnd::SinkFailed || !sink.finish(l.header.height)) {
            return writerFailure(out);
        }
    }
    if (!out.finish()) {
        return writerFailure(out);
    }
    return {ConversionEnd::Written, CarrierFault::None, 0,
            static_cast<int32_t>(kBmpHeadersLength + 4 * l.paletteEntries)};
}

} // namespace brindmar
