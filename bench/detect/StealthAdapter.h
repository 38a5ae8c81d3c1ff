#pragma once

// The embeddings the benchmark measures as stealth. One file to change when the real embedder
// is wired in: the rows' names and what each does to a tile.

#include "Tile.h"

#include <functional>
#include <string>
#include <vector>

namespace detect {

struct StealthEmbedding {
    std::string name;
    // Hides rate bits per colour byte of a random message in the tile, seeded.
    std::function<void(Tile&, double rate, uint64_t seed)> embed;
};

// couplings: more rows of the coder with these coupling factors, named "stealth coupled F"
// (1: the colour difference costs alone).
std::vector<StealthEmbedding> stealthEmbeddings(const std::vector<float>& couplings = {});

} // namespace detect
