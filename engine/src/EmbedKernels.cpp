#include "EmbedKernels.h"

#include "EmbedCore.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

// The vector kernels apply the correction table's rule to many colour bytes at once. With
// d = pair - (v & 3), the table keeps v's high six bits and puts the pair below them, then adds
// 4 where d = -3 and v is not 255, and subtracts 4 where d = 3 and v is not 0.

namespace vokb {
namespace {

size_t embedGroupsScalar(const uint8_t* carrier, uint8_t* out, const uint8_t* payload,
                         size_t groups) {
    const auto& table = kCorrection.out;
    for (size_t g = 0; g < groups; ++g) {
        const uint8_t p = payload[g];
        const uint8_t* v = carrier + 4 * g;
        uint8_t* o = out + 4 * g;
        o[0] = table[p & 3u][v[0]];
        o[1] = table[(p >> 2) & 3u][v[1]];
        o[2] = table[(p >> 4) & 3u][v[2]];
        o[3] = table[(p >> 6) & 3u][v[3]];
    }
    return groups;
}

#if defined(__x86_64__)

// Pairs of 16 payload bytes, replicated four times each and masked so that byte 4g + k keeps
// bits 2k..2k+1 of payload[g]; then moved down to bits 0-1. The 16-bit shifts pull bits of the
// neighbouring byte into bits 2-7 only, which the final mask drops.
__m128i pairsOf(__m128i replicated) {
    const __m128i masks = _mm_set1_epi32(static_cast<int>(0xC0300C03u));
    const __m128i t = _mm_and_si128(replicated, masks);
    const __m128i folded = _mm_or_si128(_mm_or_si128(t, _mm_srli_epi16(t, 2)),
                                        _mm_or_si128(_mm_srli_epi16(t, 4), _mm_srli_epi16(t, 6)));
    return _mm_and_si128(folded, _mm_set1_epi8(3));
}

__m128i correct(__m128i v, __m128i b) {
    const __m128i low = _mm_and_si128(v, _mm_set1_epi8(3));
    const __m128i d = _mm_sub_epi8(b, low);
    const __m128i four = _mm_set1_epi8(4);
    const __m128i up = _mm_andnot_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(-1)),
                                        _mm_cmpeq_epi8(d, _mm_set1_epi8(-3)));
    const __m128i down = _mm_andnot_si128(_mm_cmpeq_epi8(v, _mm_setzero_si128()),
                                          _mm_cmpeq_epi8(d, _mm_set1_epi8(3)));
    const __m128i n = _mm_or_si128(_mm_andnot_si128(_mm_set1_epi8(3), v), b);
    return _mm_sub_epi8(_mm_add_epi8(n, _mm_and_si128(up, four)), _mm_and_si128(down, four));
}

size_t embedGroupsSse2(const uint8_t* carrier, uint8_t* out, const uint8_t* payload,
                       size_t groups) {
    size_t g = 0;
    for (; g + 16 <= groups; g += 16) {
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(payload + g));
        const __m128i lo = _mm_unpacklo_epi8(p, p);
        const __m128i hi = _mm_unpackhi_epi8(p, p);
        const __m128i replicated[4] = {_mm_unpacklo_epi16(lo, lo), _mm_unpackhi_epi16(lo, lo),
                                       _mm_unpacklo_epi16(hi, hi), _mm_unpackhi_epi16(hi, hi)};
        for (int q = 0; q < 4; ++q) {
            const size_t at = 4 * g + 16 * static_cast<size_t>(q);
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(carrier + at));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at),
                             correct(v, pairsOf(replicated[q])));
        }
    }
    return g;
}

__attribute__((target("avx2"))) size_t embedGroupsAvx2(const uint8_t* carrier, uint8_t* out,
                                                       const uint8_t* payload, size_t groups) {
    // Each 128-bit lane takes four payload bytes and spreads each over four colour bytes.
    const __m256i spread = _mm256_setr_epi8(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, //
                                            4, 4, 4, 4, 5, 5, 5, 5, 6, 6, 6, 6, 7, 7, 7, 7);
    const __m256i masks = _mm256_set1_epi32(static_cast<int>(0xC0300C03u));
    const __m256i three = _mm256_set1_epi8(3);
    const __m256i four = _mm256_set1_epi8(4);
    size_t g = 0;
    for (; g + 8 <= groups; g += 8) {
        int64_t eight = 0;
        __builtin_memcpy(&eight, payload + g, sizeof eight);
        const __m256i t =
            _mm256_and_si256(_mm256_shuffle_epi8(_mm256_set1_epi64x(eight), spread), masks);
        const __m256i b = _mm256_and_si256(
            _mm256_or_si256(_mm256_or_si256(t, _mm256_srli_epi16(t, 2)),
                            _mm256_or_si256(_mm256_srli_epi16(t, 4), _mm256_srli_epi16(t, 6))),
            three);
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(carrier + 4 * g));
        const __m256i d = _mm256_sub_epi8(b, _mm256_and_si256(v, three));
        const __m256i up = _mm256_andnot_si256(_mm256_cmpeq_epi8(v, _mm256_set1_epi8(-1)),
                                               _mm256_cmpeq_epi8(d, _mm256_set1_epi8(-3)));
        const __m256i down = _mm256_andnot_si256(_mm256_cmpeq_epi8(v, _mm256_setzero_si256()),
                                                 _mm256_cmpeq_epi8(d, three));
        const __m256i n = _mm256_or_si256(_mm256_andnot_si256(three, v), b);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * g),
                            _mm256_sub_epi8(_mm256_add_epi8(n, _mm256_and_si256(up, four)),
                                            _mm256_and_si256(down, four)));
    }
    return g;
}

const bool kHasAvx2 = __builtin_cpu_supports("avx2");

#endif

} // namespace

bool kernelAvailable(Kernel kernel) {
#if defined(__x86_64__)
    return kernel != Kernel::Avx2 || kHasAvx2;
#else
    return kernel == Kernel::Scalar;
#endif
}

size_t embedGroupsWith(Kernel kernel, const uint8_t* carrier, uint8_t* out, const uint8_t* payload,
                       size_t groups) {
    switch (kernel) {
#if defined(__x86_64__)
    case Kernel::Avx2:
        return embedGroupsAvx2(carrier, out, payload, groups);
    case Kernel::Sse2:
        return embedGroupsSse2(carrier, out, payload, groups);
#endif
    default:
        return embedGroupsScalar(carrier, out, payload, groups);
    }
}

void embedGroups(const uint8_t* carrier, uint8_t* out, const uint8_t* payload, size_t groups) {
    size_t g = 0;
#if defined(__x86_64__)
    if (kHasAvx2) {
        g = embedGroupsAvx2(carrier, out, payload, groups);
    }
    g += embedGroupsSse2(carrier + 4 * g, out + 4 * g, payload + g, groups - g);
#endif
    embedGroupsScalar(carrier + 4 * g, out + 4 * g, payload + g, groups - g);
}

} // namespace vokb
