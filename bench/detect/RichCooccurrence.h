#pragma once

// Co-occurrences of quantised residuals: counts of four successive symbols along a row or a
// column, and of the three colour channels' symbols at one pixel, merged over the symmetries a
// picture's statistics have anyway, so that fewer, better populated bins remain.

#include <array>
#include <cstdint>
#include <vector>

namespace detect {

inline constexpr int kQuadruples = 625; // 5^4: symbols 0..4, truncation 2
inline constexpr int kSignBins = 169;   // classes under sign change and reversal
inline constexpr int kMinMaxBins = 325; // classes under reversal
inline constexpr int kTriples = 125;
inline constexpr int kColourBins = 63; // triples' classes under sign change

using QuadrupleCounts = std::array<double, kQuadruples>;

// Adds the counts of four successive symbols of a w x h plane of symbols (0..4), along rows or
// along columns. The quadruple (a, b, c, d) is counted at index ((a * 5 + b) * 5 + c) * 5 + d.
void addQuadruples(const std::vector<uint8_t>& symbols, int width, int height, bool alongRows,
                   QuadrupleCounts& counts);

// The class of each quadruple: under sign change (s -> 4 - s) and reversal, 169 classes; under
// reversal alone, 325. Classes are numbered in the order of their first member.
const std::array<int, kQuadruples>& signAndReversalClass();
const std::array<int, kQuadruples>& reversalClass();

// The symmetrised features of one residual's counts: sign and reversal merged, normalised to
// sum to one. Appended to out.
void appendSignSymmetric(const QuadrupleCounts& counts, std::vector<float>& out);

// Of a min residual's and a max residual's counts: min at d merged with max at -d (the min of a
// picture is minus the max of its negative), then with the reversed quadruples; normalised over
// both. Appended to out.
void appendMinMax(const QuadrupleCounts& least, const QuadrupleCounts& most,
                  std::vector<float>& out);

// Three planes' symbols at each pixel, counted at (a * 5 + b) * 5 + c.
using TripleCounts = std::array<double, kTriples>;
void addTriples(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b,
                const std::vector<uint8_t>& c, TripleCounts& counts);
const std::array<int, kTriples>& tripleSignClass();
// Sign change merged, normalised. Appended to out.
void appendColour(const TripleCounts& counts, std::vector<float>& out);

} // namespace detect
