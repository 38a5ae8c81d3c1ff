#pragma once

#include <cstddef>
#include <cstdint>

namespace vokb {

// Embeds whole groups: colour bytes 4g to 4g + 3 carry the bit pairs of payload[g], least
// significant pair first, with the same correction as the scalar table.
void embedGroups(const uint8_t* carrier, uint8_t* out, const uint8_t* payload, size_t groups);

} // namespace vokb
