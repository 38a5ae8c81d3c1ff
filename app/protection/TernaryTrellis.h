#pragma once

// Ternary embedding with two layers of syndrome-trellis codes: a colour byte moves by +1 or -1
// and the choice of direction carries information too, so that a hidden bit costs fewer changes
// than with one parity bit per change.
//
// Layer one is the low bit of each byte: which bytes change at all. Layer two is the bit above
// it, which for a changed byte says whether it went up or down (x + 1 and x - 1 differ there);
// unchanged bytes cannot move it, so the second search treats them as fixed. The reader takes
// each layer's syndrome and needs no costs. A prototype: not part of the image format.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace brindmar {

struct TernaryCode {
    int height = 10;                // the trellis's constraint height, 2^height states
    std::vector<uint32_t> layerOne; // submatrix words of `height` bits, one a column
    std::vector<uint32_t> layerTwo;
};

// Words with their lowest and highest bits set, so that every column reaches its own row and
// the last one of its window; the rest from the seed.
TernaryCode ternaryCode(int height, uint32_t widthOne, uint32_t widthTwo, uint64_t seed);

// The message carried by the n values along the walk: the low bits' syndrome (bitsOne of them),
// then the second bits' (bitsTwo). The code must be the embed's, from ternaryCodeFor.
std::vector<uint8_t> ternaryExtract(const TernaryCode& code, const uint8_t* values, size_t n,
                                    size_t bitsOne, size_t bitsTwo);

struct TernaryPlan {
    size_t bitsOne = 0; // carried by the low bits
    size_t bitsTwo = 0; // carried by the directions
    double lambda = 0.0;
    double expectedChanges = 0.0; // of the payload-limited sender with these costs
};

// How a message of `bits` splits between the layers for these costs: the ternary sender's
// change probabilities, with the directions' share held to `directionShare` of the changes it
// expects, since the second layer's search must find its bits among the changed bytes alone.
TernaryPlan planTernary(const uint8_t* values, const float* costs, size_t n, size_t bits,
                        double directionShare = 0.85);

struct TernaryResult {
    bool ok = false;
    TernaryPlan plan; // the split used, which the reader needs
    size_t changes = 0;
};

// Changes values (each by at most one, within 0..255) so that ternaryExtract gives `message`
// back (bits, one a byte), at about the least total cost. costs[i] is the price of moving
// values[i] either way. When the second layer finds no solution the directions carry less and
// the low bits more, and both searches run again; ok is false only if that never succeeds.
TernaryResult ternaryEmbed(uint8_t* values, const float* costs, size_t n,
                           const std::vector<uint8_t>& message, int height, uint64_t seed);

// The code the embed used for its plan, for the reader.
TernaryCode ternaryCodeFor(const TernaryPlan& plan, size_t n, int height, uint64_t seed);

} // namespace brindmar
