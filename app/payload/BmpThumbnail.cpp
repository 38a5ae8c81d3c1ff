#include "payload/BmpThumbnail.h"

#include "payload/BmpHeader.h"
#include "payload/CarrierFile.h"

#include <algorithm>
#include <array>
#include <limits>
#include <new>

namespace brindmar {

namespace {

constexpr int32_t kLargestSide = 4096;
// What the full-size view holds at most: a 12000 x 12000 carrier, 576 MB of pixels.
constexpr int64_t kLargestPicture = int64_t{12000} * 12000;
// Rows averaged per target row at most. A thumbnail of a photograph looks the same whether a
// band of 24 rows is averaged whole or through 4 of them, and reading a sixth of the file is
// what keeps a 70 MB carrier's picture quick.
constexpr int64_t kSampledRows = 4;
// Pixel bytes are read through a buffer of this size, so a hostile width of hundreds of
// millions (with a file that really is that large) still costs no more memory than a small one.
constexpr size_t kChunk = 64 * 1024;
constexpr size_t kPaletteEntries = 256;

using Palette = std::array<uint32_t, kPaletteEntries>; // 0x00RRGGBB

std::nullopt_t fail(DrawFailure* failure, DrawFault fault, int error = 0) {
    if (failure != nullptr) {
        *failure = DrawFailure{fault, error};
    }
    return std::nullopt;
}

// Which source pixels fall to which target pixel along one side: source s goes to
// s * target / source, so target t starts at the first s with s * target >= t * source. The
// target is never larger than the source, so every target pixel gets at least one source pixel.
class Axis {
public:
    Axis(int64_t source, int32_t target) : m_source(source), m_target(target) {}

    int32_t of(int64_t s) const { return static_cast<int32_t>(s * m_target / m_source); }
    int64_t first(int64_t t) const { return (t * m_source + m_target - 1) / m_target; }
    int64_t span(int64_t t) const { return first(t + 1) - first(t); }

    int64_t sampledCount(int32_t t) const { return std::min(span(t), kSampledRows); }
    // Spread evenly over the band, each taken from the middle of its share.
    int64_t sampled(int32_t t, int64_t i) const {
        const int64_t n = span(t);
        return first(t) + (n <= kSampledRows ? i : (2 * i + 1) * n / (2 * kSampledRows));
    }
    bool isSampled(int64_t s) const {
        const int32_t t = of(s);
        for (int64_t i = 0; i < sampledCount(t); ++i) {
            if (sampled(t, i) == s) {
                return true;
            }
        }
        return false;
    }

private:
    int64_t m_source;
    int32_t m_target;
};

// Colour sums of the target row being built. Pixels a compressed image never writes are not
// added; they count as the background colour when the row is finished.
class RowSums {
public:
    RowSums(const Axis& columns, const Axis& rows, int32_t width, ThumbnailImage& out,
            uint32_t background)
        : m_columns(columns), m_rows(rows), m_sums(static_cast<size_t>(width)), m_out(out),
          m_background(background) {}

    // count pixels from x on, which must all lie inside the row; colourOf(i) gives the i-th.
    // Summed a target column at a time, so the inner loop keeps its sums in registers.
    template <typename ColourOf> void add(int64_t x, size_t count, ColourOf colourOf) {
        const int64_t end = x + static_cast<int64_t>(count);
        size_t i = 0;
        while (x < end) {
            const int32_t t = m_columns.of(x);
            const auto n = static_cast<size_t>(std::min(end, m_columns.first(t + 1)) - x);
            uint64_t r = 0, g = 0, b = 0;
            for (const size_t stop = i + n; i < stop; ++i) {
                const uint32_t c = colourOf(i);
                r += c >> 16;
                g += (c >> 8) & 0xFF;
                b += c & 0xFF;
            }
            Sum& s = m_sums[static_cast<size_t>(t)];
            s.r += r;
            s.g += g;
            s.b += b;
            s.n += n;
            x += static_cast<int64_t>(n);
        }
    }

    // count pixels of one colour from x on, inside the row; one step per target column.
    void addRun(int64_t x, int64_t count, uint32_t c) {
        while (count > 0) {
            const int32_t t = m_columns.of(x);
            const int64_t k = std::min(count, m_columns.first(t + 1) - x);
            Sum& s = m_sums[static_cast<size_t>(t)];
            s.r += static_cast<uint64_t>(k) * (c >> 16);
            s.g += static_cast<uint64_t>(k) * ((c >> 8) & 0xFF);
            s.b += static_cast<uint64_t>(k) * (c & 0xFF);
            s.n += static_cast<uint64_t>(k);
            x += k;
            count -= k;
        }
    }

    void finish(int32_t row) {
        const auto width = static_cast<int32_t>(m_sums.size());
        const auto rowsTaken = static_cast<uint64_t>(m_rows.sampledCount(row));
        uint32_t* out = m_out.pixels.data() + static_cast<size_t>(row) * m_sums.size();
        for (int32_t t = 0; t < width; ++t) {
            Sum& s = m_sums[static_cast<size_t>(t)];
            const uint64_t expected =
                std::max(s.n, static_cast<uint64_t>(m_columns.span(t)) * rowsTaken);
            const uint64_t missing = expected - s.n;
            const auto mean = [&](uint64_t sum, int shift) {
                const uint64_t all = sum + missing * ((m_background >> shift) & 0xFF);
                return static_cast<uint32_t>((all + expected / 2) / expected) << shift;
            };
            out[t] = 0xFF000000u | mean(s.r, 16) | mean(s.g, 8) | mean(s.b, 0);
            s = Sum{};
        }
    }

private:
    struct Sum {
        uint64_t r = 0, g = 0, b = 0, n = 0;
    };

    const Axis& m_columns;
    const Axis& m_rows;
    std::vector<Sum> m_sums;
    ThumbnailImage& m_out;
    uint32_t m_background;
};

struct Source {
    const CarrierFile& file;
    const BmpHeader& header;
    const Palette& palette;
    const Axis& columns;
    const Axis& rows;
    RowSums& sums;
};

// Rows in the file run bottom first; target rows are visited from the bottom up too, so the
// sampled rows are read in file order.
bool decodeUncompressed(const Source& src) {
    const int64_t width = src.header.width;
    const int64_t height = src.header.height;
    const int64_t stride = bmpStride(width, src.header.bitCount);
    const int64_t bytesPerPixel = src.header.bitCount / 8;
    const auto chunkPixels = static_cast<int64_t>(kChunk) / bytesPerPixel;
    std::vector<unsigned char> buffer(kChunk);
    for (int32_t t = src.rows.of(height - 1); t >= 0; --t) {
        for (int64_t i = src.rows.sampledCount(t) - 1; i >= 0; --i) {
            const int64_t rowStart =
                int64_t{src.header.dataOffset} + (height - 1 - src.rows.sampled(t, i)) * stride;
            for (int64_t x = 0; x < width; x += chunkPixels) {
                const int64_t count = std::min(chunkPixels, width - x);
                const auto bytes = static_cast<size_t>(count * bytesPerPixel);
                if (src.file.readAt(rowStart + x * bytesPerPixel, buffer.data(), bytes) != bytes) {
                    return false;
                }
                const unsigned char* p = buffer.data();
                if (bytesPerPixel == 3) {
                    src.sums.add(x, static_cast<size_t>(count), [p](size_t k) {
                        return uint32_t{p[3 * k]} | uint32_t{p[3 * k + 1]} << 8 |
                               uint32_t{p[3 * k + 2]} << 16;
                    });
                } else {
                    src.sums.add(x, static_cast<size_t>(count),
                                 [p, &src](size_t k) { return src.palette[p[k]]; });
                }
            }
        }
        src.sums.finish(t);
    }
    return true;
}

// Every step reads at least two bytes, and the stream stops at the end of the file, so any
// stream ends. Pixels past the width and rows past the height are read over and dropped; a
// delta that skips pixels leaves them at palette entry 0. A stream that runs out before its
// end-of-bitmap code while rows are still open is an error rather than a picture with a
// made-up bottom: the user is about to trust this file with a document.
bool decodeRle8(const Source& src) {
    const int64_t width = src.header.width;
    const int64_t height = src.header.height;
    CarrierStream in(src.file, src.header.dataOffset);
    int64_t row = 0; // in file order, bottom row 0
    int64_t x = 0;
    int32_t target = src.rows.of(height - 1);
    bool sampled = src.rows.isSampled(height - 1);
    const auto moveUp = [&](int64_t rows) {
        row += rows;
        if (row >= height) {
            return;
        }
        const int32_t now = src.rows.of(height - 1 - row);
        for (; target > now; --target) {
            src.sums.finish(target);
        }
        sampled = src.rows.isSampled(height - 1 - row);
    };
    std::array<unsigned char, 256> run{};
    while (row < height) {
        std::array<unsigned char, 2> pair{};
        if (!in.read(pair.data(), 2)) {
            return false;
        }
        if (pair[0] > 0) {
            const int64_t inside = std::min<int64_t>(pair[0], width - x);
            if (sampled && inside > 0) {
                src.sums.addRun(x, inside, src.palette[pair[1]]);
            }
            x += pair[0];
        } else if (pair[1] == 0) {
            x = 0;
            moveUp(1);
        } else if (pair[1] == 1) {
            break;
        } else if (pair[1] == 2) {
            std::array<unsigned char, 2> delta{};
            if (!in.read(delta.data(), 2)) {
                return false;
            }
            x += delta[0];
            if (delta[1] > 0) {
                moveUp(delta[1]);
            }
        } else {
            const size_t count = pair[1];
            if (!in.read(run.data(), count + count % 2)) {
                return false;
            }
            const int64_t kept = std::min<int64_t>(pair[1], width - x);
            if (sampled && kept > 0) {
                const unsigned char* p = run.data();
                src.sums.add(x, static_cast<size_t>(kept),
                             [p, &src](size_t k) { return src.palette[p[k]]; });
            }
            x += pair[1];
        }
    }
    for (; target >= 0; --target) {
        src.sums.finish(target);
    }
    return true;
}

bool readPalette(const CarrierFile& file, const BmpHeader& header, Palette& palette) {
    palette.fill(0);
    if (header.bitCount != 8) {
        return true;
    }
    const auto entries =
        std::min<size_t>((header.dataOffset - kBmpHeadersLength) / 4, kPaletteEntries);
    std::array<unsigned char, 4 * kPaletteEntries> bytes{};
    if (file.readAt(kBmpHeadersLength, bytes.data(), 4 * entries) != 4 * entries) {
        return false;
    }
    for (size_t i = 0; i < entries; ++i) {
        const unsigned char* e = bytes.data() + 4 * i;
        palette[i] = uint32_t{e[0]} | uint32_t{e[1]} << 8 | uint32_t{e[2]} << 16;
    }
    return true;
}

} // namespace

namespace {

std::optional<ThumbnailImage> decodePicture(const QString& path, int32_t targetWidth,
                                            int32_t targetHeight, int32_t largestSide,
                                            DrawFailure* failure) {
    const BmpHeaderRead read = readBmpHeader(path);
    if (read.result == BmpReadResult::CannotOpen) {
        return fail(failure, DrawFault::CannotOpen);
    }
    if (read.result == BmpReadResult::CannotRead) {
        if (read.readError != 0) {
            return fail(failure, DrawFault::CannotRead, read.readError);
        }
        return fail(failure, DrawFault::NotBmp);
    }
    const BmpHeader& header = read.header;
    if (header.infoSize != 40 || header.planes != 1 ||
        (header.bitCount != 8 && header.bitCount != 24) ||
        !carrierLayoutSound(header, read.actualFileSize)) {
        return fail(failure, DrawFault::Unsupported);
    }
    // Sizes are checked against the file as it was when the header was read; if it has been
    // replaced since, every later length would be measured against the wrong file.
    const CarrierFile file(path);
    if (!file.isOpen() || file.size() != read.actualFileSize) {
        return fail(failure, DrawFault::Changed);
    }
    Palette palette{};
    // A read the disk refused is not a file that ends early.
    const auto cutShort = [&file, failure] {
        return file.error() != 0 ? fail(failure, DrawFault::CannotRead, file.error())
                                 : fail(failure, DrawFault::EndsEarly);
    };
    if (!readPalette(file, header, palette)) {
        return cutShort();
    }

    ThumbnailImage image;
    image.width = std::clamp(targetWidth, 1, std::min(header.width, largestSide));
    image.height = std::clamp(targetHeight, 1, std::min(header.height, largestSide));
    const int64_t pixels = int64_t{image.width} * image.height;
    if (pixels > kLargestPicture) {
        return fail(failure, DrawFault::TooLarge);
    }
    try {
        image.pixels.assign(static_cast<size_t>(pixels), 0);
    } catch (const std::bad_alloc&) {
        return fail(failure, DrawFault::NoMemory);
    }
    const Axis columns(header.width, image.width);
    const Axis rows(header.height, image.height);
    RowSums sums(columns, rows, image.width, image, palette[0]);
    const Source source{file, header, palette, columns, rows, sums};
    if (!(header.compression == 1 ? decodeRle8(source) : decodeUncompressed(source))) {
        return cutShort();
    }
    return image;
}

} // namespace

std::optional<ThumbnailImage> decodeBmpThumbnail(const QString& path, int32_t targetWidth,
                                                 int32_t targetHeight, DrawFailure* failure) {
    return decodePicture(path, targetWidth, targetHeight, kLargestSide, failure);
}

std::optional<ThumbnailImage> decodeBmpFullSize(const QString& path, DrawFailure* failure) {
    constexpr int32_t unlimited = std::numeric_limits<int32_t>::max();
    return decodePicture(path, unlimited, unlimited, unlimited, failure);
}

} // namespace brindmar
