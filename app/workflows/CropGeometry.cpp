#include "workflows/CropGeometry.h"

#include "workflows/CarrierInspection.h"

#include <algorithm>
#include <cmath>

namespace brindmar {

namespace {

constexpr int64_t kBytesPerPixel = 3;

int64_t ceilDiv(int64_t a, int64_t b) {
    return (a + b - 1) / b;
}

// floor(scale x length) + 1: the size that covers the scaled share with a pixel to spare.
int64_t scaledSize(double scale, int32_t length) {
    return static_cast<int64_t>(std::floor(scale * length)) + 1;
}

bool isAreaMode(uint8_t mode) {
    return mode >= 1 && mode <= 9;
}

int32_t leftOffset(uint8_t mode, int32_t imageWidth, int32_t width, const CropRect& rect) {
    const int32_t room = imageWidth - width;
    switch (mode) {
    case 1:
    case 2:
    case 3:
    case 11:
        return room / 2;
    case 7:
    case 8:
    case 9:
    case 12:
        return room;
    case kDrawnCropMode: {
        const auto drawn = static_cast<int64_t>(std::floor(double{rect.left} * imageWidth));
        return static_cast<int32_t>(std::clamp<int64_t>(drawn, 0, room));
    }
    default:
        return 0;
    }
}

int32_t bottomOffset(uint8_t mode, int32_t imageHeight, int32_t height, const CropRect& rect) {
    const int32_t room = imageHeight - height;
    switch (mode) {
    case 1:
    case 5:
    case 8:
    case 14:
        return room / 2;
    case 2:
    case 6:
    case 9:
    case 15:
        return 0;
    case kDrawnCropMode: {
        const double below = 1.0 - double{rect.top} - double{rect.height};
        const auto drawn = static_cast<int64_t>(std::floor(imageHeight * below));
        return static_cast<int32_t>(std::clamp<int64_t>(drawn, 0, room));
    }
    default:
        return room;
    }
}

} // namespace

void shrinkArea(int64_t need, int32_t& width, int32_t& height) {
    if (need <= 0) {
        return;
    }
    const int32_t startHeight = height;
    int64_t best = kBytesPerPixel * width * height;
    int32_t bestWidth = width;
    int32_t bestHeight = height;
    // Every narrower width may still give a smaller area with a height up to the starting one,
    // even a height above the best so far; only a width that cannot hold the need at the
    // starting height ends the walk, and every narrower one then cannot either.
    for (int32_t w = width; w >= 1; --w) {
        const int64_t h = ceilDiv(need, kBytesPerPixel * w);
        if (h > startHeight) {
            break;
        }
        const int64_t area = kBytesPerPixel * w * h;
        if (area < best) {
            best = area;
            bestWidth = w;
            bestHeight = static_cast<int32_t>(h);
        }
    }
    width = bestWidth;
    height = bestHeight;
}

std::optional<CropArea> cropGeometry(uint8_t mode, int32_t imageWidth, int32_t imageHeight,
                                     int64_t carrierColourBytes, int64_t payloadLength,
                                     CropRect& rect) {
    if (imageWidth <= 0 || imageHeight <= 0 || carrierColourBytes <= 0 || payloadLength <= 0) {
        return std::nullopt;
    }
    // Readers look for a payload only in images of kSmallestCarrier colour bytes or more, so a
    // tiny payload still gets an image that large.
    const int64_t need = std::max(payloadLength * 4, kSmallestCarrier);
    const float share =
        static_cast<float>(static_cast<double>(need) / static_cast<double>(carrierColourBytes));
    const bool drawn = mode == kDrawnCropMode;
    const bool verticalStrip = mode >= 10 && mode <= 12;
    const bool horizontalStrip = mode >= 13 && mode <= 15;

    int64_t width = imageWidth;
    int64_t height = imageHeight;
    if (isAreaMode(mode)) {
        const float scale = std::sqrt(share);
        rect.width = scale;
        rect.height = scale;
        width = scaledSize(scale, imageWidth);
        height = scaledSize(scale, imageHeight);
    } else if (drawn) {
        width = scaledSize(rect.width, imageWidth);
        height = scaledSize(rect.height, imageHeight);
    } else if (verticalStrip) {
        width = scaledSize(share, imageWidth);
    } else if (horizontalStrip) {
        height = scaledSize(share, imageHeight);
    }
    // The pixel to spare must not reach past the carrier: a payload filling it exactly would
    // otherwise ask for a column and a row the image does not have.
    CropArea area;
    area.width = static_cast<int32_t>(std::clamp<int64_t>(width, 1, imageWidth));
    area.height = static_cast<int32_t>(std::clamp<int64_t>(height, 1, imageHeight));
    if (kBytesPerPixel * area.width * area.height < need) {
        return std::nullopt;
    }
    if (isAreaMode(mode) || drawn) {
        shrinkArea(need, area.width, area.height);
    } else if (verticalStrip) {
        area.width = static_cast<int32_t>(ceilDiv(need, kBytesPerPixel * area.height));
    } else if (horizontalStrip) {
        area.height = static_cast<int32_t>(ceilDiv(need, kBytesPerPixel * area.width));
    }
    area.left = leftOffset(mode, imageWidth, area.width, rect);
    area.bottom = bottomOffset(mode, imageHeight, area.height, rect);
    return area;
}

} // namespace brindmar
