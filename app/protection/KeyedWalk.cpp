#include "protection/KeyedWalk.h"

#include <algorithm>
#include <sodium.h>
#include <string_view>

namespace brindmar {

namespace {

// The 32-bit finaliser of MurmurHash3: every input bit reaches every output bit.
inline uint32_t mix(uint32_t v) {
    v ^= v >> 16;
    v *= 0x85ebca6bu;
    v ^= v >> 13;
    v *= 0xc2b2ae35u;
    v ^= v >> 16;
    return v;
}

// A keyed value in [0, modulus): the top of the product, which needs no division.
inline uint32_t below(uint32_t v, uint32_t key, uint32_t modulus) {
    return static_cast<uint32_t>((uint64_t{mix(v ^ key)} * modulus) >> 32);
}

// The 32-bit little-endian word after the round keys in the XChaCha20 keystream of key (all-zero
// nonce): keyed starts and places that a permutation of the same key leaves to the key's own.
uint32_t wordAfterRounds(const unsigned char* key32) {
    std::array<unsigned char, 4 * KeyedPermutation::kRounds + 4> stream{};
    static const unsigned char zeroNonce[crypto_stream_xchacha20_NONCEBYTES] = {};
    if (sodium_init() >= 0) {
        crypto_stream_xchacha20(stream.data(), stream.size(), zeroNonce, key32);
    }
    const size_t at = 4 * KeyedPermutation::kRounds;
    const uint32_t word = uint32_t{stream[at]} | uint32_t{stream[at + 1]} << 8 |
                          uint32_t{stream[at + 2]} << 16 | uint32_t{stream[at + 3]} << 24;
    sodium_memzero(stream.data(), stream.size());
    return word;
}

inline uint32_t addMod(uint32_t x, uint32_t y, uint32_t modulus) {
    const uint32_t sum = x + y; // both below modulus, which is far below 2^31
    return sum >= modulus ? sum - modulus : sum;
}

} // namespace

KeyedPermutation::KeyedPermutation(const unsigned char* key32, uint32_t n) : m_n(n) {
    while (uint64_t{m_a} * m_a < n) {
        ++m_a;
    }
    m_b = n == 0 ? 1 : (n + m_a - 1) / m_a;
    std::array<unsigned char, 4 * kRounds> stream{};
    static const unsigned char zeroNonce[crypto_stream_xchacha20_NONCEBYTES] = {};
    if (sodium_init() >= 0) {
        crypto_stream_xchacha20(stream.data(), stream.size(), zeroNonce, key32);
    }
    for (size_t r = 0; r < kRounds; ++r) {
        m_keys[r] = uint32_t{stream[4 * r]} | uint32_t{stream[4 * r + 1]} << 8 |
                    uint32_t{stream[4 * r + 2]} << 16 | uint32_t{stream[4 * r + 3]} << 24;
    }
    sodium_memzero(stream.data(), stream.size());
}

uint32_t KeyedPermutation::encipher(uint32_t a, uint32_t b) const {
    for (size_t r = 0; r < kRounds; r += 2) {
        a = addMod(a, below(b, m_keys[r], m_a), m_a);
        b = addMod(b, below(a, m_keys[r + 1], m_b), m_b);
    }
    return a + m_a * b;
}

uint32_t KeyedPermutation::operator()(uint32_t index) const {
    // The cycle through index always comes back into [0, n).
    uint32_t x = encipher(index % m_a, index / m_a);
    while (x >= m_n) {
        x = encipher(x % m_a, x / m_a);
    }
    return x;
}

namespace {

// BLAKE2b-256 of a label and the picture's size, as 32-bit little-endian words: keys anyone can
// compute, for what the reader needs before it has a key of its own.
std::array<unsigned char, 32> sizeKey(std::string_view label, uint32_t width, uint32_t height) {
    std::vector<unsigned char> input(label.begin(), label.end());
    for (const uint32_t word : {width, height}) {
        for (int i = 0; i < 4; ++i) {
            input.push_back(static_cast<unsigned char>(word >> (8 * i)));
        }
    }
    std::array<unsigned char, 32> key{};
    if (sodium_init() >= 0) {
        crypto_generichash(key.data(), key.size(), input.data(), input.size(), nullptr, 0);
    }
    return key;
}

} // namespace

std::array<unsigned char, 32> saltPositionKey(uint32_t width, uint32_t height) {
    return sizeKey("brindmar stealth salt", width, height);
}

std::vector<uint64_t> saltPositions(uint32_t width, uint32_t height, uint64_t count) {
    const uint64_t colourBytes = uint64_t{width} * height * 3;
    // The walk counts in 32 bits; a carrier's colour bytes fit a signed 32-bit count anyway.
    if (colourBytes < count || colourBytes > 0x7fffffffu) {
        return {};
    }
    const std::array<unsigned char, 32> key = saltPositionKey(width, height);
    const KeyedPermutation permutation(key.data(), static_cast<uint32_t>(colourBytes));
    std::vector<uint64_t> positions(static_cast<size_t>(count));
    for (size_t i = 0; i < positions.size(); ++i) {
        positions[i] = permutation(static_cast<uint32_t>(i));
    }
    return positions;
}

std::array<unsigned char, 32> publicPixelKey(uint32_t width, uint32_t height) {
    return sizeKey("brindmar stealth public pixels", width, height);
}

std::array<unsigned char, 32> publicCodeKey(uint32_t width, uint32_t height) {
    return sizeKey("brindmar stealth public code", width, height);
}

std::vector<uint32_t> publicPixels(uint32_t width, uint32_t height, uint64_t count) {
    const uint64_t n = uint64_t{width} * height;
    if (n < count || n > 0x7fffffffu || count == 0) {
        return {};
    }
    const std::array<unsigned char, 32> key = publicPixelKey(width, height);
    const uint32_t placeKey = wordAfterRounds(key.data());
    // One in each of count runs of consecutive pixels, at a keyed place in it: spread evenly
    // over the picture, and ascending with no sort.
    std::vector<uint32_t> ascending(static_cast<size_t>(count));
    for (uint64_t c = 0; c < count; ++c) {
        const uint64_t from = c * n / count;
        const auto run = static_cast<uint32_t>((c + 1) * n / count - from);
        ascending[c] = static_cast<uint32_t>(from) + below(static_cast<uint32_t>(c), placeKey, run);
    }
    std::vector<uint32_t> drawn(static_cast<size_t>(count));
    // Then dealt out among kSlices slices of consecutive ones, step j the next of slice
    // s(j mod kSlices), s the same key's permutation of the slices: the first count mod kSlices
    // it names take one more. Slices in picture order, or a remainder left to the end, would put
    // a clipped band's wet pixels side by side in the walk.
    const auto slices = static_cast<uint32_t>(KeyedWalk::kSlices);
    const KeyedPermutation order(key.data(), slices);
    std::vector<uint32_t> slice(slices);
    std::vector<uint64_t> start(slices + 1, 0);
    for (uint32_t i = 0; i < slices; ++i) {
        slice[i] = order(i);
        start[slice[i] + 1] = count / slices + (i < count % slices ? 1 : 0);
    }
    for (uint32_t k = 0; k < slices; ++k) {
        start[k + 1] += start[k];
    }
    for (uint64_t j = 0; j < count; ++j) {
        drawn[j] = ascending[start[slice[j % slices]] + j / slices];
    }
    return drawn;
}

KeyedWalk::KeyedWalk(const unsigned char* walkKey32, uint64_t colourBytes,
                     const std::vector<uint64_t>& saltPositions)
    : m_ranks(static_cast<uint32_t>(colourBytes - saltPositions.size())),
      m_sliceLength(m_ranks / kSlices), m_tail(walkKey32, m_ranks - m_sliceLength * kSlices),
      m_skips(saltPositions) {
    std::sort(m_skips.begin(), m_skips.end());
    for (size_t k = 0; k < m_skips.size(); ++k) {
        m_skips[k] -= k;
    }
    m_skipStart.resize(static_cast<size_t>((uint64_t{m_ranks} >> kSkipShift) + 1));
    for (size_t t = 0; t < m_skipStart.size(); ++t) {
        m_skipStart[t] = static_cast<uint32_t>(
            std::lower_bound(m_skips.begin(), m_skips.end(), uint64_t{t} << kSkipShift) -
            m_skips.begin());
    }
    if (m_sliceLength == 0) {
        return;
    }
    // The slices' starts take the keystream's word after the permutations' round keys.
    const uint32_t startKey = wordAfterRounds(walkKey32);
    const KeyedPermutation slices(walkKey32, kSlices);
    for (auto* table : {&m_sliceFirst, &m_sliceStart, &m_sliceSkipsFrom, &m_sliceSkipsTo}) {
        table->resize(kSlices);
    }
    for (uint32_t s = 0; s < kSlices; ++s) {
        const uint32_t slice = slices(s);
        const uint64_t first = uint64_t{slice} * m_sliceLength;
        m_sliceFirst[s] = static_cast<uint32_t>(first);
        m_sliceStart[s] = below(slice, startKey, m_sliceLength);
        const auto from = std::lower_bound(m_skips.begin(), m_skips.end(), first);
        const auto to = std::lower_bound(from, m_skips.end(), first + m_sliceLength);
        m_sliceSkipsFrom[s] = static_cast<uint32_t>(from - m_skips.begin());
        m_sliceSkipsTo[s] = static_cast<uint32_t>(to - m_skips.begin());
    }
}

uint32_t KeyedWalk::byteOfRank(uint32_t rank) const {
    size_t skipped = m_skipStart[rank >> kSkipShift];
    while (skipped < m_skips.size() && m_skips[skipped] <= rank) {
        ++skipped;
    }
    return rank + static_cast<uint32_t>(skipped);
}

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#endif
void KeyedWalk::bytesAt(uint64_t first, uint32_t count, uint32_t* out) const {
    const uint64_t sliced = uint64_t{m_sliceLength} * kSlices;
    const uint64_t end = first + count;
    uint64_t step = first;
    if (step < std::min(end, sliced)) {
        // Over the passes asked for, each slice moves on a few bytes: the salt positions it has
        // to step over are the same for all of them, but in the rare slice where one lies
        // among them (or where its keyed start wraps round), which is looked up step by step.
        const uint32_t length = m_sliceLength;
        const auto firstPass = static_cast<uint32_t>(step / kSlices);
        const auto lastPass = static_cast<uint32_t>((std::min(end, sliced) - 1) / kSlices);
        uint32_t over[kSlices];
        bool exact[kSlices];
        bool anyExact = false;
        for (uint32_t s = 0; s < kSlices; ++s) {
            const uint32_t low = m_sliceFirst[s] + addMod(firstPass, m_sliceStart[s], length);
            const uint32_t high = m_sliceFirst[s] + addMod(lastPass, m_sliceStart[s], length);
            uint32_t at = m_sliceSkipsFrom[s];
            while (at < m_sliceSkipsTo[s] && m_skips[at] <= low) {
                ++at;
            }
            over[s] = at;
            exact[s] = high < low || (at < m_sliceSkipsTo[s] && m_skips[at] <= high);
            anyExact = anyExact || exact[s];
        }
        // A run of steps one pass through the slices: the slices' tables read in order, no
        // branch, so that the compiler runs it many steps a vector.
        while (step < std::min(end, sliced)) {
            const auto pass = static_cast<uint32_t>(step / kSlices);
            const auto s0 = static_cast<uint32_t>(step % kSlices);
            const auto run = static_cast<uint32_t>(
                std::min<uint64_t>(kSlices - s0, std::min(end, sliced) - step));
            const uint32_t* __restrict firsts = m_sliceFirst.data() + s0;
            const uint32_t* __restrict starts = m_sliceStart.data() + s0;
            const uint32_t* __restrict skipped = over + s0;
            uint32_t* __restrict bytes = out + (step - first);
            for (uint32_t k = 0; k < run; ++k) {
                bytes[k] = firsts[k] + addMod(pass, starts[k], length) + skipped[k];
            }
            for (uint32_t k = 0; anyExact && k < run; ++k) {
                if (exact[s0 + k]) {
                    bytes[k] = byteOfRank(firsts[k] + addMod(pass, starts[k], length));
                }
            }
            step += run;
        }
    }
    for (; step < end; ++step) {
        out[step - first] = byteOfRank(
            static_cast<uint32_t>(sliced + m_tail(static_cast<uint32_t>(step - sliced))));
    }
}

uint64_t KeyedWalk::operator()(uint64_t step) const {
    uint32_t byte = 0;
    bytesAt(step, 1, &byte);
    return byte;
}

} // namespace brindmar
