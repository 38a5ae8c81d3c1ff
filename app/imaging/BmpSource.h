#pragma once

#include <QIODevice>
#include <QImage>
#include <array>
#include <cstdint>

namespace brindmar {

// What the headers of a BMP say, as far as the converter needs it.
struct BmpLayout {
    int32_t width = 0;
    int32_t height = 0; // rows, whichever way they are stored
    bool topDown = false;
    uint16_t bitCount = 0;
    uint32_t compression = 0;
    int64_t paletteStart = 0;
    int32_t paletteEntries = 0;
    int32_t paletteEntryBytes = 4;
    int64_t pixelStart = 0;
    // Red, green, blue and alpha of 16-bit pixels, from the header or the defaults for 5-5-5.
    std::array<uint32_t, 4> masks{};

    bool runLength() const { return compression == 1 || compression == 2; }
    bool sixteenBit() const { return bitCount == 16; }
};

enum class BmpVerdict {
    Sound,
    Damaged,
    TooLarge,
    Unsupported, // a depth or compression no reader here decodes (2 or 64 bits, JPEG or PNG inside)
};

struct BmpInspection {
    BmpVerdict verdict = BmpVerdict::Damaged;
    BmpLayout layout;
};

// Reads the headers and holds them against the real file size. The image reader fills the
// pixels a short file lacks with whatever its memory held, without an error, so no BMP reaches
// it unless its palette and all its rows lie inside the file. Compressed pixels cannot be
// measured this way; decodeRunLengthBmp finds where they end.
BmpInspection inspectBmp(QIODevice& file, int32_t maxSide);

// Decodes RLE4 and RLE8 pixels itself: the image reader leaves the pixels that a position jump,
// an early end of line or an early end of image skips undefined. Those pixels are white, as
// browsers show them (transparent) over a white page. A null image when the compressed pixels
// stop before the image is complete, or when there is no memory for it. A run or a position
// jump past the end of its row (padded to 4 bytes) makes it null too: the embed's carrier check
// refuses such a stream, and the two must not disagree about which files are pictures.
QImage decodeRunLengthBmp(QIODevice& file, const BmpLayout& layout);

// Decodes 16-bit pixels itself: the image reader widens a 5-bit channel by shifting, so white
// comes out as 248. Each channel is scaled to the full range here (31 and 63 become 255), as
// other decoders show them. A null image when there is no memory for it.
QImage decodeSixteenBitBmp(QIODevice& file, const BmpLayout& layout);

} // namespace brindmar
