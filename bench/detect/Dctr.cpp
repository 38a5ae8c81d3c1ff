#include "Dctr.h"

#include <algorithm>
#include <cmath>

namespace detect {

float dctrStep(int quality) {
    return std::max(0.25f, 8.0f * (2.0f - static_cast<float>(quality) / 50.0f));
}

namespace {

int folded(int offset) {
    return offset <= 4 ? offset : 8 - offset;
}

} // namespace

void dctrFeatures(const SamplePlane& plane, float step, std::vector<float>& out) {
    const auto& basis = dctBasis();
    const int w = plane.width - 7;
    const int h = plane.height - 7;
    const size_t first = out.size();
    out.resize(first + kDctrFeatures, 0.0f);
    if (w <= 0 || h <= 0) {
        return;
    }
    // The patterns are separable: eight horizontal passes, then eight vertical ones on each.
    std::vector<float> across(static_cast<size_t>(plane.height) * w);
    std::vector<float> counts(kDctrFeatures, 0.0f);
    std::vector<float> line(static_cast<size_t>(w));
    std::array<float, 25> positions{};
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            positions[static_cast<size_t>(5 * folded(y % 8) + folded(x % 8))] += 1.0f;
        }
    }
    const float inverse = 1.0f / step;
    for (int l = 0; l < 8; ++l) {
        for (int y = 0; y < plane.height; ++y) {
            const float* row = plane.samples.data() + static_cast<size_t>(y) * plane.width;
            float* to = across.data() + static_cast<size_t>(y) * w;
            for (int x = 0; x < w; ++x) {
                float s = 0;
                for (int n = 0; n < 8; ++n) {
                    s += row[x + n] * basis[l][n];
                }
                to[x] = s;
            }
        }
        for (int k = 0; k < 8; ++k) {
            float* pattern = counts.data() + static_cast<size_t>(25 * 5 * (8 * k + l));
            for (int y = 0; y < h; ++y) {
                std::fill(line.begin(), line.end(), 0.0f);
                for (int m = 0; m < 8; ++m) {
                    const float* from = across.data() + static_cast<size_t>(y + m) * w;
                    const float c = basis[k][m];
                    for (int x = 0; x < w; ++x) {
                        line[static_cast<size_t>(x)] += from[x] * c;
                    }
                }
                float* phase = pattern + 25 * folded(y % 8);
                for (int x = 0; x < w; ++x) {
                    const int value =
                        std::min(kDctrCap, static_cast<int>(std::lround(
                                               std::abs(line[static_cast<size_t>(x)]) * inverse)));
                    phase[5 * folded(x % 8) + value] += 1.0f;
                }
            }
        }
    }
    for (size_t i = 0; i < kDctrFeatures; ++i) {
        out[first + i] = counts[i] / positions[(i / 5) % 25];
    }
}

} // namespace detect
