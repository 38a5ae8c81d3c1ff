#include "SyntheticTiles.h"

#include <algorithm>
#include <cmath>

namespace detect::testing {

Tile smoothTile(int size, uint64_t seed) {
    Tile tile(size, size);
    Rng rng(seed);
    const double phase = rng.uniform() * 6.0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            for (int c = 0; c < 3; ++c) {
                const double base = 128.0 + 80.0 * std::sin(phase + 0.011 * x + 0.007 * y + c) *
                                                std::cos(0.009 * y - 0.004 * x);
                // Triangular noise of about two levels, as a sensor leaves.
                const double noise = 2.0 * (rng.uniform() + rng.uniform() - 1.0);
                tile.at(x, y, c) =
                    static_cast<uint8_t>(std::clamp(std::lround(base + noise), 16L, 239L));
            }
        }
    }
    return tile;
}

Tile withAllPairsOverwritten(const Tile& cover, uint64_t seed) {
    Tile stego = cover;
    Rng rng(seed);
    for (uint8_t& v : stego.bgr) {
        v = static_cast<uint8_t>((v & 0xFC) | (rng.next() >> 62));
    }
    return stego;
}

} // namespace detect::testing
