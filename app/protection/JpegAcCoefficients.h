#pragma once

#include "protection/JpegCoefficients.h"

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace brindmar {

// The walk's AC coefficients by number: component after component, each block's 63 in turn.
class AcCoefficients {
public:
    explicit AcCoefficients(const std::vector<JpegComponent>& components) {
        uint64_t first = 0;
        for (const JpegComponent& component : components) {
            m_first.push_back(first);
            first += component.blocks() * 63;
        }
        m_first.push_back(first);
    }

    uint64_t count() const { return m_first.back(); }
    int16_t& at(std::vector<JpegComponent>& components, uint64_t n) const {
        const auto [c, k] = locate(n);
        return components[c].coefficients[k];
    }
    int16_t value(const std::vector<JpegComponent>& components, uint64_t n) const {
        const auto [c, k] = locate(n);
        return components[c].coefficients[k];
    }
    int parity(const std::vector<JpegComponent>& components, uint64_t n) const {
        return value(components, n) & 1;
    }

private:
    // The component and the place within its coefficients, DC ones included.
    std::pair<size_t, size_t> locate(uint64_t n) const {
        size_t c = 0;
        while (n >= m_first[c + 1]) {
            ++c;
        }
        const uint64_t within = n - m_first[c];
        return {c, static_cast<size_t>(within / 63 * 64 + within % 63 + 1)};
    }

    std::vector<uint64_t> m_first;
};

} // namespace brindmar
