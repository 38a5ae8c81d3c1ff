#include "RichCooccurrence.h"

#include "RichResiduals.h"

#include <algorithm>
#include <functional>

namespace detect {
namespace {

constexpr int kLast = kSymbols - 1;

std::array<int, 4> digits(int index) {
    return {index / 125, index / 25 % 5, index / 5 % 5, index % 5};
}

int fromDigits(const std::array<int, 4>& d) {
    return ((d[0] * 5 + d[1]) * 5 + d[2]) * 5 + d[3];
}

int reversed(int index) {
    const std::array<int, 4> d = digits(index);
    return fromDigits({d[3], d[2], d[1], d[0]});
}

int negated(int index) {
    const std::array<int, 4> d = digits(index);
    return fromDigits({kLast - d[0], kLast - d[1], kLast - d[2], kLast - d[3]});
}

// Numbers the orbits of `n` indices under the maps given, in the order of their first member.
template <size_t N> std::array<int, N> orbits(const std::vector<std::function<int(int)>>& maps) {
    std::array<int, N> cls;
    cls.fill(-1);
    int next = 0;
    for (int i = 0; i < static_cast<int>(N); ++i) {
        if (cls[static_cast<size_t>(i)] >= 0) {
            continue;
        }
        cls[static_cast<size_t>(i)] = next;
        for (const auto& map : maps) {
            cls[static_cast<size_t>(map(i))] = next;
        }
        ++next;
    }
    return cls;
}

void appendNormalised(const std::vector<double>& bins, std::vector<float>& out) {
    double total = 0.0;
    for (double b : bins) {
        total += b;
    }
    for (double b : bins) {
        out.push_back(total > 0.0 ? static_cast<float>(b / total) : 0.0f);
    }
}

} // namespace

void addQuadruples(const std::vector<uint8_t>& symbols, int width, int height, bool alongRows,
                   QuadrupleCounts& counts) {
    if (alongRows) {
        for (int y = 0; y < height; ++y) {
            const uint8_t* s = &symbols[static_cast<size_t>(y) * width];
            for (int x = 0; x + 3 < width; ++x) {
                counts[static_cast<size_t>(((s[x] * 5 + s[x + 1]) * 5 + s[x + 2]) * 5 +
                                           s[x + 3])] += 1.0;
            }
        }
        return;
    }
    const auto w = static_cast<size_t>(width);
    for (int y = 0; y + 3 < height; ++y) {
        const uint8_t* s = &symbols[static_cast<size_t>(y) * w];
        for (int x = 0; x < width; ++x) {
            counts[static_cast<size_t>(((s[x] * 5 + s[x + w]) * 5 + s[x + 2 * w]) * 5 +
                                       s[x + 3 * w])] += 1.0;
        }
    }
}

const std::array<int, kQuadruples>& signAndReversalClass() {
    static const std::array<int, kQuadruples> cls =
        orbits<kQuadruples>({reversed, negated, [](int i) { return negated(reversed(i)); }});
    return cls;
}

const std::array<int, kQuadruples>& reversalClass() {
    static const std::array<int, kQuadruples> cls = orbits<kQuadruples>({reversed});
    return cls;
}

void appendSignSymmetric(const QuadrupleCounts& counts, std::vector<float>& out) {
    std::vector<double> bins(kSignBins, 0.0);
    const auto& cls = signAndReversalClass();
    for (size_t i = 0; i < counts.size(); ++i) {
        bins[static_cast<size_t>(cls[i])] += counts[i];
    }
    appendNormalised(bins, out);
}

void appendMinMax(const QuadrupleCounts& least, const QuadrupleCounts& most,
                  std::vector<float>& out) {
    std::vector<double> bins(kMinMaxBins, 0.0);
    const auto& cls = reversalClass();
    for (int i = 0; i < kQuadruples; ++i) {
        bins[static_cast<size_t>(cls[static_cast<size_t>(i)])] +=
            least[static_cast<size_t>(i)] + most[static_cast<size_t>(negated(i))];
    }
    appendNormalised(bins, out);
}

void addTriples(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b,
                const std::vector<uint8_t>& c, TripleCounts& counts) {
    for (size_t i = 0; i < a.size(); ++i) {
        counts[static_cast<size_t>((a[i] * 5 + b[i]) * 5 + c[i])] += 1.0;
    }
}

const std::array<int, kTriples>& tripleSignClass() {
    static const std::array<int, kTriples> cls =
        orbits<kTriples>({[](int i) { return kTriples - 1 - i; }});
    return cls;
}

void appendColour(const TripleCounts& counts, std::vector<float>& out) {
    std::vector<double> bins(kColourBins, 0.0);
    const auto& cls = tripleSignClass();
    for (size_t i = 0; i < counts.size(); ++i) {
        bins[static_cast<size_t>(cls[i])] += counts[i];
    }
    appendNormalised(bins, out);
}

} // namespace detect
