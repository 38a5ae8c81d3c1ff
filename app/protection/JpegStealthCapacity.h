#pragma once

#include "protection/JpegCoefficients.h"

#include <cstdint>

namespace brindmar {

// The writer never changes a wet coefficient (one at the largest magnitude, or any of a block
// whose neighbourhood has no energy: JpegCost.h), so a JPEG with flat areas takes less than
// the reader's most. The rule is the pixels' (StealthImage.h) with the stream's bits at most one
// in kJpegDryStepsPerBit of the dry coefficients past the head and the salt: the JPEG's stream
// is one trellis layer where the pixels' is two a pass, each with half the bits, so this gives
// each bit as many dry coefficients as a pixel layer's bit has. And few enough bits that the
// walk's tail, its last M mod 256 coefficients in a row, leaves at most kStealthDeadTailBits
// more than its dry coefficients carry.
inline constexpr uint64_t kJpegDryStepsPerBit = 8;

// The longest sealed stream, in bytes, the writer carries in this JPEG; 0 when none.
uint64_t jpegWriterStealthCapacity(const JpegCoefficients& jpeg);

} // namespace brindmar
