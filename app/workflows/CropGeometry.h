#pragma once

#include "workflows/WindowModel.h"

#include <cstdint>
#include <optional>

namespace brindmar {

// Mode that stands for a rectangle drawn with the mouse.
inline constexpr uint8_t kDrawnCropMode = 99;

// The part of the carrier the new image is cut from, in pixels.
struct CropArea {
    int32_t width = 0;
    int32_t height = 0;
    int32_t left = 0;   // columns skipped at the left
    int32_t bottom = 0; // rows skipped from the bottom row of the file
};

// The rectangle to cut for the crop mode: sized by the payload's share of the carrier, shrunk to
// the smallest area that still holds the payload, then placed. Modes 1 to 9 leave their square
// scale in rect's width and height; mode 99 takes its size and place from rect. nullopt when
// the payload does not fit.
std::optional<CropArea> cropGeometry(uint8_t mode, int32_t imageWidth, int32_t imageHeight,
                                     int64_t carrierColourBytes, int64_t payloadLength,
                                     CropRect& rect);

// The smallest width x height (3 colour bytes a pixel) not above the start size that holds need
// colour bytes: widths from the start width down, each with its smallest height, the first
// found among equal areas kept. Any height up to the start height counts, so a narrower,
// taller area can win over a wider, lower one. The start size must hold need.
void shrinkArea(int64_t need, int32_t& width, int32_t& height);

} // namespace brindmar
