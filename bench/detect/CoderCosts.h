#pragma once

// The prices the stealth coder gives its trellis before any coupling, per colour byte, for the
// rows that take the coder's costs without the coder.

#include "Tile.h"

#include <limits>
#include <vector>

namespace detect {

inline constexpr double kWet = std::numeric_limits<double>::infinity();

// A byte's HILL cost plus that of its channel's difference from the others, wet bytes never.
// Without differences, its own HILL cost alone; without the wet rule, only bytes at 0 and 255
// are wet.
std::vector<double> coderCosts(const Tile& tile, bool differences = true, bool wetRule = true);

} // namespace detect
