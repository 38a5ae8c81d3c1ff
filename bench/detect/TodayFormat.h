#pragma once

// Today's images, made in memory on a tile as the engine makes them on a carrier: the payload
// (header, then document) in the two low bits of the first colour bytes, then filler in the two
// low bits of every colour byte left, each byte moved to the nearest value with the wanted pair.

#include "Tile.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace detect {

enum class Protection { Plain, Strong };

// The first n filler bytes a program run's first embedding writes.
std::vector<uint8_t> fillerBytes(size_t n);

// The header and document of an embedding carrying `rate` bits per colour byte of the tile in
// all (the document is random, as a compressed or sealed one looks), seeded.
std::vector<uint8_t> todayPayload(const Tile& tile, Protection protection, double rate,
                                  uint64_t seed);

// Carries payload then filler in the tile's colour bytes, in the order the engine walks a BMP:
// the bottom row first, each row left to right, blue, green, red.
void carryWithFiller(Tile& tile, const std::vector<uint8_t>& payload);

} // namespace detect
