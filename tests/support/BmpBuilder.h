#pragma once

// Builds small BMP carriers in memory (or on disk) for tests, fuzz seeds and benchmarks.
// Rows are always given in file order (bottom row first), without padding.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace bmptest {

using Bytes = std::vector<uint8_t>;
using PaletteEntry = std::array<uint8_t, 4>; // blue, green, red, reserved

// How the RLE8 encoder chooses its runs.
enum class RleStyle {
    Mixed,        // encoded runs for repeats of 3 or more, absolute runs (>= 3) for the rest
    EncodedOnly,  // only encoded runs (f > 0)
    AbsoluteOnly, // absolute runs wherever a row allows (rows shorter than 3 use encoded runs)
};

// 24-bit uncompressed BMP: 14 + 40 header bytes, pixel data at offset 54, rows padded to 4.
// bgr holds width * 3 bytes per row, height rows.
Bytes make24(int32_t width, int32_t height, const Bytes& bgr);

// 8-bit uncompressed BMP with the palette right after the headers (data offset 54 + 4 * entries).
// indices holds width bytes per row, height rows.
Bytes make8(int32_t width, int32_t height, const std::vector<PaletteEntry>& palette,
            const Bytes& indices);

// 8-bit RLE BMP (compression 1). Each row of `indices` has rowPixels entries (use
// rle8RowPixels(width) for the rounded-up row the engine expects) and ends with (0, 0); the
// last row ends with (0, 1) when endWithEndOfImage is set.
Bytes makeRle8(int32_t width, int32_t height, const std::vector<PaletteEntry>& palette,
               const Bytes& indices, int32_t rowPixels, RleStyle style = RleStyle::Mixed,
               bool endWithEndOfImage = true);

// 8-bit RLE BMP around a hand-made compressed stream (for malformed input).
Bytes makeRle8Raw(int32_t width, int32_t height, const std::vector<PaletteEntry>& palette,
                  const Bytes& stream);

// One row's pairs in the RLE8 scheme, without an end-of-row code: for hand-made streams that
// mix rows with position jumps and early ends.
Bytes encodeRle8Row(const uint8_t* indices, size_t count, RleStyle style = RleStyle::Mixed);

// The same 8-bit BMP with `gap` bytes of `fill` between its palette (as many entries as its
// colours-used field says) and its pixels, as some writers leave them: the data offset and the
// file size move on by `gap`.
Bytes withGapAfterPalette(const Bytes& bmp, int32_t gap, uint8_t fill = 0xA5);

// The pixels per row an RLE8 row must decode to: the width rounded up to a multiple of 4.
int32_t rle8RowPixels(int32_t width);

// Bytes per row of a 24-bit image including padding.
int32_t stride24(int32_t width);
// Bytes per row of an 8-bit uncompressed image including padding.
int32_t stride8(int32_t width);

// Just the 54 header bytes of a 24-bit output image of width x height, as the program writes
// them before the first embedding call.
Bytes outputHeaders24(int32_t width, int32_t height);

// A palette of n entries with distinct, deterministic colours and nonzero reserved bytes.
std::vector<PaletteEntry> testPalette(int n);

void writeFile(const std::string& path, const Bytes& bytes);
Bytes readFile(const std::string& path);

} // namespace bmptest
