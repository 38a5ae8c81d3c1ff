#pragma once

#include "Tile.h"

#include <vector>

namespace detect {

inline constexpr int kSpamClip = 3;
inline constexpr int kSpamFeatures = 2 * 343;

// Second-order SPAM features: for each of the eight directions, the transition probabilities
// of three successive differences of neighbouring samples clipped to [-3, 3]; the four straight
// directions averaged into the first 343, the four diagonal ones into the last 343. The
// co-occurrences of the three channels are pooled before the probabilities are taken.
std::vector<double> spamFeatures(const Tile& tile);

} // namespace detect
