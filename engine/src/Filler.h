#pragma once

#include <cstdint>

namespace vokb {

// Next filler byte from this thread's generator. The sequence is part of the image format's
// reproducibility: a run's first embedding always gets the same filler.
uint8_t nextFillerByte();

} // namespace vokb
