#include "protection/JpegCost.h"

#include <cstdlib>

namespace brindmar {

std::vector<float> uerdCosts(const JpegComponent& component) {
    const uint32_t w = component.widthInBlocks;
    const uint32_t h = component.heightInBlocks;
    std::vector<double> energy(static_cast<size_t>(component.blocks()));
    for (uint64_t b = 0; b < component.blocks(); ++b) {
        const int16_t* block = component.block(b);
        double sum = 0;
        for (size_t k = 1; k < 64; ++k) {
            sum += std::abs(int{block[k]}) * static_cast<double>(component.quant[k]);
        }
        energy[static_cast<size_t>(b)] = sum;
    }
    std::vector<float> cost(static_cast<size_t>(component.blocks() * 63));
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            const uint64_t b = uint64_t{y} * w + x;
            // The neighbours the picture has: at its edges a block has fewer.
            double around = 0;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const int64_t ny = int64_t{y} + dy;
                    const int64_t nx = int64_t{x} + dx;
                    if ((dx != 0 || dy != 0) && ny >= 0 && ny < h && nx >= 0 && nx < w) {
                        around += energy[static_cast<size_t>(ny * w + nx)];
                    }
                }
            }
            const double spread = energy[static_cast<size_t>(b)] + 0.25 * around;
            const int16_t* block = component.block(b);
            float* out = cost.data() + b * 63;
            for (size_t k = 1; k < 64; ++k) {
                const bool edge = std::abs(int{block[k]}) >= kMostAcMagnitude;
                out[k - 1] =
                    spread <= 0 || edge
                        ? kWetCost
                        : static_cast<float>(static_cast<double>(component.quant[k]) / spread);
            }
        }
    }
    return cost;
}

} // namespace brindmar
