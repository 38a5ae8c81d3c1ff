#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <sodium.h>
#include <vector>

namespace brindmar {

// A permutation of [0, n), n below 2^32, that can be evaluated at any index without a table. x is
// split as x = a + A * b with A the rounded-up square root of n and B = ceil(n / A); eight rounds
// alternately add a keyed function of b to a (mod A) and of a to b (mod B), and values at or past
// n walk the cycle on. Additions rather than bit fields keep A * B within A of n, so walking on is
// rare.
class KeyedPermutation {
public:
    static constexpr int kRounds = 8;

    // The round keys are the first 32 bytes of the XChaCha20 keystream of key (all-zero nonce),
    // eight 32-bit little-endian words.
    KeyedPermutation(const unsigned char* key32, uint32_t n);
    // The round keys are as secret as the key they come from.
    ~KeyedPermutation() { sodium_memzero(m_keys.data(), sizeof m_keys); }
    KeyedPermutation(const KeyedPermutation&) = default;
    KeyedPermutation& operator=(const KeyedPermutation&) = default;

    uint32_t size() const { return m_n; }
    uint32_t operator()(uint32_t index) const;

private:
    uint32_t encipher(uint32_t a, uint32_t b) const;

    uint32_t m_n;
    uint32_t m_a = 1;
    uint32_t m_b = 1;
    std::array<uint32_t, kRounds> m_keys{};
};

// Where the salt lies: chosen without any key, from the image's size alone, since the reader
// needs it before it can derive one.
// The public key the salt positions are drawn with: BLAKE2b-256 of "brindmar stealth salt"
// followed by the width and the height as 32-bit little-endian words.
std::array<unsigned char, 32> saltPositionKey(uint32_t width, uint32_t height);

// The first count colour bytes of the permutation under that key: the salt's up to version 5,
// in the order they carry it. Empty when the image has fewer than count of them.
std::vector<uint64_t> saltPositions(uint32_t width, uint32_t height, uint64_t count);

// From version 6 the salt rides on pixels, chosen as publicly, under the key BLAKE2b-256 of
// "brindmar stealth public pixels" with the width and the height as above: one in each of count
// runs of consecutive pixels (run c from floor(c * n / count) on, n the pixels), at a place in it
// keyed by bytes 32 to 35 of the key's XChaCha20 keystream as KeyedPermutation keys its rounds.
// They carry it in ascending order dealt out among KeyedWalk's slices as its walk deals out
// steps: with s the permutation of [0, kSlices) under the same key, step j is the next of slice
// s(j mod kSlices); the slices are runs of consecutive ones of count / kSlices each, one more for
// the first count mod kSlices that s names. Consecutive steps thus lie all over the picture, so
// that a clipped band's wet pixels do not sit side by side in the code, while each slice is read
// front to back. The code over
// them is the keystream of BLAKE2b-256 of "brindmar stealth public code" and the same words.
// Empty when the image has fewer than count pixels.
std::array<unsigned char, 32> publicPixelKey(uint32_t width, uint32_t height);
std::array<unsigned char, 32> publicCodeKey(uint32_t width, uint32_t height);
std::vector<uint32_t> publicPixels(uint32_t width, uint32_t height, uint64_t count);

// The keyed walk over every colour byte except those left out (stealth leaves none out now), as
// ranks: the r-th of those bytes in
// increasing order is rank r. The ranks are cut into kSlices slices of equal length, the few left
// over forming a tail. Consecutive steps go to kSlices different slices in keyed order, and each
// slice is walked front to back from a keyed start: a stretch of the walk lands all over the
// picture, yet touches each slice only a byte or so further on than the stretch before it, so
// that a pass along the walk reads the picture from the processor's nearest cache rather than
// one memory fetch a step. kSlices is also more than the columns the trellis code takes together
// (7 rows of 32), so that those never come from one slice twice. The tail comes last, in the
// order of a keyed permutation.
class KeyedWalk {
public:
    static constexpr uint32_t kSlices = 256;

    KeyedWalk(const unsigned char* walkKey32, uint64_t colourBytes,
              const std::vector<uint64_t>& saltPositions);
    // The slices' keyed order and starts give the walk away to whoever reads freed memory.
    ~KeyedWalk() {
        sodium_memzero(m_sliceFirst.data(), m_sliceFirst.size() * sizeof(uint32_t));
        sodium_memzero(m_sliceStart.data(), m_sliceStart.size() * sizeof(uint32_t));
    }
    KeyedWalk(const KeyedWalk&) = default;
    KeyedWalk(KeyedWalk&&) = default;
    KeyedWalk& operator=(const KeyedWalk&) = default;
    KeyedWalk& operator=(KeyedWalk&&) = default;

    uint64_t size() const { return m_ranks; }
    // The colour byte at a step.
    uint64_t operator()(uint64_t step) const;
    // The colour bytes of count consecutive steps from first, into out.
    void bytesAt(uint64_t first, uint32_t count, uint32_t* out) const;

private:
    // The byte of a rank: the rank plus the salt positions at or below it, looked up.
    uint32_t byteOfRank(uint32_t rank) const;

    uint32_t m_ranks;
    uint32_t m_sliceLength;
    // By the step's place among kSlices consecutive steps: the first rank of its slice, the
    // slice's keyed start, and the salt skips (below) that lie before the slice and within it.
    std::vector<uint32_t> m_sliceFirst;
    std::vector<uint32_t> m_sliceStart;
    std::vector<uint32_t> m_sliceSkipsFrom;
    std::vector<uint32_t> m_sliceSkipsTo;
    KeyedPermutation m_tail;
    // For the k-th salt position in ascending order, that position less k: the count of these
    // at or below a rank is the count of salt positions the rank's byte has to step over.
    std::vector<uint64_t> m_skips;
    // For ranks from t * 2^kSkipShift on, the count of skips below that: where to start looking,
    // a step or two from the end of the look rather than a search through all of them.
    static constexpr int kSkipShift = 14;
    std::vector<uint32_t> m_skipStart;
};

} // namespace brindmar
