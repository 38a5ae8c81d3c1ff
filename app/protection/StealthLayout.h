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

// Where the salt, the head and the stream lie in a picture of this size.
//
// From version 6 the salt rides on bit 0 of the sums of public pixels, and bit 1 of the same
// sums carries the sealed stream's last tailBytes under a keyed code. A fixed salt over fixed
// places would change them more often than the rest of the picture when the stream is short and
// less often when it is long; with the tail the public pixels carry as many bits a pixel as the
// others do, so their moves are as frequent, at any rate above the salt's own. They are a
// sixteenth of the pixels: more in a small picture, so that the salt's code has three columns a
// bit; at most 2^18, which leave the salt's own rate at a ninetieth of the recommended one and
// cost the writer and the reader little in a large picture (in a picture of a million pixels it
// is a twentieth). The stream lies over every pixel, the public ones and the head's wet for it.
//
// Up to version 5 the salt lay on public colour bytes, as many a bit as the stream had at the
// recommended rate when it was 0.0125, a sixteenth of the picture at most; still read. The head
// is carried by a trellis code over the keyed walk's first colour bytes, as many a bit, in every
// version. The stream lies over the colour bytes past the head in version 4, over every pixel
// from version 5 on.
struct StealthLayout {
    uint64_t colourBytes = 0;
    uint64_t pixels = 0;
    uint64_t saltSteps = 0; // public colour bytes, up to version 5
    uint64_t headSteps = 0; // the keyed walk's first steps
    uint32_t saltWidth = 0;
    uint32_t headWidth = 0;
    uint64_t publicCount = 0; // public pixels, from version 6
    uint32_t publicWidth = 0; // the salt's columns a bit over them

    StealthLayout(uint32_t width, uint32_t height)
        : colourBytes(colourBytesOf(width, height)), pixels(uint64_t{width} * height),
          saltSteps(stepsFor(kStealthSaltBits)), headSteps(stepsFor(kStealthHeadBits)),
          saltWidth(stealthWidthFor(saltSteps, kStealthSaltBits)),
          headWidth(stealthWidthFor(headSteps, kStealthHeadBits)),
          publicCount(
              std::min(kMostPublic, std::max(pixels / 16, std::min(pixels / 4, kLeastPublic)))),
          publicWidth(stealthWidthFor(publicCount, kStealthSaltBits)) {}

    // The walk counts in 32 bits; a carrier's colour bytes fit a signed 32-bit count anyway.
    bool holds() const {
        return saltWidth >= kLeastWidth && headWidth >= kLeastWidth && publicWidth >= kLeastWidth &&
               colourBytes <= 0x7fffffffu;
    }
    // The stream's steps in a version's walk; none where the picture takes no payload.
    uint64_t streamSteps(uint8_t version = kStealthVersion) const {
        return !holds() ? 0 : version == 4 ? colourBytes - headSteps : pixels;
    }

    // How many of a sealed stream's last bytes the public pixels carry in version 6: as many as
    // give them the bits a pixel the stream has over the others, (128 + 8 t) / K = 8 (L - t) /
    // (V - K) for K public pixels of V, rounded down; at most one bit in kStealthDryStepsPerBit
    // of them, salt included, and never the whole stream.
    uint64_t tailBytes(uint64_t sealedLength) const {
        if (!holds() || sealedLength < 2) {
            return 0;
        }
        // At most 2^18 public pixels times a length below 2^32, and 2^31 pixels times 16.
        const uint64_t others = pixels - publicCount;
        const uint64_t wanted = publicCount * std::min<uint64_t>(sealedLength, 0xffffffffu);
        const uint64_t salt = others * (kStealthSaltBits / 8);
        const uint64_t matched = wanted <= salt ? 0 : (wanted - salt) / pixels;
        const uint64_t room = publicCount / kStealthDryStepsPerBit;
        const uint64_t most = room > kStealthSaltBits ? (room - kStealthSaltBits) / 8 : 0;
        return std::min({matched, most, sealedLength / 2});
    }

private:
    static constexpr uint64_t kLeastPublic = kStealthSaltBits * kLeastWidth;
    static constexpr uint64_t kMostPublic = uint64_t{1} << 18;

    uint64_t stepsFor(uint64_t bits) const {
        return std::min(bits * kStealthStepsPerBit, colourBytes / 16);
    }
};

} // namespace brindmar
