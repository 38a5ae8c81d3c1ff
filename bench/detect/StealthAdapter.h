#pragma once

// The embeddings the benchmark measures as stealth. One file to change when the real embedder
// is wired in: the rows' names and what each does to a tile.

#include "Tile.h"
#include "protection/StealthImage.h"

#include <QByteArray>

#include <functional>
#include <string>
#include <vector>

namespace detect {

struct StealthEmbedding {
    std::string name;
    // Hides rate bits per colour byte of a random message in the tile, seeded.
    std::function<void(Tile&, double rate, uint64_t seed)> embed;
};

// What the coder is given for one tile: a key and salt of the tile's own, drawn from rng (the
// benchmark measures the embedding, not Argon2id), and the longest random archive whose sealed
// stream holds at most `bits`, the seal's own bits included.
struct StealthInputs {
    brindmar::SecretBytes key{32};
    brindmar::StealthSalt salt{};
    QByteArray archive;
};
StealthInputs randomStealthInputs(Rng& rng, double bits);

// The real coder on a picture in place under those inputs, its seal's random stream header
// drawn from seed, so that a row embeds the same bytes every run and rows compare seed for seed.
brindmar::StealthEmbedReport embedSeeded(Tile& tile, const StealthInputs& in, uint64_t seed);

// triples: more rows of the coder with these factors on the price of a pixel's move by all
// three channels, named "stealth triple F".
std::vector<StealthEmbedding> stealthEmbeddings(const std::vector<float>& triples = {});

} // namespace detect
