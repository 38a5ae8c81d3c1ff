#pragma once

#include "protection/StealthStream.h"

#include <QByteArray>
#include <cstdint>
#include <vector>

namespace brindmar {

// The sealed stream's carriage from version 5 on: on the pixels' sums S = B + G + R, along a
// keyed walk of pixels, in the passes and layers of the version-4 stream (StealthStream.h) with
// bit 1 and bit 0 of S in place of a colour byte's.
//
// A move of S by one flips its low bit; of S + 1 and S - 1 exactly one also flips bit 1. So, as
// in version 4, the bit-1 layer chooses which pixels flip bit 1 and the low-bit layer, among the
// pixels left, which flip bit 0 alone. The writer makes each move by one channel that way, or by
// all three channels the other way (S - 3 has the low two bits of S + 1), whichever it prices
// lower (StealthPrices.h): a photograph's three channels move together, and a move of all three
// leaves their differences alone. The reader needs only the sums' syndromes.

struct PixelStreamChanges {
    StreamEnd end = StreamEnd::NoMemory;
    uint64_t moves = 0;   // pixels moved
    uint64_t triples = 0; // of them, by all three channels
    uint64_t bytes = 0;   // colour bytes changed
    uint64_t columns = 0; // the most moves: one a column
    // The pixels each layer moved, in order, to take the moves back.
    struct Moved {
        int plane = 0;
        std::vector<uint32_t> pixels;
    };
    std::vector<Moved> layers;
};

// Carries the sealed stream over the stretch of a walk of pixels, changing colour in place.
// packed holds every pixel's price (as trellisColumn has it; its bit is not read), wet ones at
// kWetCost, and way the way each pixel's move is made with its sum's low bits (pricePixels),
// which follow the moves; the pixels moved are made wet in packed.
PixelStreamChanges carryPixelStream(unsigned char* colour, uint16_t* packed, uint8_t* way,
                                    const StreamStretch& stretch, const QByteArray& sealed);

// One layer over listed pixels (from version 6 the public ones, which carry the salt and the
// stream's tail): bits of message by code on bit `plane` of their sums, their columns taking
// the pixels in the order listed, as carryPixelStream's layers do; the moves are added to made.
StreamEnd carryListedPixels(unsigned char* colour, uint16_t* packed, uint8_t* way,
                            const std::vector<uint32_t>& pixels, const TrellisCode& code, int plane,
                            const unsigned char* message, uint64_t bits, PixelStreamChanges& made);

// The bits such a layer carries; empty when memory ran out.
std::vector<unsigned char> readListedPixels(const unsigned char* colour,
                                            const std::vector<uint32_t>& pixels,
                                            const TrellisCode& code, int plane, uint64_t bits);

// Puts back every move made, last layer first, with the same ways: a stream that did not fit
// leaves the picture as it came, with no copy of it kept. False when a thread could not run.
bool takeBackPixelStream(unsigned char* colour, uint8_t* way, const PixelStreamChanges& made);

// The stream of `length` bytes as the pixels carry it; empty when memory ran out.
QByteArray readPixelStream(const unsigned char* colour, uint64_t pixels,
                           const StreamStretch& stretch, uint32_t length);

} // namespace brindmar
