#include "Structural.h"

#include <array>
#include <cmath>

namespace detect {

ChiSquare chiSquare(const Tile& tile) {
    std::array<double, 256> histogram{};
    for (uint8_t v : tile.bgr) {
        histogram[v] += 1.0;
    }
    ChiSquare result;
    int categories = 0;
    for (int k = 0; k < 128; ++k) {
        const double expected = (histogram[2 * k] + histogram[2 * k + 1]) / 2.0;
        // Sparse pairs say nothing and make the statistic unstable.
        if (expected <= 4.0) {
            continue;
        }
        const double d = histogram[2 * k] - expected;
        result.statistic += d * d / expected;
        ++categories;
    }
    if (categories < 2) {
        return result; // nothing to judge: probability and score stay 0
    }
    result.degrees = categories - 1;
    const double df = result.degrees;
    const double v = 2.0 / (9.0 * df);
    const double z = (std::cbrt(result.statistic / df) - (1.0 - v)) / std::sqrt(v);
    result.probability = 0.5 * std::erfc(z / std::sqrt(2.0));
    result.score = -z;
    return result;
}

} // namespace detect
