#include "Filler.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace vokb {
namespace {

constexpr uint32_t kMul = 214013u;
constexpr uint32_t kAdd = 2531011u;

thread_local uint32_t t_state = 1;

constexpr uint8_t fillerOf(uint32_t state) {
    return static_cast<uint8_t>((state >> 16) & 0xFFu);
}

// The step that advances a state by n draws at once: s -> mul * s + add (modulo 2^32).
struct Jump {
    uint32_t mul;
    uint32_t add;
};

constexpr Jump jumpOf(int n) {
    Jump j{1u, 0u};
    for (int i = 0; i < n; ++i) {
        j = {j.mul * kMul, j.add * kMul + kAdd};
    }
    return j;
}

#if defined(__x86_64__)
// Filler bytes of two vectors of states, in draw order: 16-bit packing interleaves the 128-bit
// lanes, the permutes put them back in order.
__attribute__((target("avx2"))) __m128i fillerBytesOf(__m256i a, __m256i b) {
    const __m256i lowByte = _mm256_set1_epi32(0xFF);
    const __m256i words = _mm256_permute4x64_epi64(
        _mm256_packus_epi32(_mm256_and_si256(_mm256_srli_epi32(a, 16), lowByte),
                            _mm256_and_si256(_mm256_srli_epi32(b, 16), lowByte)),
        0xD8);
    const __m256i bytes = _mm256_packus_epi16(words, words);
    return _mm256_castsi256_si128(_mm256_permute4x64_epi64(bytes, 0x08));
}

// Thirty-two interleaved chains, eight per vector, each jumping 32 draws per round.
__attribute__((target("avx2"))) size_t fillerBytesAvx2(uint32_t& state, uint8_t* dst, size_t n) {
    constexpr int kChains = 32;
    if (n < kChains) {
        return 0;
    }
    alignas(32) uint32_t first[kChains];
    uint32_t s = state;
    for (uint32_t& f : first) {
        s = s * kMul + kAdd;
        f = s;
    }
    __m256i chains[4];
    for (int v = 0; v < 4; ++v) {
        chains[v] = _mm256_load_si256(reinterpret_cast<const __m256i*>(first + 8 * v));
    }
    constexpr Jump jump = jumpOf(kChains);
    const __m256i mul = _mm256_set1_epi32(static_cast<int>(jump.mul));
    const __m256i add = _mm256_set1_epi32(static_cast<int>(jump.add));
    size_t i = 0;
    for (;;) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), fillerBytesOf(chains[0], chains[1]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i + 16),
                         fillerBytesOf(chains[2], chains[3]));
        i += kChains;
        if (i + kChains > n) {
            state = static_cast<uint32_t>(_mm256_extract_epi32(chains[3], 7));
            return i;
        }
        for (auto& c : chains) {
            c = _mm256_add_epi32(_mm256_mullo_epi32(c, mul), add);
        }
    }
}

const bool kHasAvx2 = __builtin_cpu_supports("avx2");
#endif

} // namespace

uint8_t nextFillerByte() {
    t_state = t_state * kMul + kAdd;
    return fillerOf(t_state);
}

void nextFillerBytes(uint8_t* dst, size_t n) {
    uint32_t s = t_state;
    size_t i = 0;
#if defined(__x86_64__)
    if (kHasAvx2) {
        i = fillerBytesAvx2(s, dst, n);
    }
#endif
    if (n - i >= 4) {
        constexpr Jump jump = jumpOf(4);
        uint32_t c0 = s * kMul + kAdd;
        uint32_t c1 = c0 * kMul + kAdd;
        uint32_t c2 = c1 * kMul + kAdd;
        uint32_t c3 = c2 * kMul + kAdd;
        for (;;) {
            dst[i] = fillerOf(c0);
            dst[i + 1] = fillerOf(c1);
            dst[i + 2] = fillerOf(c2);
            dst[i + 3] = fillerOf(c3);
            s = c3;
            i += 4;
            if (i + 4 > n) {
                break;
            }
            c0 = c0 * jump.mul + jump.add;
            c1 = c1 * jump.mul + jump.add;
            c2 = c2 * jump.mul + jump.add;
            c3 = c3 * jump.mul + jump.add;
        }
    }
    for (; i < n; ++i) {
        s = s * kMul + kAdd;
        dst[i] = fillerOf(s);
    }
    t_state = s;
}

} // namespace vokb
