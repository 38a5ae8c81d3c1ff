#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace brindmar {

// The direction of each ±1 change: the k-th change made takes bit k of the XChaCha20 keystream
// of the direction key (all-zero nonce; bit k is bit k % 8 of byte k / 8). A set bit adds one,
// a clear one takes one away; a byte at 0 can only go up and one at 255 only down. Either way
// the low bit flips, which is all a reader looks at.
class ChangeDirections {
public:
    explicit ChangeDirections(const unsigned char* key32);
    ~ChangeDirections();
    ChangeDirections(const ChangeDirections&) = delete;
    ChangeDirections& operator=(const ChangeDirections&) = delete;

    void change(unsigned char& byte);
    uint64_t made() const { return m_made; }

private:
    static constexpr size_t kBuffer = 4096; // a multiple of the cipher's 64-byte block
    void refill();

    unsigned char m_key[32];
    std::vector<unsigned char> m_bits = std::vector<unsigned char>(kBuffer);
    uint64_t m_made = 0;
};

// Bit j of a message is bit j % 8 of its byte j / 8.
inline int messageBit(const unsigned char* bytes, uint64_t j) {
    return (bytes[j >> 3] >> (j & 7)) & 1;
}

// Matrix embedding with the binary Hamming code of p check bits: each block of 2^p - 1 colour
// bytes, taken in walk order, carries p message bits as its syndrome, the XOR of the numbers
// (from 1) of the block's bytes whose low bit is set, its lowest bit being the block's first
// message bit. At most one byte of a block changes. Blocks follow each other along the walk
// from step first; bitCount bits take ceil(bitCount / p) blocks.
class HammingCoder {
public:
    explicit HammingCoder(int p) : m_p(p), m_blockLength((uint64_t{1} << p) - 1) {}

    int p() const { return m_p; }
    uint64_t blockLength() const { return m_blockLength; }
    uint64_t blocksFor(uint64_t bitCount) const { return (bitCount + m_p - 1) / m_p; }
    uint64_t stepsFor(uint64_t bitCount) const { return blocksFor(bitCount) * m_blockLength; }

    // Bits past bitCount in the last block are left as the picture has them, so they cost
    // no change. Returns the number of bytes changed.
    template <class Walk>
    uint64_t embed(unsigned char* colour, const Walk& walk, uint64_t first,
                   const unsigned char* bits, uint64_t bitCount, ChangeDirections& directions) {
        uint64_t changed = 0;
        const uint64_t blocks = blocksFor(bitCount);
        for (uint64_t b = 0; b < blocks; ++b) {
            const uint64_t syndrome = readBlock(colour, walk, first + b * m_blockLength);
            uint64_t wanted = 0;
            for (int t = 0; t < m_p; ++t) {
                const uint64_t j = b * static_cast<uint64_t>(m_p) + static_cast<uint64_t>(t);
                const uint64_t bit =
                    j < bitCount ? static_cast<uint64_t>(messageBit(bits, j)) : (syndrome >> t) & 1;
                wanted |= bit << t;
            }
            const uint64_t flip = syndrome ^ wanted;
            if (flip != 0) {
                directions.change(colour[m_positions[flip - 1]]);
                ++changed;
            }
        }
        return changed;
    }

    // The bitCount bits the blocks from step first carry, packed as messageBit reads them.
    template <class Walk>
    std::vector<unsigned char> extract(const unsigned char* colour, const Walk& walk,
                                       uint64_t first, uint64_t bitCount) {
        std::vector<unsigned char> bits(static_cast<size_t>((bitCount + 7) / 8));
        const uint64_t blocks = blocksFor(bitCount);
        for (uint64_t b = 0; b < blocks; ++b) {
            putBits(bits, bitCount, b, readBlock(colour, walk, first + b * m_blockLength));
        }
        return bits;
    }

private:
    void putBits(std::vector<unsigned char>& bits, uint64_t bitCount, uint64_t block,
                 uint64_t syndrome) const {
        for (int t = 0; t < m_p; ++t) {
            const uint64_t j = block * static_cast<uint64_t>(m_p) + static_cast<uint64_t>(t);
            if (j < bitCount && ((syndrome >> t) & 1) != 0) {
                bits[static_cast<size_t>(j >> 3)] |= static_cast<unsigned char>(1u << (j & 7));
            }
        }
    }

    // The walk's positions are worked out first and the bytes read after, so that the reads,
    // scattered over the whole picture, can be in flight together.
    template <class Walk>
    uint64_t readBlock(const unsigned char* colour, const Walk& walk, uint64_t start) {
        m_positions.resize(static_cast<size_t>(m_blockLength));
        for (uint64_t i = 0; i < m_blockLength; ++i) {
            m_positions[static_cast<size_t>(i)] = walk(start + i);
        }
        uint64_t syndrome = 0;
        for (uint64_t i = 0; i < m_blockLength; ++i) {
            syndrome ^=
                (i + 1) & (uint64_t{0} - (colour[m_positions[static_cast<size_t>(i)]] & 1u));
        }
        return syndrome;
    }

    int m_p;
    uint64_t m_blockLength;
    std::vector<uint64_t> m_positions;
};

} // namespace brindmar
