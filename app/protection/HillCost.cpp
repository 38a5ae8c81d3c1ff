#include "protection/HillCost.h"

#include <algorithm>
#include <cstdlib>

namespace brindmar {

namespace {

constexpr int kSpread = 1; // the 3 x 3 mean of the filter's strength
constexpr int kSmooth = 7; // the 15 x 15 mean of its reciprocal
constexpr int kMargin = kSpread + kSmooth;
constexpr float kTiny = 1e-10f;

int64_t clampRow(int64_t y, uint32_t height) {
    return std::clamp<int64_t>(y, 0, int64_t{height} - 1);
}

// The neighbour rows of the high-pass filter mirror at the edge, as a picture continues.
int64_t mirrorRow(int64_t y, uint32_t height) {
    if (height < 2) {
        return 0;
    }
    return y < 0 ? 1 : (y >= height ? height - 2 : y);
}

// A row of 3 * width values widened by `pad` pixels each side, edge pixels repeated (mirrored
// when mirror is set), so that neighbours along the row are plain offsets of 3.
void widen(const float* row, uint32_t width, int pad, bool mirror, float* out) {
    const int64_t w = width;
    for (int64_t x = -pad; x < w + pad; ++x) {
        int64_t from = std::clamp<int64_t>(x, 0, w - 1);
        if (mirror && w >= 2 && (x < 0 || x >= w)) {
            from = x < 0 ? 1 : w - 2;
        }
        for (int c = 0; c < 3; ++c) {
            out[(x + pad) * 3 + c] = row[from * 3 + c];
        }
    }
}

// Sum of 2r + 1 neighbours along the row (same channel), edges repeated.
void sumAlong(const float* row, uint32_t width, int r, float* wide, float* out) {
    const size_t n = size_t{width} * 3;
    widen(row, width, r, false, wide);
    std::fill(out, out + n, 0.0f);
    for (int k = 0; k <= 2 * r; ++k) {
        const float* from = wide + 3 * k;
        for (size_t i = 0; i < n; ++i) {
            out[i] += from[i];
        }
    }
}

} // namespace

void HillCost::rows(uint32_t first, uint32_t end, float* out) const {
    const size_t n = size_t{m_width} * 3;
    const int64_t from = std::max<int64_t>(0, int64_t{first} - kMargin);
    const int64_t to = std::min<int64_t>(m_height, int64_t{end} + kMargin);
    const auto count = static_cast<size_t>(to - from);
    // Row y of the picture is row y - from of each buffer. A thread keeps its buffers from one
    // strip to the next, which spares the system fresh pages every time.
    thread_local std::vector<float> strength;
    thread_local std::vector<float> picture;
    thread_local std::vector<float> wide;
    thread_local std::vector<float> spread;
    thread_local std::vector<float> across;
    thread_local std::vector<float> sum;
    strength.resize(count * n);
    picture.resize(3 * n);
    wide.resize((m_width + 2 * kSmooth) * size_t{3});
    for (int64_t y = from; y < to; ++y) {
        for (int d = 0; d < 3; ++d) {
            const unsigned char* source = m_colour + mirrorRow(y + d - 1, m_height) * n;
            for (size_t i = 0; i < n; ++i) {
                picture[d * n + i] = source[i];
            }
        }
        // The residual of [[-1, 2, -1], [2, -4, 2], [-1, 2, -1]]: a row sum [-1, 2, -1] of the
        // outer rows less twice that of the middle one.
        float* residual = strength.data() + static_cast<size_t>(y - from) * n;
        std::fill(residual, residual + n, 0.0f);
        for (int d = 0; d < 3; ++d) {
            widen(picture.data() + d * n, m_width, 1, true, wide.data());
            const float weight = d == 1 ? -2.0f : 1.0f;
            for (size_t i = 0; i < n; ++i) {
                residual[i] += weight * (2.0f * wide[i + 3] - wide[i] - wide[i + 6]);
            }
        }
        for (size_t i = 0; i < n; ++i) {
            residual[i] = std::abs(residual[i]);
        }
    }
    // Each row's 3 x 3 mean strength, inverted; then its 15-wide mean along the row.
    const int64_t innerFrom = std::max<int64_t>(0, int64_t{first} - kSmooth);
    const int64_t innerTo = std::min<int64_t>(m_height, int64_t{end} + kSmooth);
    spread.resize(static_cast<size_t>(innerTo - innerFrom) * n);
    across.resize(n);
    sum.resize(n);
    for (int64_t y = innerFrom; y < innerTo; ++y) {
        std::fill(sum.begin(), sum.end(), 0.0f);
        for (int d = -kSpread; d <= kSpread; ++d) {
            const float* row =
                strength.data() + static_cast<size_t>(clampRow(y + d, m_height) - from) * n;
            for (size_t i = 0; i < n; ++i) {
                sum[i] += row[i];
            }
        }
        sumAlong(sum.data(), m_width, kSpread, wide.data(), across.data());
        for (size_t i = 0; i < n; ++i) {
            across[i] = 1.0f / (across[i] * (1.0f / 9.0f) + kTiny);
        }
        sumAlong(across.data(), m_width, kSmooth, wide.data(),
                 spread.data() + static_cast<size_t>(y - innerFrom) * n);
    }
    constexpr float kArea = 1.0f / float((2 * kSmooth + 1) * (2 * kSmooth + 1));
    for (int64_t y = first; y < end; ++y) {
        float* cost = out + static_cast<size_t>(y - first) * n;
        std::fill(cost, cost + n, 0.0f);
        for (int d = -kSmooth; d <= kSmooth; ++d) {
            const float* row =
                spread.data() + static_cast<size_t>(clampRow(y + d, m_height) - innerFrom) * n;
            for (size_t i = 0; i < n; ++i) {
                cost[i] += row[i];
            }
        }
        for (size_t i = 0; i < n; ++i) {
            cost[i] *= kArea;
        }
    }
}

} // namespace brindmar
