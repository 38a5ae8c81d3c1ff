#include "Spam.h"

#include <algorithm>
#include <array>

namespace detect {
namespace {

constexpr int kValues = 2 * kSpamClip + 1;
constexpr int kCells = kValues * kValues * kValues;

int clipped(int d) {
    return std::clamp(d, -kSpamClip, kSpamClip) + kSpamClip;
}

// Transition probabilities along one direction, added into out.
void addDirection(const Tile& tile, int dx, int dy, double* out) {
    std::array<double, kCells> counts{};
    // Four samples x, x+d, x+2d, x+3d must lie inside the tile.
    const int x0 = dx < 0 ? -3 * dx : 0;
    const int x1 = dx > 0 ? tile.width - 3 * dx : tile.width;
    const int y0 = dy < 0 ? -3 * dy : 0;
    const int y1 = dy > 0 ? tile.height - 3 * dy : tile.height;
    for (int c = 0; c < 3; ++c) {
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                const int a = tile.at(x, y, c);
                const int b = tile.at(x + dx, y + dy, c);
                const int d = tile.at(x + 2 * dx, y + 2 * dy, c);
                const int e = tile.at(x + 3 * dx, y + 3 * dy, c);
                const int first = clipped(a - b);
                const int second = clipped(b - d);
                const int third = clipped(d - e);
                counts[static_cast<size_t>((first * kValues + second) * kValues + third)] += 1.0;
            }
        }
    }
    // Conditional on the first two differences: each row of kValues cells sums to one.
    for (int row = 0; row < kValues * kValues; ++row) {
        double total = 0.0;
        for (int k = 0; k < kValues; ++k) {
            total += counts[static_cast<size_t>(row * kValues + k)];
        }
        if (total > 0.0) {
            for (int k = 0; k < kValues; ++k) {
                out[row * kValues + k] += counts[static_cast<size_t>(row * kValues + k)] / total;
            }
        }
    }
}

} // namespace

std::vector<double> spamFeatures(const Tile& tile) {
    std::vector<double> features(kSpamFeatures, 0.0);
    constexpr int kStraight[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
    constexpr int kDiagonal[4][2] = {{1, 1}, {-1, -1}, {1, -1}, {-1, 1}};
    for (const auto& d : kStraight) {
        addDirection(tile, d[0], d[1], features.data());
    }
    for (const auto& d : kDiagonal) {
        addDirection(tile, d[0], d[1], features.data() + kCells);
    }
    for (double& f : features) {
        f /= 4.0;
    }
    return features;
}

} // namespace detect
