#pragma once

#include "Streams.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace vokb {

// Blue, green, red of each index packed into the low three bytes of a little-endian word, so
// that a pixel expands with one four-byte store. Indices the file has no entry for stay black.
using Palette = std::array<uint32_t, 256>;

inline int64_t paletteEntries(int64_t dataOffset) {
    return dataOffset > 57 ? (dataOffset - 54) / 4 : 0;
}

// Reads the palette that follows the two headers; dataOffset decides how many entries there are.
// The reader must stand at offset 54.
inline void readPalette(Reader& carrier, int64_t dataOffset, Palette& palette) {
    palette = {};
    const int64_t entries = paletteEntries(dataOffset);
    // Block-sized calls come by the thousand: read the palette, not the pixels after it.
    carrier.setReadAheadLimit(carrier.tell() + 4 * entries);
    for (int64_t e = 0; e < entries && e < 256; ++e) {
        uint8_t entry[4];
        carrier.readPadded(entry, sizeof entry);
        palette[static_cast<size_t>(e)] = static_cast<uint32_t>(entry[0]) |
                                          static_cast<uint32_t>(entry[1]) << 8 |
                                          static_cast<uint32_t>(entry[2]) << 16;
    }
}

// Pixel stores write a few bytes past the last pixel, which the next pixel overwrites; colour
// buffers keep this much room at their end.
constexpr size_t kPixelSlack = 8;

// Writes the pixel's three colour bytes at dst and scribbles on the byte after them.
inline void storePixel(uint8_t* dst, uint32_t colour) {
    std::memcpy(dst, &colour, 4);
}

// Expands n indices into 3n colour bytes (plus slack), two pixels per eight-byte
// store. The local copy of the palette tells the compiler the stores cannot change it.
inline void expandPixels(const Palette& palette, const uint8_t* indices, size_t n, uint8_t* dst) {
    const Palette local = palette;
    size_t p = 0;
    for (; p + 2 <= n; p += 2) {
        const uint64_t two = local[indices[p]] | uint64_t{local[indices[p + 1]]} << 24;
        std::memcpy(dst + 3 * p, &two, sizeof two);
    }
    for (; p < n; ++p) {
        storePixel(dst + 3 * p, local[indices[p]]);
    }
}

} // namespace vokb
