#include "protection/TernaryTrellis.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace brindmar {
namespace {

constexpr float kWet = std::numeric_limits<float>::infinity();

uint64_t splitmix(uint64_t& s) {
    uint64_t z = (s += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::vector<uint32_t> submatrix(int height, uint32_t width, uint64_t& state) {
    std::vector<uint32_t> words(width);
    const uint32_t mask = (1u << height) - 1;
    for (uint32_t& w : words) {
        w = (static_cast<uint32_t>(splitmix(state)) & mask) | 1u | (1u << (height - 1));
    }
    return words;
}

// One binary syndrome-trellis search: the bits (0 or 1) of bits * width columns whose syndrome
// is `message`, at the least total price of the columns that differ from `cover`. flip[k] is
// that price (negative when the column would rather change; kWet when it cannot). False when
// no pattern with that syndrome avoids every wet column.
bool search(const std::vector<uint32_t>& words, int height, const uint8_t* cover, const float* flip,
            const uint8_t* message, size_t bits, std::vector<uint8_t>& out) {
    const size_t width = words.size();
    const size_t columns = bits * width;
    const size_t states = size_t{1} << height;
    const size_t pathWords = std::max<size_t>(1, states / 64);
    std::vector<uint64_t> path(columns * pathWords, 0);
    std::vector<float> weight(states, kWet);
    std::vector<float> next(states);
    weight[0] = 0.0f;
    for (size_t i = 0; i < bits; ++i) {
        for (size_t j = 0; j < width; ++j) {
            const size_t k = i * width + j;
            const uint32_t column = words[j];
            const float price = flip[k];
            // Prices of leaving the column at 0 and at 1.
            const float zero = cover[k] != 0 ? price : 0.0f;
            const float one = cover[k] != 0 ? 0.0f : price;
            uint64_t* choice = &path[k * pathWords];
            for (size_t s = 0; s < states; ++s) {
                const float stay = weight[s] + zero;
                const float take = weight[s ^ column] + one;
                const bool took = take < stay;
                next[s] = took ? take : stay;
                choice[s / 64] |= static_cast<uint64_t>(took) << (s % 64);
            }
            weight.swap(next);
        }
        // Row i is complete: keep the states whose lowest bit is the message's, shifted out.
        const size_t bit = message[i];
        for (size_t s = 0; s < states / 2; ++s) {
            weight[s] = weight[2 * s + bit];
        }
        std::fill(weight.begin() + static_cast<std::ptrdiff_t>(states / 2), weight.end(), kWet);
    }
    const auto best = std::min_element(weight.begin(), weight.end());
    if (!std::isfinite(*best)) {
        return false;
    }
    out.assign(columns, 0);
    auto state = static_cast<size_t>(best - weight.begin());
    for (size_t i = bits; i-- > 0;) {
        state = 2 * state + message[i];
        for (size_t j = width; j-- > 0;) {
            const size_t k = i * width + j;
            const bool took = (path[k * pathWords + state / 64] >> (state % 64) & 1) != 0;
            out[k] = took ? 1 : 0;
            if (took) {
                state ^= words[j];
            }
        }
    }
    return true;
}

void syndrome(const std::vector<uint32_t>& words, int height, const uint8_t* bitsAlong, size_t bits,
              std::vector<uint8_t>& message) {
    const size_t width = words.size();
    const size_t first = message.size();
    message.resize(first + bits, 0);
    for (size_t k = 0; k < bits * width; ++k) {
        if (bitsAlong[k] == 0) {
            continue;
        }
        const size_t row = k / width;
        const uint32_t word = words[k % width];
        for (int r = 0; r < height && row + static_cast<size_t>(r) < bits; ++r) {
            message[first + row + static_cast<size_t>(r)] ^= static_cast<uint8_t>(word >> r & 1);
        }
    }
}

bool atEnd(uint8_t v) {
    return v == 0 || v == 255;
}

} // namespace

TernaryCode ternaryCode(int height, uint32_t widthOne, uint32_t widthTwo, uint64_t seed) {
    TernaryCode code;
    code.height = height;
    code.layerOne = submatrix(height, std::max(widthOne, 1u), seed);
    code.layerTwo = submatrix(height, std::max(widthTwo, 1u), seed);
    return code;
}

TernaryCode ternaryCodeFor(const TernaryPlan& plan, size_t n, int height, uint64_t seed) {
    const auto width = [](size_t columns, size_t bits) {
        return static_cast<uint32_t>(bits == 0 ? 1 : columns / bits);
    };
    // Only the first layer's columns can change, so the second spreads over those alone.
    const uint32_t first = width(n, plan.bitsOne);
    return ternaryCode(height, first, width(first * plan.bitsOne, plan.bitsTwo), seed);
}

std::vector<uint8_t> ternaryExtract(const TernaryCode& code, const uint8_t* values, size_t n,
                                    size_t bitsOne, size_t bitsTwo) {
    std::vector<uint8_t> message;
    std::vector<uint8_t> layer(n);
    for (size_t i = 0; i < n; ++i) {
        layer[i] = values[i] & 1;
    }
    syndrome(code.layerOne, code.height, layer.data(), bitsOne, message);
    for (size_t i = 0; i < n; ++i) {
        layer[i] = values[i] >> 1 & 1;
    }
    if (bitsTwo > 0) {
        syndrome(code.layerTwo, code.height, layer.data(), bitsTwo, message);
    }
    return message;
}

TernaryPlan planTernary(const uint8_t* values, const float* costs, size_t n, size_t bits,
                        double directionShare) {
    // The payload-limited sender: a byte moves each way with probability e / (1 + 2e),
    // e = exp(-lambda cost), or one way with e / (1 + e) at 0 and 255; lambda is found by
    // bisection on its logarithm so that the entropies add up to the message.
    const auto entropyAt = [&](double lambda, double* changes, double* directions) {
        double total = 0.0;
        *changes = 0.0;
        *directions = 0.0;
        for (size_t i = 0; i < n; ++i) {
            const double e = std::exp(-lambda * costs[i]);
            const bool end = atEnd(values[i]);
            const double each = end ? e / (1.0 + e) : e / (1.0 + 2.0 * e);
            const double moved = end ? each : 2.0 * each;
            const double stay = 1.0 - moved;
            double h = 0.0;
            if (each > 0.0) {
                h -= moved * std::log2(each);
            }
            if (stay > 0.0) {
                h -= stay * std::log2(stay);
            }
            total += h;
            *changes += moved;
            *directions += end ? 0.0 : moved;
        }
        return total;
    };
    double low = -30.0;
    double high = 30.0;
    double changes = 0.0;
    double directions = 0.0;
    for (int step = 0; step < 60; ++step) {
        const double middle = (low + high) / 2.0;
        if (entropyAt(std::exp(middle), &changes, &directions) > static_cast<double>(bits)) {
            low = middle;
        } else {
            high = middle;
        }
    }
    TernaryPlan plan;
    plan.lambda = std::exp(high);
    entropyAt(plan.lambda, &changes, &directions);
    plan.expectedChanges = changes;
    plan.bitsTwo = std::min(static_cast<size_t>(directionShare * directions), bits / 2);
    plan.bitsOne = bits - plan.bitsTwo;
    return plan;
}

TernaryResult ternaryEmbed(uint8_t* values, const float* costs, size_t n,
                           const std::vector<uint8_t>& message, int height, uint64_t seed) {
    TernaryResult result;
    const size_t bits = message.size();
    if (bits == 0 || bits > n) {
        return result;
    }
    TernaryPlan plan = planTernary(values, costs, n, bits);
    std::vector<uint8_t> layer(n);
    std::vector<float> price(n);
    std::vector<uint8_t> lows;
    std::vector<uint8_t> seconds;
    for (int attempt = 0; attempt < 12; ++attempt) {
        const TernaryCode code = ternaryCodeFor(plan, n, height, seed);
        // Layer one: a low bit flips with the sender's probability of either change when its
        // price is lambda * cost less ln 2, the two directions' weight (ln 1 at the ends).
        for (size_t i = 0; i < n; ++i) {
            layer[i] = values[i] & 1;
            price[i] = static_cast<float>(plan.lambda * costs[i] -
                                          (atEnd(values[i]) ? 0.0 : std::log(2.0)));
        }
        if (!search(code.layerOne, height, layer.data(), price.data(), message.data(), plan.bitsOne,
                    lows)) {
            return result; // no column is wet in this layer, so this cannot happen
        }
        // Layer two: a changed byte's second bit is free (either way costs the same), an
        // unchanged one's, or one at an end of the range, is fixed.
        const size_t used = lows.size();
        for (size_t i = 0; i < n; ++i) {
            const bool moved = i < used && lows[i] != layer[i];
            const int up = values[i] == 255 ? values[i] - 1 : values[i] + 1;
            layer[i] = static_cast<uint8_t>((moved ? up : values[i]) >> 1 & 1);
            price[i] = moved && !atEnd(values[i]) ? 0.0f : kWet;
        }
        if (plan.bitsTwo > 0 && !search(code.layerTwo, height, layer.data(), price.data(),
                                        message.data() + plan.bitsOne, plan.bitsTwo, seconds)) {
            // Too few changed bytes in some stretch: carry less in the directions.
            const size_t fewer = plan.bitsTwo * 9 / 10;
            plan.bitsOne += plan.bitsTwo - fewer;
            plan.bitsTwo = fewer;
            continue;
        }
        result.changes = 0;
        for (size_t i = 0; i < used; ++i) {
            if (lows[i] == (values[i] & 1)) {
                continue;
            }
            // Up when the second bit asked for is up's (or the byte cannot go down).
            const bool second = plan.bitsTwo > 0 && i < seconds.size()
                                    ? seconds[i] != 0
                                    : ((values[i] + 1) >> 1 & 1) != 0;
            const bool up =
                values[i] == 0 || (values[i] != 255 && (((values[i] + 1) >> 1 & 1) != 0) == second);
            values[i] = static_cast<uint8_t>(up ? values[i] + 1 : values[i] - 1);
            ++result.changes;
        }
        result.ok = true;
        result.plan = plan;
        return result;
    }
    return result;
}

} // namespace brindmar
