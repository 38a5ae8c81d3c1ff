#include "StealthAdapter.h"

#include "FixedRandomness.h"
#include "PixelSumCoder.h"
#include "PlusMinusOne.h"
#include "protection/StealthImage.h"
#include "protection/StealthPrices.h"
#include "protection/StealthStream.h"

#include <QByteArray>
#include <cmath>
#include <limits>

namespace detect {

namespace {

// The real coder under a key of the tile's own. The document is random, as a sealed one looks
// anyway. triple: the factor on the price of a move by all three channels; together: whether a
// channel is priced with its difference from the others too. Both are the program's own again
// afterwards, so that no row leaves them to the rows or the timing after it.
void embedStealth(Tile& tile, double rate, uint64_t seed, float triple, bool together) {
    brindmar::gStealthTripleFactor = triple;
    brindmar::gStealthColourCosts = together;
    Rng rng(seed);
    const StealthInputs in =
        randomStealthInputs(rng, rate * static_cast<double>(tile.colourBytes()));
    embedSeeded(tile, in, seed);
    brindmar::gStealthTripleFactor = brindmar::kStealthTripleFactor;
    brindmar::gStealthColourCosts = true;
}

} // namespace

brindmar::StealthEmbedReport embedSeeded(Tile& tile, const StealthInputs& in, uint64_t seed) {
    const apptest::FixedRandomness fixed(seed);
    return brindmar::stealthEmbedWithKey(tile.bgr.data(), static_cast<uint32_t>(tile.width),
                                         static_cast<uint32_t>(tile.height), in.key, in.salt,
                                         in.archive);
}

StealthInputs randomStealthInputs(Rng& rng, double bits) {
    StealthInputs in;
    for (size_t i = 0; i < in.key.size(); ++i) {
        in.key.data()[i] = static_cast<unsigned char>(rng.next());
    }
    for (unsigned char& b : in.salt) {
        b = static_cast<unsigned char>(rng.next());
    }
    in.archive =
        QByteArray(brindmar::longestSealedArchive(static_cast<uint64_t>(std::floor(bits / 8))),
                   Qt::Uninitialized);
    for (char& c : in.archive) {
        c = static_cast<char>(rng.next());
    }
    return in;
}

std::vector<StealthEmbedding> stealthEmbeddings(const std::vector<float>& triples) {
    // The coder itself, and with its channels apart: without its colour difference costs (and
    // with other prices of the all-three move asked for); the
    // payload-limited sender with HILL costs, which shows what any coder with these costs could
    // reach; and random ±1, the bar it must clear. Last, the two steps the coder took before it
    // was what it is, each undone alone: a pixel moved by one channel only, never all three
    // together (the real coder); and each pass's bits in one binary layer of the sums' low bit
    // instead of two layers that use the move's direction (the benchmark's pixel-sum coder, which
    // has no salt, head or seal, so that it is also run in two layers). They come after the
    // others, whose seeds stay as they were.
    std::vector<StealthEmbedding> tried;
    for (const float factor : triples) {
        tried.push_back({"stealth triple " + std::to_string(factor).substr(0, 4),
                         [factor](Tile& tile, double rate, uint64_t seed) {
                             embedStealth(tile, rate, seed, factor, true);
                         }});
    }
    std::vector<StealthEmbedding> all = {
        {"stealth",
         [](Tile& tile, double rate, uint64_t seed) {
             embedStealth(tile, rate, seed, brindmar::kStealthTripleFactor, true);
         }},
        {"stealth channels apart",
         [](Tile& tile, double rate, uint64_t seed) {
             embedStealth(tile, rate, seed, brindmar::kStealthTripleFactor, false);
         }},
        {"HILL at the bound (simulated)",
         [](Tile& tile, double rate, uint64_t seed) {
             simulateAdaptive(tile, hillCosts(tile), rate * static_cast<double>(tile.colourBytes()),
                              seed);
         }},
        {"random +-1 (reference)",
         [](Tile& tile, double rate, uint64_t seed) {
             embedRandomPlusMinusOne(tile, rate * static_cast<double>(tile.colourBytes()), seed);
         }},
    };
    all.push_back({"stealth one channel a move", [](Tile& tile, double rate, uint64_t seed) {
                       embedStealth(tile, rate, seed, std::numeric_limits<float>::infinity(), true);
                   }});
    for (const bool binary : {true, false}) {
        all.push_back({binary ? "pixel sums one binary layer" : "pixel sums two layers",
                       [binary](Tile& tile, double rate, uint64_t seed) {
                           PixelSumShape shape;
                           shape.passes = brindmar::kStreamPasses;
                           shape.oneLayer = binary;
                           pixelSumRow(tile, rate, seed, shape);
                       }});
    }
    all.insert(all.begin() + 2, tried.begin(), tried.end());
    return all;
}

} // namespace detect
