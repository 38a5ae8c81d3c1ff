#pragma once

// BMP files of every layout a picture converter meets, each written from known pixels, with the
// picture a viewer shows for it: the core 12-byte header, the 40-byte header at every depth
// (1, 4, 8, 16, 24, 32 bits), 16 and 32 bits with bit fields, the 108- and 124-byte headers with
// alpha, top-down rows, a gap before the pixels, and RLE4 and RLE8 with position jumps, early
// ends of line and rows of any width.

#include "BmpBuilder.h"

#include <cstdint>
#include <string>
#include <vector>

namespace bmptest {

struct BmpVariant {
    std::string name;
    Bytes file;
    int32_t width = 0;
    int32_t height = 0;
    // 0xRRGGBB, top row first: alpha flattened onto white (overWhite), 5- and 6-bit channels
    // scaled to the full range (31 and 63 to 255), pixels a compressed image skips white.
    std::vector<uint32_t> pixels;
};

std::vector<BmpVariant> bmpVariants();

// Colour c at opacity a over white, rounded to nearest.
uint8_t overWhite(uint32_t c, uint32_t a);

} // namespace bmptest
