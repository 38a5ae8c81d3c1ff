#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace brindmar {

// A permutation of [0, n), n below 2^32, that can be evaluated at any index without a table, so
// that a walk over tens of millions of colour bytes needs neither their count in memory nor a
// pass over them before the first one is used. x is split as x = a + A * b with A the rounded-up
// square root of n and B = ceil(n / A); eight rounds alternately add a keyed function of b to a
// (mod A) and of a to b (mod B), and values at or past n walk the cycle on. Additions rather than
// bit fields keep A * B within A of n, so walking on is rare, and the rounds are plain 32-bit
// arithmetic that a compiler can run over many indices at once.
class KeyedPermutation {
public:
    static constexpr int kRounds = 8;

    // The round keys are the first 32 bytes of the XChaCha20 keystream of key (all-zero nonce),
    // eight 32-bit little-endian words.
    KeyedPermutation(const unsigned char* key32, uint32_t n);

    uint32_t size() const { return m_n; }
    uint32_t operator()(uint32_t index) const;
    uint32_t inverse(uint32_t value) const;
    // The values of count consecutive indices from first, into out.
    void forward(uint32_t first, uint32_t count, uint32_t* out) const;
    // The indices of count consecutive values from first, into out.
    void backward(uint32_t first, uint32_t count, uint32_t* out) const;

private:
    uint32_t encipher(uint32_t a, uint32_t b) const;
    uint32_t decipher(uint32_t x) const;

    uint32_t m_n;
    uint32_t m_a = 1;
    uint32_t m_b = 1;
    std::array<uint32_t, kRounds> m_keys{};
};

// Where the salt lies: chosen without any key, from the image's size alone, since the reader
// needs it before it can derive one.
inline constexpr size_t kSaltPositions = 480;

// The public key the salt positions are drawn with: BLAKE2b-256 of "brindmar stealth salt"
// followed by the width and the height as 32-bit little-endian words.
std::array<unsigned char, 32> saltPositionKey(uint32_t width, uint32_t height);

// The salt's colour bytes in the order they carry it; empty when the image has too few.
std::vector<uint64_t> saltPositions(uint32_t width, uint32_t height);

// The keyed walk over every colour byte except the salt's. The byte of rank r among those (in
// increasing order) is the walk's step permutation(r).
class KeyedWalk {
public:
    KeyedWalk(const unsigned char* walkKey32, uint64_t colourBytes,
              const std::vector<uint64_t>& saltPositions);

    uint64_t size() const { return m_permutation.size(); }
    // The colour byte at a step.
    uint64_t operator()(uint64_t step) const;
    // The colour bytes of count consecutive steps from first, into out: a stretch of the walk
    // at once, many steps a vector.
    void bytesAt(uint64_t first, uint32_t count, uint32_t* out) const;

    // visit(step, byte) for every byte the walk reaches, in the bytes' order: a pass over the
    // picture front to back rather than one jump per step.
    template <class Visit> void sweep(Visit&& visit) const {
        sweepBytes(0, m_permutation.size() + m_sorted.size(), visit);
    }

    // The same over the colour bytes [first, end) only, so that parts of a picture can be
    // swept at the same time.
    template <class Visit> void sweepBytes(uint64_t first, uint64_t end, Visit&& visit) const {
        constexpr uint32_t kBatch = 4096;
        uint32_t steps[kBatch];
        size_t nextSalt = static_cast<size_t>(
            std::lower_bound(m_sorted.begin(), m_sorted.end(), first) - m_sorted.begin());
        uint64_t byte = first;
        auto rank = static_cast<uint32_t>(first - nextSalt);
        while (rank < m_permutation.size() && byte < end) {
            const auto count = static_cast<uint32_t>(
                std::min<uint64_t>({kBatch, m_permutation.size() - rank, end - byte}));
            m_permutation.forward(rank, count, steps);
            for (uint32_t k = 0; k < count; ++k, ++byte) {
                while (nextSalt < m_sorted.size() && m_sorted[nextSalt] == byte) {
                    ++nextSalt;
                    ++byte;
                }
                if (byte >= end) {
                    return;
                }
                visit(steps[k], byte);
            }
            rank += count;
        }
    }

private:
    KeyedPermutation m_permutation;
    std::vector<uint64_t> m_sorted;
    // For the k-th salt position in ascending order, that position less k: the count of these
    // at or below a rank is the count of salt positions the rank's byte has to step over.
    std::vector<uint64_t> m_skips;
    // For ranks from t * 2^kSkipShift on, the count of skips below that: where to start looking,
    // a step or two from the end of the look rather than a search through all of them.
    static constexpr int kSkipShift = 14;
    std::vector<uint32_t> m_skipStart;
};

} // namespace brindmar
