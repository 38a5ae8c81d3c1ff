#pragma once

#include <cstdint>
#include <cstring>

namespace vokb {

// Callers hand 16-bit values over in 32-bit slots; only the low half is meaningful.
inline int64_t arg16(int32_t slot) {
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(slot) & 0xFFFFu));
}

inline bool isEmpty(const char* s) {
    return s == nullptr || s[0] == '\0';
}

inline int64_t textLength(const char* s) {
    return s == nullptr ? 0 : static_cast<int64_t>(std::strlen(s));
}

} // namespace vokb

namespace vokb {

// Bit-pair numbers of absurd geometries would overflow; saturating keeps them far past any
// payload (so they select filler) without undefined behaviour.
inline int64_t saturatingProduct(int64_t a, int64_t b) {
    int64_t result = 0;
    if (__builtin_mul_overflow(a, b, &result)) {
        return (a < 0) != (b < 0) ? INT64_MIN / 2 : INT64_MAX / 2;
    }
    return result;
}

// Bit-pair number of the first colour byte of crop row `row`.
inline int64_t rowFirstBitPair(int64_t row, int64_t outWidth) {
    return saturatingProduct(saturatingProduct(row, outWidth), 3);
}

// Zero bytes that pad an output row of outWidth pixels to a multiple of 4 bytes.
inline int64_t rowPadding(int64_t outWidth) {
    const int64_t bytes = 3 * outWidth;
    return ((bytes - 1) / 4) * 4 + 4 - bytes;
}

} // namespace vokb
