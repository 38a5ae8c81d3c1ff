#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace brindmar {

// A permutation of [0, n) that can be evaluated at any index without a table, so that a walk
// over tens of millions of colour bytes needs neither their count in memory nor a pass that
// touches them all before the first one is used. Eight rounds of a Feistel network on the
// smallest k-bit domain (k >= 2) holding n, with cycle walking back into [0, n).
class KeyedPermutation {
public:
    static constexpr int kRounds = 8;

    // The round keys are the first 64 bytes of the XChaCha20 keystream of key (all-zero nonce),
    // eight 64-bit little-endian words.
    KeyedPermutation(const unsigned char* key32, uint64_t n);

    uint64_t size() const { return m_n; }
    uint64_t operator()(uint64_t index) const;

private:
    uint64_t encipher(uint64_t x) const;

    uint64_t m_n;
    int m_loBits = 1;
    int m_hiBits = 1;
    std::array<uint64_t, kRounds> m_keys{};
};

// Where the salt lies: chosen without any key, from the image's size alone, since the reader
// needs it before it can derive one.
inline constexpr size_t kSaltPositions = 480;

// The public key the salt positions are drawn with: BLAKE2b-256 of "brindmar stealth salt"
// followed by the width and the height as 32-bit little-endian words.
std::array<unsigned char, 32> saltPositionKey(uint32_t width, uint32_t height);

// The salt's colour bytes in the order they carry it; empty when the image has too few.
std::vector<uint64_t> saltPositions(uint32_t width, uint32_t height);

// The keyed walk: every colour byte except the salt's, in the order the walk key gives.
class KeyedWalk {
public:
    KeyedWalk(const unsigned char* walkKey32, uint64_t colourBytes,
              const std::vector<uint64_t>& saltPositions);

    uint64_t size() const { return m_permutation.size(); }
    uint64_t operator()(uint64_t step) const;

private:
    KeyedPermutation m_permutation;
    // For the k-th salt position in ascending order, that position less k: the count of these
    // at or below a rank is the count of salt positions the rank's byte has to step over.
    std::vector<uint64_t> m_skips;
};

} // namespace brindmar
