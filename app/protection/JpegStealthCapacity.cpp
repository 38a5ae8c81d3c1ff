#include "protection/JpegStealthCapacity.h"

#include "protection/JpegCost.h"
#include "protection/JpegStealth.h"
#include "protection/StealthImage.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace brindmar {

namespace {

struct DryCoefficients {
    uint64_t dry = 0;
    uint64_t dryTail = 0;
};

// In the walk's order of the AC coefficients: component after component, block after block.
DryCoefficients dryCoefficients(const JpegCoefficients& jpeg, uint64_t tailFrom) {
    DryCoefficients count;
    uint64_t n = 0;
    float prices[63];
    for (const JpegComponent& component : jpeg.components()) {
        const UerdCost cost(component);
        for (uint64_t b = 0; b < component.blocks(); ++b, n += 63) {
            cost.block(b, prices);
            for (uint64_t k = 0; k < 63; ++k) {
                const bool dry = !std::isinf(prices[k]);
                count.dry += dry ? 1 : 0;
                count.dryTail += dry && n + k >= tailFrom ? 1 : 0;
            }
        }
    }
    return count;
}

} // namespace

uint64_t jpegWriterStealthCapacity(const JpegCoefficients& jpeg) {
    const uint64_t most = jpegSaltedStealthCapacity(jpeg);
    if (most == 0) {
        return 0;
    }
    const uint64_t ac = jpegAcCount(jpeg);
    const uint64_t tail = ac % 256;
    const DryCoefficients count = dryCoefficients(jpeg, ac - tail);
    const uint64_t taken = kJpegHeadSteps + kJpegSaltSteps;
    const uint64_t dryBits = count.dry > taken ? (count.dry - taken) / kJpegDryStepsPerBit : 0;
    // One layer over the steps past the head: bits * tail / steps at most kStealthDeadTailBits
    // more than the tail's dry coefficients carry.
    const uint64_t steps = ac - kJpegHeadSteps;
    const uint64_t tailBits =
        tail == 0 ? dryBits
                  : steps * (kStealthDeadTailBits * kJpegDryStepsPerBit + count.dryTail) /
                        (tail * kJpegDryStepsPerBit);
    return std::min(most, std::min(dryBits, tailBits) / 8);
}

} // namespace brindmar
