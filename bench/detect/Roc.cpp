#include "Roc.h"

#include <algorithm>
#include <cstddef>
#include <utility>

namespace detect {

double rocArea(const std::vector<double>& cover, const std::vector<double>& stego) {
    if (cover.empty() || stego.empty()) {
        return 0.5;
    }
    // Mann-Whitney: rank all scores together, tied runs sharing their mean rank.
    std::vector<std::pair<double, bool>> all;
    all.reserve(cover.size() + stego.size());
    for (double s : cover) {
        all.emplace_back(s, false);
    }
    for (double s : stego) {
        all.emplace_back(s, true);
    }
    std::sort(all.begin(), all.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    double stegoRanks = 0.0;
    for (size_t i = 0; i < all.size();) {
        size_t j = i;
        while (j < all.size() && all[j].first == all[i].first) {
            ++j;
        }
        const double meanRank = (static_cast<double>(i + 1) + static_cast<double>(j)) / 2.0;
        for (size_t k = i; k < j; ++k) {
            if (all[k].second) {
                stegoRanks += meanRank;
            }
        }
        i = j;
    }
    const auto ns = static_cast<double>(stego.size());
    const auto nc = static_cast<double>(cover.size());
    return (stegoRanks - ns * (ns + 1.0) / 2.0) / (ns * nc);
}

} // namespace detect
