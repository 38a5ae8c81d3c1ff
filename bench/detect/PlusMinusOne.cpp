#include "PlusMinusOne.h"

#include "protection/HillCost.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace detect {
namespace {

// Mean over a (2r+1) wide window along rows then columns of one plane; borders repeat the edge.
std::vector<double> boxMean(const std::vector<double>& plane, int w, int h, int r) {
    std::vector<double> across(plane.size());
    std::vector<double> out(plane.size());
    const double n = 2.0 * r + 1.0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            double s = 0.0;
            for (int k = -r; k <= r; ++k) {
                s += plane[static_cast<size_t>(y * w + std::clamp(x + k, 0, w - 1))];
            }
            across[static_cast<size_t>(y * w + x)] = s / n;
        }
    }
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            double s = 0.0;
            for (int k = -r; k <= r; ++k) {
                s += across[static_cast<size_t>(std::clamp(y + k, 0, h - 1) * w + x)];
            }
            out[static_cast<size_t>(y * w + x)] = s / n;
        }
    }
    return out;
}

double ternaryEntropy(double p) {
    double h = 0.0;
    if (p > 0.0) {
        h -= 2.0 * p * std::log2(p);
    }
    if (1.0 - 2.0 * p > 0.0) {
        h -= (1.0 - 2.0 * p) * std::log2(1.0 - 2.0 * p);
    }
    return h;
}

double binaryEntropy(double p) {
    if (p <= 0.0 || p >= 1.0) {
        return 0.0;
    }
    return -p * std::log2(p) - (1.0 - p) * std::log2(1.0 - p);
}

// Probability of each allowed change at cost c: both directions inside the range, one at 0 or
// 255.
double changeProbability(double lambda, double cost, bool edge) {
    const double e = std::exp(-lambda * cost);
    return edge ? e / (1.0 + e) : e / (1.0 + 2.0 * e);
}

} // namespace

void embedRandomPlusMinusOne(Tile& tile, double bits, uint64_t seed) {
    Rng rng(seed);
    const size_t n = tile.colourBytes();
    const auto carriers = std::min(n, static_cast<size_t>(bits));
    std::vector<size_t> order(n);
    std::iota(order.begin(), order.end(), size_t{0});
    for (size_t i = 0; i < carriers; ++i) {
        std::swap(order[i], order[i + rng.below(n - i)]);
        if ((rng.next() & 1) == 0) {
            continue; // already holds its bit
        }
        uint8_t& v = tile.bgr[order[i]];
        const bool up = v == 0 || (v != 255 && (rng.next() & 1) != 0);
        v = static_cast<uint8_t>(up ? v + 1 : v - 1);
    }
}

std::vector<double> hillCosts(const Tile& tile) {
    const int w = tile.width;
    const int h = tile.height;
    const auto plane = static_cast<size_t>(w) * h;
    std::vector<double> costs(plane * 3);
    constexpr int kKernel[3][3] = {{-1, 2, -1}, {2, -4, 2}, {-1, 2, -1}};
    for (int c = 0; c < 3; ++c) {
        std::vector<double> residual(plane);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                int s = 0;
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        // Mirrored borders keep the filter's response natural at the edge.
                        const int xx = x + dx < 0 ? 1 : (x + dx >= w ? w - 2 : x + dx);
                        const int yy = y + dy < 0 ? 1 : (y + dy >= h ? h - 2 : y + dy);
                        s += kKernel[dy + 1][dx + 1] * tile.at(xx, yy, c);
                    }
                }
                residual[static_cast<size_t>(y * w + x)] = std::abs(s);
            }
        }
        std::vector<double> spread = boxMean(residual, w, h, 1);
        // The coder's reciprocals, in its whole units: the simulated sender has its very costs.
        for (double& v : spread) {
            v = brindmar::hillReciprocal(v);
        }
        const std::vector<double> cost = boxMean(spread, w, h, 7);
        for (size_t i = 0; i < plane; ++i) {
            costs[i * 3 + static_cast<size_t>(c)] = cost[i];
        }
    }
    return costs;
}

size_t simulateAdaptive(Tile& tile, const std::vector<double>& costs, double bits, uint64_t seed) {
    const size_t n = tile.colourBytes();
    // The payload at a given lambda, summed over costs grouped in narrow logarithmic bins (a few
    // parts in a thousand wide): the search then takes bins, not bytes, per step.
    constexpr int kBins = 8192;
    double lowest = 1e300;
    double highest = 0.0;
    for (size_t i = 0; i < n; ++i) {
        lowest = std::min(lowest, costs[i]);
        highest = std::max(highest, costs[i]);
    }
    if (n == 0 || !(highest > 0.0) || bits <= 0.0) {
        return 0;
    }
    lowest = std::max(lowest, highest * 1e-12);
    const double span = std::log(highest / lowest) + 1e-12;
    std::vector<double> inside(kBins, 0.0);
    std::vector<double> atEnds(kBins, 0.0);
    for (size_t i = 0; i < n; ++i) {
        const double c = std::max(costs[i], lowest);
        const int bin = std::min(kBins - 1, static_cast<int>(std::log(c / lowest) / span * kBins));
        (tile.bgr[i] == 0 || tile.bgr[i] == 255 ? atEnds : inside)[static_cast<size_t>(bin)] += 1.0;
    }
    auto payloadAt = [&](double lambda) {
        double total = 0.0;
        for (int b = 0; b < kBins; ++b) {
            if (inside[static_cast<size_t>(b)] == 0.0 && atEnds[static_cast<size_t>(b)] == 0.0) {
                continue;
            }
            const double c = lowest * std::exp((b + 0.5) * span / kBins);
            total += inside[static_cast<size_t>(b)] *
                     ternaryEntropy(changeProbability(lambda, c, false));
            total +=
                atEnds[static_cast<size_t>(b)] * binaryEntropy(changeProbability(lambda, c, true));
        }
        return total;
    };
    // The payload falls as lambda grows: bracket it, then bisect on a log scale.
    double lo = 0.0;
    double hi = 1.0 / highest;
    while (payloadAt(hi) > bits && hi < 1e300) {
        lo = hi;
        hi *= 4.0;
    }
    if (lo == 0.0) {
        lo = hi / 4.0; // at lambda -> 0 the payload is at its most, log2(3) per byte
    }
    for (int i = 0; i < 50; ++i) {
        const double mid = std::sqrt(lo * hi);
        (payloadAt(mid) > bits ? lo : hi) = mid;
    }
    const double lambda = std::sqrt(lo * hi);
    Rng rng(seed);
    size_t changes = 0;
    for (size_t i = 0; i < n; ++i) {
        uint8_t& v = tile.bgr[i];
        const bool edge = v == 0 || v == 255;
        const double p = changeProbability(lambda, costs[i], edge);
        const double u = rng.uniform();
        if (u < p) {
            v = static_cast<uint8_t>(v == 255 ? 254 : v + 1);
            ++changes;
        } else if (!edge && u < 2.0 * p) {
            v = static_cast<uint8_t>(v - 1);
            ++changes;
        }
    }
    return changes;
}

} // namespace detect
