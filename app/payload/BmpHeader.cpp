#include "payload/BmpHeader.h"

#include "payload/CarrierFile.h"

#include <limits>

namespace brindmar {

namespace {

uint16_t u16(const std::array<unsigned char, kBmpHeadersLength>& b, size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

uint32_t u32(const std::array<unsigned char, kBmpHeadersLength>& b, size_t at) {
    return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
           (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

// The engine reads the pixel-data offset from a 16-bit slot.
constexpr int64_t kLargestDataOffset = std::numeric_limits<int16_t>::max();

} // namespace

std::array<unsigned char, kBmpHeadersLength> formatBmpHeader(const BmpHeader& h) {
    std::array<unsigned char, kBmpHeadersLength> b{};
    const auto put = [&b](size_t at, uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            b[at + static_cast<size_t>(i)] = static_cast<unsigned char>(value >> (8 * i));
        }
    };
    b[0] = 'B';
    b[1] = 'M';
    put(2, h.fileSize, 4);
    put(6, h.reserved, 4);
    put(10, h.dataOffset, 4);
    put(14, h.infoSize, 4);
    put(18, static_cast<uint32_t>(h.width), 4);
    put(22, static_cast<uint32_t>(h.height), 4);
    put(26, h.planes, 2);
    put(28, h.bitCount, 2);
    put(30, h.compression, 4);
    put(34, h.imageSize, 4);
    put(38, static_cast<uint32_t>(h.xPixelsPerMetre), 4);
    put(42, static_cast<uint32_t>(h.yPixelsPerMetre), 4);
    put(46, h.coloursUsed, 4);
    put(50, h.importantColours, 4);
    return b;
}

BmpHeader uncompressedBmpHeader(int32_t width, int32_t height, uint16_t bitCount,
                                uint32_t paletteEntries) {
    BmpHeader h;
    h.dataOffset = kBmpHeadersLength + 4 * paletteEntries;
    h.imageSize = static_cast<uint32_t>(bmpStride(width, bitCount) * height);
    h.fileSize = h.dataOffset + h.imageSize;
    h.infoSize = 40;
    h.width = width;
    h.height = height;
    h.planes = 1;
    h.bitCount = bitCount;
    h.coloursUsed = paletteEntries;
    return h;
}

BmpHeader parseBmpHeader(const std::array<unsigned char, kBmpHeadersLength>& bytes) {
    BmpHeader h;
    h.fileSize = u32(bytes, 2);
    h.reserved = u32(bytes, 6);
    h.dataOffset = u32(bytes, 10);
    h.infoSize = u32(bytes, 14);
    h.width = static_cast<int32_t>(u32(bytes, 18));
    h.height = static_cast<int32_t>(u32(bytes, 22));
    h.planes = u16(bytes, 26);
    h.bitCount = u16(bytes, 28);
    h.compression = u32(bytes, 30);
    h.imageSize = u32(bytes, 34);
    h.xPixelsPerMetre = static_cast<int32_t>(u32(bytes, 38));
    h.yPixelsPerMetre = static_cast<int32_t>(u32(bytes, 42));
    h.coloursUsed = u32(bytes, 46);
    h.importantColours = u32(bytes, 50);
    return h;
}

BmpHeaderRead readBmpHeader(const QString& path) {
    BmpHeaderRead read;
    const CarrierFile file(path);
    if (!file.isOpen()) {
        return read;
    }
    read.actualFileSize = file.size();
    std::array<unsigned char, kBmpHeadersLength> bytes{};
    if (file.readAt(0, bytes.data(), bytes.size()) != bytes.size() || bytes[0] != 'B' ||
        bytes[1] != 'M') {
        read.result = BmpReadResult::CannotRead;
        read.readError = file.error();
        return read;
    }
    read.header = parseBmpHeader(bytes);
    read.result = BmpReadResult::Read;
    return read;
}

int64_t bmpStride(int64_t width, int bitCount) {
    return (width * bitCount + 31) / 32 * 4;
}

bool carrierLayoutSound(const BmpHeader& h, int64_t actualFileSize) {
    if (h.width < 1 || h.height < 1) {
        return false;
    }
    const bool uncompressed = h.compression == 0;
    if (h.bitCount == 24 ? !uncompressed : !(h.bitCount == 8 && h.compression <= 1)) {
        return false;
    }
    const int64_t colourBytes = int64_t{h.width} * 3 * h.height;
    if (colourBytes > std::numeric_limits<int32_t>::max()) {
        return false;
    }
    const int64_t offset = h.dataOffset;
    if (offset < kBmpHeadersLength || offset > kLargestDataOffset || offset >= actualFileSize) {
        return false;
    }
    return !uncompressed || offset + bmpStride(h.width, h.bitCount) * h.height <= actualFileSize;
}

} // namespace brindmar
