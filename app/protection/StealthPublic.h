#pragma once

#include "protection/KeyedWalk.h"
#include "protection/StealthImage.h"
#include "protection/StealthLayout.h"
#include "protection/StealthStream.h"

#include <vector>

namespace brindmar {

// What a stealth image carries where anyone may look: from version 6 the public pixels, which
// carry the salt on bit 0 of their sums (and the stream's tail on bit 1, under a keyed code), in
// the order they carry it, and the salt's code.
struct PublicPixels {
    std::vector<uint32_t> pixels;
    TrellisCode saltCode;

    PublicPixels(const StealthLayout& layout, uint32_t width, uint32_t height)
        : pixels(publicPixels(width, height, layout.publicCount)),
          saltCode(keystreamCode(layout.publicWidth, publicCodeKey(width, height).data(), 0)) {}
};

// The salt as they carry it.
StealthSalt readSaltFrom(const unsigned char* colour, const PublicPixels& places);

// The salt where versions 4 and 5 carried it, on public colour bytes: read only, for a second
// derivation when the first finds nothing. All zero when the picture is too small to carry one.
StealthSalt readEarlierStealthSalt(const unsigned char* colour, uint32_t width, uint32_t height);

} // namespace brindmar
