#pragma once

// The structural detectors of low-bit replacement. Each looks at all three colour channels
// together and gives a score that grows with the evidence of replaced low bits.

#include "Tile.h"

namespace detect {

struct ChiSquare {
    double statistic = 0.0; // over the pairs of values (2k, 2k + 1)
    int degrees = 0;
    // The probability of embedding as the attack states it: the upper tail of the chi-square
    // distribution at the statistic. Saturates at 0 or 1 on most tiles.
    double probability = 0.0;
    // The same ordering without saturation, for ranking: minus the Wilson-Hilferty normal score.
    double score = 0.0;
};

// The chi-square attack on the histogram of every colour byte of the tile.
ChiSquare chiSquare(const Tile& tile);

// Weighted stego: the estimated share of colour bytes whose low bit carries a message (about
// twice the share flipped), with the local predictor, moderated weights and the bias correction
// of the predictor's own stego noise.
double weightedStego(const Tile& tile);

// Sample pair analysis over horizontally and vertically adjacent samples of each channel: the
// same estimated share as weighted stego.
double samplePairs(const Tile& tile);

} // namespace detect
