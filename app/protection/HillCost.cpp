#include "protection/HillCost.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <vector>

// Processors with AVX2 take eight or more values a step, those with AVX-512 (x86-64-v4) twice as
// many; the arithmetic is exact or rounded the same every way, and no product is ever added to
// but one by 0 or 1, which is exact, so fused multiply-adds change nothing: the costs do not
// depend on which version runs.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define BRINDMAR_WIDE __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#else
#define BRINDMAR_WIDE
#endif

namespace brindmar {

namespace {

constexpr int kSmooth = 7;                 // the 15 x 15 mean of the reciprocal strength
constexpr int64_t kRing = 2 * kSmooth + 2; // reciprocal rows in use at once: y - 8 .. y + 7
constexpr size_t kPad = 3 * kSmooth;       // colour values kept past each end of a sum row
constexpr size_t kChunk = 512;             // values summed along a row at a time, kept in cache
constexpr float kUnit = 0x1p15f;           // reciprocals are whole numbers of 2^-15 ...
constexpr float kMost = 74565.0f;          // ... at most this many, 225 of which stay below 2^24
constexpr float kMean = 0x1p-15f / 225.0f; // units to the mean of 15 x 15

// Sums of 225 whole reciprocals stay below 2^24, so a float holds them, and every partial sum on
// the way, exactly whatever order they are added in: a strip's costs match the whole picture's
// bit for bit, and sixteen of them go through a vector step where doubles went eight. The cap
// takes in only the nearly flat (a 3 x 3 strength sum below 4, flat ones too), which cost over
// a hundred times what texture does, a difference the trellis no longer sees. The unit keeps
// the busiest places' reciprocals to within 3%, and their means over 225 far closer.
static_assert(225.0f * kMost < 0x1p24f && 9.0f * kUnit / 4.0f < kMost &&
              9.0f * kUnit / 3.0f > kMost);

struct Work {
    std::vector<int16_t> across;    // a row's vertical residual, mirrored 1 pixel past each end
    std::vector<uint16_t> strength; // the last 3 rows' residual strengths
    std::vector<uint16_t> column;   // a row's 3-row strength sums, 1 pixel past each end
    std::vector<float> ring;        // the last kRing rows' reciprocals
    std::vector<float> window;      // 15-row sums of reciprocals, kPad past each end
    std::vector<float> two, five;   // partial sums along a row, a chunk at a time
    std::vector<float> costs;       // the row handed out

    void resize(size_t n) {
        across.resize(n + 6);
        strength.resize(3 * n);
        column.resize(n + 6);
        ring.resize(static_cast<size_t>(kRing) * n);
        window.resize(n + 2 * kPad);
        two.resize(kChunk + 12 * 3);
        five.resize(kChunk + 10 * 3);
        costs.resize(n);
    }
};

// The high-pass filter's neighbour rows mirror at the edge, as a picture continues.
int64_t mirrorRow(int64_t y, int64_t height) {
    if (height < 2) {
        return 0;
    }
    return y < 0 ? 1 : (y >= height ? height - 2 : y);
}

// The strength of the residual of [[-1, 2, -1], [2, -4, 2], [-1, 2, -1]] along row y: the outer
// rows less twice the middle one, then [-1, 2, -1] along that, pixels mirrored at the ends.
// Whole numbers, at most 8 * 255.
BRINDMAR_WIDE void strengthRow(const unsigned char* colour, int64_t firstRow, uint32_t width,
                               int64_t height, int64_t y, int16_t* across, uint16_t* out) {
    const size_t n = size_t{width} * 3;
    const auto at = [&](int64_t row) { return colour + static_cast<size_t>(row - firstRow) * n; };
    const unsigned char* above = at(mirrorRow(y - 1, height));
    const unsigned char* middle = at(y);
    const unsigned char* below = at(mirrorRow(y + 1, height));
    int16_t* t = across + 3;
    for (size_t i = 0; i < n; ++i) {
        t[i] = static_cast<int16_t>(above[i] + below[i] - 2 * middle[i]);
    }
    const size_t left = width >= 2 ? 3 : 0;
    const size_t right = width >= 2 ? n - 6 : 0;
    for (size_t c = 0; c < 3; ++c) {
        across[c] = t[left + c];
        t[n + c] = t[right + c];
    }
    for (size_t i = 0; i < n; ++i) {
        out[i] = static_cast<uint16_t>(std::abs(2 * t[i] - across[i] - t[i + 3]));
    }
}

// Row y's reciprocal of its 3 x 3 mean strength (edges repeated), in whole units: 9 / sum.
BRINDMAR_WIDE void reciprocalRow(const uint16_t* above, const uint16_t* middle,
                                 const uint16_t* below, size_t n, uint16_t* column, float* out) {
    uint16_t* u = column + 3;
    for (size_t i = 0; i < n; ++i) {
        u[i] = static_cast<uint16_t>(above[i] + middle[i] + below[i]);
    }
    for (size_t c = 0; c < 3; ++c) {
        column[c] = u[c];
        u[n + c] = u[n - 3 + c];
    }
    for (size_t i = 0; i < n; ++i) {
        const int sum = column[i] + u[i] + u[i + 3];
        // No strength divides by 1 instead, and meets the cap: no branch, which the compiler
        // would not turn into vector code.
        const float divisor = static_cast<float>(sum) + static_cast<float>(sum == 0);
        // Adding and taking away 2^23 rounds to a whole number, the same on every processor.
        out[i] = std::min((9.0f * kUnit / divisor + 0x1p23f) - 0x1p23f, kMost);
    }
}

// The 15-row window moves down a row: one row of reciprocals comes in, one goes out.
BRINDMAR_WIDE void slide(float* window, const float* in, const float* out, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        window[i] += in[i] - out[i];
    }
}

// The 15-wide sums along the row of the window's sums, as means: sums of 2, then of 5, then of 3
// of those, so that each value costs about five additions rather than fourteen.
BRINDMAR_WIDE void spreadRow(Work& work, size_t n, float* out) {
    float* window = work.window.data();
    for (size_t c = 0; c < 3; ++c) {
        for (size_t k = 0; k < kSmooth; ++k) {
            window[c + 3 * k] = window[kPad + c];
            window[kPad + n + c + 3 * k] = window[kPad + n - 3 + c];
        }
    }
    float* two = work.two.data();
    float* five = work.five.data();
    for (size_t from = 0; from < n; from += kChunk) {
        const size_t m = std::min(kChunk, n - from);
        const float* p = work.window.data() + from; // p[i] is 7 pixels before value from + i
        for (size_t i = 0; i < m + 36; ++i) {
            two[i] = p[i] + p[i + 3];
        }
        for (size_t i = 0; i < m + 30; ++i) {
            five[i] = two[i] + two[i + 6] + p[i + 12];
        }
        for (size_t i = 0; i < m; ++i) {
            out[from + i] = (five[i] + five[i + 15] + five[i + 30]) * kMean;
        }
    }
}

// A picture's costs a row at a time, from row `first` down, with the buffers of one Work.
class RowCursor {
public:
    RowCursor(const unsigned char* colour, uint32_t width, uint32_t height, uint32_t firstRow,
              Work& work)
        : m_colour(colour), m_width(width), m_height(height), m_firstRow(firstRow),
          m_n(size_t{width} * 3), m_work(work) {
        m_work.resize(m_n);
    }

    // Row `first`'s costs: the window of 15 rows about it summed afresh.
    const float* start(uint32_t first) {
        m_strengthTo = std::max<int64_t>(0, int64_t{first} - kSmooth - 1);
        m_reciprocalTo = std::max<int64_t>(0, int64_t{first} - kSmooth);
        float* window = m_work.window.data() + kPad;
        reciprocalsTo(clampRow(int64_t{first} + kSmooth));
        std::fill(window, window + m_n, 0.0f);
        for (int64_t d = -kSmooth; d <= kSmooth; ++d) {
            const float* row = reciprocal(clampRow(first + d));
            for (size_t i = 0; i < m_n; ++i) {
                window[i] += row[i];
            }
        }
        spreadRow(m_work, m_n, m_work.costs.data());
        return m_work.costs.data();
    }

    // Row y's costs, y one past the row before: one row of reciprocals in, one out.
    const float* next(int64_t y) {
        const int64_t in = clampRow(y + kSmooth);
        const int64_t gone = clampRow(y - kSmooth - 1);
        reciprocalsTo(in);
        if (in != gone) {
            slide(m_work.window.data() + kPad, reciprocal(in), reciprocal(gone), m_n);
        }
        spreadRow(m_work, m_n, m_work.costs.data());
        return m_work.costs.data();
    }

private:
    int64_t clampRow(int64_t y) const { return std::clamp<int64_t>(y, 0, int64_t{m_height} - 1); }
    uint16_t* strength(int64_t y) { return m_work.strength.data() + (y % 3) * m_n; }
    float* reciprocal(int64_t y) { return m_work.ring.data() + (y % kRing) * m_n; }

    // Rows of reciprocals up to `last`, each from the strengths of the rows about it.
    void reciprocalsTo(int64_t last) {
        const int64_t height = m_height;
        for (; m_reciprocalTo <= last; ++m_reciprocalTo) {
            for (; m_strengthTo <= std::min(height - 1, m_reciprocalTo + 1); ++m_strengthTo) {
                strengthRow(m_colour, m_firstRow, m_width, height, m_strengthTo,
                            m_work.across.data(), strength(m_strengthTo));
            }
            reciprocalRow(strength(clampRow(m_reciprocalTo - 1)), strength(m_reciprocalTo),
                          strength(clampRow(m_reciprocalTo + 1)), m_n, m_work.column.data(),
                          reciprocal(m_reciprocalTo));
        }
    }

    const unsigned char* m_colour;
    uint32_t m_width;
    uint32_t m_height;
    uint32_t m_firstRow;
    size_t m_n;
    Work& m_work;
    int64_t m_strengthTo = 0;
    int64_t m_reciprocalTo = 0;
};

// A thread keeps its buffers from one strip to the next, which spares fresh pages each time; two
// sets, for two pictures costed in step.
Work& threadWork(int which) {
    thread_local std::array<Work, 2> work;
    return work[static_cast<size_t>(which)];
}

} // namespace

void HillCost::rows(uint32_t first, uint32_t end, float* out) const {
    const size_t n = size_t{m_width} * 3;
    eachRow(first, end, [&](uint32_t y, const float* costs) {
        std::copy(costs, costs + n, out + static_cast<size_t>(y - first) * n);
    });
}

void HillCost::eachRow(uint32_t first, uint32_t end,
                       const std::function<void(uint32_t y, const float* costs)>& take) const {
    if (first >= end || m_width == 0) {
        return;
    }
    RowCursor cursor(m_colour, m_width, m_height, m_firstRow, threadWork(0));
    take(first, cursor.start(first));
    for (int64_t y = int64_t{first} + 1; y < end; ++y) {
        take(static_cast<uint32_t>(y), cursor.next(y));
    }
}

void HillCost::eachRowOfBoth(
    const HillCost& other, uint32_t first, uint32_t end,
    const std::function<void(uint32_t y, const float* costs, const float* others)>& take) const {
    if (first >= end || m_width == 0) {
        return;
    }
    RowCursor cursor(m_colour, m_width, m_height, m_firstRow, threadWork(0));
    RowCursor second(other.m_colour, other.m_width, other.m_height, other.m_firstRow,
                     threadWork(1));
    take(first, cursor.start(first), second.start(first));
    for (int64_t y = int64_t{first} + 1; y < end; ++y) {
        // The first picture's row before the second's: the call reads both.
        const float* costs = cursor.next(y);
        take(static_cast<uint32_t>(y), costs, second.next(y));
    }
}

double hillReciprocal(double meanStrength) {
    const double sum = std::round(9.0 * meanStrength);
    const double units = sum == 0 ? double{kMost} : std::round(9.0 * double{kUnit} / sum);
    return std::min(units, double{kMost}) / double{kUnit};
}

BRINDMAR_WIDE void channelDifferences(const unsigned char* colour, uint64_t pixels,
                                      unsigned char* out) {
    const auto clip = [](int v) { return static_cast<unsigned char>(std::clamp(v, 0, 255)); };
    for (uint64_t p = 0; p < pixels; ++p) {
        const int b = colour[3 * p];
        const int g = colour[3 * p + 1];
        const int r = colour[3 * p + 2];
        out[3 * p] = clip(128 + b - g);
        out[3 * p + 1] = clip(128 + g - (r + b + 1) / 2);
        out[3 * p + 2] = clip(128 + r - g);
    }
}

} // namespace brindmar
