#include "Structural.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace detect {
namespace {

// Counts over pairs sorted so that lo <= hi.
struct PairCounts {
    int64_t sameTrace = 0;      // lo / 2 == hi / 2: differences 0 and 1
    int64_t sameTraceOdd = 0;   // of those, difference 1
    int64_t oddLowOddDiff = 0;  // lo odd, hi / 2 > lo / 2, odd difference
    int64_t evenLowOddDiff = 0; // lo even, hi / 2 > lo / 2, odd difference

    void add(int u, int v) {
        const int lo = std::min(u, v);
        const int hi = std::max(u, v);
        if (lo >> 1 == hi >> 1) {
            ++sameTrace;
            sameTraceOdd += hi - lo;
        } else if (((hi - lo) & 1) != 0) {
            ++((lo & 1) != 0 ? oddLowOddDiff : evenLowOddDiff);
        }
    }
};

} // namespace

double samplePairs(const Tile& tile) {
    // In a cover, pairs with an odd difference are as likely to start at an odd value as at an
    // even one. Flipping each low bit with probability q mixes the patterns inside each trace set
    // (the pairs sharing lo / 2 and hi / 2), which gives, with D the odd-low minus even-low count
    // outside the first trace set and n0, o0 the first trace set and its odd-difference pairs:
    //   2 n0 q^2 + 2 (D - n0) q + (o0 - D) = 0.
    // The estimated share carrying a message is 2q, from the smaller root.
    PairCounts counts;
    for (int c = 0; c < 3; ++c) {
        for (int y = 0; y < tile.height; ++y) {
            for (int x = 0; x < tile.width; ++x) {
                const int v = tile.at(x, y, c);
                if (x + 1 < tile.width) {
                    counts.add(v, tile.at(x + 1, y, c));
                }
                if (y + 1 < tile.height) {
                    counts.add(v, tile.at(x, y + 1, c));
                }
            }
        }
    }
    const auto n0 = static_cast<double>(counts.sameTrace);
    if (n0 == 0.0) {
        return 0.0;
    }
    const auto d = static_cast<double>(counts.oddLowOddDiff - counts.evenLowOddDiff);
    const auto o0 = static_cast<double>(counts.sameTraceOdd);
    const double qa = 2.0 * n0;
    const double qb = 2.0 * (d - n0);
    const double qc = o0 - d;
    const double discriminant = qb * qb - 4.0 * qa * qc;
    const double q =
        discriminant < 0.0 ? -qb / (2.0 * qa) : (-qb - std::sqrt(discriminant)) / (2.0 * qa);
    return 2.0 * q;
}

} // namespace detect
