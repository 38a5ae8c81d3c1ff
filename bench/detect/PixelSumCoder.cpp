#include "PixelSumCoder.h"

#include "CoderCosts.h"
#include "LayerCosts.h"

#include "protection/KeyedWalk.h"
#include "protection/StealthColumns.h"
#include "protection/StealthStream.h"
#include "protection/Trellis.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace detect {

namespace {

// A pass's share of the stream, its first half (rounded up) in the bit-1 layer and the rest in
// the low-bit one, as the stealth coder splits a pass; each layer's code its own stretch of the
// key's keystream.
struct Layer {
    size_t from = 0; // walk steps
    size_t steps = 0;
    size_t firstByte = 0;
    size_t bytes = 0;
    int plane = 0;
    size_t codeSkip = 0;
    uint32_t width = 0;

    uint64_t bits() const { return uint64_t{bytes} * 8; }
};

// oneLayer: a pass's whole share in the low-bit layer, its bit-1 layer empty.
std::vector<Layer> layersOf(size_t pixels, size_t length, int passes, bool oneLayer) {
    std::vector<Layer> layers;
    const auto all = static_cast<size_t>(passes);
    for (size_t p = 0; p < all; ++p) {
        const size_t from = pixels * p / all;
        const size_t steps = pixels * (p + 1) / all - from;
        const size_t first = length * p / all;
        const size_t bytes = length * (p + 1) / all - first;
        const size_t two = oneLayer ? 0 : (bytes + 1) / 2;
        for (const auto& [at, count, plane] :
             {std::array<size_t, 3>{first, two, 1},
              std::array<size_t, 3>{first + two, bytes - two, 0}}) {
            Layer layer{from,
                        steps,
                        at,
                        count,
                        static_cast<int>(plane),
                        brindmar::kMostLayerWidth * layers.size(),
                        0};
            layer.width = count == 0 ? 0
                                     : static_cast<uint32_t>(std::min<uint64_t>(
                                           steps / layer.bits(), brindmar::kMostLayerWidth));
            layers.push_back(layer);
        }
    }
    return layers;
}

std::vector<uint16_t> sumsOf(const Tile& tile) {
    std::vector<uint16_t> sums(tile.colourBytes() / 3);
    for (size_t p = 0; p < sums.size(); ++p) {
        sums[p] =
            static_cast<uint16_t>(tile.bgr[3 * p] + tile.bgr[3 * p + 1] + tile.bgr[3 * p + 2]);
    }
    return sums;
}

brindmar::ColumnGroups<brindmar::KeyedWalk> groupsOf(const brindmar::KeyedWalk& walk,
                                                     const Layer& layer) {
    return {&walk, layer.from, layer.steps, layer.bits() * layer.width};
}

// The bit-1 layer's moves flip bit 1 of the sum (up from an odd sum, down from an even one),
// the low-bit layer's keep it.
int directionOf(uint16_t sum, int plane) {
    return ((sum & 1) != 0) == (plane == 1) ? 1 : -1;
}

// A change leans the four nearest bytes of its channel its way (the pixel's other channels
// are its own, and a pixel moves once at most).
void leanAround(std::vector<int8_t>& lean, const Tile& tile, size_t b, int d) {
    const size_t row = size_t{static_cast<unsigned>(tile.width)} * 3;
    const size_t x = b % row;
    const size_t y = b / row;
    const auto add = [&](size_t at) { lean[at] = static_cast<int8_t>(lean[at] + d); };
    if (x >= 3) {
        add(b - 3);
    }
    if (x + 3 < row) {
        add(b + 3);
    }
    if (y > 0) {
        add(b - row);
    }
    if (y + 1 < static_cast<size_t>(tile.height)) {
        add(b + row);
    }
}

// A pixel's shake for an attempt, evenly in [-1, 1).
double shakeOf(size_t p, uint64_t attempt) {
    uint64_t z = (uint64_t{p} << 8 ^ attempt) + 0x9e3779b97f4a7c15u;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * 0x1.0p-52 - 1.0;
}

// The ternary sender's multiplier for the message over the pixels' prices before any coupling.
double layerLambda(const std::vector<double>& single, const std::vector<double>& own,
                   const std::vector<unsigned char>& message, float triple) {
    const std::vector<float> prices = pixelPrices(single, own, triple).cost;
    return lambdaFor(std::vector<double>(prices.begin(), prices.end()),
                     8.0 * static_cast<double>(message.size()), false);
}

} // namespace

PixelMove cheaperMove(const double* single, const double* own, const int8_t* lean, int d,
                      float coupling, float triple) {
    const auto along = [&](int c, int way) {
        return lean[c] != 0 && (lean[c] > 0) == (way > 0) ? double{coupling} : 1.0;
    };
    PixelMove move{brindmar::kWetCost, kNoMove};
    double best = kWet;
    double together = 0.0;
    for (int c = 0; c < 3; ++c) {
        together += own[c] / along(c, -d);
        if (single[c] / along(c, d) < best) {
            best = single[c] / along(c, d);
            move.way = static_cast<int8_t>(c);
        }
    }
    together *= double{triple};
    if (together < best) { // kWet when any of the three is wet, or triple infinite
        best = together;
        move.way = kAllThree;
    }
    if (best != kWet) {
        move.cost = static_cast<float>(best);
    }
    return move;
}

PixelPrices pixelPrices(const std::vector<double>& single, const std::vector<double>& own,
                        float triple) {
    const size_t pixels = single.size() / 3;
    PixelPrices prices{std::vector<float>(pixels), std::vector<int8_t>(pixels)};
    const int8_t none[3] = {0, 0, 0};
    for (size_t p = 0; p < pixels; ++p) {
        const PixelMove move = cheaperMove(&single[3 * p], &own[3 * p], none, 1, 1.0f, triple);
        prices.cost[p] = move.cost;
        prices.way[p] = move.way;
    }
    return prices;
}

PixelSumKey randomPixelSumKey(Rng& rng) {
    PixelSumKey key;
    for (unsigned char& b : key.walk) {
        b = static_cast<unsigned char>(rng.next());
    }
    for (unsigned char& b : key.code) {
        b = static_cast<unsigned char>(rng.next());
    }
    return key;
}

PixelSumChanges pixelSumEmbed(Tile& tile, const std::vector<double>& coverSingle,
                              const std::vector<double>& coverOwn, const PixelSumKey& key,
                              const std::vector<unsigned char>& message,
                              const PixelSumShape& shape) {
    std::vector<double> newSingle;
    std::vector<double> newOwn;
    const std::vector<double>& single = shape.repriced ? newSingle : coverSingle;
    const std::vector<double>& own = shape.repriced ? newOwn : coverOwn;
    const size_t pixels = tile.colourBytes() / 3;
    const bool coupled = shape.coupling != 1.0f;
    // Everything the layers change, so that a pass can be tried again from where it began.
    struct Progress {
        std::vector<uint8_t> bgr;
        std::vector<uint16_t> sums;
        std::vector<uint8_t> moved;
        std::vector<int8_t> lean;
        PixelSumChanges result;
    };
    Progress now{{},
                 sumsOf(tile),
                 std::vector<uint8_t>(pixels, 0),
                 std::vector<int8_t>(coupled ? tile.colourBytes() : 3, 0),
                 {}};
    std::vector<uint16_t> packed(pixels);
    std::vector<int8_t> way(pixels, kNoMove);
    std::vector<float> price(pixels); // of the pixel's move as its layer would make it
    const double lambda =
        shape.layerCosts ? layerLambda(coverSingle, coverOwn, message, shape.triple) : 0;
    const bool tried = shape.tries > 1;
    bool priced = false;
    int pricedPlane = -1;
    const brindmar::KeyedWalk walk(key.walk.data(), pixels, {});
    // One layer carried; try 0 prices its moves as they are, later tries each shake the bit-1
    // layer's prices a little their own way, for another path of about the same cost.
    const auto carry = [&](const Layer& layer, uint64_t attempt) {
        if (layer.bytes == 0) {
            return true;
        }
        if (layer.width == 0) {
            return false;
        }
        const int plane = layer.plane;
        // Each layer's pixels priced for the way its moves would go, with the leanings so far:
        // every pixel in memory order, which is quicker than those of the layer's steps in walk
        // order. Uncoupled, a move costs the same either way and the prices stand but for the
        // bit-1 layer's surcharge and shaking; the pixels moved are made wet below.
        const auto pricing = std::chrono::steady_clock::now();
        const bool surcharge = shape.layerCosts && plane == 1;
        const bool shaken = attempt != 0 && plane == 1;
        const bool again = coupled || !priced || shape.repriced || tried ||
                           (shape.layerCosts && pricedPlane != plane);
        if (shape.repriced) {
            newSingle = coderCosts(tile);
            newOwn = coderCosts(tile, false, true);
        }
        for (size_t p = 0; p < pixels && again; ++p) {
            const size_t b = 3 * p;
            const PixelMove move =
                now.moved[p] != 0
                    ? PixelMove{}
                    : cheaperMove(&single[b], &own[b], coupled ? &now.lean[b] : now.lean.data(),
                                  directionOf(now.sums[p], plane), shape.coupling, shape.triple);
            double cost = surcharge ? bitOneCost(move.cost, lambda) : double{move.cost};
            if (shaken) {
                cost *= 1.0 + double{shape.shake} * shakeOf(p, attempt);
            }
            packed[p] = brindmar::trellisColumn(
                now.moved[p] != 0 ? brindmar::kWetCost : static_cast<float>(cost), false);
            price[p] = move.cost;
            way[p] = move.way;
        }
        priced = true;
        pricedPlane = plane;
        now.result.pricingMs +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - pricing)
                .count();
        const auto groups = groupsOf(walk, layer);
        const auto bitOf = [&](uint32_t p) {
            return static_cast<uint16_t>(((now.sums[p] >> plane) & 1) != 0 ? 0x8000u : 0u);
        };
        const brindmar::TrellisFlips flips = brindmar::trellisEmbed(
            brindmar::keystreamCode(layer.width, key.code.data(), layer.codeSkip),
            [&](uint64_t first, size_t count, uint16_t* out, uint32_t* place) {
                brindmar::gatherColumns(groups, packed.data(), bitOf, first, count, out, place);
            },
            message.data() + layer.firstByte, layer.bits(),
            brindmar::columnScale(groups, packed.data()));
        if (!flips.ok || !flips.carried) {
            return false;
        }
        for (const uint32_t p : flips.places) {
            const int d = directionOf(now.sums[p], plane);
            for (int c = 0; c < 3; ++c) {
                const size_t b = 3 * size_t{p} + static_cast<size_t>(c);
                const int by = way[p] == kAllThree ? -d : way[p] == c ? d : 0;
                if (by != 0) {
                    tile.bgr[b] = static_cast<uint8_t>(tile.bgr[b] + by); // dry: never 0 or 255
                    if (coupled) {
                        leanAround(now.lean, tile, b, by);
                    }
                }
            }
            now.sums[p] = static_cast<uint16_t>(now.sums[p] + d);
            now.moved[p] = 1;
            packed[p] = brindmar::trellisColumn(brindmar::kWetCost, false);
            ++now.result.moves;
            now.result.triples += way[p] == kAllThree ? 1 : 0;
            now.result.distortion += double{price[p]};
        }
        return true;
    };
    const std::vector<Layer> layers =
        layersOf(pixels, message.size(), shape.passes, shape.oneLayer);
    for (size_t at = 0; at < layers.size(); at += 2) { // a pass's bit-1 and low-bit layers
        if (!tried) {
            if (!carry(layers[at], 0) || !carry(layers[at + 1], 0)) {
                return now.result;
            }
            continue;
        }
        // With tries, the pass is carried as many times, each from where it began, and the
        // cheapest kept: the low-bit layer's cost turns on which bits the bit-1 layer's moves
        // left it, and a bit-1 path a little dearer can leave it a much cheaper one.
        now.bgr = tile.bgr;
        const Progress start = now;
        Progress best;
        bool carried = false;
        for (uint64_t attempt = 0; attempt < static_cast<uint64_t>(shape.tries); ++attempt) {
            if (attempt != 0) {
                now = start;
                tile.bgr = start.bgr;
            }
            if (carry(layers[at], attempt) && carry(layers[at + 1], 0) &&
                (!carried || now.result.distortion < best.result.distortion)) {
                now.bgr = tile.bgr;
                best = now;
                carried = true;
            }
        }
        if (!carried) {
            return now.result;
        }
        now = std::move(best);
        tile.bgr = now.bgr;
    }
    now.result.carried = true;
    return now.result;
}

std::vector<unsigned char> pixelSumRead(const Tile& tile, const PixelSumKey& key, size_t bytes,
                                        int passes, bool oneLayer) {
    std::vector<unsigned char> message(bytes, 0);
    const std::vector<uint16_t> sums = sumsOf(tile);
    const size_t pixels = tile.colourBytes() / 3;
    const std::vector<uint16_t> priceless(pixels, 0);
    const brindmar::KeyedWalk walk(key.walk.data(), pixels, {});
    for (const Layer& layer : layersOf(pixels, bytes, passes, oneLayer)) {
        if (layer.bytes == 0 || layer.width == 0) {
            continue;
        }
        const auto groups = groupsOf(walk, layer);
        const int plane = layer.plane;
        const auto bitOf = [&](uint32_t p) {
            return static_cast<uint16_t>(((sums[p] >> plane) & 1) != 0 ? 0x8000u : 0u);
        };
        std::vector<uint16_t> columns(groups.columns);
        std::vector<uint32_t> places(groups.columns);
        brindmar::gatherColumns(groups, priceless.data(), bitOf, 0, columns.size(), columns.data(),
                                places.data());
        std::vector<uint8_t> low(columns.size());
        for (size_t c = 0; c < columns.size(); ++c) {
            low[c] = static_cast<uint8_t>(columns[c] >> 15);
        }
        const std::vector<unsigned char> bits = brindmar::trellisSyndrome(
            brindmar::keystreamCode(layer.width, key.code.data(), layer.codeSkip), low.data(),
            layer.bits());
        std::copy_n(bits.begin(), std::min(bits.size(), layer.bytes),
                    message.begin() + static_cast<std::ptrdiff_t>(layer.firstByte));
    }
    return message;
}

PixelSumChanges pixelSumRow(Tile& tile, double rate, uint64_t seed, const PixelSumShape& shape) {
    Rng rng(seed);
    const PixelSumKey key = randomPixelSumKey(rng);
    std::vector<unsigned char> message(
        static_cast<size_t>(std::floor(rate * static_cast<double>(tile.colourBytes()) / 8)));
    for (unsigned char& b : message) {
        b = static_cast<unsigned char>(rng.next());
    }
    const PixelSumChanges made =
        pixelSumEmbed(tile, coderCosts(tile), coderCosts(tile, false, true), key, message, shape);
    if (!made.carried) {
        std::fprintf(stderr, "detect_bench: the pixel-sum coder found no path (seed %llu)\n",
                     static_cast<unsigned long long>(seed));
    } else if (pixelSumRead(tile, key, message.size(), shape.passes, shape.oneLayer) != message) {
        std::fprintf(stderr, "detect_bench: the pixel-sum image did not give its message back\n");
        std::abort();
    }
    return made;
}

} // namespace detect
