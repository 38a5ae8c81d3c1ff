#pragma once

// DCTR, the rich model of JPEG pictures after Holub and Fridrich (2015): the decoded plane is
// filtered by the 64 8 x 8 DCT basis patterns at every position (an undecimated DCT), and each
// filtered plane's magnitudes, quantised by a step q and capped at T, are counted separately by
// their position relative to the JPEG grid. The 64 positions fold into 25 by the patterns'
// mirror symmetries (offsets a and 8 - a look alike), which makes 64 x 25 x (T + 1) features.

#include "JpegPlanes.h"

#include <vector>

namespace detect {

inline constexpr int kDctrCap = 4; // T
inline constexpr size_t kDctrFeatures = 64 * 25 * (kDctrCap + 1);

// The paper's step for a quality factor: q = 8 (2 - quality / 50), kept above zero for the
// quality of 100, whose step the paper does not give.
float dctrStep(int quality);

// The features of one plane, appended to `out`: for pattern (k, l) (k the vertical frequency),
// folded offset (a, b) and value x, at 25 * 5 * (8 k + l) + 5 * (5 a + b) + x, each the share of
// the pattern's responses at that offset class that quantise to x.
void dctrFeatures(const SamplePlane& plane, float step, std::vector<float>& out);

} // namespace detect
