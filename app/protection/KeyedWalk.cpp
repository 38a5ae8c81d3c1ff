#include "protection/KeyedWalk.h"

#include <algorithm>
#include <sodium.h>

namespace brindmar {

namespace {

// The 64-bit finaliser of MurmurHash3: every input bit reaches every output bit.
uint64_t mix(uint64_t v) {
    v ^= v >> 33;
    v *= 0xff51afd7ed558ccdULL;
    v ^= v >> 33;
    v *= 0xc4ceb9fe1a85ec53ULL;
    v ^= v >> 33;
    return v;
}

int bitsFor(uint64_t n) {
    int k = 2;
    while (k < 64 && (uint64_t{1} << k) < n) {
        ++k;
    }
    return k;
}

} // namespace

KeyedPermutation::KeyedPermutation(const unsigned char* key32, uint64_t n) : m_n(n) {
    const int k = bitsFor(n);
    m_hiBits = k / 2;
    m_loBits = k - m_hiBits;
    std::array<unsigned char, 8 * kRounds> stream{};
    static const unsigned char zeroNonce[crypto_stream_xchacha20_NONCEBYTES] = {};
    if (sodium_init() >= 0) {
        crypto_stream_xchacha20(stream.data(), stream.size(), zeroNonce, key32);
    }
    for (int r = 0; r < kRounds; ++r) {
        uint64_t word = 0;
        for (int i = 7; i >= 0; --i) {
            word = (word << 8) | stream[static_cast<size_t>(8 * r + i)];
        }
        m_keys[static_cast<size_t>(r)] = word;
    }
    sodium_memzero(stream.data(), stream.size());
}

uint64_t KeyedPermutation::encipher(uint64_t x) const {
    const uint64_t loMask = (uint64_t{1} << m_loBits) - 1;
    const uint64_t hiMask = (uint64_t{1} << m_hiBits) - 1;
    for (uint64_t key : m_keys) {
        const uint64_t lo = x & loMask;
        const uint64_t hi = (x >> m_loBits) ^ (mix(lo ^ key) & hiMask);
        x = (lo << m_hiBits) | hi;
    }
    return x;
}

uint64_t KeyedPermutation::operator()(uint64_t index) const {
    // The domain is under twice n, so fewer than two rounds of walking are needed on average;
    // the cycle through index always comes back into [0, n).
    uint64_t x = encipher(index);
    while (x >= m_n) {
        x = encipher(x);
    }
    return x;
}

std::array<unsigned char, 32> saltPositionKey(uint32_t width, uint32_t height) {
    static const char label[] = "brindmar stealth salt";
    std::array<unsigned char, sizeof label - 1 + 8> input{};
    std::copy_n(label, sizeof label - 1, input.begin());
    for (int i = 0; i < 4; ++i) {
        input[sizeof label - 1 + static_cast<size_t>(i)] =
            static_cast<unsigned char>(width >> (8 * i));
        input[sizeof label + 3 + static_cast<size_t>(i)] =
            static_cast<unsigned char>(height >> (8 * i));
    }
    std::array<unsigned char, 32> key{};
    if (sodium_init() >= 0) {
        crypto_generichash(key.data(), key.size(), input.data(), input.size(), nullptr, 0);
    }
    return key;
}

std::vector<uint64_t> saltPositions(uint32_t width, uint32_t height) {
    const uint64_t colourBytes = uint64_t{width} * height * 3;
    if (colourBytes < kSaltPositions) {
        return {};
    }
    const std::array<unsigned char, 32> key = saltPositionKey(width, height);
    const KeyedPermutation permutation(key.data(), colourBytes);
    std::vector<uint64_t> positions(kSaltPositions);
    for (size_t i = 0; i < kSaltPositions; ++i) {
        positions[i] = permutation(i);
    }
    return positions;
}

KeyedWalk::KeyedWalk(const unsigned char* walkKey32, uint64_t colourBytes,
                     const std::vector<uint64_t>& saltPositions)
    : m_permutation(walkKey32, colourBytes - saltPositions.size()), m_skips(saltPositions) {
    std::sort(m_skips.begin(), m_skips.end());
    for (size_t k = 0; k < m_skips.size(); ++k) {
        m_skips[k] -= k;
    }
}

uint64_t KeyedWalk::operator()(uint64_t step) const {
    const uint64_t rank = m_permutation(step);
    const auto skipped = std::upper_bound(m_skips.begin(), m_skips.end(), rank) - m_skips.begin();
    return rank + static_cast<uint64_t>(skipped);
}

} // namespace brindmar
