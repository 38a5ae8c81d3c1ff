#pragma once

// What an embedding did to a set of tiles: how many colour bytes it changed, and how often a
// changed pixel had more than one of its channels changed.

#include "Tile.h"

#include <cstddef>
#include <vector>

namespace detect {

struct ChangeCount {
    size_t colourBytes = 0;
    size_t changedBytes = 0;
    size_t changedPixels = 0;
    size_t twoChannels = 0;   // pixels with exactly two channels changed
    size_t threeChannels = 0; // pixels with all three changed

    double changedShare() const;
    double twoShare() const;   // of the changed pixels
    double threeShare() const; // of the changed pixels
};

// Cover and stego tiles in the same order and of the same sizes.
ChangeCount countChanges(const std::vector<Tile>& cover, const std::vector<Tile>& stego);

} // namespace detect
