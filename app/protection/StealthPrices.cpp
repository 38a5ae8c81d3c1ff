#include "protection/StealthPrices.h"

#include "protection/HillCost.h"
#include "protection/Parallel.h"
#include "protection/StealthStream.h"
#include "protection/StealthWet.h"
#include "protection/Trellis.h"
#include "protection/WideTargets.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>
#include <numeric>

namespace brindmar {

namespace {

// The picture is swept in strips of rows, each on its own, so that cores can share the work.
constexpr uint32_t kStripRows = 128;

// A row's byte prices: own plus the differences', kWetCost where wet.
BRINDMAR_WIDE void bytePrices(const uint8_t* wet, const float* costs, const float* others,
                              uint64_t row, float* out) {
    for (uint64_t i = 0; i < row; ++i) {
        const float sum = others != nullptr ? costs[i] + others[i] : costs[i];
        out[i] = wet[i] != 0 ? kWetCost : sum;
    }
}

using TakeRow =
    std::function<void(uint32_t y, const uint8_t* wet, const float* costs, const float* prices)>;

// Rows [first, end) of a picture held in part, from row `from` to row `to` (colour is row
// `from`; the rows held reach kRowsAround past each end, or the picture's own edge): each row's
// wetness, its own HILL costs and its bytes' prices (bytePrices, with the differences' costs
// unless the colour costs are off) to take(y, wet, costs, prices). The differences are made of
// the rows held alone, and both pictures are costed in step, a row of each at a time, so that
// neither's costs go through memory.
void priceHeldRows(const unsigned char* colour, uint32_t width, uint32_t height, uint32_t from,
                   uint32_t to, uint32_t first, uint32_t end, const TakeRow& take) {
    const uint64_t row = uint64_t{width} * 3;
    thread_local std::vector<uint8_t> wet;
    thread_local std::vector<unsigned char> differences;
    thread_local std::vector<float> prices;
    wet.resize(static_cast<size_t>(row));
    prices.resize(static_cast<size_t>(row));
    const auto priced = [&](uint32_t y, const float* costs, const float* others) {
        // The rows next to y are held, or past the picture's edge.
        stealthWetRow(colour, row, to - from, y - from, wet.data());
        bytePrices(wet.data(), costs, others, row, prices.data());
        take(y, wet.data(), costs, prices.data());
    };
    const HillCost own(colour, width, height, from);
    if (!gStealthColourCosts) {
        own.eachRow(first, end, [&](uint32_t y, const float* costs) { priced(y, costs, nullptr); });
        return;
    }
    differences.resize(static_cast<size_t>(row * (to - from)));
    channelDifferences(colour, uint64_t{to - from} * width, differences.data());
    const HillCost apart(differences.data(), width, height, from);
    own.eachRowOfBoth(apart, first, end, priced);
}

// The whole picture strip by strip (priceHeldRows), each strip's differences made from its rows
// and those about it rather than the whole picture's first: a few rows twice, but no second
// picture.
bool eachPricedRow(const unsigned char* colour, uint32_t width, uint32_t height,
                   const TakeRow& take, const std::function<void()>& beside = {}) {
    const uint64_t row = uint64_t{width} * 3;
    const uint64_t strips = (uint64_t{height} + kStripRows - 1) / kStripRows;
    return forEachTask(
        strips,
        [&](uint64_t g) {
            const auto first = static_cast<uint32_t>(g * kStripRows);
            const uint32_t end = std::min<uint32_t>(height, first + kStripRows);
            const uint32_t from = first - std::min(first, HillCost::kRowsAround);
            const uint32_t to = std::min(height, end + HillCost::kRowsAround);
            priceHeldRows(colour + from * row, width, height, from, to, first, end, take);
        },
        beside);
}

// A row's pixels: the cheapest single channel against the three together, which need all three
// dry (an infinite cost in the sum says one is not), the first of equals. On the prices' bits,
// which order non-negative floats as their values: integer compares and no branches, so that the
// compiler takes many pixels a step.
using FloatBits = int32_t __attribute__((may_alias)); // a float read as its bits

BRINDMAR_WIDE void pixelRow(const float* prices, const uint8_t* wet, const float* costs,
                            const unsigned char* colour, uint32_t width, float factor,
                            uint16_t* packed, uint8_t* way) {
    constexpr int32_t kWet = 0x7f800000; // kWetCost's bits
    const auto* bits = reinterpret_cast<const FloatBits*>(prices);
    for (uint32_t x = 0; x < width; ++x) {
        const size_t at = 3 * size_t{x};
        const int32_t wets = wet[at] | wet[at + 1] | wet[at + 2];
        const float sum = factor * (costs[at] + costs[at + 1] + costs[at + 2]);
        // Not a choice between the sum and kWet: a float sum made only where taken could trap,
        // and the compiler would keep it in a branch.
        const int32_t all = std::max(std::bit_cast<int32_t>(sum), wets != 0 ? kWet : 0);
        int32_t best = bits[at];
        int32_t by = 0;
        by = bits[at + 1] < best ? 1 : by;
        best = std::min(bits[at + 1], best);
        by = bits[at + 2] < best ? 2 : by;
        best = std::min(bits[at + 2], best);
        by = all < best ? kAllThree : by;
        best = std::min(all, best);
        packed[x] = static_cast<uint16_t>(best >> 16 & 0x7fff); // as trellisColumn(best, false)
        way[x] = withSum(static_cast<uint8_t>(by), pixelSum(colour + at));
    }
}

} // namespace

ListedBytes listedBytes(const std::vector<uint32_t>& places) {
    ListedBytes listed;
    std::vector<uint32_t> order(places.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(),
              [&](uint32_t a, uint32_t b) { return places[a] < places[b]; });
    for (const uint32_t slot : order) {
        listed.bytes.push_back(places[slot]);
        listed.into.push_back(slot);
    }
    listed.prices.assign(places.size(), trellisColumn(kWetCost, false));
    return listed;
}

bool pricePixels(const unsigned char* colour, uint32_t width, uint32_t height, uint16_t* packed,
                 uint8_t* way, ListedBytes& listed, const std::function<void()>& beside) {
    const uint64_t row = uint64_t{width} * 3;
    const float factor = gStealthTripleFactor;
    return eachPricedRow(
        colour, width, height,
        [&](uint32_t y, const uint8_t* wet, const float* costs, const float* prices) {
            const uint64_t first = uint64_t{y} * width;
            pixelRow(prices, wet, costs, colour + 3 * first, width, factor, packed + first,
                     way + first);
            // Rows are each their own task's, and so are the slots of their bytes.
            const uint64_t from = uint64_t{y} * row;
            auto at = std::lower_bound(listed.bytes.begin(), listed.bytes.end(), from);
            for (; at != listed.bytes.end() && *at < from + row; ++at) {
                const auto k = static_cast<size_t>(at - listed.bytes.begin());
                listed.prices[listed.into[k]] =
                    trellisColumn(prices[static_cast<size_t>(*at - from)], false);
            }
        },
        beside);
}

std::vector<uint16_t> priceBytes(const unsigned char* colour, uint32_t width, uint32_t height,
                                 const std::vector<uint32_t>& bytes) {
    // A byte's price reads the colours up to 9 pixels and kRowsAround rows away: a patch with
    // that much round it (or the picture's own edge) prices it as the whole picture does, since
    // the costs' sums are exact in any order.
    constexpr uint64_t kReach = 9;
    constexpr uint64_t kSpan = 64; // pixels of one row priced in one patch
    const uint64_t row = uint64_t{width} * 3;
    std::vector<uint16_t> out(bytes.size(), trellisColumn(kWetCost, false));
    std::vector<uint32_t> order(bytes.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(),
              [&](uint32_t a, uint32_t b) { return bytes[a] < bytes[b]; });
    std::vector<unsigned char> patch;
    for (size_t a = 0; a < order.size();) {
        const auto y = static_cast<uint32_t>(bytes[order[a]] / row);
        const uint64_t left = bytes[order[a]] % row / 3;
        size_t b = a + 1;
        while (b < order.size() && bytes[order[b]] / row == y &&
               bytes[order[b]] % row / 3 < left + kSpan) {
            ++b;
        }
        const uint64_t x0 = left - std::min(left, kReach);
        const uint64_t x1 = std::min<uint64_t>(width - 1, bytes[order[b - 1]] % row / 3 + kReach);
        const uint32_t y0 = y - std::min(y, HillCost::kRowsAround);
        const uint32_t y1 = std::min(height - 1, y + HillCost::kRowsAround);
        const uint64_t across = (x1 - x0 + 1) * 3;
        patch.resize(static_cast<size_t>(across * (y1 - y0 + 1)));
        for (uint64_t r = y0; r <= y1; ++r) {
            std::memcpy(patch.data() + (r - y0) * across, colour + r * row + 3 * x0, across);
        }
        priceHeldRows(patch.data(), static_cast<uint32_t>(x1 - x0 + 1), height, y0, y1 + 1, y,
                      y + 1, [&](uint32_t, const uint8_t*, const float*, const float* prices) {
                          for (size_t k = a; k < b; ++k) {
                              out[order[k]] =
                                  trellisColumn(prices[bytes[order[k]] - y * row - 3 * x0], false);
                          }
                      });
        a = b;
    }
    return out;
}

bool packColourBytes(const unsigned char* colour, uint32_t width, uint32_t height,
                     uint16_t* packed) {
    const uint64_t row = uint64_t{width} * 3;
    return eachPricedRow(
        colour, width, height, [&](uint32_t y, const uint8_t*, const float*, const float* prices) {
            const unsigned char* bytes = colour + y * row;
            uint16_t* out = packed + y * row;
            for (uint64_t i = 0; i < row; ++i) {
                out[i] = trellisColumn(prices[static_cast<size_t>(i)], (bytes[i] & 1u) != 0);
            }
        });
}

} // namespace brindmar
