#pragma once

#include <array>
#include <atomic>
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

// The widest vector instructions the search may use: 512 bits (where the processor has them),
// 256, 128, or none. Tests lower it to show that every version makes the same changes.
inline std::atomic<int> gTrellisVectorBits{512};

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

// The same with the low bits asked for a segment at a time, the segments shared among threads:
// low(first, count, out) puts the low bits of columns [first, first + count) into out. It is
// called from several threads at once. Empty when memory ran out.
using TrellisLowBits = std::function<void(uint64_t first, size_t count, uint8_t* out)>;
std::vector<unsigned char> trellisRead(const TrellisCode& code, const TrellisLowBits& low,
                                       uint64_t bits);

// The columns to flip, in increasing order, so that the low bits carry the message at the least
// total cost: a Viterbi search per segment, the segments shared among threads. The result does
// not depend on the number of threads. column[j] is the price of changing column j as the top
// half of a float (finite and positive, its lower mantissa bits dropped), its sign bit the
// column's low bit: two bytes a column, so that a whole picture's columns fit in memory. ok is
// false when memory ran out.
// A column at kWetCost is never changed: the search takes no path through a change of it.
inline constexpr float kWetCost = __builtin_huge_valf();
inline uint16_t trellisColumn(float cost, bool lowBit) {
    uint32_t bits = 0;
    std::memcpy(&bits, &cost, sizeof bits);
    return static_cast<uint16_t>((bits >> 16 & 0x7fffu) | (lowBit ? 0x8000u : 0u));
}

// The search adds prices as small whole numbers, many states to a vector: the price times a
// power of two, rounded, and capped where a change is dearer than a hundred or so of the
// cheaper ones, which the search then takes as alike. The power of two is the one that puts
// the cheapest tenth of the columns given here (a sample of them will do) at 32 to 64.
float trellisScale(const uint16_t* columns, size_t count);

// The columns to flip, and for each the place its change goes, as the gather named it. carried
// is false when some segment's columns left too few dry ones to carry its bits: the flips then
// do not make the message.
struct TrellisFlips {
    bool ok = false;
    bool carried = true;
    std::vector<uint64_t> columns;
    std::vector<uint32_t> places;
};
TrellisFlips trellisEmbed(const TrellisCode& code, const uint16_t* column,
                          const unsigned char* message, uint64_t bits);

// The same with the columns asked for a segment at a time, so that no array of them all in
// walk order is needed: gather(first, count, out, place) puts columns [first, first + count)
// into out, and where each would be changed into place. It is called from several threads at
// once. scale is trellisScale's of the picture.
// settle, when given, makes each segment's changes as soon as its search is done: settle(places)
// with one segment's places, from several threads at once, while the others are gathered. The
// gather must then name each place once at most, so that no two segments change the same place
// and no change is made under a gather still reading it. Its flips' columns are not kept.
using TrellisGather =
    std::function<void(uint64_t first, size_t count, uint16_t* out, uint32_t* place)>;
using TrellisSettle = std::function<void(const std::vector<uint32_t>& places)>;
TrellisFlips trellisEmbed(const TrellisCode& code, const TrellisGather& gather,
                          const unsigned char* message, uint64_t bits, float scale,
                          const TrellisSettle& settle = {});

} // namespace brindmar
