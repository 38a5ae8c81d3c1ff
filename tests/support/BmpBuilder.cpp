#include "BmpBuilder.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace bmptest {

namespace {

constexpr int32_t kHeadersSize = 14 + 40;
constexpr int32_t kPixelsPerMetre = 2835; // 72 dpi

void put16(Bytes& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value & 0xFF));
    out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
}

void put32(Bytes& out, uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

// Sizes are computed wide and stored modulo 2^32 so that odd geometries (which tests use on
// purpose) still give a header rather than undefined behaviour.
uint32_t low32(int64_t value) {
    return static_cast<uint32_t>(value & 0xFFFFFFFF);
}

Bytes headers(int32_t width, int32_t height, uint16_t bitCount, uint32_t compression,
              int64_t paletteEntries, int64_t imageSize) {
    const int64_t dataOffset = kHeadersSize + 4 * paletteEntries;
    Bytes out;
    out.reserve(kHeadersSize);
    out.push_back('B');
    out.push_back('M');
    put32(out, low32(dataOffset + imageSize));
    put32(out, 0); // two reserved 16-bit fields
    put32(out, low32(dataOffset));
    put32(out, 40);
    put32(out, static_cast<uint32_t>(width));
    put32(out, static_cast<uint32_t>(height));
    put16(out, 1);
    put16(out, bitCount);
    put32(out, compression);
    put32(out, low32(imageSize));
    put32(out, kPixelsPerMetre);
    put32(out, kPixelsPerMetre);
    put32(out, low32(paletteEntries));
    put32(out, 0);
    return out;
}

void appendPalette(Bytes& out, const std::vector<PaletteEntry>& palette) {
    for (const PaletteEntry& entry : palette) {
        out.insert(out.end(), entry.begin(), entry.end());
    }
}

void requireSize(size_t actual, int64_t expected, const char* what) {
    if (expected < 0 || actual != static_cast<size_t>(expected)) {
        throw std::invalid_argument(std::string("BmpBuilder: wrong size of ") + what);
    }
}

void requirePalette(const std::vector<PaletteEntry>& palette) {
    if (palette.size() > 256) {
        throw std::invalid_argument("BmpBuilder: more than 256 palette entries");
    }
}

// Appends uncompressed rows, each padded with zeros to `stride` bytes.
void appendRows(Bytes& out, const Bytes& rows, size_t rowBytes, size_t stride, size_t height) {
    for (size_t r = 0; r < height; ++r) {
        const auto first = rows.begin() + static_cast<std::ptrdiff_t>(r * rowBytes);
        out.insert(out.end(), first, first + static_cast<std::ptrdiff_t>(rowBytes));
        out.insert(out.end(), stride - rowBytes, 0);
    }
}

// --- RLE8 encoding -------------------------------------------------------------------------

constexpr size_t kMaxRun = 255;
constexpr size_t kMinAbsolute = 3;

void emitEncoded(Bytes& out, size_t count, uint8_t index) {
    out.push_back(static_cast<uint8_t>(count));
    out.push_back(index);
}

void emitAbsolute(Bytes& out, const uint8_t* first, size_t count) {
    out.push_back(0);
    out.push_back(static_cast<uint8_t>(count));
    out.insert(out.end(), first, first + count);
    if (count % 2 != 0) {
        out.push_back(0); // keeps the next pair on a 16-bit boundary
    }
}

size_t repeatLength(const uint8_t* first, size_t available) {
    size_t n = 1;
    while (n < available && n < kMaxRun && first[n] == first[0]) {
        ++n;
    }
    return n;
}

// Literal stretches go out as absolute runs of 3..255; a stretch too short for that, or the
// last one or two bytes, become encoded runs of one or two pixels.
void emitLiterals(Bytes& out, const uint8_t* first, size_t count) {
    while (count >= kMinAbsolute) {
        size_t chunk = std::min(count, kMaxRun);
        if (count - chunk > 0 && count - chunk < kMinAbsolute) {
            chunk = count - kMinAbsolute; // leave a remainder that can still be absolute
        }
        emitAbsolute(out, first, chunk);
        first += chunk;
        count -= chunk;
    }
    while (count > 0) {
        const size_t n = repeatLength(first, count);
        emitEncoded(out, n, first[0]);
        first += n;
        count -= n;
    }
}

void encodeRow(Bytes& out, const uint8_t* row, size_t count, RleStyle style) {
    switch (style) {
    case RleStyle::EncodedOnly:
        for (size_t i = 0; i < count;) {
            const size_t n = repeatLength(row + i, count - i);
            emitEncoded(out, n, row[i]);
            i += n;
        }
        break;
    case RleStyle::AbsoluteOnly:
        emitLiterals(out, row, count);
        break;
    case RleStyle::Mixed: {
        size_t literalStart = 0;
        size_t i = 0;
        while (i < count) {
            const size_t n = repeatLength(row + i, count - i);
            if (n >= kMinAbsolute) {
                emitLiterals(out, row + literalStart, i - literalStart);
                emitEncoded(out, n, row[i]);
                literalStart = i + n;
            }
            i += n;
        }
        emitLiterals(out, row + literalStart, count - literalStart);
        break;
    }
    }
}

uint32_t get32(const Bytes& in, size_t at) {
    return static_cast<uint32_t>(in.at(at)) | static_cast<uint32_t>(in.at(at + 1)) << 8 |
           static_cast<uint32_t>(in.at(at + 2)) << 16 | static_cast<uint32_t>(in.at(at + 3)) << 24;
}

void set32(Bytes& out, size_t at, uint32_t value) {
    Bytes bytes;
    put32(bytes, value);
    std::copy(bytes.begin(), bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
}

} // namespace

Bytes encodeRle8Row(const uint8_t* indices, size_t count, RleStyle style) {
    Bytes out;
    encodeRow(out, indices, count, style);
    return out;
}

Bytes withGapAfterPalette(const Bytes& bmp, int32_t gap, uint8_t fill) {
    const size_t paletteEnd = kHeadersSize + 4 * size_t{get32(bmp, 46)};
    if (gap < 0 || paletteEnd > bmp.size()) {
        throw std::invalid_argument("BmpBuilder: no palette to move the pixels away from");
    }
    Bytes out = bmp;
    out.insert(out.begin() + static_cast<std::ptrdiff_t>(paletteEnd), static_cast<size_t>(gap),
               fill);
    set32(out, 2, get32(bmp, 2) + static_cast<uint32_t>(gap));
    set32(out, 10, get32(bmp, 10) + static_cast<uint32_t>(gap));
    return out;
}

int32_t rle8RowPixels(int32_t width) {
    return ((width - 1) / 4) * 4 + 4;
}

int32_t stride24(int32_t width) {
    return static_cast<int32_t>((3 * static_cast<int64_t>(width) + 3) / 4 * 4);
}

int32_t stride8(int32_t width) {
    return static_cast<int32_t>((static_cast<int64_t>(width) + 3) / 4 * 4);
}

Bytes make24(int32_t width, int32_t height, const Bytes& bgr) {
    const int64_t rowBytes = 3 * static_cast<int64_t>(width);
    requireSize(bgr.size(), rowBytes * height, "24-bit pixel data");
    const int64_t stride = stride24(width);
    Bytes out = headers(width, height, 24, 0, 0, stride * height);
    appendRows(out, bgr, static_cast<size_t>(rowBytes), static_cast<size_t>(stride),
               static_cast<size_t>(height));
    return out;
}

Bytes make8(int32_t width, int32_t height, const std::vector<PaletteEntry>& palette,
            const Bytes& indices) {
    requirePalette(palette);
    requireSize(indices.size(), static_cast<int64_t>(width) * height, "8-bit pixel data");
    const int64_t stride = stride8(width);
    Bytes out = headers(width, height, 8, 0, static_cast<int64_t>(palette.size()), stride * height);
    appendPalette(out, palette);
    appendRows(out, indices, static_cast<size_t>(width), static_cast<size_t>(stride),
               static_cast<size_t>(height));
    return out;
}

Bytes makeRle8(int32_t width, int32_t height, const std::vector<PaletteEntry>& palette,
               const Bytes& indices, int32_t rowPixels, RleStyle style, bool endWithEndOfImage) {
    requirePalette(palette);
    requireSize(indices.size(), static_cast<int64_t>(rowPixels) * height, "RLE8 row data");
    Bytes stream;
    const auto pixels = static_cast<size_t>(rowPixels);
    for (int32_t r = 0; r < height; ++r) {
        encodeRow(stream, indices.data() + static_cast<size_t>(r) * pixels, pixels, style);
        stream.push_back(0);
        stream.push_back(endWithEndOfImage && r == height - 1 ? 1 : 0);
    }
    return makeRle8Raw(width, height, palette, stream);
}

Bytes makeRle8Raw(int32_t width, int32_t height, const std::vector<PaletteEntry>& palette,
                  const Bytes& stream) {
    requirePalette(palette);
    Bytes out = headers(width, height, 8, 1, static_cast<int64_t>(palette.size()),
                        static_cast<int64_t>(stream.size()));
    appendPalette(out, palette);
    out.insert(out.end(), stream.begin(), stream.end());
    return out;
}

Bytes outputHeaders24(int32_t width, int32_t height) {
    return headers(width, height, 24, 0, 0, static_cast<int64_t>(stride24(width)) * height);
}

std::vector<PaletteEntry> testPalette(int n) {
    std::vector<PaletteEntry> palette;
    for (int i = 0; i < n; ++i) {
        // Odd multipliers make each channel a permutation of 0..255, so entries stay distinct
        // and cover both ends of the byte range, where the low-bit correction is clipped.
        palette.push_back({static_cast<uint8_t>(i * 167 + 13), static_cast<uint8_t>(i * 59 + 200),
                           static_cast<uint8_t>(i * 29 + 91), static_cast<uint8_t>(0x80 | i)});
    }
    return palette;
}

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("BmpBuilder: cannot write " + path);
    }
}

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("BmpBuilder: cannot read " + path);
    }
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace bmptest
