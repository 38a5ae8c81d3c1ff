#pragma once

// A prototype of a ternary coder over pixel sums, for the benchmark alone: S = B + G + R of each
// pixel along a keyed walk of pixels, two syndrome-trellis layers as the stealth coder has them
// (bit 1 of S chosen first, then bit 0 among the pixels left), each move of S by one made either
// by one channel that way or by all three channels the other way (S -+ 3 flips the same two low
// bits), whichever is cheaper. Moving all three leaves the channels' differences as they were,
// which is what the colour rich model keys on. No salt, no head, no seal: random bits stand in
// for the sealed stream. Optionally coupled as the stealth coder is: the walk and the message cut
// into passes, and a channel moving the way its neighbours' changes went costs less.

#include "Tile.h"

#include <array>
#include <cstdint>
#include <vector>

namespace detect {

// How a pixel moves its sum: the channel moved (0 blue, 1 green, 2 red), all three the other
// way, or not at all.
inline constexpr int8_t kAllThree = 3;
inline constexpr int8_t kNoMove = -1;

struct PixelPrices {
    std::vector<float> cost; // a move of the pixel's sum either way; brindmar::kWetCost for none
    std::vector<int8_t> way;
};

// single: each colour byte's price as the coder has it (own HILL plus the differences', kWet when
// wet); own: its own HILL alone (kWet when wet). A pixel's move by one channel costs that
// channel's single price, by all three `triple` times the sum of their own prices, and needs
// all three dry.
PixelPrices pixelPrices(const std::vector<double>& single, const std::vector<double>& own,
                        float triple = 1.0f);

// The cheaper way to move a pixel's sum by d (1 or -1), from its three channels' prices as
// above; lean holds the sign of the changes next to each channel so far (0 for none), and a
// channel that would move that way costs `coupling` times less. All three cost `triple` times
// their own prices: three changed bytes show to the single-channel detectors where one does not.
struct PixelMove {
    float cost = 0; // brindmar::kWetCost for none
    int8_t way = kNoMove;
};
PixelMove cheaperMove(const double* single, const double* own, const int8_t* lean, int d,
                      float coupling, float triple = 1.0f);

// Passes of consecutive walk steps, each carrying its own share of the message in two layers,
// the coupling's factor (1 for none), and the all-three move's factor (infinite for one
// channel only). The reader needs the passes alone, and oneLayer.
struct PixelSumShape {
    int passes = 1;
    float coupling = 1.0f;
    float triple = 1.0f;
    // The bit-1 layer's moves priced up by what they take from the low-bit layer (bitOneCost,
    // at the ternary sender's multiplier for the message over the pixels' prices); the low-bit
    // layer keeps the prices as they are. Nothing changes for the reader.
    bool layerCosts = false;
    // Each pass's whole share in one binary layer of the sum's low bit: not the two layers the
    // stealth coder has, but the trellis alone to set against the binary bound.
    bool oneLayer = false;
    // Each layer priced from the picture as the layers before it left it, rather than from the
    // cover's prices given.
    bool repriced = false;
    // Each pass carried this many times, the bit-1 layer's prices shaken each time by up to
    // `shake` of themselves either way at random (the first time not at all), and the one whose
    // moves cost least kept.
    int tries = 1;
    float shake = 0.1f;
};

// The walk key orders the pixels as the stealth walk orders colour bytes (KeyedWalk over the
// pixels); the code key gives the layers' trellis codes.
struct PixelSumKey {
    std::array<unsigned char, 32> walk{};
    std::array<unsigned char, 32> code{};
};
PixelSumKey randomPixelSumKey(Rng& rng);

struct PixelSumChanges {
    bool carried = false;  // both layers found a path; the message is in the picture
    uint64_t moves = 0;    // pixels whose sum moved
    uint64_t triples = 0;  // of them, by all three channels
    double distortion = 0; // the moves' prices added up, before any surcharge or shake
    double pricingMs = 0;  // of the embed's time, pricing the pixels' moves
};

// Carries message in the tile's pixel sums, changing it in place. Fails (carried false) when
// the picture has too few pixels for its bits or a layer found no path past the wet ones.
PixelSumChanges pixelSumEmbed(Tile& tile, const std::vector<double>& single,
                              const std::vector<double>& own, const PixelSumKey& key,
                              const std::vector<unsigned char>& message,
                              const PixelSumShape& shape = {});

// The message of `bytes` bytes as the pixels carry it: each layer's syndrome, nothing else.
std::vector<unsigned char> pixelSumRead(const Tile& tile, const PixelSumKey& key, size_t bytes,
                                        int passes = 1, bool oneLayer = false);

// The benchmark's row: a key and a random message of rate bits per colour byte of the tile's
// own, the coder's prices; the message is read back from the pixels alone, and the run stops if
// it does not come back.
PixelSumChanges pixelSumRow(Tile& tile, double rate, uint64_t seed,
                            const PixelSumShape& shape = {});

} // namespace detect
