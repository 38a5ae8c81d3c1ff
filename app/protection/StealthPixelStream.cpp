#include "protection/StealthPixelStream.h"

#include "protection/LargeBuffer.h"
#include "protection/Parallel.h"
#include "protection/StealthColumns.h"
#include "protection/StealthPrices.h"
#include "protection/WideTargets.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <vector>

namespace brindmar {

namespace {

constexpr uint64_t kShare = uint64_t{1} << 20;

// The way a move of S goes in a layer: the bit-1 layer's flip bit 1 (up from an odd sum, down
// from an even one), the low-bit layer's keep it.
int directionOf(unsigned sum, int plane) {
    return ((sum & 1u) != 0) == (plane == 1) ? 1 : -1;
}

// S mod 4 of each pixel, the two bits the reader takes.
BRINDMAR_WIDE void lowSums(const unsigned char* colour, uint8_t* out, uint64_t n) {
    for (uint64_t p = 0; p < n; ++p) {
        out[p] = static_cast<uint8_t>((colour[3 * p] + colour[3 * p + 1] + colour[3 * p + 2]) & 3u);
    }
}

template <class Sweep> bool sweepPixels(uint64_t pixels, const Sweep& sweep) {
    return forEachTask((pixels + kShare - 1) / kShare, [&](uint64_t t) {
        const uint64_t from = t * kShare;
        sweep(from, std::min(pixels, from + kShare) - from);
    });
}

ColumnGroups<KeyedWalk> groupsOf(const StreamStretch& stretch, const StreamLayer& layer) {
    return ColumnGroups<KeyedWalk>{stretch.walk, layer.from, layer.steps, layer.columns()};
}

// A pixel's move of its sum the way the layer's plane says: one channel that way, or all three
// the other; whether all three moved. Moved again in the same plane the pixel comes back, since
// a move turns the sum's parity and with it the way. The sum's low bits kept beside the way
// follow the move, so that the gather in walk order reads them there rather than three colour
// bytes a pixel.
bool move(unsigned char* bgr, uint8_t& kept, int plane) {
    const unsigned sum = pixelSum(bgr);
    const int d = directionOf(sum, plane);
    const uint8_t way = wayOf(kept);
    kept = withSum(way, sum + static_cast<unsigned>(d)); // S - 3d has the low bits of S + d
    if (way == kAllThree) {
        for (int c = 0; c < 3; ++c) {
            bgr[c] = static_cast<unsigned char>(bgr[c] - d);
        }
        return true;
    }
    bgr[way] = static_cast<unsigned char>(bgr[way] + d);
    return false;
}

// Each move is its own pixel, so the moves are shared among threads; each(p) makes pixel p's
// and says whether it moved all three channels, which three counts.
template <class Each>
bool forEachMove(const std::vector<uint32_t>& places, const Each& each,
                 std::atomic<uint64_t>& three) {
    constexpr size_t kMoves = size_t{1} << 14;
    const size_t all = places.size();
    return forEachTask((all + kMoves - 1) / kMoves, [&](uint64_t t) {
        const size_t end = std::min(all, static_cast<size_t>((t + 1) * kMoves));
        uint64_t triples = 0;
        for (auto k = static_cast<size_t>(t * kMoves); k < end; ++k) {
            triples += each(places[k]) ? 1 : 0;
        }
        three += triples;
    });
}

// Carries bits of message by code on bit `plane` of the sums of the groups' pixels.
template <class Walk>
StreamEnd carryOn(unsigned char* colour, uint16_t* packed, uint8_t* way,
                  const ColumnGroups<Walk>& groups, const TrellisCode& code, int plane,
                  const unsigned char* message, uint64_t bits, PixelStreamChanges& made) {
    const auto bitOf = [way, plane](uint32_t p) {
        aheadInSlice(way + p);
        return sumBitOf(way[p], plane);
    };
    // Each segment's moves are made as soon as its search is done, on its own thread: a pixel is
    // one column's alone, so no other segment gathers it. A wet channel is never moved: the
    // prices took only dry ones, all three dry for a move of three.
    std::atomic<uint64_t> triples{0};
    TrellisFlips flips =
        searchColumns(groups, packed, bitOf, code, message, bits, [&](const auto& places) {
            uint64_t three = 0;
            for (const uint32_t p : places) {
                packed[p] = trellisColumn(kWetCost, false);
                three += move(colour + 3 * size_t{p}, way[p], plane) ? 1 : 0;
            }
            triples += three;
        });
    if (!flips.ok) {
        return StreamEnd::NoMemory;
    }
    // Kept even when the layer did not carry its bits: a try that does not fit puts back every
    // move it made.
    const size_t all = flips.places.size();
    made.moves += all;
    made.triples += triples;
    made.bytes += all + 2 * triples;
    made.layers.push_back({plane, std::move(flips.places)});
    return flips.carried ? StreamEnd::Done : StreamEnd::TooLarge;
}

} // namespace

PixelStreamChanges carryPixelStream(unsigned char* colour, uint16_t* packed, uint8_t* way,
                                    const StreamStretch& stretch, const QByteArray& sealed) {
    PixelStreamChanges made;
    const auto* message = reinterpret_cast<const unsigned char*>(sealed.constData());
    made.end = carryLayers(
        stretch, static_cast<uint64_t>(sealed.size()), made.columns, [&](const StreamLayer& layer) {
            return carryOn(colour, packed, way, groupsOf(stretch, layer),
                           keystreamCode(layer.width, stretch.codeKey, layer.codeSkip), layer.plane,
                           message + layer.firstByte, layer.bits(), made);
        });
    return made;
}

StreamEnd carryListedPixels(unsigned char* colour, uint16_t* packed, uint8_t* way,
                            const std::vector<uint32_t>& pixels, const TrellisCode& code, int plane,
                            const unsigned char* message, uint64_t bits, PixelStreamChanges& made) {
    const ListedWalk walk{&pixels, packed, way};
    const ColumnGroups<ListedWalk> groups{&walk, 0, pixels.size(), bits * code.width};
    made.columns += groups.columns;
    return made.end = carryOn(colour, packed, way, groups, code, plane, message, bits, made);
}

std::vector<unsigned char> readListedPixels(const unsigned char* colour,
                                            const std::vector<uint32_t>& pixels,
                                            const TrellisCode& code, int plane, uint64_t bits) {
    std::vector<uint8_t> sums;
    try {
        sums.resize(pixels.size());
    } catch (const std::bad_alloc&) {
        return {};
    }
    // A few hundred thousand pixels at most: one thread will do, each pixel's line asked for a
    // few dozen pixels ahead, since each lies on a line of its own.
    constexpr size_t kAhead = 32;
    for (size_t k = 0; k < pixels.size(); ++k) {
        if (k + kAhead < pixels.size()) {
            __builtin_prefetch(colour + 3 * size_t{pixels[k + kAhead]});
        }
        sums[k] = static_cast<uint8_t>(pixelSum(colour + 3 * size_t{pixels[k]}) & 3u);
    }
    return readListed(sums, code, plane, bits);
}

bool takeBackPixelStream(unsigned char* colour, uint8_t* way, const PixelStreamChanges& made) {
    std::atomic<uint64_t> three{0};
    for (auto layer = made.layers.rbegin(); layer != made.layers.rend(); ++layer) {
        if (!forEachMove(
                layer->pixels,
                [&](uint32_t p) { return move(colour + 3 * size_t{p}, way[p], layer->plane); },
                three)) {
            return false;
        }
    }
    return true;
}

QByteArray readPixelStream(const unsigned char* colour, uint64_t pixels,
                           const StreamStretch& stretch, uint32_t length) {
    LargeBuffer<uint8_t> sums(static_cast<size_t>(pixels));
    if (sums.failed() || !sweepPixels(pixels, [&](uint64_t from, uint64_t n) {
            lowSums(colour + 3 * from, sums.data() + from, n);
        })) {
        return {};
    }
    // A pixel's sum mod 4 stands where version 4 has a colour byte: the same walk of steps,
    // the same layers and planes.
    return readStream(sums.data(), stretch, length);
}

} // namespace brindmar
