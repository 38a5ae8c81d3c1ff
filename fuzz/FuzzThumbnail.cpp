// Feeds arbitrary files to the thumbnail decoder, which runs on every BMP the user browses to,
// and checks what it promises the window: no crash, a reason for every refusal, no refusal of an
// uncompressed file whose rows are all there, a picture of exactly the clamped size, and for
// small uncompressed images decoded at full size, the very pixels the file holds.
#include "InputFile.h"
#include "payload/BmpHeader.h"
#include "payload/BmpThumbnail.h"

#include <QFile>
#include <QString>
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

constexpr const char* kStem = "thumbnail";

uint32_t le(const uint8_t* data, size_t size, size_t at, size_t bytes) {
    uint32_t value = 0;
    for (size_t i = 0; i < bytes; ++i) {
        value |= static_cast<uint32_t>(at + i < size ? data[at + i] : 0) << (8 * i);
    }
    return value;
}

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "thumbnail decoder broke its promise: %s\n", what);
        std::abort();
    }
}

// Read independently of the decoder: a decoded uncompressed image of at most 64 x 64 shown at
// full size must be its stored pixels, flipped to top row first.
void checkFullSize(const brindmar::ThumbnailImage& image, const uint8_t* data, size_t size) {
    const int64_t width = image.width;
    const int64_t height = image.height;
    const uint32_t bits = le(data, size, 28, 2);
    const int64_t offset = le(data, size, 10, 4);
    const int64_t stride = (width * bits + 31) / 32 * 4;
    for (int64_t y = 0; y < height; ++y) {
        for (int64_t x = 0; x < width; ++x) {
            const int64_t at = offset + (height - 1 - y) * stride + x * bits / 8;
            uint32_t colour = 0;
            if (bits == 24) {
                colour = le(data, size, static_cast<size_t>(at), 3);
            } else {
                const int64_t entry = data[at];
                const bool inPalette = entry < std::min<int64_t>((offset - 54) / 4, 256);
                colour = inPalette ? le(data, size, static_cast<size_t>(54 + 4 * entry), 3) : 0;
            }
            require(image.pixels[static_cast<size_t>(y * width + x)] == (0xFF000000u | colour),
                    "full-size pixel differs from the file");
        }
    }
}

// An uncompressed file whose every row is inside it has nothing that could stop its decoding.
bool soundUncompressed(const uint8_t* data, size_t size) {
    if (size < brindmar::kBmpHeadersLength || data[0] != 'B' || data[1] != 'M') {
        return false;
    }
    std::array<unsigned char, brindmar::kBmpHeadersLength> bytes{};
    std::copy(data, data + bytes.size(), bytes.begin());
    const brindmar::BmpHeader h = brindmar::parseBmpHeader(bytes);
    return h.infoSize == 40 && h.planes == 1 && h.compression == 0 &&
           brindmar::carrierLayoutSound(h, static_cast<int64_t>(size));
}

void decode(const QString& path, int32_t targetWidth, int32_t targetHeight, const uint8_t* data,
            size_t size) {
    brindmar::DrawFailure error;
    const auto image = brindmar::decodeBmpThumbnail(path, targetWidth, targetHeight, &error);
    if (!image) {
        require(error.fault != brindmar::DrawFault::None, "failure without a reason");
        require(!soundUncompressed(data, size), "sound uncompressed file refused");
        return;
    }
    const auto width = static_cast<int32_t>(le(data, size, 18, 4));
    const auto height = static_cast<int32_t>(le(data, size, 22, 4));
    require(image->width == std::clamp(targetWidth, 1, std::min(width, 4096)), "width");
    require(image->height == std::clamp(targetHeight, 1, std::min(height, 4096)), "height");
    require(image->pixels.size() ==
                static_cast<size_t>(image->width) * static_cast<size_t>(image->height),
            "pixel count");
    for (const uint32_t pixel : image->pixels) {
        require(pixel >> 24 == 0xFF, "pixel not opaque");
    }
    if (le(data, size, 30, 4) == 0 && image->width == width && image->height == height &&
        width <= 64 && height <= 64) {
        checkFullSize(*image, data, size);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzfile::writeInput(kStem, data, size);
    const QString path = QFile::decodeName(fuzzfile::inputPath(kStem).c_str());
    decode(path, 184, 168, data, size);
    decode(path, 1, 1, data, size);
    decode(path, 7, 300, data, size);
    decode(path, 64, 64, data, size);
    return 0;
}
