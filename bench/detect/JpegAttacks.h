#pragma once

// The targeted JPEG attacks, each a score that grows with the evidence of hidden data.

#include "protection/JpegCoefficients.h"

#include <array>
#include <cstdint>
#include <vector>

namespace detect {

// The quality factor whose standard scaled luminance table is nearest this one (sum of the
// absolute differences of the steps): how a JPEG's quality is told from its file.
int estimatedQuality(const std::array<uint16_t, 64>& luminance);
// The standard luminance table at a quality factor (1 to 100), row-major, as the common encoders
// scale it.
std::array<uint16_t, 64> standardLuminance(int quality);

// The chi-square attack of Westfeld and Pfitzmann on the pairs of values (2i, 2i + 1) of every
// AC coefficient, the pair (0, 1) left out as the schemes it aims at leave it: replaced low bits
// even out the two counts of each pair. The score is minus the Wilson-Hilferty normal score of
// the statistic, so that it ranks without saturating.
double jpegChiSquare(const std::vector<brindmar::JpegComponent>& components);

// The calibration attack of Fridrich, Goljan and Hogea: the first component decoded, cropped by
// four columns and four rows, and quantised again with its own table gives an estimate of the
// cover's histograms; the modes (0, 1), (1, 0) and (1, 1) are compared with it.
struct Calibrated {
    // The share of non-zero coefficients whose magnitude dropped by one, as F5 shrinks them,
    // by the paper's least squares on the counts of 0, 1 and 2.
    double shrinkage = 0.0;
    // The share changed by ±1 either way, zeros included, by least squares on the values -3 to 3.
    double plusMinusOne = 0.0;
};
Calibrated calibrated(const brindmar::JpegComponent& luminance);

} // namespace detect
