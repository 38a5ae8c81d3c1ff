#include "LayerCosts.h"

#include "CoderCosts.h"

#include <cmath>
#include <cstddef>

namespace detect {

namespace {

// A binary layer's chance of changing a pixel at multiplier lambda.
double binaryChance(double lambda, double cost) {
    const double e = std::exp(-lambda * cost);
    return e / (1.0 + e);
}

// The multiplier at which `total(lambda)` comes to target: it falls as lambda grows, so it is
// bisected on a log scale.
template <class Total> double bisect(double target, const Total& total) {
    double low = -30.0;
    double high = 30.0;
    for (int step = 0; step < 50; ++step) {
        const double middle = (low + high) / 2.0;
        (total(std::exp(middle)) > target ? low : high) = middle;
    }
    return std::exp(high);
}

// The binary layer at the multiplier that carries `bits` over the pixels still free, each with
// chance free[i] (all of them when free is empty); its chances of changing each pixel.
std::vector<double> binaryLayer(const std::vector<double>& price, const std::vector<double>& free,
                                double bits) {
    const auto weight = [&](size_t i) { return free.empty() ? 1.0 : free[i]; };
    const double lambda = bisect(bits, [&](double l) {
        double total = 0.0;
        for (size_t i = 0; i < price.size(); ++i) {
            total += price[i] == kWet ? 0.0 : weight(i) * binaryBits(binaryChance(l, price[i]));
        }
        return total;
    });
    std::vector<double> chance(price.size(), 0.0);
    for (size_t i = 0; i < price.size(); ++i) {
        chance[i] = price[i] == kWet ? 0.0 : weight(i) * binaryChance(lambda, price[i]);
    }
    return chance;
}

void add(Expected& to, const std::vector<double>& chance, const std::vector<double>& costs) {
    for (size_t i = 0; i < costs.size(); ++i) {
        if (chance[i] > 0.0) {
            to.moves += chance[i];
            to.distortion += chance[i] * costs[i];
        }
    }
}

} // namespace

double oneWay(double lambda, double cost) {
    const double e = std::exp(-lambda * cost);
    return e / (1.0 + 2.0 * e);
}

double ternaryBits(double p) {
    const double stay = 1.0 - 2.0 * p;
    return -(p > 0.0 ? 2.0 * p * std::log2(p) : 0.0) - (stay > 0.0 ? stay * std::log2(stay) : 0.0);
}

double binaryBits(double p) {
    if (p <= 0.0 || p >= 1.0) {
        return 0.0;
    }
    return -p * std::log2(p) - (1.0 - p) * std::log2(1.0 - p);
}

double lambdaFor(const std::vector<double>& costs, double target, bool changes) {
    return bisect(target, [&](double lambda) {
        double total = 0.0;
        for (const double c : costs) {
            if (c != kWet) {
                const double p = oneWay(lambda, c);
                total += changes ? 2.0 * p : ternaryBits(p);
            }
        }
        return total;
    });
}

double bitOneCost(double rho, double lambda) {
    return rho == kWet ? kWet : rho + std::log1p(std::exp(-lambda * rho)) / lambda;
}

Expected ternaryBound(const std::vector<double>& costs, double bits) {
    const double lambda = lambdaFor(costs, bits, false);
    std::vector<double> chance(costs.size(), 0.0);
    for (size_t i = 0; i < costs.size(); ++i) {
        chance[i] = costs[i] == kWet ? 0.0 : 2.0 * oneWay(lambda, costs[i]);
    }
    Expected bound;
    add(bound, chance, costs);
    return bound;
}

Expected binaryBound(const std::vector<double>& costs, double bits) {
    Expected bound;
    add(bound, binaryLayer(costs, {}, bits), costs);
    return bound;
}

Expected layeredBound(const std::vector<double>& costs, const std::vector<double>& first,
                      double firstBits, double secondBits) {
    Expected bound;
    const std::vector<double> moved = binaryLayer(first, {}, firstBits);
    add(bound, moved, costs);
    std::vector<double> left(costs.size());
    for (size_t i = 0; i < costs.size(); ++i) {
        left[i] = 1.0 - moved[i];
    }
    add(bound, binaryLayer(costs, left, secondBits), costs);
    return bound;
}

} // namespace detect
