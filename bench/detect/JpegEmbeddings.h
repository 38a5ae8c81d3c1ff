#pragma once

// What the JPEG rows hide in a tile: the JPEG coder in the coefficients, and today's route
// (decoded, ±1 in the colour bytes by the pixel coder) with the same number of hidden bits.

#include "Tile.h"

#include <QByteArray>
#include <cstdint>
#include <optional>

namespace detect {

// A random stream of rate x the tile's non-zero AC coefficients bits, carried by the JPEG coder
// under random keys drawn from the seed; the stego file, or nothing when it does not fit.
// `bits` receives the stream's length in bits.
std::optional<QByteArray> jpegStealthTile(const QByteArray& tile, double rate, uint64_t seed,
                                          uint64_t* bits = nullptr);

// The longest random document whose sealed stream is at most `bits` long, carried in the
// decoded tile by the pixel coder under a random key and salt drawn from the seed.
void pixelStealth(Tile& decoded, uint64_t bits, uint64_t seed);

} // namespace detect
