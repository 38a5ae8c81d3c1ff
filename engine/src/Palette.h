#pragma once

#include "Streams.h"

#include <array>
#include <cstdint>

namespace vokb {

// Blue, green, red of each index. Indices the file has no entry for stay black.
using Palette = std::array<std::array<uint8_t, 3>, 256>;

// Reads the palette that follows the two headers; dataOffset decides how many entries there are.
// The reader must stand at offset 54.
inline int64_t paletteEntries(int64_t dataOffset) {
    return dataOffset > 57 ? (dataOffset - 54) / 4 : 0;
}

inline void readPalette(Reader& carrier, int64_t dataOffset, Palette& palette) {
    palette = {};
    const int64_t entries = paletteEntries(dataOffset);
    for (int64_t e = 0; e < entries && e < 256; ++e) {
        uint8_t entry[4];
        carrier.readPadded(entry, sizeof entry);
        palette[static_cast<size_t>(e)] = {entry[0], entry[1], entry[2]};
    }
}

} // namespace vokb
