#include "Diagnosis.h"

#include "CoderCosts.h"
#include "LayerCosts.h"
#include "PixelSumCoder.h"
#include "PlusMinusOne.h"

#include "protection/KeyedWalk.h"
#include "protection/StealthImage.h"
#include "protection/StealthKeys.h"
#include "protection/StealthStream.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>

namespace detect {

namespace {

// The sender's changes at this multiplier, each way equally likely; returns their count.
size_t drawChanges(Tile& tile, const std::vector<double>& costs, double lambda, Rng& rng) {
    size_t made = 0;
    for (size_t i = 0; i < costs.size(); ++i) {
        if (costs[i] == kWet) {
            continue;
        }
        const double p = oneWay(lambda, costs[i]);
        const double u = rng.uniform();
        if (u < 2.0 * p) {
            tile.bgr[i] = static_cast<uint8_t>(tile.bgr[i] + (u < p ? 1 : -1));
            ++made;
        }
    }
    return made;
}

constexpr float kOneChannelOnly = std::numeric_limits<float>::infinity();

// 1, 1.25, 1.5: as short as the factor allows.
std::string factorName(float factor) {
    char text[16];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(factor));
    return text;
}

// The payload-limited sender at the stream's rate with these costs.
void atBound(Tile& tile, const std::vector<double>& costs, double rate, uint64_t seed) {
    Rng rng(seed);
    drawChanges(tile, costs,
                lambdaFor(costs, rate * static_cast<double>(tile.colourBytes()), false), rng);
}

// The sender over whole pixels, each carrying one ternary symbol: S = B + G + R moves by one
// either way mod 4, whether by one channel's +-1 (priced by the coder, own HILL plus the
// differences') or by all three the other way together (S -+ 3, priced as the sum of the
// channels' own HILL alone, since the differences do not move); joint is false for one channel
// only, and singles false for all three together only. Each move takes its cheapest way.
// overhead: as many times the sender's changes, as a practical code makes (1.25-1.45 for the
// coder's trellis against its bound); triple: the all-three way's factor on its price, as the
// pixel-sum coder's shape has it.
void pixelSender(Tile& tile, double rate, uint64_t seed, bool singles, bool joint,
                 double overhead = 1.0, double triple = 1.0) {
    const std::vector<double> coder = coderCosts(tile);
    const std::vector<double> own = coderCosts(tile, false, true);
    const size_t pixels = tile.colourBytes() / 3;
    std::vector<double> costs(pixels, kWet);
    std::vector<int> way(pixels, -1); // the channel changed, 3 for all three
    for (size_t p = 0; p < pixels; ++p) {
        double together = 0.0;
        for (int c = 0; c < 3; ++c) {
            const double single = coder[3 * p + static_cast<size_t>(c)];
            together += own[3 * p + static_cast<size_t>(c)];
            if (singles && single < costs[p]) {
                costs[p] = single;
                way[p] = c;
            }
        }
        together *= triple;
        if (joint && together < costs[p]) {
            costs[p] = together;
            way[p] = 3;
        }
    }
    double lambda = lambdaFor(costs, rate * static_cast<double>(tile.colourBytes()), false);
    if (overhead != 1.0) {
        double changes = 0.0;
        for (const double c : costs) {
            changes += c == kWet ? 0.0 : 2.0 * oneWay(lambda, c);
        }
        lambda = lambdaFor(costs, overhead * changes, true);
    }
    Rng rng(seed);
    for (size_t p = 0; p < pixels; ++p) {
        if (costs[p] == kWet) {
            continue;
        }
        const double chance = oneWay(lambda, costs[p]);
        const double u = rng.uniform();
        if (u >= 2.0 * chance) {
            continue;
        }
        const int d = u < chance ? 1 : -1;
        for (int c = 0; c < 3; ++c) {
            if (way[p] == 3 || way[p] == c) {
                uint8_t& v = tile.bgr[3 * p + static_cast<size_t>(c)];
                v = static_cast<uint8_t>(v + d); // dry bytes are never 0 or 255
            }
        }
    }
}

struct CoderRun {
    StealthInputs in;
    std::vector<size_t> changed; // colour bytes the coder moved
};

// The real coder on the tile in place, under a key of the tile's own, as the "stealth" rows run
// it but with the coupling's factor given.
CoderRun runCoder(Tile& tile, double rate, uint64_t seed, float sync, bool together = true) {
    brindmar::gStealthSyncFactor = sync;
    brindmar::gStealthColourCosts = together;
    Rng rng(seed);
    CoderRun run{randomStealthInputs(rng, rate * static_cast<double>(tile.colourBytes())), {}};
    const std::vector<uint8_t> cover = tile.bgr;
    embedSeeded(tile, run.in, seed);
    brindmar::gStealthSyncFactor = brindmar::kStealthSyncFactor;
    brindmar::gStealthColourCosts = true;
    for (size_t i = 0; i < cover.size(); ++i) {
        if (cover[i] != tile.bgr[i]) {
            run.changed.push_back(i);
        }
    }
    return run;
}

// 1 for each colour byte of the public pixels; with head, the head's keyed steps too.
std::vector<uint8_t> saltAndHeadPlaces(const Tile& tile, const StealthInputs& in, bool head) {
    const auto w = static_cast<uint32_t>(tile.width);
    const auto h = static_cast<uint32_t>(tile.height);
    std::vector<uint8_t> marked(tile.colourBytes(), 0);
    for (const uint32_t p : brindmar::stealthPublicPixels(w, h)) {
        std::fill_n(marked.begin() + 3 * std::ptrdiff_t{p}, 3, uint8_t{1});
    }
    if (head) {
        const std::optional<brindmar::StealthSubkeys> keys = brindmar::stealthSubkeysOf(in.key);
        const brindmar::KeyedWalk walk(keys->walk.data(), tile.colourBytes(), {});
        // As the coder lays it out: 80 steps a bit of the 5-byte head, a sixteenth at most.
        const uint64_t steps = std::min<uint64_t>(
            brindmar::kHeadLength * 8 * brindmar::kStealthStepsPerBit, tile.colourBytes() / 16);
        for (uint64_t s = 0; s < steps; ++s) {
            marked[walk(s)] = 1;
        }
    }
    return marked;
}

// How many changes the salt and the head made when the coder ran on this tile.
size_t saltAndHeadCount(const Tile& tile, double rate, uint64_t seed) {
    Tile coded = tile;
    const CoderRun run = runCoder(coded, rate, seed, brindmar::kStealthSyncFactor);
    const std::vector<uint8_t> places = saltAndHeadPlaces(tile, run.in, true);
    return static_cast<size_t>(std::count_if(run.changed.begin(), run.changed.end(),
                                             [&](size_t b) { return places[b] != 0; }));
}

// Puts a changed byte back as the cover had it and moves it the other way or the same, at
// random: the coder's places with no rule for their directions.
void redirect(Tile& stego, const Tile& cover, size_t b, Rng& rng) {
    const uint8_t v = cover.bgr[b];
    const bool up = v == 0 || (v != 255 && (rng.next() & 1) != 0);
    stego.bgr[b] = static_cast<uint8_t>(up ? v + 1 : v - 1);
}

// Each row switches one thing against "diag0 coder" (the shipped coder, run under the same
// seeds), and the name says which.
std::vector<StealthEmbedding> rows() {
    return {
        {"diag0 coder",
         [](Tile& tile, double rate, uint64_t seed) {
             runCoder(tile, rate, seed, brindmar::kStealthSyncFactor);
         }},
        // Without the coupling: the rows below that take the coder's places uncoupled compare
        // with this one.
        {"diag0u coder uncoupled",
         [](Tile& tile, double rate, uint64_t seed) { runCoder(tile, rate, seed, 1.0f); }},
        // No coder: the payload-limited sender at the stream's rate with exactly the coder's
        // prices (HILL plus the differences' HILL, the wet rule).
        {"diag1 bound, coder's costs",
         [](Tile& tile, double rate, uint64_t seed) {
             atBound(tile, coderCosts(tile), rate, seed);
         }},
        // The same sender making as many changes as the coder did on this tile: the count with
        // the sender's placing, rather than the coder's.
        {"diag1b bound's places, coder's count",
         [](Tile& tile, double rate, uint64_t seed) {
             Tile coded = tile;
             const size_t count =
                 runCoder(coded, rate, seed, brindmar::kStealthSyncFactor).changed.size();
             const std::vector<double> costs = coderCosts(tile);
             Rng rng(seed ^ 0x5eed);
             drawChanges(tile, costs, lambdaFor(costs, static_cast<double>(count), true), rng);
         }},
        // Only the salt's and the head's changes, as the coder made them at this rate.
        {"diag2a salt and head alone",
         [](Tile& tile, double rate, uint64_t seed) {
             const Tile cover = tile;
             const CoderRun run = runCoder(tile, rate, seed, brindmar::kStealthSyncFactor);
             const std::vector<uint8_t> keep = saltAndHeadPlaces(cover, run.in, true);
             for (const size_t b : run.changed) {
                 if (keep[b] == 0) {
                     tile.bgr[b] = cover.bgr[b];
                 }
             }
         }},
        // The coder with its salt's changes taken off the public places and as many made
        // elsewhere, drawn by the sender's chances at the coder's prices.
        {"diag2b salt moved off its places",
         [](Tile& tile, double rate, uint64_t seed) {
             const Tile cover = tile;
             const CoderRun run = runCoder(tile, rate, seed, brindmar::kStealthSyncFactor);
             const std::vector<uint8_t> salt = saltAndHeadPlaces(cover, run.in, false);
             size_t moved = 0;
             for (const size_t b : run.changed) {
                 if (salt[b] != 0) {
                     tile.bgr[b] = cover.bgr[b];
                     ++moved;
                 }
             }
             std::vector<double> costs = coderCosts(cover);
             for (size_t b = 0; b < costs.size(); ++b) {
                 if (salt[b] != 0 || tile.bgr[b] != cover.bgr[b]) {
                     costs[b] = kWet;
                 }
             }
             const double lambda = lambdaFor(costs, static_cast<double>(moved), true);
             std::vector<double> cumulative(costs.size());
             double sum = 0.0;
             for (size_t b = 0; b < costs.size(); ++b) {
                 sum += costs[b] == kWet ? 0.0 : oneWay(lambda, costs[b]);
                 cumulative[b] = sum;
             }
             Rng rng(seed ^ 0x5a17);
             for (size_t made = 0; made < moved && sum > 0.0;) {
                 const auto at = static_cast<size_t>(
                     std::lower_bound(cumulative.begin(), cumulative.end(), rng.uniform() * sum) -
                     cumulative.begin());
                 if (at < costs.size() && costs[at] != kWet && tile.bgr[at] == cover.bgr[at]) {
                     redirect(tile, cover, at, rng);
                     ++made;
                 }
             }
         }},
        // The coder's places, each change's direction at random instead of the layer's parity
        // rule (and the coupling's agreement).
        {"diag3a coder's places, random directions",
         [](Tile& tile, double rate, uint64_t seed) {
             const Tile cover = tile;
             const CoderRun run = runCoder(tile, rate, seed, brindmar::kStealthSyncFactor);
             Rng rng(seed ^ 0xd1);
             for (const size_t b : run.changed) {
                 redirect(tile, cover, b, rng);
             }
         }},
        // The same, uncoupled: the parity rule alone against random directions.
        {"diag3u uncoupled coder's places, random directions",
         [](Tile& tile, double rate, uint64_t seed) {
             const Tile cover = tile;
             const CoderRun run = runCoder(tile, rate, seed, 1.0f);
             Rng rng(seed ^ 0xd1);
             for (const size_t b : run.changed) {
                 redirect(tile, cover, b, rng);
             }
         }},
        // Which part of the costs: the benchmark's own HILL at the bound, as the "HILL at the
        // bound" row has it; the coder's HILL alone with and without the wet rule; the coder's
        // costs without the wet rule.
        {"diag4a bound, benchmark's HILL",
         [](Tile& tile, double rate, uint64_t seed) {
             simulateAdaptive(tile, hillCosts(tile), rate * static_cast<double>(tile.colourBytes()),
                              seed);
         }},
        {"diag4b bound, coder's HILL alone, wet rule",
         [](Tile& tile, double rate, uint64_t seed) {
             atBound(tile, coderCosts(tile, false, true), rate, seed);
         }},
        {"diag4c bound, coder's costs, only 0 and 255 wet",
         [](Tile& tile, double rate, uint64_t seed) {
             atBound(tile, coderCosts(tile, true, false), rate, seed);
         }},
        {"diag4d bound, coder's HILL alone, only 0 and 255 wet",
         [](Tile& tile, double rate, uint64_t seed) {
             atBound(tile, coderCosts(tile, false, false), rate, seed);
         }},
        // As many changes as the salt and the head made on this tile, at dry places drawn
        // evenly, or by the sender at the coder's prices: whether their few changes show by
        // their number alone or by where they went.
        {"diag5a salt and head's count, at random",
         [](Tile& tile, double rate, uint64_t seed) {
             const std::vector<double> costs = coderCosts(tile);
             const size_t count = saltAndHeadCount(tile, rate, seed);
             Rng rng(seed ^ 0x5a);
             const Tile cover = tile;
             for (size_t made = 0; made < count;) {
                 const size_t b = rng.below(costs.size());
                 if (costs[b] != kWet && tile.bgr[b] == cover.bgr[b]) {
                     redirect(tile, cover, b, rng);
                     ++made;
                 }
             }
         }},
        {"diag5b salt and head's count, by the bound",
         [](Tile& tile, double rate, uint64_t seed) {
             const std::vector<double> costs = coderCosts(tile);
             const size_t count = saltAndHeadCount(tile, rate, seed);
             Rng rng(seed ^ 0x5b);
             drawChanges(tile, costs, lambdaFor(costs, static_cast<double>(count), true), rng);
         }},
        // The coder priced by each channel's own HILL alone, coupled as shipped.
        {"diag6 coder, own HILL alone, coupled",
         [](Tile& tile, double rate, uint64_t seed) {
             runCoder(tile, rate, seed, brindmar::kStealthSyncFactor, false);
         }},
        // One symbol a pixel instead of one a byte: all three channels moved together leave
        // the colour differences as they were.
        {"diag7a bound, whole pixels only",
         [](Tile& tile, double rate, uint64_t seed) {
             pixelSender(tile, rate, seed, false, true);
         }},
        {"diag7b bound, pixel sums, one channel or all three",
         [](Tile& tile, double rate, uint64_t seed) { pixelSender(tile, rate, seed, true, true); }},
        {"diag7c bound, pixel sums, one channel only",
         [](Tile& tile, double rate, uint64_t seed) {
             pixelSender(tile, rate, seed, true, false);
         }},
        // The same with a third more changes than the bound, as the coder's trellis makes.
        {"diag7d pixel sums, one channel or all three, 1.3 times the changes",
         [](Tile& tile, double rate, uint64_t seed) {
             pixelSender(tile, rate, seed, true, true, 1.3);
         }},
        // The pixel-sum coder itself (no salt, head or seal): diag7b's moves made by the trellis.
        {"psum pixel-sum coder",
         [](Tile& tile, double rate, uint64_t seed) { pixelSumRow(tile, rate, seed); }},
        // The same coupled as the stealth coder is: three passes, a channel moving the way its
        // neighbours' changes went four times cheaper.
        {"psum pixel-sum coder coupled",
         [](Tile& tile, double rate, uint64_t seed) {
             pixelSumRow(tile, rate, seed, {3, brindmar::kStealthSyncFactor});
         }},
        // The shipped coder under the same row's seeds, so that `--only=psum` has it beside.
        {"psum shipped coder",
         [](Tile& tile, double rate, uint64_t seed) {
             runCoder(tile, rate, seed, brindmar::kStealthSyncFactor);
         }},
    };
}

// The pixel-sum coder's row; on stderr, one line a tile of what it did against the bits it
// carried: "detect_psum NAME | RATE | bits | moves | distortion", the distortion its moves'
// prices added up.
StealthEmbedding codedRow(const std::string& name, const PixelSumShape& shape) {
    return {name, [name, shape](Tile& tile, double rate, uint64_t seed) {
                const PixelSumChanges made = pixelSumRow(tile, rate, seed, shape);
                const double bits =
                    8.0 * std::floor(rate * static_cast<double>(tile.colourBytes()) / 8);
                std::fprintf(stderr, "detect_psum %s | %g | %.0f | %llu | %.6g\n", name.c_str(),
                             rate, bits, static_cast<unsigned long long>(made.moves),
                             made.distortion);
            }};
}

// The payload-limited sender over the coder's pixel prices (the all-three move at its own
// price), drawn as "psum bound triple 1" draws it; on stderr, one line a tile of the senders'
// moves and distortion in expectation for the bits the coder carries: "detect_psum_bounds RATE
// | bits | ternary | binary, one layer | two layers, half each | the same, bit-1 layer's costs",
// each "moves distortion".
void boundsRow(Tile& tile, double rate, uint64_t seed) {
    const std::vector<float> prices =
        pixelPrices(coderCosts(tile), coderCosts(tile, false, true)).cost;
    const std::vector<double> rho(prices.begin(), prices.end());
    const double bits = 8.0 * std::floor(rate * static_cast<double>(tile.colourBytes()) / 8);
    const double lambda = lambdaFor(rho, bits, false);
    std::vector<double> bitOne(rho.size());
    for (size_t p = 0; p < rho.size(); ++p) {
        bitOne[p] = bitOneCost(rho[p], lambda);
    }
    const Expected all[] = {ternaryBound(rho, bits), binaryBound(rho, bits),
                            layeredBound(rho, rho, bits / 2, bits / 2),
                            layeredBound(rho, bitOne, bits / 2, bits / 2)};
    std::fprintf(stderr, "detect_psum_bounds %g | %.0f", rate, bits);
    for (const Expected& e : all) {
        std::fprintf(stderr, " | %.6g %.6g", e.moves, e.distortion);
    }
    std::fprintf(stderr, "\n");
    pixelSender(tile, rate, seed, true, true);
}

// The pixel-sum coder as it would ship (three passes, uncoupled, the all-three move at its own
// price) with, in turn: the bit-1 layer priced up by what its moves take from the low-bit
// layer (and the same coupled); all bits in one binary layer, which is not the format, to
// measure the trellis alone; each layer priced from the picture the layers before it left;
// each pass tried 4 or 16 times and the cheapest kept. Last, the senders it is measured
// against, in expectation.
std::vector<StealthEmbedding> layerRows() {
    return {
        codedRow("psum 3 passes layer costs", {3, 1.0f, 1.0f, true}),
        codedRow("psum 3 passes one layer", {3, 1.0f, 1.0f, false, true}),
        codedRow("psum 3 passes layers repriced", {3, 1.0f, 1.0f, false, false, true}),
        codedRow("psum 3 passes 4 tries", {3, 1.0f, 1.0f, false, false, false, 4, 0.1f}),
        codedRow("psum 3 passes 16 tries", {3, 1.0f, 1.0f, false, false, false, 16, 0.1f}),
        codedRow("psum 3 passes coupled layer costs",
                 {3, brindmar::kStealthSyncFactor, 1.0f, true}),
        {"psum bounds in expectation", boundsRow},
    };
}

// The all-three move priced by each factor (infinite: one channel only), to trade the rich
// model's view of the colour differences against SPAM's of the bytes changed: the coder in
// three passes uncoupled, as it would ship, and coupled; and the payload-limited sender with the
// same prices, which the coder's moves per bit are measured against.
std::vector<StealthEmbedding> tripleRows() {
    std::vector<StealthEmbedding> all;
    for (const float triple : {0.5f, 0.75f, 1.0f, 1.25f, 1.5f, 2.0f, 3.0f, kOneChannelOnly}) {
        const std::string name =
            triple == kOneChannelOnly ? "one channel only" : "triple " + factorName(triple);
        all.push_back(codedRow("psum 3 passes " + name, {3, 1.0f, triple}));
        all.push_back(
            {"psum 3 passes coupled " + name, [triple](Tile& tile, double rate, uint64_t seed) {
                 pixelSumRow(tile, rate, seed, {3, brindmar::kStealthSyncFactor, triple});
             }});
        all.push_back({"psum bound " + name, [triple](Tile& tile, double rate, uint64_t seed) {
                           pixelSender(tile, rate, seed, true, true, 1.0, triple);
                       }});
    }
    return all;
}

} // namespace

std::vector<StealthEmbedding> diagnosisEmbeddings() {
    std::vector<StealthEmbedding> all = rows();
    for (std::vector<StealthEmbedding> more : {tripleRows(), layerRows()}) {
        all.insert(all.end(), more.begin(), more.end());
    }
    return all;
}

} // namespace detect
