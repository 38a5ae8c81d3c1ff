#include "protection/StealthImage.h"

#include "protection/KeyedWalk.h"
#include "protection/StealthLayout.h"
#include "protection/StealthStream.h"
#include "protection/StealthWet.h"

#include <algorithm>
#include <limits>

namespace brindmar {

uint32_t stealthWidth(uint64_t sealedLength, uint32_t width, uint32_t height, uint8_t version) {
    if (sealedLength == 0 || sealedLength > std::numeric_limits<uint32_t>::max()) {
        return 0;
    }
    const uint64_t steps = StealthLayout(width, height).streamSteps(version);
    const uint32_t w = stealthWidthFor(steps, sealedLength * 8);
    return w != 0 && streamFits(steps, sealedLength, kLeastWidth) ? w : 0;
}

std::vector<uint32_t> stealthPublicPixels(uint32_t width, uint32_t height) {
    const StealthLayout layout(width, height);
    return layout.holds() ? publicPixels(width, height, layout.publicCount)
                          : std::vector<uint32_t>{};
}

int64_t stealthCapacity(uint32_t width, uint32_t height) {
    return longestSealedArchive(StealthLayout(width, height).streamSteps() / kLeastWidth / 8);
}

int64_t stealthRecommendedCapacity(uint32_t width, uint32_t height) {
    const auto recommended = static_cast<uint64_t>(
        kStealthRecommendedRate * static_cast<double>(colourBytesOf(width, height)) / 8);
    return std::min(stealthCapacity(width, height), longestSealedArchive(recommended));
}

namespace {

// The longest sealed stream whose bits keep to one in kStealthDryStepsPerBit of the dry pixels,
// less one for each of the head's steps and of version 5's salt places, counted as though all
// were dry. The public pixels carry the stream's tail at the others' rate and need no share of
// their own; the figure is kept as it was measured, so that a picture offers what it did.
uint64_t dryLimit(const StealthLayout& layout, uint64_t dry) {
    const uint64_t taken = layout.headSteps + layout.saltSteps;
    return dry > taken ? (dry - taken) / kStealthDryStepsPerBit / 8 : 0;
}

// The longest sealed stream whose last pass's bit-1 layer (the larger of its two) can still be
// carried where the walk's tail ends it: its bits over the tail's t pixels, at most
// kStealthDeadTailBits more than the tail's dry pixels carry at one bit in
// kStealthDryStepsPerBit. The tail's order is keyed, so its wet pixels lie among its dry ones;
// only a tail wet throughout leaves bits with nothing to change.
uint64_t tailLimit(const StealthLayout& layout, const StealthDryCount& count, uint64_t most) {
    const uint64_t tail = layout.pixels % 256;
    const uint64_t dryTail = tail - std::min(tail, count.wetTail);
    const uint64_t d = layout.streamSteps();
    const uint64_t lastSteps = d - d * (kStreamPasses - 1) / kStreamPasses;
    const auto holds = [&](uint64_t length) {
        const uint64_t last = length - length * (kStreamPasses - 1) / kStreamPasses;
        const uint64_t bits = 8 * ((last + 1) / 2);
        // bits * tail / lastSteps <= kStealthDeadTailBits + dryTail / kStealthDryStepsPerBit
        return bits * tail * kStealthDryStepsPerBit <=
               lastSteps * (kStealthDeadTailBits * kStealthDryStepsPerBit + dryTail);
    };
    uint64_t low = 0;
    uint64_t high = most;
    while (low < high) {
        const uint64_t middle = low + (high - low + 1) / 2;
        if (holds(middle)) {
            low = middle;
        } else {
            high = middle - 1;
        }
    }
    return low;
}

} // namespace

int64_t stealthWriterCapacity(uint32_t width, uint32_t height, const StealthDryCount& count) {
    const StealthLayout layout(width, height);
    const int64_t most = stealthCapacity(width, height);
    if (most == 0) {
        return 0;
    }
    const auto sealedMost = static_cast<uint64_t>(sealedLength(most));
    const uint64_t sealed =
        std::min(dryLimit(layout, count.dry), tailLimit(layout, count, sealedMost));
    return std::min(most, longestSealedArchive(sealed));
}

int64_t stealthWriterRecommendedCapacity(uint32_t width, uint32_t height,
                                         const StealthDryCount& count) {
    return std::min(stealthWriterCapacity(width, height, count),
                    stealthRecommendedCapacity(width, height));
}

} // namespace brindmar
