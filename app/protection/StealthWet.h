#pragma once

#include <cstdint>

namespace brindmar {

// A change shows whatever the picture around it where a byte is at 0 or 255, since a clipped
// area would gain a lone value, and where it equals all its neighbours of its channel (i ± 3,
// i ± 3W and i ± 3W ± 3 within the picture and the row), since it would be the one difference
// in a flat area. Such bytes are wet: the writer never changes them, in any part.

// Row y's wetness, one byte a colour byte (1 wet), of a picture of `row` colour bytes a row.
void stealthWetRow(const unsigned char* colour, uint64_t row, uint32_t height, uint32_t y,
                   uint8_t* wet);

// What the writer's most depends on: the pixels it may move (those with a dry channel), and the
// wet ones among the pixel walk's tail, the last P mod 256 pixels, which the walk takes one
// after the other at its very end (format 8.6): in a picture with a clipped or flat top row,
// trellis bits that lie there alone have no pixel to move.
struct StealthDryCount {
    uint64_t dry = 0;
    uint64_t wetTail = 0;
};

// Counted in strips of rows on every core.
StealthDryCount stealthDryCount(const unsigned char* colour, uint32_t width, uint32_t height);

} // namespace brindmar
