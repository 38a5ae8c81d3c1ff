#pragma once

#include <vector>

namespace detect {

// Area under the ROC curve of a detector whose score is meant to be higher on stego images:
// the probability that a random stego score beats a random cover score, ties counting half.
// 0.5 when either set is empty.
double rocArea(const std::vector<double>& cover, const std::vector<double>& stego);

} // namespace detect
