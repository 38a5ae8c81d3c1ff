#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

namespace brindmar {

// A syndrome-trellis code: the message is the syndrome H x of the low bits x along the walk.
// The message is cut into segments of at most kSegmentBits bits, each with its own stretch of
// the walk and its own parity-check matrix, so that segments can be searched at the same time
// and the reader only ever adds up columns.
//
// Within a segment of b bits and width w, the matrix has b rows and b * w columns; column
// w * i + k (k below w) holds the submatrix's column k, an h-bit word, at rows i to i + h - 1, its
// bit r at row i + r; rows from b on are cut off. Message bit i of the segment is the XOR of the
// low bits of the segment's columns whose word has row i set.
inline constexpr int kTrellisHeight = 7;
inline constexpr uint32_t kTrellisStates = 1u << kTrellisHeight;
inline constexpr uint64_t kSegmentBits = 2048;

struct TrellisCode {
    uint32_t width = 0;             // columns per message bit
    std::vector<uint8_t> submatrix; // width words of kTrellisHeight bits

    uint64_t segments(uint64_t bits) const { return (bits + kSegmentBits - 1) / kSegmentBits; }
    uint64_t segmentBits(uint64_t bits, uint64_t segment) const {
        const uint64_t first = segment * kSegmentBits;
        return bits - first < kSegmentBits ? bits - first : kSegmentBits;
    }
};

// The submatrix's words are the first `width` bytes of the keystream given, each with its top
// bit (bit 7) cleared and bits 0 and h - 1 set, so that every column reaches its own row and the
// last one of its window.
TrellisCode trellisCode(uint32_t width, const unsigned char* keystream);

// The message carried by low bits (one byte each, 0 or 1) of bits * width columns, packed as
// messageBit reads it.
std::vector<unsigned char> trellisSyndrome(const TrellisCode& code, const uint8_t* lowBits,
                                           uint64_t bits);

// The same message read column by column in any order, so that a reader can go through the
// picture front to back and never hold the low bits in walk order: each column whose low bit is
// 1 adds its word at its rows. Readers that took different columns add up with merge, in any
// order (sums of bits modulo 2), so how the columns were shared out does not matter.
class TrellisReader {
public:
    TrellisReader(const TrellisCode& code, uint64_t bits);
    // Column (below bits * width, and below 2^32) has its low bit set.
    void addColumn(uint64_t column);
    void merge(const TrellisReader& other);
    std::vector<unsigned char> message() const;

private:
    uint32_t m_width;
    uint64_t m_bits;
    uint64_t m_inverse = 0;
    std::vector<uint8_t> m_submatrix;
    std::vector<uint64_t> m_words;
};

// The columns to flip, in increasing order, so that the low bits carry the message at the least
// total cost: a Viterbi search per segment, the segments shared among threads. The result does
// not depend on the number of threads. column[j] is the price of changing column j as the top
// half of a float (finite, its lower mantissa bits dropped), its sign bit the column's low bit:
// two bytes a column, so that a whole picture's columns fit in memory. ok is false when memory
// ran out.
inline uint16_t trellisColumn(float cost, bool lowBit) {
    uint32_t bits = 0;
    std::memcpy(&bits, &cost, sizeof bits);
    return static_cast<uint16_t>((bits >> 16 & 0x7fffu) | (lowBit ? 0x8000u : 0u));
}

struct TrellisFlips {
    bool ok = false;
    std::vector<uint64_t> columns;
};
TrellisFlips trellisEmbed(const TrellisCode& code, const uint16_t* column,
                          const unsigned char* message, uint64_t bits);

// The same with the columns asked for a segment at a time, so that no array of them all in
// walk order is needed: gather(first, count, out) puts columns [first, first + count) into out.
// It is called from several threads at once.
using TrellisGather = std::function<void(uint64_t first, size_t count, uint16_t* out)>;
TrellisFlips trellisEmbed(const TrellisCode& code, const TrellisGather& gather,
                          const unsigned char* message, uint64_t bits);

} // namespace brindmar
