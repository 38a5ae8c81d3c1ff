#pragma once

#include "protection/Trellis.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace brindmar {

// A walk through colour bytes listed in full, in the order they are listed.
// A list spread over a whole picture has each place on a line of its own, too far from the last
// for aheadInSlice to reach: where the arrays a gather reads are named, each batch's lines of
// them are asked for as the batch is listed, all at once, so that their fetches overlap rather
// than each wait for the one before.
struct ListedWalk {
    const std::vector<uint32_t>* bytes;
    const uint16_t* prices = nullptr;
    const uint8_t* bits = nullptr;
    void bytesAt(uint64_t first, uint32_t count, uint32_t* out) const {
        std::copy_n(bytes->data() + first, count, out);
        for (uint32_t k = 0; prices != nullptr && k < count; ++k) {
            __builtin_prefetch(prices + out[k], 0, 2);
            __builtin_prefetch(bits + out[k], 0, 2);
        }
    }
};

// The walk 0, 1, 2, ...: places by their rank in a list kept beside it (whose prices and bits
// are looked up by rank too).
struct CountingWalk {
    void bytesAt(uint64_t first, uint32_t count, uint32_t* out) const {
        for (uint32_t k = 0; k < count; ++k) {
            out[k] = static_cast<uint32_t>(first + k);
        }
    }
};

// A stretch of a walk shared out among a trellis code's columns as evenly as whole steps allow:
// column k takes steps from + [start(k), start(k + 1)), start(k) = floor(k * steps / columns).
// Every step belongs to a column, so the whole stretch carries the bits whatever their number,
// and a column's bit is the XOR of its bytes' low bits. Walk has bytesAt(first, count, out).
template <class Walk> struct ColumnGroups {
    const Walk* walk;
    uint64_t from;
    uint64_t steps;
    uint64_t columns;

    uint64_t start(uint64_t column) const { return column * steps / columns; }

    // For the columns [first, first + count) in turn: byte(b) for each of its colour bytes in
    // walk order, then end(c), c counted from first. The columns' bounds are carried along
    // rather than each divided out.
    template <class Byte, class End>
    void bytesOf(uint64_t first, uint64_t count, Byte&& byte, End&& end) const {
        constexpr uint32_t kBatch = 4096;
        thread_local std::vector<uint32_t> bytes(kBatch);
        // Plain copies: the callers' stores could otherwise be taken to change them.
        const uint64_t all = columns;
        const uint64_t less = steps / all;
        const uint64_t more = steps % all;
        const uint64_t begin = start(first);
        const uint64_t last = start(first + count);
        uint64_t carry = first * more % all;
        uint64_t c = 0;
        uint64_t next = begin;
        uint32_t* batch = bytes.data();
        for (uint64_t step = begin; step < last;) {
            const auto n = static_cast<uint32_t>(std::min<uint64_t>(kBatch, last - step));
            walk->bytesAt(from + step, n, batch);
            for (uint32_t k = 0; k < n; ++k, ++step) {
                if (step == next) { // every column has a byte at least
                    if (step != begin) {
                        end(c++);
                    }
                    next += less + (carry + more >= all ? 1 : 0);
                    carry = carry + more >= all ? carry + more - all : carry + more;
                }
                byte(batch[k]);
            }
        }
        if (count != 0) {
            end(c);
        }
    }

    // Columns of one or two colour bytes: where the stream takes more than a thirty-second of
    // the picture, as at all but the lowest rates. one(c, byte) or two(c, first, second) for
    // each column in turn, with no test per byte.
    bool singlesOrPairs() const { return steps / columns == 1; }
    template <class One, class Two>
    void singlesOf(uint64_t first, uint64_t count, One&& one, Two&& two) const {
        constexpr uint32_t kBatch = 4096;
        thread_local std::vector<uint32_t> bytes(kBatch);
        const uint64_t all = columns;
        const uint64_t more = steps % all;
        const uint64_t last = start(first + count);
        uint64_t step = start(first); // batch[at]'s
        uint64_t carry = first * more % all;
        uint32_t* batch = bytes.data();
        uint32_t filled = 0;
        uint32_t at = 0;
        for (uint64_t c = 0; c < count; ++c) {
            const bool pair = carry + more >= all;
            carry = pair ? carry + more - all : carry + more;
            if (at + 2 > filled) { // the byte left, if any, then the next stretch
                const uint32_t kept = filled - at;
                if (kept != 0) {
                    batch[0] = batch[at];
                }
                const auto n =
                    static_cast<uint32_t>(std::min<uint64_t>(kBatch - kept, last - step - kept));
                walk->bytesAt(from + step + kept, n, batch + kept);
                filled = kept + n;
                at = 0;
            }
            if (pair) {
                two(c, batch[at], batch[at + 1]);
                at += 2;
                step += 2;
            } else {
                one(c, batch[at]);
                at += 1;
                step += 1;
            }
        }
    }
};

// The walk comes back to a slice's next bytes a pass later, one slice among hundreds: too many
// streams for the processor to foresee, and too few misses among the steps for it to overlap,
// so each slice's next line is asked for now: one ahead, since 256 slices' lines and those
// ahead of them must fit in the nearest cache together. Prefetching never faults.
template <class T> inline void aheadInSlice(const T* at) {
    __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(at) + 64));
}

// A column's price is its cheapest byte's, and its bit the XOR of its bytes' bits as bitOf(byte)
// gives them (0 or 0x8000); a change of it goes to that cheapest byte (the first of equals).
template <class Walk, class BitOf>
void gatherColumns(const ColumnGroups<Walk>& groups, const uint16_t* packed, const BitOf& bitOf,
                   uint64_t first, size_t count, uint16_t* out, uint32_t* place) {
    if (groups.singlesOrPairs()) {
        groups.singlesOf(
            first, count,
            [&](uint64_t c, uint32_t byte) {
                aheadInSlice(packed + byte);
                out[c] = static_cast<uint16_t>((packed[byte] & 0x7fffu) | bitOf(byte));
                place[c] = byte;
            },
            [&](uint64_t c, uint32_t one, uint32_t two) {
                aheadInSlice(packed + one);
                aheadInSlice(packed + two);
                const uint16_t a = packed[one] & 0x7fffu;
                const uint16_t b = packed[two] & 0x7fffu;
                const bool second = b < a;
                out[c] = static_cast<uint16_t>((bitOf(one) ^ bitOf(two)) | (second ? b : a));
                place[c] = second ? two : one;
            });
        return;
    }
    constexpr uint16_t kNone = 0x7fff; // dearer than any price, bit 0
    uint16_t column = kNone;
    uint32_t cheapest = 0;
    groups.bytesOf(
        first, count,
        [&](uint32_t byte) {
            aheadInSlice(packed + byte);
            const auto cost = static_cast<uint16_t>(packed[byte] & 0x7fffu);
            cheapest = cost < (column & 0x7fffu) ? byte : cheapest;
            column = static_cast<uint16_t>(((column & 0x8000u) ^ bitOf(byte)) |
                                           std::min<uint16_t>(column & 0x7fffu, cost));
        },
        [&](uint64_t c) {
            out[c] = column;
            place[c] = cheapest;
            column = kNone;
        });
}

// The columns' prices alone, their bits left 0, for a sample of them.
inline uint16_t noBit(uint32_t /*byte*/) {
    return 0;
}

// The search's prices are scaled by what the columns cost, read off 64 stretches spread along
// them: prices of groups of several bytes are their cheapest byte's, lower than a byte's. Where
// the columns are fewer than the stretches would take, each is read once: a code of few bits
// over many steps has columns of hundreds of steps each.
template <class Walk> float columnScale(const ColumnGroups<Walk>& groups, const uint16_t* packed) {
    constexpr uint64_t kStretches = 64;
    constexpr uint64_t kStretch = 1024;
    std::vector<uint16_t> sample;
    for (uint64_t t = 0; t < kStretches; ++t) {
        const uint64_t first = groups.columns * t / kStretches;
        const uint64_t next = groups.columns * (t + 1) / kStretches;
        const auto count = static_cast<size_t>(std::min(kStretch, next - first));
        const size_t at = sample.size();
        sample.resize(at + count);
        thread_local std::vector<uint32_t> places;
        places.resize(count);
        gatherColumns(groups, packed, noBit, first, count, sample.data() + at, places.data());
    }
    return trellisScale(sample.data(), sample.size());
}

// The least-cost changes that make the columns of a stretch carry bits by code: the columns
// gathered as gatherColumns gathers them, the prices scaled by a sample of the same columns.
// settle, when given, makes the changes a segment at a time as trellisEmbed's does.
template <class Walk, class BitOf>
TrellisFlips searchColumns(const ColumnGroups<Walk>& groups, const uint16_t* packed,
                           const BitOf& bitOf, const TrellisCode& code,
                           const unsigned char* message, uint64_t bits,
                           const TrellisSettle& settle = {}) {
    return trellisEmbed(
        code,
        [&](uint64_t first, size_t count, uint16_t* out, uint32_t* place) {
            gatherColumns(groups, packed, bitOf, first, count, out, place);
        },
        message, bits, columnScale(groups, packed), settle);
}

// The bits of columns [first, first + count), one a byte, as a reader takes them: bit `plane`
// of each colour byte (0 the low bit), XORed over the column's bytes.
template <class Walk>
void readColumns(const ColumnGroups<Walk>& groups, const unsigned char* colour, int plane,
                 uint64_t first, size_t count, uint8_t* out) {
    if (groups.singlesOrPairs()) {
        // Taken by value: stores of bytes could otherwise be taken to change them.
        const unsigned char* const picture = colour;
        groups.singlesOf(
            first, count,
            [picture, out, plane](uint64_t c, uint32_t byte) {
                aheadInSlice(picture + byte);
                out[c] = static_cast<uint8_t>((picture[byte] >> plane) & 1);
            },
            [picture, out, plane](uint64_t c, uint32_t one, uint32_t two) {
                aheadInSlice(picture + one);
                aheadInSlice(picture + two);
                out[c] = static_cast<uint8_t>(((picture[one] ^ picture[two]) >> plane) & 1);
            });
        return;
    }
    uint8_t low = 0;
    groups.bytesOf(
        first, count,
        [&](uint32_t byte) {
            aheadInSlice(colour + byte);
            low = static_cast<uint8_t>(low ^ ((colour[byte] >> plane) & 1));
        },
        [&](uint64_t c) {
            out[c] = low;
            low = 0;
        });
}

// The bits a code carries on bit `plane` of the groups' bytes, as a reader takes them; empty
// when memory ran out.
template <class Walk>
std::vector<unsigned char> readBits(const ColumnGroups<Walk>& groups, const unsigned char* colour,
                                    int plane, const TrellisCode& code, uint64_t bits) {
    return trellisRead(
        code,
        [&](uint64_t first, size_t count, uint8_t* out) {
            readColumns(groups, colour, plane, first, count, out);
        },
        bits);
}

// The same over values listed in the order the columns take them, one a place.
inline std::vector<unsigned char> readListed(const std::vector<uint8_t>& values,
                                             const TrellisCode& code, int plane, uint64_t bits) {
    const CountingWalk ranks;
    return readBits(ColumnGroups<CountingWalk>{&ranks, 0, values.size(), bits * code.width},
                    values.data(), plane, code, bits);
}

} // namespace brindmar
