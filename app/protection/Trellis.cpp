#include "protection/Trellis.h"

#include "protection/Parallel.h"

#include <algorithm>
#include <cstring>
#include <limits>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define BRINDMAR_TRELLIS_AVX2 1
#endif

namespace brindmar {

namespace {

#ifdef __SIZEOF_INT128__
__extension__ using Wide = unsigned __int128;
#endif

constexpr uint32_t kWordMask = kTrellisStates - 1;
constexpr size_t kPathBytes = kTrellisStates / 8; // one bit per state and column
constexpr float kUnreachable = std::numeric_limits<float>::infinity();

// The columns' words for row i of a segment of b bits: rows past the segment are cut off.
uint32_t rowMask(uint64_t i, uint64_t b) {
    const uint64_t left = b - i;
    return left >= kTrellisHeight ? kWordMask : (1u << left) - 1;
}

// One column of the search: a state is reached either as it was (no change) or from its
// partner under the column's word (a change at this column's cost). The change wins only when
// strictly cheaper, in both versions, so that they pick the same path.
void stepScalar(const float* from, float* to, uint32_t word, float cost, uint8_t* path) {
    std::memset(path, 0, kPathBytes);
    for (uint32_t s = 0; s < kTrellisStates; ++s) {
        const float via = from[s ^ word] + cost;
        const bool change = via < from[s];
        to[s] = change ? via : from[s];
        path[s >> 3] |= static_cast<uint8_t>(change ? 1u << (s & 7) : 0u);
    }
}

#ifdef BRINDMAR_TRELLIS_AVX2
// Eight states a vector: the partner of lane l of group g is lane l ^ (word & 7) of group
// g ^ (word >> 3), one permute away.
__attribute__((target("avx2"))) void stepAvx2(const float* from, float* to, uint32_t word,
                                              float cost, uint8_t* path) {
    const __m256i lanes = _mm256_xor_si256(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7),
                                           _mm256_set1_epi32(static_cast<int>(word & 7)));
    const uint32_t high = word >> 3;
    const __m256 price = _mm256_set1_ps(cost);
    for (uint32_t g = 0; g < kTrellisStates / 8; ++g) {
        const __m256 here = _mm256_loadu_ps(from + 8 * g);
        const __m256 partner =
            _mm256_permutevar8x32_ps(_mm256_loadu_ps(from + 8 * (g ^ high)), lanes);
        const __m256 via = _mm256_add_ps(partner, price);
        const __m256 change = _mm256_cmp_ps(via, here, _CMP_LT_OQ);
        _mm256_storeu_ps(to + 8 * g, _mm256_blendv_ps(here, via, change));
        path[g] = static_cast<uint8_t>(_mm256_movemask_ps(change));
    }
}

// Sixteen states a vector, where the processor has AVX-512: the partner of lane l of group g
// is lane l ^ (word & 15) of group g ^ (word >> 4), and the comparison's mask is the path's two
// bytes as they are. The same additions and comparisons as the others, so the same path.
__attribute__((target("avx512f"))) void stepAvx512(const float* from, float* to, uint32_t word,
                                                   float cost, uint8_t* path) {
    const __m512i lanes =
        _mm512_xor_si512(_mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15),
                         _mm512_set1_epi32(static_cast<int>(word & 15)));
    const uint32_t high = word >> 4;
    const __m512 price = _mm512_set1_ps(cost);
    for (uint32_t g = 0; g < kTrellisStates / 16; ++g) {
        const __m512 here = _mm512_loadu_ps(from + 16 * g);
        const __m512 partner =
            _mm512_maskz_permutexvar_ps(0xffff, lanes, _mm512_loadu_ps(from + 16 * (g ^ high)));
        const __m512 via = _mm512_add_ps(partner, price);
        const __mmask16 change = _mm512_cmp_ps_mask(via, here, _CMP_LT_OQ);
        _mm512_storeu_ps(to + 16 * g, _mm512_mask_blend_ps(change, here, via));
        path[2 * g] = static_cast<uint8_t>(change & 0xff);
        path[2 * g + 1] = static_cast<uint8_t>(change >> 8);
    }
}

bool haveAvx512() {
    static const bool have = __builtin_cpu_supports("avx512f") != 0;
    return have;
}

bool haveAvx2() {
    static const bool have = __builtin_cpu_supports("avx2") != 0;
    return have;
}
#endif

using Step = void (*)(const float*, float*, uint32_t, float, uint8_t*);

Step chosenStep() {
#ifdef BRINDMAR_TRELLIS_AVX2
    if (haveAvx512()) {
        return stepAvx512;
    }
    if (haveAvx2()) {
        return stepAvx2;
    }
#endif
    return stepScalar;
}

// The syndrome of one segment's low bits, one bit a byte. Row i's bit is final once the columns
// of rows i - h + 1 to i are in, so a window of the open rows runs along without branches.
void segmentSyndrome(const TrellisCode& code, const uint8_t* low, uint64_t b, uint8_t* out) {
    const uint32_t w = code.width;
    const uint8_t* words = code.submatrix.data();
    uint32_t open = 0; // bit r: row i + r
    for (uint64_t i = 0; i < b; ++i) {
        const uint8_t* row = low + i * w;
        uint32_t sum = 0;
        for (uint32_t k = 0; k < w; ++k) {
            sum ^= words[k] & (0u - static_cast<uint32_t>(row[k] != 0));
        }
        open ^= sum & rowMask(i, b);
        out[i] = static_cast<uint8_t>(open & 1);
        open >>= 1;
    }
}

struct Segment {
    uint64_t firstBit = 0;
    uint64_t bits = 0;
};

float costOf(uint16_t packed) {
    const uint32_t bits = uint32_t{packed & 0x7fffu} << 16u;
    float cost = 0;
    std::memcpy(&cost, &bits, sizeof cost);
    return cost;
}

// The cheapest changes of one segment that turn its syndrome into the message: Viterbi over the
// 2^h partial syndromes of the rows still open, then back along the recorded choices.
void searchSegment(const TrellisCode& code, const uint16_t* packed, const unsigned char* message,
                   Segment segment, Step step, std::vector<uint64_t>& flips) {
    const uint64_t b = segment.bits;
    const uint32_t w = code.width;
    // A thread's buffers serve all its segments: no allocation or clearing per segment (every
    // path byte is written before it is read).
    thread_local std::vector<uint8_t> low;
    thread_local std::vector<float> cost;
    thread_local std::vector<uint8_t> target;
    thread_local std::vector<uint8_t> path;
    const auto count = static_cast<size_t>(b * w);
    low.resize(count);
    cost.resize(count);
    target.resize(static_cast<size_t>(b));
    path.resize(count * kPathBytes);
    for (size_t j = 0; j < count; ++j) {
        low[j] = static_cast<uint8_t>(packed[j] >> 15);
        cost[j] = costOf(packed[j]);
    }
    // What the changes must add: the message less what the picture already carries.
    segmentSyndrome(code, low.data(), b, target.data());
    for (uint64_t i = 0; i < b; ++i) {
        const uint64_t j = segment.firstBit + i;
        target[i] ^= static_cast<uint8_t>((message[j >> 3] >> (j & 7)) & 1);
    }
    alignas(32) float weights[2][kTrellisStates];
    std::fill(std::begin(weights[0]), std::end(weights[0]), kUnreachable);
    weights[0][0] = 0;
    int now = 0;
    // Plain pointers: the thread's buffers are not looked up again at every column.
    const float* costs = cost.data();
    uint8_t* paths = path.data();
    const uint8_t* targets = target.data();
    const uint8_t* words = code.submatrix.data();
    for (uint64_t i = 0; i < b; ++i) {
        const uint32_t mask = rowMask(i, b);
        for (uint32_t k = 0; k < w; ++k) {
            const uint64_t column = i * w + k;
            step(weights[now], weights[1 - now], words[k] & mask, costs[column],
                 paths + column * kPathBytes);
            now = 1 - now;
        }
        // Row i is closed: keep the states that carry its bit, and open row i + h.
        const float* from = weights[now];
        float* to = weights[1 - now];
        // Eight running minima rather than one, without branches: a chain of 64 dependent
        // comparisons a row was a good part of the search. A minimum is exact, so the order
        // does not matter.
        const uint32_t carried = targets[i];
        float lows[8];
        for (uint32_t l = 0; l < 8; ++l) {
            lows[l] = from[2 * l + carried];
        }
        for (uint32_t s = 8; s < kTrellisStates / 2; s += 8) {
            for (uint32_t l = 0; l < 8; ++l) {
                const float v = from[2 * (s + l) + carried];
                lows[l] = v < lows[l] ? v : lows[l];
            }
        }
        float least = lows[0];
        for (uint32_t l = 1; l < 8; ++l) {
            least = lows[l] < least ? lows[l] : least;
        }
        // Kept near zero, so that small costs are not lost against a large running sum.
        for (uint32_t s = 0; s < kTrellisStates / 2; ++s) {
            to[s] = from[2 * s + carried] - least;
        }
        std::fill(to + kTrellisStates / 2, to + kTrellisStates, kUnreachable);
        now = 1 - now;
    }
    const size_t before = flips.size();
    uint32_t state = 0;
    for (uint64_t i = b; i-- > 0;) {
        state = (state << 1 | target[i]) & kWordMask;
        const uint32_t mask = rowMask(i, b);
        for (uint32_t k = w; k-- > 0;) {
            const uint64_t column = i * w + k;
            if ((path[column * kPathBytes + (state >> 3)] >> (state & 7)) & 1) {
                flips.push_back(column);
                state ^= code.submatrix[k] & mask;
            }
        }
    }
    std::reverse(flips.begin() + static_cast<std::ptrdiff_t>(before), flips.end());
}

} // namespace

TrellisReader::TrellisReader(const TrellisCode& code, uint64_t bits)
    : m_width(code.width), m_bits(bits), m_submatrix(code.submatrix),
      m_words(static_cast<size_t>(bits / 64 + 2)) {
#ifdef __SIZEOF_INT128__
    m_inverse = ~uint64_t{0} / m_width + 1;
#endif
}

void TrellisReader::addColumn(uint64_t column) {
    // Column j sits at stream row j / w (segments hold w columns a row too), as word j mod w.
#ifdef __SIZEOF_INT128__
    // Exact for every 32-bit column: a product in place of a division.
    const auto row =
        static_cast<uint64_t>((static_cast<Wide>(m_inverse) * static_cast<uint32_t>(column)) >> 64);
#else
    const uint64_t row = column / m_width;
#endif
    const auto k = static_cast<size_t>(column - row * m_width);
    // Rows past the row's segment belong to no column of it.
    const uint64_t segmentEnd = std::min(m_bits, (row / kSegmentBits + 1) * kSegmentBits);
    const uint64_t word = m_submatrix[k] & rowMask(row, segmentEnd);
    const auto at = static_cast<size_t>(row >> 6);
    const unsigned shift = row & 63;
    m_words[at] ^= word << shift;
    m_words[at + 1] ^= shift == 0 ? 0 : word >> (64 - shift);
}

void TrellisReader::merge(const TrellisReader& other) {
    for (size_t i = 0; i < m_words.size(); ++i) {
        m_words[i] ^= other.m_words[i];
    }
}

std::vector<unsigned char> TrellisReader::message() const {
    std::vector<unsigned char> out(static_cast<size_t>((m_bits + 7) / 8));
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<unsigned char>(m_words[i / 8] >> (8 * (i % 8)));
    }
    if (m_bits % 8 != 0) {
        out.back() &= static_cast<unsigned char>((1u << (m_bits % 8)) - 1);
    }
    return out;
}

TrellisCode trellisCode(uint32_t width, const unsigned char* keystream) {
    TrellisCode code;
    code.width = width;
    code.submatrix.resize(width);
    for (uint32_t k = 0; k < width; ++k) {
        code.submatrix[k] =
            static_cast<uint8_t>((keystream[k] & kWordMask) | 1u | 1u << (kTrellisHeight - 1));
    }
    return code;
}

std::vector<unsigned char> trellisSyndrome(const TrellisCode& code, const uint8_t* lowBits,
                                           uint64_t bits) {
    std::vector<unsigned char> message(static_cast<size_t>((bits + 7) / 8));
    std::vector<uint8_t> syndrome(static_cast<size_t>(std::min(bits, kSegmentBits)));
    for (uint64_t g = 0; g < code.segments(bits); ++g) {
        const uint64_t b = code.segmentBits(bits, g);
        const uint64_t first = g * kSegmentBits;
        segmentSyndrome(code, lowBits + first * code.width, b, syndrome.data());
        for (uint64_t i = 0; i < b; ++i) {
            const uint64_t j = first + i;
            message[j >> 3] |= static_cast<unsigned char>(syndrome[i] << (j & 7));
        }
    }
    return message;
}

TrellisFlips trellisEmbed(const TrellisCode& code, const uint16_t* column,
                          const unsigned char* message, uint64_t bits) {
    return trellisEmbed(
        code,
        [column](uint64_t first, size_t count, uint16_t* out) {
            std::copy(column + first, column + first + count, out);
        },
        message, bits);
}

TrellisFlips trellisEmbed(const TrellisCode& code, const TrellisGather& gather,
                          const unsigned char* message, uint64_t bits) {
    TrellisFlips result;
    const uint64_t segments = code.segments(bits);
    std::vector<std::vector<uint64_t>> flips(static_cast<size_t>(segments));
    const Step step = chosenStep();
    result.ok = forEachTask(segments, [&](uint64_t g) {
        const Segment segment{g * kSegmentBits, code.segmentBits(bits, g)};
        const uint64_t first = segment.firstBit * code.width;
        thread_local std::vector<uint16_t> columns;
        columns.resize(static_cast<size_t>(segment.bits * code.width));
        gather(first, columns.size(), columns.data());
        searchSegment(code, columns.data(), message, segment, step, flips[static_cast<size_t>(g)]);
        for (uint64_t& flip : flips[static_cast<size_t>(g)]) {
            flip += first;
        }
    });
    if (result.ok) {
        for (const std::vector<uint64_t>& f : flips) {
            result.columns.insert(result.columns.end(), f.begin(), f.end());
        }
    }
    return result;
}

} // namespace brindmar
