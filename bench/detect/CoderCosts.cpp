#include "CoderCosts.h"

#include "protection/HillCost.h"
#include "protection/StealthWet.h"

#include <cstdint>

namespace detect {

std::vector<double> coderCosts(const Tile& tile, bool differences, bool wetRule) {
    const size_t n = tile.colourBytes();
    const auto w = static_cast<uint32_t>(tile.width);
    const auto h = static_cast<uint32_t>(tile.height);
    std::vector<float> own(n);
    std::vector<float> apart(n, 0.0f);
    brindmar::HillCost(tile.bgr.data(), w, h).rows(0, h, own.data());
    if (differences) {
        std::vector<unsigned char> picture(n);
        brindmar::channelDifferences(tile.bgr.data(), n / 3, picture.data());
        brindmar::HillCost(picture.data(), w, h).rows(0, h, apart.data());
    }
    std::vector<double> costs(n);
    const size_t row = n / h;
    std::vector<uint8_t> wet(row);
    for (uint32_t y = 0; y < h; ++y) {
        brindmar::stealthWetRow(tile.bgr.data(), row, h, y, wet.data());
        for (size_t i = 0; i < row; ++i) {
            const size_t b = y * row + i;
            const uint8_t v = tile.bgr[b];
            const bool dry = wetRule ? wet[i] == 0 : v != 0 && v != 255;
            costs[b] = dry ? double{own[b]} + double{apart[b]} : kWet;
        }
    }
    return costs;
}

} // namespace detect
