#pragma once

// Simulated ±1 embeddings (changes by one, direction free except at 0 and 255).

#include "Tile.h"

#include <cstdint>
#include <vector>

namespace detect {

// Random ±1: `bits` colour bytes drawn at random each carry one bit; half of them, on average,
// already hold it, so there is one change per two bits.
void embedRandomPlusMinusOne(Tile& tile, double bits, uint64_t seed);

// HILL costs of every colour byte, per channel: high in smooth areas, low in texture.
std::vector<double> hillCosts(const Tile& tile);

// The payload-limited sender with the given costs: each byte moves by +1 or -1 with probability
// e^(-l c) / (1 + 2 e^(-l c)), l chosen so that the ternary entropies add up to `bits`. Returns
// the number of changes.
size_t simulateAdaptive(Tile& tile, const std::vector<double>& costs, double bits, uint64_t seed);

} // namespace detect
