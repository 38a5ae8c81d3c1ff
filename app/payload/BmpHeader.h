#pragma once

#include <QString>
#include <array>
#include <cstdint>

namespace brindmar {

inline constexpr int kBmpHeadersLength = 54;

// The 14-byte file header and the 40-byte information header, as stored. Nothing here is
// checked: every field of a file chosen by the user may be hostile.
struct BmpHeader {
    uint32_t fileSize = 0;
    uint32_t reserved = 0;
    uint32_t dataOffset = 0;
    uint32_t infoSize = 0;
    int32_t width = 0;
    int32_t height = 0;
    uint16_t planes = 0;
    uint16_t bitCount = 0;
    uint32_t compression = 0;
    uint32_t imageSize = 0;
    int32_t xPixelsPerMetre = 0;
    int32_t yPixelsPerMetre = 0;
    uint32_t coloursUsed = 0;
    uint32_t importantColours = 0;
};

enum class BmpReadResult { Read, CannotOpen, CannotRead };

struct BmpHeaderRead {
    BmpReadResult result = BmpReadResult::CannotOpen;
    BmpHeader header;
    int64_t actualFileSize = 0; // what the file system says, not the header
    int readError = 0;          // with CannotRead: the errno of a read the disk refused
};

BmpHeader parseBmpHeader(const std::array<unsigned char, kBmpHeadersLength>& bytes);

// The inverse of parseBmpHeader: the two headers as stored, "BM" first.
std::array<unsigned char, kBmpHeadersLength> formatBmpHeader(const BmpHeader& header);

// The headers of an uncompressed image with a 40-byte information header and the palette, if
// any, right after them: the sizes and the data offset follow from the rest.
BmpHeader uncompressedBmpHeader(int32_t width, int32_t height, uint16_t bitCount,
                                uint32_t paletteEntries = 0);

// Opens only ordinary files. CannotRead: the file does not start with "BM" or is shorter than
// the two headers.
BmpHeaderRead readBmpHeader(const QString& path);

// Whether an 8-bit or 24-bit carrier can be read pixel for pixel as its header describes: a
// positive size, a compression the engine decodes for that depth, a pixel-data offset the
// engine's 16-bit slot can carry, colour bytes that fit a signed 32-bit count, and pixel rows
// that lie inside the real file. A header that fails this never reaches the engine or the
// thumbnail decoder.
bool carrierLayoutSound(const BmpHeader& header, int64_t actualFileSize);

// Bytes per stored row of an uncompressed image of the given depth, padded to 4.
int64_t bmpStride(int64_t width, int bitCount);

} // namespace brindmar
