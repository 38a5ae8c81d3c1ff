#pragma once

#include "util/DrawFault.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace brindmar {

// A small picture of a carrier, ready for the window to draw.
struct ThumbnailImage {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> pixels; // 0xFFRRGGBB, top row first, width * height entries

    bool isNull() const { return pixels.empty(); }
};

// Decodes an 8-bit (uncompressed or RLE8) or 24-bit uncompressed BMP straight into a picture of
// targetWidth x targetHeight, averaging the image's pixels over each target pixel while the rows
// are read. The whole image is never held, so carriers far beyond what an image library would
// allocate still get a picture. The file is untrusted: its header must pass carrierLayoutSound,
// and a file that changes or ends early gives an error, never a crash or garbage beyond it.
// Targets are clamped to 1 .. the image's own size (and at most 4096 on each side).
// nullopt on failure, with why in failure when given.
std::optional<ThumbnailImage> decodeBmpThumbnail(const QString& path, int32_t targetWidth,
                                                 int32_t targetHeight,
                                                 DrawFailure* failure = nullptr);

// The same decoder at the image's own size, one pixel for each pixel, for the full-size view;
// images beyond 144 million pixels, or beyond the memory to hold them, give an error.
std::optional<ThumbnailImage> decodeBmpFullSize(const QString& path,
                                                DrawFailure* failure = nullptr);

} // namespace brindmar
