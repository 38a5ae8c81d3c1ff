#pragma once

#include <cstddef>
#include <cstdint>

namespace vokb {

// Embeds whole groups: colour bytes 4g to 4g + 3 carry the bit pairs of payload[g], least
// significant pair first, with the same correction as the scalar table.
void embedGroups(const uint8_t* carrier, uint8_t* out, const uint8_t* payload, size_t groups);

// The variants embedGroups chooses between, each returning how many groups it handled (the
// vector ones stop short of a partial vector). Exposed so every one can be checked on any CPU
// that runs it.
enum class Kernel { Scalar, Sse2, Avx2 };
bool kernelAvailable(Kernel kernel);
size_t embedGroupsWith(Kernel kernel, const uint8_t* carrier, uint8_t* out, const uint8_t* payload,
                       size_t groups);

} // namespace vokb
