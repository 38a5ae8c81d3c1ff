#include "JpegAttacks.h"

#include "JpegPlanes.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>

namespace detect {

namespace {

constexpr std::array<uint16_t, 64> kStandardLuminance = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};

constexpr std::array<int, 3> kModes = {1, 8, 9}; // (0, 1), (1, 0), (1, 1), row-major

} // namespace

std::array<uint16_t, 64> standardLuminance(int quality) {
    const int q = std::clamp(quality, 1, 100);
    const long scale = q < 50 ? 5000 / q : 200 - 2 * q;
    std::array<uint16_t, 64> table{};
    for (size_t k = 0; k < 64; ++k) {
        table[k] =
            static_cast<uint16_t>(std::clamp((kStandardLuminance[k] * scale + 50) / 100, 1L, 255L));
    }
    return table;
}

int estimatedQuality(const std::array<uint16_t, 64>& luminance) {
    int best = 100;
    long bestDistance = -1;
    for (int q = 100; q >= 1; --q) {
        const std::array<uint16_t, 64> table = standardLuminance(q);
        long distance = 0;
        for (size_t k = 0; k < 64; ++k) {
            distance += std::labs(long{table[k]} - luminance[k]);
        }
        if (bestDistance < 0 || distance < bestDistance) {
            bestDistance = distance;
            best = q;
        }
    }
    return best;
}

double jpegChiSquare(const std::vector<brindmar::JpegComponent>& components) {
    std::map<int, double> histogram;
    for (const brindmar::JpegComponent& component : components) {
        for (uint64_t b = 0; b < component.blocks(); ++b) {
            const int16_t* block = component.block(b);
            for (size_t k = 1; k < 64; ++k) {
                histogram[block[k]] += 1.0;
            }
        }
    }
    double statistic = 0.0;
    int categories = 0;
    for (const auto& [value, count] : histogram) {
        // Each pair once, from its even member; floor division keeps -2 with -1.
        if (value % 2 != 0 || value == 0) {
            continue;
        }
        const auto odd = histogram.find(value + 1);
        const double other = odd == histogram.end() ? 0.0 : odd->second;
        const double expected = (count + other) / 2.0;
        if (expected <= 4.0) {
            continue; // sparse pairs say nothing and make the statistic unstable
        }
        statistic += (count - expected) * (count - expected) / expected;
        ++categories;
    }
    if (categories < 2) {
        return 0.0;
    }
    const double df = categories - 1;
    const double v = 2.0 / (9.0 * df);
    return -(std::cbrt(statistic / df) - (1.0 - v)) / std::sqrt(v);
}

Calibrated calibrated(const brindmar::JpegComponent& luminance) {
    SamplePlane decoded = decodedPlane(luminance);
    roundAndClip(decoded);
    const brindmar::JpegComponent estimate =
        quantisedBlocks(cropped(decoded, 4, 4), luminance.quant);
    // Signed counts of -4..4 for each mode, observed and estimated; the estimate scaled to the
    // observed number of blocks, as the cropped picture has fewer.
    std::array<std::array<double, 9>, 3> seen{}, cover{};
    const auto count = [](const brindmar::JpegComponent& c,
                          std::array<std::array<double, 9>, 3>& h) {
        for (uint64_t b = 0; b < c.blocks(); ++b) {
            for (size_t m = 0; m < kModes.size(); ++m) {
                const int v = c.block(b)[kModes[m]];
                if (v >= -4 && v <= 4) {
                    h[m][static_cast<size_t>(v + 4)] += 1.0;
                }
            }
        }
    };
    count(luminance, seen);
    count(estimate, cover);
    const double scale = estimate.blocks() > 0 ? static_cast<double>(luminance.blocks()) /
                                                     static_cast<double>(estimate.blocks())
                                               : 0.0;
    Calibrated result;
    double shrinkage = 0.0;
    double plusMinusOne = 0.0;
    double plusMinusOneWeight = 0.0;
    for (size_t m = 0; m < kModes.size(); ++m) {
        const auto& h = seen[m];
        std::array<double, 9> e{};
        for (size_t i = 0; i < 9; ++i) {
            e[i] = cover[m][i] * scale;
        }
        // Magnitudes 0, 1, 2.
        const double h0 = h[4], h1 = h[3] + h[5];
        const double e0 = e[4], e1 = e[3] + e[5], e2 = e[2] + e[6];
        const double denominator = e1 * e1 + (e2 - e1) * (e2 - e1);
        if (denominator > 0) {
            shrinkage += (e1 * (h0 - e0) + (h1 - e1) * (e2 - e1)) / denominator / 3.0;
        }
        for (size_t i = 1; i < 8; ++i) {
            const double g = (e[i - 1] + e[i + 1]) / 2.0 - e[i];
            plusMinusOne += g * (h[i] - e[i]);
            plusMinusOneWeight += g * g;
        }
    }
    result.shrinkage = shrinkage;
    result.plusMinusOne = plusMinusOneWeight > 0 ? plusMinusOne / plusMinusOneWeight : 0.0;
    return result;
}

} // namespace detect
