#include "protection/JpegCost.h"

#include <cstdlib>

namespace brindmar {

UerdCost::UerdCost(const JpegComponent& component)
    : m_component(&component), m_energy(static_cast<size_t>(component.blocks())) {
    for (uint64_t b = 0; b < component.blocks(); ++b) {
        const int16_t* block = component.block(b);
        uint32_t sum = 0;
        for (size_t k = 1; k < 64; ++k) {
            sum += static_cast<uint32_t>(std::abs(int{block[k]})) * component.quant[k];
        }
        m_energy[static_cast<size_t>(b)] = static_cast<float>(sum);
    }
}

void UerdCost::block(uint64_t b, float* out) const {
    const uint32_t w = m_component->widthInBlocks;
    const uint32_t h = m_component->heightInBlocks;
    const uint64_t y = b / w;
    const uint64_t x = b % w;
    // The neighbours the picture has: at its edges a block has fewer.
    float around = 0;
    for (uint64_t ny = y == 0 ? 0 : y - 1; ny <= y + 1 && ny < h; ++ny) {
        for (uint64_t nx = x == 0 ? 0 : x - 1; nx <= x + 1 && nx < w; ++nx) {
            around += ny == y && nx == x ? 0 : m_energy[static_cast<size_t>(ny * w + nx)];
        }
    }
    const float spread = m_energy[static_cast<size_t>(b)] + 0.25f * around;
    if (spread <= 0) {
        for (size_t k = 0; k < 63; ++k) {
            out[k] = kWetCost;
        }
        return;
    }
    // One price per step, then the few coefficients at the largest magnitude made wet: two
    // plain passes the compiler turns into vector code, where one with a branch would not be.
    const float reciprocal = 1 / spread;
    const uint16_t* steps = m_component->quant.data() + 1;
    for (size_t k = 0; k < 63; ++k) {
        out[k] = static_cast<float>(steps[k]) * reciprocal;
    }
    const int16_t* coefficients = m_component->block(b) + 1;
    for (size_t k = 0; k < 63; ++k) {
        const int v = coefficients[k];
        out[k] = v >= kMostAcMagnitude || v <= -kMostAcMagnitude ? kWetCost : out[k];
    }
}

} // namespace brindmar
