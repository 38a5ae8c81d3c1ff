#pragma once

#include "protection/Trellis.h"

#include <cstdint>

namespace brindmar {

// What the search and the reader share: the rows a column reaches, and a segment's syndrome.

// The columns' words for row i of a segment of b bits: rows past the segment are cut off.
inline uint32_t rowMask(uint64_t i, uint64_t b) {
    const uint64_t left = b - i;
    return left >= kTrellisHeight ? (kTrellisStates - 1) : (1u << left) - 1;
}

void segmentSyndrome(const TrellisCode& code, const uint8_t* low, uint64_t b, uint8_t* out);

} // namespace brindmar
