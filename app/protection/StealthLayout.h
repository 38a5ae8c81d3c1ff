#pragma once

#include "protection/StealthImage.h"

#include <algorithm>
#include <cstdint>

namespace brindmar {

inline constexpr uint64_t kStealthSaltBits = kSaltLength * 8;
inline constexpr uint64_t kStealthHeadBits = uint64_t{kHeadLength} * 8;

inline uint64_t colourBytesOf(uint32_t width, uint32_t height) {
    return uint64_t{width} * height * 3;
}

inline uint32_t stealthWidthFor(uint64_t steps, uint64_t bits) {
    const uint64_t fits = steps / bits;
    return fits < kLeastWidth ? 0 : static_cast<uint32_t>(std::min<uint64_t>(fits, kMostWidth));
}

// Where the salt, the head and the stream lie in a picture of this size. The salt and the head
// are carried as the stream is, by a trellis code over a stretch of a walk, with as many colour
// bytes a bit as the stream had at the recommended rate when it was 0.01: their changes are then
// no more frequent than its own (at today's rate, about three quarters as frequent), and as well
// placed. A sixteenth of the picture each at most. The stream lies over the colour bytes past the
// head in version 4, over every pixel from version 5 on.
struct StealthLayout {
    uint64_t colourBytes = 0;
    uint64_t pixels = 0;
    uint64_t saltSteps = 0; // public positions
    uint64_t headSteps = 0; // the keyed walk's first steps
    uint32_t saltWidth = 0;
    uint32_t headWidth = 0;

    StealthLayout(uint32_t width, uint32_t height)
        : colourBytes(colourBytesOf(width, height)), pixels(uint64_t{width} * height),
          saltSteps(stepsFor(kStealthSaltBits)), headSteps(stepsFor(kStealthHeadBits)),
          saltWidth(stealthWidthFor(saltSteps, kStealthSaltBits)),
          headWidth(stealthWidthFor(headSteps, kStealthHeadBits)) {}

    // The walk counts in 32 bits; a carrier's colour bytes fit a signed 32-bit count anyway.
    bool holds() const {
        return saltWidth >= kLeastWidth && headWidth >= kLeastWidth && colourBytes <= 0x7fffffffu;
    }
    // The stream's steps in a version's walk; none where the picture takes no payload.
    uint64_t streamSteps(uint8_t version = kStealthVersion) const {
        return !holds() ? 0 : version == 4 ? colourBytes - headSteps : pixels;
    }

private:
    uint64_t stepsFor(uint64_t bits) const {
        return std::min(bits * kStealthStepsPerBit, colourBytes / 16);
    }
};

} // namespace brindmar
