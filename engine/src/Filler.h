#pragma once

#include <cstddef>
#include <cstdint>

namespace vokb {

// Next filler byte from this thread's generator. The sequence is part of the image format's
// reproducibility: a run's first embedding always gets the same filler.
uint8_t nextFillerByte();

// The next n filler bytes, exactly as n calls of nextFillerByte would give them.
void nextFillerBytes(uint8_t* dst, size_t n);

} // namespace vokb
