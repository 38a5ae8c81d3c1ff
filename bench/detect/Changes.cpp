#include "Changes.h"

#include <algorithm>

namespace detect {

double ChangeCount::changedShare() const {
    return colourBytes == 0 ? 0.0
                            : static_cast<double>(changedBytes) / static_cast<double>(colourBytes);
}

double ChangeCount::twoShare() const {
    return changedPixels == 0
               ? 0.0
               : static_cast<double>(twoChannels) / static_cast<double>(changedPixels);
}

double ChangeCount::threeShare() const {
    return changedPixels == 0
               ? 0.0
               : static_cast<double>(threeChannels) / static_cast<double>(changedPixels);
}

ChangeCount countChanges(const std::vector<Tile>& cover, const std::vector<Tile>& stego) {
    ChangeCount count;
    for (size_t t = 0; t < std::min(cover.size(), stego.size()); ++t) {
        const std::vector<uint8_t>& a = cover[t].bgr;
        const std::vector<uint8_t>& b = stego[t].bgr;
        count.colourBytes += a.size();
        for (size_t p = 0; p + 2 < std::min(a.size(), b.size()); p += 3) {
            const int changed = (a[p] != b[p]) + (a[p + 1] != b[p + 1]) + (a[p + 2] != b[p + 2]);
            count.changedBytes += static_cast<size_t>(changed);
            count.changedPixels += changed > 0 ? 1 : 0;
            count.twoChannels += changed == 2 ? 1 : 0;
            count.threeChannels += changed == 3 ? 1 : 0;
        }
    }
    return count;
}

} // namespace detect
