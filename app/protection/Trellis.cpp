#include "protection/Trellis.h"

#include "protection/Parallel.h"
#include "protection/TrellisRows.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
// GCC 12 takes the undefined vectors its own AVX-512 intrinsics start from for uninitialised
// values once they are inlined; its warnings point into the header, so they are silenced there.
#ifndef __clang__
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#ifndef __clang__
#pragma GCC diagnostic pop
#endif
#define BRINDMAR_TRELLIS_VECTORS 1
#endif

namespace brindmar {

namespace {

constexpr uint32_t kWordMask = kTrellisStates - 1;
constexpr size_t kPathBytes = kTrellisStates / 8; // one bit per state and column
// A state no path reaches yet. Prices are capped far enough below it that no state a path
// reaches ever adds up to it: a state is at most a few changes dearer than the cheapest one.
constexpr uint16_t kUnreached = 0xffff;
constexpr uint16_t kDearest = 4095;
// A wet column's cost, +inf, as its packed top half; the price that no path ever takes.
constexpr uint16_t kWetPacked = 0x7f80;
constexpr uint16_t kWetPrice = kUnreached;

float costOf(uint16_t packed) {
    const uint32_t bits = uint32_t{packed & 0x7fffu} << 16u;
    float cost = 0;
    std::memcpy(&cost, &bits, sizeof cost);
    return cost;
}

// The price is the cost times the scale, rounded, at least 1 and at most kDearest; written so
// that every version computes the same number.
uint16_t priceOf(uint16_t packed, float scale) {
    if ((packed & 0x7fffu) >= kWetPacked) {
        return kWetPrice;
    }
    const float price = std::min(std::max(costOf(packed) * scale + 0.5f, 1.0f), float{kDearest});
    return static_cast<uint16_t>(price);
}

// One segment's search forward: for each row its columns, then the row's close. A column's state
// is reached either as it was (no change) or from its partner under the column's word (a change
// at the column's price); the change wins only when strictly cheaper, in every version, so that
// they all pick the same path. At a row's close the states that carry the row's bit are kept,
// near zero, and row i + h opens; a state no path reaches stays unreached.
struct Forward {
    const uint8_t* words;
    uint32_t width;
    uint64_t rows;
    const uint16_t* packed; // the columns as the gather gave them
    float scale;
    const uint8_t* target;
    uint16_t* prices; // room for the columns' prices
    uint8_t* path;    // kPathBytes a column
};

void pricesOf(const Forward& f) {
    const auto count = static_cast<size_t>(f.rows * f.width);
    for (size_t j = 0; j < count; ++j) {
        f.prices[j] = priceOf(f.packed[j], f.scale);
    }
}

// Row closed: keep the states that carry its bit (state 2s + carried becomes s), near zero, and
// open the next row with the upper half unreached; a state no path reaches stays unreached.
template <class State> void closeRow(State* states, uint32_t carried) {
    State least = kUnreached;
    for (uint32_t s = 0; s < kTrellisStates / 2; ++s) {
        least = std::min(least, states[2 * s + carried]);
    }
    for (uint32_t s = 0; s < kTrellisStates / 2; ++s) {
        const State v = states[2 * s + carried];
        states[s] = v == kUnreached ? State{kUnreached} : static_cast<State>(v - least);
    }
    std::fill(states + kTrellisStates / 2, states + kTrellisStates, State{kUnreached});
}

void forwardScalar(const Forward& f) {
    pricesOf(f);
    uint16_t states[2][kTrellisStates];
    std::fill(std::begin(states[0]), std::end(states[0]), kUnreached);
    states[0][0] = 0;
    int now = 0;
    uint8_t* path = f.path;
    const uint16_t* prices = f.prices;
    for (uint64_t i = 0; i < f.rows; ++i) {
        const uint32_t mask = rowMask(i, f.rows);
        for (uint32_t k = 0; k < f.width; ++k, path += kPathBytes) {
            const uint16_t* from = states[now];
            uint16_t* to = states[1 - now];
            const uint32_t word = f.words[k] & mask;
            const uint32_t price = *prices++;
            uint64_t changes[2] = {0, 0}; // in registers, not a byte in memory per state
            for (uint32_t s = 0; s < kTrellisStates; ++s) {
                const uint32_t via = std::min<uint32_t>(kUnreached, from[s ^ word] + price);
                const bool change = via < from[s];
                to[s] = change ? static_cast<uint16_t>(via) : from[s];
                changes[s >> 6] |= uint64_t{change} << (s & 63);
            }
            for (size_t b = 0; b < kPathBytes; ++b) {
                path[b] = static_cast<uint8_t>(changes[b >> 3] >> (8 * (b & 7)));
            }
            now = 1 - now;
        }
        closeRow(states[now], f.target[i]);
    }
}

#ifdef BRINDMAR_TRELLIS_VECTORS
// One row's columns of kN segments at once, each with its 128 states in four vectors of 32, in
// registers. State s's partner s ^ word lies in the pair of vectors (0, 1) or (2, 3) that bit 6
// of the word picks, at lane (s ^ word) mod 64 of the pair: one two-source permute a vector.
// Every word has bit 6 but in a segment's last rows, which cut it off, so the pair is the
// row's, not the column's. A column waits on the one before it; two segments side by side give
// the processor a second chain to work on meanwhile.
template <int kN, bool kAcross>
__attribute__((target("avx512f,avx512bw"), always_inline)) inline void
rowAvx512(__m512i (&v)[kN][4], const uint8_t* words, uint32_t mask, uint32_t width,
          const uint16_t* (&prices)[kN], uint8_t* (&path)[kN]) {
    const __m512i lanes =
        _mm512_set_epi16(31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15, 14, 13,
                         12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    const __m512i upper = _mm512_xor_si512(lanes, _mm512_set1_epi16(32));
    for (uint32_t k = 0; k < width; ++k) {
        const __m512i w = _mm512_set1_epi16(static_cast<short>(words[k] & mask));
        const __m512i even = _mm512_xor_si512(lanes, w);
        const __m512i odd = _mm512_xor_si512(upper, w);
        for (int t = 0; t < kN; ++t) {
            __m512i& v0 = v[t][0];
            __m512i& v1 = v[t][1];
            __m512i& v2 = v[t][2];
            __m512i& v3 = v[t][3];
            const __m512i price = _mm512_set1_epi16(static_cast<short>(prices[t][k]));
            const __m512i a0 = _mm512_adds_epu16(kAcross ? _mm512_permutex2var_epi16(v2, even, v3)
                                                         : _mm512_permutex2var_epi16(v0, even, v1),
                                                 price);
            const __m512i a1 = _mm512_adds_epu16(kAcross ? _mm512_permutex2var_epi16(v2, odd, v3)
                                                         : _mm512_permutex2var_epi16(v0, odd, v1),
                                                 price);
            const __m512i a2 = _mm512_adds_epu16(kAcross ? _mm512_permutex2var_epi16(v0, even, v1)
                                                         : _mm512_permutex2var_epi16(v2, even, v3),
                                                 price);
            const __m512i a3 = _mm512_adds_epu16(kAcross ? _mm512_permutex2var_epi16(v0, odd, v1)
                                                         : _mm512_permutex2var_epi16(v2, odd, v3),
                                                 price);
            // Little-endian: state s is bit s of the column's 16 path bytes.
            uint8_t* at = path[t] + size_t{k} * kPathBytes;
            _store_mask64(
                reinterpret_cast<__mmask64*>(at),
                _mm512_kunpackd(_mm512_cmplt_epu16_mask(a1, v1), _mm512_cmplt_epu16_mask(a0, v0)));
            _store_mask64(
                reinterpret_cast<__mmask64*>(at + 8),
                _mm512_kunpackd(_mm512_cmplt_epu16_mask(a3, v3), _mm512_cmplt_epu16_mask(a2, v2)));
            v0 = _mm512_min_epu16(v0, a0);
            v1 = _mm512_min_epu16(v1, a1);
            v2 = _mm512_min_epu16(v2, a2);
            v3 = _mm512_min_epu16(v3, a3);
        }
    }
    for (int t = 0; t < kN; ++t) {
        prices[t] += width;
        path[t] += size_t{width} * kPathBytes;
    }
}

__attribute__((target("avx512f,avx512bw"))) void pricesAvx512(const Forward& f) {
    const auto count = static_cast<size_t>(f.rows * f.width);
    const __m512 scale = _mm512_set1_ps(f.scale);
    const __m512 half = _mm512_set1_ps(0.5f);
    const __m512 one = _mm512_set1_ps(1.0f);
    const __m512 dearest = _mm512_set1_ps(float{kDearest});
    size_t j = 0;
    for (; j + 16 <= count; j += 16) {
        const __m512i wide = _mm512_cvtepu16_epi32(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(f.packed + j)));
        const __m512i top = _mm512_and_si512(wide, _mm512_set1_epi32(0x7fff));
        const __m512 cost = _mm512_castsi512_ps(_mm512_slli_epi32(top, 16));
        const __m512 price = _mm512_min_ps(
            _mm512_max_ps(_mm512_add_ps(_mm512_mul_ps(cost, scale), half), one), dearest);
        const __m512i whole = _mm512_mask_mov_epi32(
            _mm512_cvttps_epi32(price), _mm512_cmpge_epu32_mask(top, _mm512_set1_epi32(kWetPacked)),
            _mm512_set1_epi32(kWetPrice));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(f.prices + j), _mm512_cvtepi32_epi16(whole));
    }
    for (; j < count; ++j) {
        f.prices[j] = priceOf(f.packed[j], f.scale);
    }
}

// kN segments of the same length side by side.
template <int kN> __attribute__((target("avx512f,avx512bw"))) void forwardAvx512(const Forward* f) {
    const __m512i unreached = _mm512_set1_epi16(static_cast<short>(kUnreached));
    const __m512i twice =
        _mm512_set_epi16(62, 60, 58, 56, 54, 52, 50, 48, 46, 44, 42, 40, 38, 36, 34, 32, 30, 28, 26,
                         24, 22, 20, 18, 16, 14, 12, 10, 8, 6, 4, 2, 0);
    __m512i v[kN][4];
    const uint16_t* prices[kN];
    uint8_t* path[kN];
    for (int t = 0; t < kN; ++t) {
        pricesAvx512(f[t]);
        v[t][0] = _mm512_mask_mov_epi16(unreached, 1, _mm512_setzero_si512());
        v[t][1] = v[t][2] = v[t][3] = unreached;
        prices[t] = f[t].prices;
        path[t] = f[t].path;
    }
    for (uint64_t i = 0; i < f[0].rows; ++i) {
        const uint32_t mask = rowMask(i, f[0].rows);
        if ((mask & 64) != 0) {
            rowAvx512<kN, true>(v, f[0].words, mask, f[0].width, prices, path);
        } else {
            rowAvx512<kN, false>(v, f[0].words, mask, f[0].width, prices, path);
        }
        for (int t = 0; t < kN; ++t) {
            // Close: new state s (below 64) is old state 2s + carried.
            const __m512i pick = _mm512_add_epi16(twice, _mm512_set1_epi16(f[t].target[i] & 1));
            const __m512i n0 = _mm512_permutex2var_epi16(v[t][0], pick, v[t][1]);
            const __m512i n1 = _mm512_permutex2var_epi16(v[t][2], pick, v[t][3]);
            const __m512i m = _mm512_min_epu16(n0, n1);
            const __m256i m256 =
                _mm256_min_epu16(_mm512_castsi512_si256(m), _mm512_extracti64x4_epi64(m, 1));
            const __m128i m128 =
                _mm_min_epu16(_mm256_castsi256_si128(m256), _mm256_extracti128_si256(m256, 1));
            const __m512i least =
                _mm512_set1_epi16(static_cast<short>(_mm_cvtsi128_si32(_mm_minpos_epu16(m128))));
            v[t][0] =
                _mm512_mask_subs_epu16(n0, _mm512_cmpneq_epu16_mask(n0, unreached), n0, least);
            v[t][1] =
                _mm512_mask_subs_epu16(n1, _mm512_cmpneq_epu16_mask(n1, unreached), n1, least);
            v[t][2] = unreached;
            v[t][3] = unreached;
        }
    }
}
#endif

// The forward passes of one segment, or of two of the same length side by side.
using ForwardPass = void (*)(const Forward* segments, int count);

void forwardEachScalar(const Forward* segments, int count) {
    for (int t = 0; t < count; ++t) {
        forwardScalar(segments[t]);
    }
}

#ifdef BRINDMAR_TRELLIS_VECTORS
void forwardEachAvx512(const Forward* segments, int count) {
    if (count == 2 && segments[0].rows == segments[1].rows) {
        forwardAvx512<2>(segments);
        return;
    }
    for (int t = 0; t < count; ++t) {
        forwardAvx512<1>(segments + t);
    }
}
#endif

#ifdef BRINDMAR_TRELLIS_VECTORS
// Where the processor has AVX2 but not AVX-512: eight states a vector, in 32-bit lanes, kept in
// memory. The partner of lane l of group g is lane l ^ (word & 7) of group g ^ (word >> 3), one
// permute away. The same sums, capped the same way, as the others.
__attribute__((target("avx2"))) void forwardAvx2(const Forward& f) {
    pricesOf(f);
    alignas(32) uint32_t states[2][kTrellisStates];
    std::fill(std::begin(states[0]), std::end(states[0]), uint32_t{kUnreached});
    states[0][0] = 0;
    int now = 0;
    const __m256i cap = _mm256_set1_epi32(kUnreached);
    uint8_t* path = f.path;
    const uint16_t* prices = f.prices;
    for (uint64_t i = 0; i < f.rows; ++i) {
        const uint32_t mask = rowMask(i, f.rows);
        for (uint32_t k = 0; k < f.width; ++k, path += kPathBytes) {
            const uint32_t word = f.words[k] & mask;
            const __m256i lanes = _mm256_xor_si256(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7),
                                                   _mm256_set1_epi32(static_cast<int>(word & 7)));
            const uint32_t high = word >> 3;
            const __m256i price = _mm256_set1_epi32(*prices++);
            const uint32_t* from = states[now];
            uint32_t* to = states[1 - now];
            for (uint32_t g = 0; g < kTrellisStates / 8; ++g) {
                const __m256i here =
                    _mm256_load_si256(reinterpret_cast<const __m256i*>(from + 8 * g));
                const __m256i partner = _mm256_permutevar8x32_epi32(
                    _mm256_load_si256(reinterpret_cast<const __m256i*>(from + 8 * (g ^ high))),
                    lanes);
                const __m256i via = _mm256_min_epu32(_mm256_add_epi32(partner, price), cap);
                const __m256i change = _mm256_cmpgt_epi32(here, via); // all below 2^16
                _mm256_store_si256(reinterpret_cast<__m256i*>(to + 8 * g),
                                   _mm256_min_epu32(here, via));
                path[g] = static_cast<uint8_t>(_mm256_movemask_ps(_mm256_castsi256_ps(change)));
            }
            now = 1 - now;
        }
        closeRow(states[now], f.target[i]);
    }
}

void forwardEachAvx2(const Forward* segments, int count) {
    for (int t = 0; t < count; ++t) {
        forwardAvx2(segments[t]);
    }
}

// Where the processor has only 128-bit vectors (SSE4.1, as low-power ones do): eight 16-bit
// states a vector, kept in memory. The partner of lane l of group g is lane l ^ (word & 7) of
// group g ^ (word >> 3): a byte shuffle within the vector. The same sums and choices again.
__attribute__((target("sse4.1,ssse3"))) void forwardSse4(const Forward& f) {
    pricesOf(f);
    alignas(16) uint16_t states[2][kTrellisStates];
    std::fill(std::begin(states[0]), std::end(states[0]), kUnreached);
    states[0][0] = 0;
    int now = 0;
    uint8_t* path = f.path;
    const uint16_t* prices = f.prices;
    for (uint64_t i = 0; i < f.rows; ++i) {
        const uint32_t mask = rowMask(i, f.rows);
        for (uint32_t k = 0; k < f.width; ++k, path += kPathBytes) {
            const uint32_t word = f.words[k] & mask;
            // Lane l takes bytes 2 (l ^ low) and 2 (l ^ low) + 1.
            const auto low = static_cast<char>(2 * (word & 7));
            const __m128i lanes =
                _mm_xor_si128(_mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15),
                              _mm_setr_epi8(low, low, low, low, low, low, low, low, low, low, low,
                                            low, low, low, low, low));
            const uint32_t high = word >> 3;
            const __m128i price = _mm_set1_epi16(static_cast<short>(*prices++));
            const uint16_t* from = states[now];
            uint16_t* to = states[1 - now];
            for (uint32_t g = 0; g < kTrellisStates / 8; g += 2) {
                __m128i stay[2];
                for (uint32_t h = 0; h < 2; ++h) {
                    const __m128i here =
                        _mm_load_si128(reinterpret_cast<const __m128i*>(from + 8 * (g + h)));
                    const __m128i partner =
                        _mm_shuffle_epi8(_mm_load_si128(reinterpret_cast<const __m128i*>(
                                             from + 8 * ((g + h) ^ high))),
                                         lanes);
                    const __m128i via = _mm_adds_epu16(partner, price);
                    const __m128i least = _mm_min_epu16(here, via);
                    _mm_store_si128(reinterpret_cast<__m128i*>(to + 8 * (g + h)), least);
                    stay[h] = _mm_cmpeq_epi16(least, here); // no change, equal prices included
                }
                const auto kept =
                    static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(stay[0], stay[1])));
                path[g] = static_cast<uint8_t>(~kept);
                path[g + 1] = static_cast<uint8_t>(~kept >> 8);
            }
            now = 1 - now;
        }
        closeRow(states[now], f.target[i]);
    }
}

void forwardEachSse4(const Forward* segments, int count) {
    for (int t = 0; t < count; ++t) {
        forwardSse4(segments[t]);
    }
}
#endif

ForwardPass chosenForward() {
#ifdef BRINDMAR_TRELLIS_VECTORS
    const int most = gTrellisVectorBits;
    if (most >= 512 && __builtin_cpu_supports("avx512bw") != 0) {
        return forwardEachAvx512;
    }
    if (most >= 256 && __builtin_cpu_supports("avx2") != 0) {
        return forwardEachAvx2;
    }
    if (most >= 128 && __builtin_cpu_supports("sse4.1") != 0 &&
        __builtin_cpu_supports("ssse3") != 0) {
        return forwardEachSse4;
    }
#endif
    return forwardEachScalar;
}

struct Segment {
    uint64_t firstBit = 0;
    uint64_t bits = 0;
};

// The cheapest changes of one segment that turn its syndrome into the message: Viterbi over the
// 2^h partial syndromes of the rows still open, then back along the recorded choices. The
// buffers serve one segment after another (every path byte is written before it is read).
class SegmentSearch {
public:
    // What the changes must add: the message less what the picture already carries.
    Forward prepare(const TrellisCode& code, const uint16_t* packed, const unsigned char* message,
                    Segment segment, float scale) {
        m_segment = segment;
        const uint64_t b = segment.bits;
        const auto count = static_cast<size_t>(b * code.width);
        m_low.resize(count);
        m_prices.resize(count);
        m_target.resize(static_cast<size_t>(b));
        m_path.resize(count * kPathBytes);
        // Plain pointers: stores of bytes could otherwise be taken to change the vector's own.
        uint8_t* __restrict lows = m_low.data();
        for (size_t j = 0; j < count; ++j) {
            lows[j] = static_cast<uint8_t>(packed[j] >> 15);
        }
        segmentSyndrome(code, m_low.data(), b, m_target.data());
        for (uint64_t i = 0; i < b; ++i) {
            const uint64_t j = segment.firstBit + i;
            m_target[i] ^= static_cast<uint8_t>((message[j >> 3] >> (j & 7)) & 1);
        }
        return Forward{code.submatrix.data(), code.width,   b, packed, scale, m_target.data(),
                       m_prices.data(),       m_path.data()};
    }

    // Whether the flips make the segment's message: they may not where wet columns left no
    // path. It keeps a picture too flat for its bits from passing. The syndrome is linear, so
    // the flipped columns alone make it: a few in ten, where a sweep would read every column.
    bool carries(const TrellisCode& code, const std::vector<uint64_t>& flips) const {
        const uint64_t b = m_segment.bits;
        std::vector<uint8_t> made(static_cast<size_t>(b));
        for (const uint64_t flip : flips) {
            const uint64_t i = flip / code.width;
            const uint64_t rows = std::min<uint64_t>(kTrellisHeight, b - i);
            const uint32_t word = code.submatrix[static_cast<size_t>(flip % code.width)];
            for (uint64_t r = 0; r < rows; ++r) {
                made[static_cast<size_t>(i + r)] ^= static_cast<uint8_t>((word >> r) & 1u);
            }
        }
        return std::equal(made.begin(), made.end(), m_target.begin());
    }

    // The columns to flip, in increasing order, counted from the segment's first.
    void back(const TrellisCode& code, std::vector<uint64_t>& flips) const {
        const uint64_t b = m_segment.bits;
        const uint32_t w = code.width;
        // Plain pointers: a growing flips could otherwise be taken to move the buffers.
        const uint8_t* const path = m_path.data();
        const uint8_t* const target = m_target.data();
        const uint8_t* const words = code.submatrix.data();
        uint32_t state = 0;
        for (uint64_t i = b; i-- > 0;) {
            state = (state << 1 | target[i]) & kWordMask;
            const uint32_t mask = rowMask(i, b);
            const uint8_t* row = path + i * w * kPathBytes;
            for (uint32_t k = w; k-- > 0;) {
                if ((row[k * kPathBytes + (state >> 3)] >> (state & 7)) & 1) {
                    flips.push_back(i * w + k);
                    state ^= words[k] & mask;
                }
            }
        }
        std::reverse(flips.begin(), flips.end());
    }

private:
    Segment m_segment;
    std::vector<uint8_t> m_low;
    std::vector<uint16_t> m_prices;
    std::vector<uint8_t> m_target;
    std::vector<uint8_t> m_path;
};

} // namespace

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

float trellisScale(const uint16_t* columns, size_t count) {
    // A sample evenly spread is as good as all of them.
    constexpr size_t kSample = 1 << 16;
    const size_t stride = count / kSample + 1;
    std::vector<uint16_t> costs;
    costs.reserve(count / stride + 1);
    for (size_t j = 0; j < count; j += stride) {
        const auto cost = static_cast<uint16_t>(columns[j] & 0x7fffu);
        if (cost < kWetPacked) {
            costs.push_back(cost);
        }
    }
    if (costs.empty()) {
        return 1;
    }
    // The top halves of positive floats order as the floats do.
    const auto tenth = costs.begin() + static_cast<std::ptrdiff_t>(costs.size() / 10);
    std::nth_element(costs.begin(), tenth, costs.end());
    const float cheap = costOf(*tenth);
    int exponent = 0;
    std::frexp(cheap, &exponent); // cheap = f * 2^exponent, f in [0.5, 1)
    return cheap > 0 && std::isfinite(cheap) ? std::ldexp(1.0f, 6 - exponent) : 1.0f;
}

TrellisFlips trellisEmbed(const TrellisCode& code, const uint16_t* column,
                          const unsigned char* message, uint64_t bits) {
    return trellisEmbed(
        code,
        [column](uint64_t first, size_t count, uint16_t* out, uint32_t* place) {
            std::copy(column + first, column + first + count, out);
            for (size_t k = 0; k < count; ++k) {
                place[k] = static_cast<uint32_t>(first + k);
            }
        },
        message, bits, trellisScale(column, static_cast<size_t>(bits * code.width)));
}

TrellisFlips trellisEmbed(const TrellisCode& code, const TrellisGather& gather,
                          const unsigned char* message, uint64_t bits, float scale,
                          const TrellisSettle& settle) {
    TrellisFlips result;
    const uint64_t segments = code.segments(bits);
    std::vector<std::vector<uint64_t>> flips(static_cast<size_t>(segments));
    std::vector<std::vector<uint32_t>> places(static_cast<size_t>(segments));
    const ForwardPass forward = chosenForward();
    std::atomic<bool> carried{true};
    // Two segments a task, searched side by side.
    result.ok = forEachTask((segments + 1) / 2, [&](uint64_t task) {
        thread_local std::array<SegmentSearch, 2> searches;
        thread_local std::array<std::vector<uint16_t>, 2> columns;
        thread_local std::array<std::vector<uint32_t>, 2> where;
        const int count = 2 * task + 1 < segments ? 2 : 1;
        std::array<Forward, 2> passes{};
        for (int t = 0; t < count; ++t) {
            const uint64_t g = 2 * task + static_cast<uint64_t>(t);
            const Segment segment{g * kSegmentBits, code.segmentBits(bits, g)};
            columns[t].resize(static_cast<size_t>(segment.bits * code.width));
            where[t].resize(columns[t].size());
            gather(segment.firstBit * code.width, columns[t].size(), columns[t].data(),
                   where[t].data());
            passes[t] = searches[t].prepare(code, columns[t].data(), message, segment, scale);
        }
        forward(passes.data(), count);
        for (int t = 0; t < count; ++t) {
            const uint64_t g = 2 * task + static_cast<uint64_t>(t);
            const uint64_t first = g * kSegmentBits * code.width;
            std::vector<uint64_t>& own = flips[static_cast<size_t>(g)];
            searches[t].back(code, own);
            if (!searches[t].carries(code, own)) {
                carried = false;
            }
            places[static_cast<size_t>(g)].reserve(own.size());
            for (uint64_t& flip : own) {
                places[static_cast<size_t>(g)].push_back(where[t][static_cast<size_t>(flip)]);
                flip += first;
            }
            if (settle) {
                settle(places[static_cast<size_t>(g)]);
                std::vector<uint64_t>().swap(own);
            }
        }
    });
    result.carried = carried;
    if (result.ok) {
        // Sized once: growing by doubling would copy a large picture's changes several times.
        size_t all = 0;
        for (const std::vector<uint32_t>& own : places) {
            all += own.size();
        }
        if (!settle) {
            result.columns.reserve(all);
        }
        result.places.reserve(all);
        for (size_t g = 0; g < flips.size(); ++g) {
            result.columns.insert(result.columns.end(), flips[g].begin(), flips[g].end());
            result.places.insert(result.places.end(), places[g].begin(), places[g].end());
        }
    }
    return result;
}

} // namespace brindmar
