#pragma once

#include "protection/JpegCoefficients.h"
#include "protection/Trellis.h"

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

// The costs of a component's AC coefficients, a block at a time: the block energies are worked
// out once, each block's 63 prices when asked, so that no array of them all is needed.
class UerdCost {
public:
    explicit UerdCost(const JpegComponent& component);

    // The prices of block b's AC coefficients: out[k - 1] for row-major index k (1 to 63).
    void block(uint64_t b, float* out) const;

private:
    const JpegComponent* m_component;
    std::vector<float> m_energy;
};

} // namespace brindmar
