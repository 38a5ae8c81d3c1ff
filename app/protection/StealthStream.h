#pragma once

#include "protection/KeyedWalk.h"
#include "protection/Trellis.h"

#include <QByteArray>
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

namespace brindmar {

// The sealed stream's carriage in version 4, which images of that version are still read by and
// tools still run (version 5's, on pixel sums, is StealthPixelStream.h, with the same passes and
// layers): ternary, by two layers of syndrome-trellis codes, in three passes whose changes lean
// towards the directions the earlier ones took around them.
//
// A change moves a colour byte by one, up or down. Going from x to x + 1 or x - 1 always flips
// the low bit; exactly one of the two also flips bit 1 (up from an odd x, down from an even one).
// So the second bit says which way a change went, and carries bits of its own: the first layer
// chooses, at the least cost, which bytes flip bit 1 (each then moves the one way that does);
// the second chooses among the bytes left which flip only the low bit (each moving the other
// way). Half the stream in each layer is what the ideal sender with equal costs either way
// would put there at low rates; at about half the changes of one layer carrying every bit.
//
// The stream's stretch of the walk is cut into three passes of consecutive steps, and the
// stream into three parts of consecutive bytes, one a pass; a part's first half (rounded up)
// goes to its pass's bit-1 layer, the rest to its low-bit layer. A pass is embedded after those
// before it: a byte next to one changed already (the pixel's other channels, the four nearest
// of its own channel) costs less by kStealthSyncFactor in the direction that change took, so
// that the channels of a pixel, and neighbours, tend to move together as a photograph's do.
// The reader needs none of this: it takes each layer's syndrome.
inline constexpr int kStreamPasses = 3;
// The most trellis columns per bit a layer takes; past it a column takes several colour bytes.
inline constexpr uint32_t kMostLayerWidth = 32;
inline constexpr float kStealthSyncFactor = 4.0f;
// Tools that measure the coupling's worth set it to 1 (no coupling); the image is read alike.
inline std::atomic<float> gStealthSyncFactor{kStealthSyncFactor};
// Whether a colour byte's cost adds the HILL cost of its channel's difference from the others
// (channelDifferences) to its own; tools that measure its worth turn it off.
inline std::atomic<bool> gStealthColourCosts{true};

// One layer of one pass: the bytes of the stream it carries and where, in walk steps.
struct StreamLayer {
    uint64_t from = 0;
    uint64_t steps = 0;
    uint64_t firstByte = 0; // of the stream
    uint64_t bytes = 0;
    int plane = 0;      // 1: the bit-1 layer, embedded first; 0: the low-bit layer
    uint32_t width = 0; // trellis columns per bit
    size_t codeSkip = 0;

    uint64_t bits() const { return bytes * 8; }
    uint64_t columns() const { return bits() * width; }
};

// The layers of a stream of `length` bytes over `steps` steps from `from`, in stream order.
// Each takes its code from its own stretch of the code key's keystream, kMostLayerWidth bytes
// apart.
std::vector<StreamLayer> streamLayers(uint64_t from, uint64_t steps, uint64_t length);

// A trellis code whose submatrix is bytes [skip, skip + width) of the XChaCha20 keystream of key
// (all-zero nonce), one byte a column.
TrellisCode keystreamCode(uint32_t width, const unsigned char* key32, size_t skip);

// Where the stream lies: steps [from, from + steps) of the keyed walk; the trellis codes come
// from the code subkey.
struct StreamStretch {
    const KeyedWalk* walk = nullptr;
    uint64_t from = 0;
    uint64_t steps = 0;
    const unsigned char* codeKey = nullptr; // 32 bytes
};

enum class StreamEnd { Done, TooLarge, NoMemory };

// Runs carry on each non-empty layer of a stream of `length` bytes over the stretch, in stream
// order, until one ends other than Done, and adds up the layers' columns; NoMemory when memory
// ran out on the way. Both versions' writers go through it.
StreamEnd carryLayers(const StreamStretch& stretch, uint64_t length, uint64_t& columns,
                      const std::function<StreamEnd(const StreamLayer&)>& carry);

// Whether a stream of this many bytes fits the stretch: every layer of every pass has at least
// `least` colour bytes a bit.
bool streamFits(uint64_t steps, uint64_t length, uint32_t least);

struct StreamChanges {
    StreamEnd end = StreamEnd::NoMemory;
    uint64_t changes = 0;
    uint64_t columns = 0; // the most changes: one a column
};

// Carries the sealed stream, changing colour in place. packed holds every colour byte's price
// (as trellisColumn has it; its bit is not read) with the wet ones and the salt's at kWetCost;
// the bytes changed are made wet in it, and the coupling lowers prices there for a while.
StreamChanges carryStream(unsigned char* colour, uint32_t width, uint32_t height, uint16_t* packed,
                          const StreamStretch& stretch, const QByteArray& sealed);

// The stream of `length` bytes as the picture carries it; empty when memory ran out.
QByteArray readStream(const unsigned char* colour, const StreamStretch& stretch, uint32_t length);

} // namespace brindmar
