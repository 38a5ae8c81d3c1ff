#include "StealthAdapter.h"

#include "PlusMinusOne.h"

namespace detect {

std::vector<StealthEmbedding> stealthEmbeddings() {
    // Until the embedder itself is here: the payload-limited sender with HILL costs, which a
    // good syndrome-trellis coder comes close to, and random ±1 as the bar it must clear.
    return {
        {"stealth (HILL, simulated)",
         [](Tile& tile, double rate, uint64_t seed) {
             simulateAdaptive(tile, hillCosts(tile), rate * static_cast<double>(tile.colourBytes()),
                              seed);
         }},
        {"random +-1 (reference)",
         [](Tile& tile, double rate, uint64_t seed) {
             embedRandomPlusMinusOne(tile, rate * static_cast<double>(tile.colourBytes()), seed);
         }},
    };
}

} // namespace detect
