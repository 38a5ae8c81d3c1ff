#include "PixelSumCoder.h"

#include "CoderCosts.h"

#include "protection/StealthColumns.h"
#include "protection/StealthStream.h"
#include "protection/Trellis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace detect {

namespace {

// The stream's first half (rounded up) in the bit-1 layer, the rest in the low-bit one, as the
// stealth coder splits a pass; each layer's code its own stretch of the key's keystream.
struct Layer {
    size_t firstByte = 0;
    size_t bytes = 0;
    int plane = 0;
    size_t codeSkip = 0;
    uint32_t width = 0;

    uint64_t bits() const { return uint64_t{bytes} * 8; }
};

std::vector<Layer> layersOf(size_t pixels, size_t length) {
    const size_t two = (length + 1) / 2;
    std::vector<Layer> layers = {{0, two, 1, 0, 0},
                                 {two, length - two, 0, brindmar::kMostLayerWidth, 0}};
    for (Layer& layer : layers) {
        layer.width = layer.bytes == 0 ? 0
                                       : static_cast<uint32_t>(std::min<uint64_t>(
                                             pixels / layer.bits(), brindmar::kMostLayerWidth));
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

brindmar::ColumnGroups<brindmar::ListedWalk> groupsOf(const brindmar::ListedWalk& walk,
                                                      const Layer& layer) {
    return {&walk, 0, walk.bytes->size(), layer.bits() * layer.width};
}

} // namespace

PixelPrices pixelPrices(const std::vector<double>& single, const std::vector<double>& own) {
    const size_t pixels = single.size() / 3;
    PixelPrices prices{std::vector<float>(pixels, brindmar::kWetCost),
                       std::vector<int8_t>(pixels, kNoMove)};
    for (size_t p = 0; p < pixels; ++p) {
        double best = kWet;
        double together = 0.0;
        for (int c = 0; c < 3; ++c) {
            const size_t b = 3 * p + static_cast<size_t>(c);
            together += own[b];
            if (single[b] < best) {
                best = single[b];
                prices.way[p] = static_cast<int8_t>(c);
            }
        }
        if (together < best) { // kWet when any of the three is wet
            best = together;
            prices.way[p] = kAllThree;
        }
        if (best != kWet) {
            prices.cost[p] = static_cast<float>(best);
        }
    }
    return prices;
}

PixelSumKey randomPixelSumKey(Rng& rng, size_t pixels) {
    PixelSumKey key;
    key.walk.resize(pixels);
    for (size_t p = 0; p < pixels; ++p) {
        key.walk[p] = static_cast<uint32_t>(p);
    }
    for (size_t p = pixels; p > 1; --p) {
        std::swap(key.walk[p - 1], key.walk[rng.below(p)]);
    }
    for (unsigned char& b : key.code) {
        b = static_cast<unsigned char>(rng.next());
    }
    return key;
}

PixelSumChanges pixelSumEmbed(Tile& tile, const PixelPrices& prices, const PixelSumKey& key,
                              const std::vector<unsigned char>& message) {
    PixelSumChanges result;
    const size_t pixels = key.walk.size();
    std::vector<uint16_t> sums = sumsOf(tile);
    std::vector<uint16_t> packed(pixels);
    for (size_t p = 0; p < pixels; ++p) {
        packed[p] = brindmar::trellisColumn(prices.cost[p], false);
    }
    const brindmar::ListedWalk walk{&key.walk};
    for (const Layer& layer : layersOf(pixels, message.size())) {
        if (layer.bytes == 0) {
            continue;
        }
        if (layer.width == 0) {
            return result;
        }
        const auto groups = groupsOf(walk, layer);
        const int plane = layer.plane;
        const auto bitOf = [&](uint32_t p) {
            return static_cast<uint16_t>(((sums[p] >> plane) & 1) != 0 ? 0x8000u : 0u);
        };
        const brindmar::TrellisFlips flips = brindmar::trellisEmbed(
            brindmar::keystreamCode(layer.width, key.code.data(), layer.codeSkip),
            [&](uint64_t first, size_t count, uint16_t* out, uint32_t* place) {
                brindmar::gatherColumns(groups, packed.data(), bitOf, first, count, out, place);
            },
            message.data() + layer.firstByte, layer.bits(),
            brindmar::columnScale(groups, packed.data()));
        if (!flips.ok || !flips.carried) {
            return result;
        }
        for (const uint32_t p : flips.places) {
            // The bit-1 layer's moves flip bit 1 of the sum (up from an odd sum, down from an
            // even one), the low-bit layer's keep it.
            const int d = ((sums[p] & 1) != 0) == (plane == 1) ? 1 : -1;
            const int way = prices.way[p];
            for (int c = 0; c < 3; ++c) {
                uint8_t& v = tile.bgr[3 * size_t{p} + static_cast<size_t>(c)];
                if (way == kAllThree) {
                    v = static_cast<uint8_t>(v - d); // dry bytes are never 0 or 255
                } else if (way == c) {
                    v = static_cast<uint8_t>(v + d);
                }
            }
            sums[p] = static_cast<uint16_t>(sums[p] + d);
            packed[p] = brindmar::trellisColumn(brindmar::kWetCost, false);
            ++result.moves;
            result.triples += way == kAllThree ? 1 : 0;
        }
    }
    result.carried = true;
    return result;
}

std::vector<unsigned char> pixelSumRead(const Tile& tile, const PixelSumKey& key, size_t bytes) {
    std::vector<unsigned char> message(bytes, 0);
    const std::vector<uint16_t> sums = sumsOf(tile);
    const std::vector<uint16_t> priceless(key.walk.size(), 0);
    const brindmar::ListedWalk walk{&key.walk};
    for (const Layer& layer : layersOf(key.walk.size(), bytes)) {
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

PixelSumChanges pixelSumRow(Tile& tile, double rate, uint64_t seed) {
    Rng rng(seed);
    const PixelSumKey key = randomPixelSumKey(rng, tile.colourBytes() / 3);
    std::vector<unsigned char> message(
        static_cast<size_t>(std::floor(rate * static_cast<double>(tile.colourBytes()) / 8)));
    for (unsigned char& b : message) {
        b = static_cast<unsigned char>(rng.next());
    }
    const PixelPrices prices = pixelPrices(coderCosts(tile), coderCosts(tile, false, true));
    const PixelSumChanges made = pixelSumEmbed(tile, prices, key, message);
    if (!made.carried) {
        std::fprintf(stderr, "detect_bench: the pixel-sum coder found no path (seed %llu)\n",
                     static_cast<unsigned long long>(seed));
    } else if (pixelSumRead(tile, key, message.size()) != message) {
        std::fprintf(stderr, "detect_bench: the pixel-sum image did not give its message back\n");
        std::abort();
    }
    return made;
}

} // namespace detect
