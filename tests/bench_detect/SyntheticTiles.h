#pragma once

#include "Tile.h"

#include <cstdint>

namespace detect::testing {

// A smooth picture: slow gradients per channel under mild noise of a few levels, in 16..239 so
// that no change meets the ends of the range.
Tile smoothTile(int size, uint64_t seed);

// Every colour byte's two low bits overwritten by random pairs, the rest of the byte kept.
Tile withAllPairsOverwritten(const Tile& cover, uint64_t seed);

} // namespace detect::testing
