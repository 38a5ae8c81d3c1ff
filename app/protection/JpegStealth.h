#pragma once

#include "protection/JpegCoefficients.h"

#include <QByteArray>
#include <array>
#include <cstdint>
#include <optional>

namespace brindmar {

// A byte stream carried by ±1 changes to a JPEG's quantised AC coefficients, along a keyed walk
// over all of them, by the syndrome-trellis code, the changes placed by the UERD cost. Nothing
// is in clear: a short head (version and length, masked) and then the stream each have their
// own stretch of the walk and their own code. A reader needs only the coefficients' parities
// along the walk, never the costs.
//
// The keys are taken already derived: where they come from (the code, the salt, the seal around
// the stream) is the caller's business, so that this layer stays the same whichever way they
// are made.
struct JpegStealthKeys {
    std::array<unsigned char, 32> walk{};
    std::array<unsigned char, 32> head{};
    std::array<unsigned char, 32> code{};
    std::array<unsigned char, 32> directions{};
};

inline constexpr uint8_t kJpegStealthVersion = 1;
// The head: the version, then the stream's length in bytes (32 bits, little-endian), masked
// with the head key's keystream and carried at 16 columns a bit over the walk's first steps.
inline constexpr uint64_t kJpegHeadBits = 40;
inline constexpr uint32_t kJpegHeadWidth = 16;
inline constexpr uint64_t kJpegHeadSteps = kJpegHeadBits * kJpegHeadWidth;

// The AC coefficients the walk goes over (all components, blocks row by row, 63 a block), and
// the non-zero ones among them, by which a rate is given.
uint64_t jpegAcCount(const JpegCoefficients& jpeg);
uint64_t jpegNonZeroAcCount(const JpegCoefficients& jpeg);

// The trellis code's columns per stream bit for a stream of this many bytes: as many as the
// coefficients past the head allow, at most 32; 0 when fewer than two.
uint32_t jpegStealthWidth(uint64_t streamBytes, uint64_t acCount);
// The longest stream, in bytes, a JPEG takes.
uint64_t jpegStealthCapacity(const JpegCoefficients& jpeg);

struct JpegStealthReport {
    bool done = false;    // false: the stream does not fit, or memory ran out
    uint32_t width = 0;   // columns per stream bit
    uint64_t changes = 0; // coefficients changed by one
    double bitsPerNonZeroAc = 0;
};

// Carries the stream in the coefficients, changed in place. When it fails past the start (memory
// ran out) some coefficients may already be changed: open the carrier again before another try.
JpegStealthReport jpegStealthEmbed(JpegCoefficients& jpeg, const JpegStealthKeys& keys,
                                   const QByteArray& stream);

// The stream the coefficients carry under these keys; nothing when the head is not one the
// embed writes (another key, or no stream). Under another key a plausible head may still come
// out of the noise: what follows is then noise too, which the seal around the stream refuses.
std::optional<QByteArray> jpegStealthRead(const JpegCoefficients& jpeg,
                                          const JpegStealthKeys& keys);

} // namespace brindmar
