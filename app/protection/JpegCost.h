#pragma once

#include "protection/JpegCoefficients.h"

#include <vector>

namespace brindmar {

// What changing a quantised AC coefficient by one costs in detectability, after UERD (uniform
// embedding revisited): the change's size in the picture, its quantisation step, over the
// energy of its block and, at a quarter weight, of the eight blocks around it, the energy being
// the sum of the block's AC magnitudes times their steps. Busy blocks are cheap, smooth ones
// dear; every frequency of a block is priced by its step alone, which spreads the changes over
// all frequencies and magnitudes alike. Only the writer needs it; a reader never does.
//
// A change that would take a coefficient past kMostAcMagnitude costs kWetCost, as does any in a
// block whose neighbourhood has no energy at all: flat areas stay untouched.
inline constexpr float kWetCost = 1.0e12f;

// The cost of each AC coefficient of a component, blocks row by row, 63 a block: entry
// 63 * b + k - 1 for the coefficient of row-major index k (1 to 63) of block b.
std::vector<float> uerdCosts(const JpegComponent& component);

} // namespace brindmar
