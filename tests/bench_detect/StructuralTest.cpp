#include "Structural.h"

#include "SyntheticTiles.h"

#include <gtest/gtest.h>

#include <cmath>

namespace detect {
namespace {

using testing::smoothTile;
using testing::withAllPairsOverwritten;

// Each structural detector over a few seeds: clean smooth tiles read as clean, the same tiles
// with the two low bits of every byte overwritten read as fully embedded.
TEST(StructuralDetectors, FlagFullPairReplacementAndNotTheCover) {
    for (uint64_t seed : {1u, 2u, 3u, 4u}) {
        const Tile cover = smoothTile(128, seed);
        const Tile stego = withAllPairsOverwritten(cover, seed + 100);

        const ChiSquare coverChi = chiSquare(cover);
        const ChiSquare stegoChi = chiSquare(stego);
        EXPECT_LT(coverChi.probability, 0.05) << seed;
        EXPECT_GT(stegoChi.probability, 0.5) << seed;
        EXPECT_GT(stegoChi.score, coverChi.score) << seed;

        // Every low bit random: half of them flipped, a share of 1 carrying a message.
        EXPECT_NEAR(weightedStego(cover), 0.0, 0.05) << seed;
        EXPECT_NEAR(weightedStego(stego), 1.0, 0.15) << seed;
        EXPECT_NEAR(samplePairs(cover), 0.0, 0.05) << seed;
        EXPECT_NEAR(samplePairs(stego), 1.0, 0.15) << seed;
    }
}

// The estimators follow the share of bytes carrying a message: plain low-bit replacement of a
// known share, flipping each chosen bit with probability one half.
TEST(StructuralDetectors, EstimatesFollowTheReplacedShare) {
    const Tile cover = smoothTile(128, 7);
    for (double share : {0.1, 0.3, 0.6}) {
        Tile stego = cover;
        Rng rng(static_cast<uint64_t>(share * 1000));
        for (uint8_t& v : stego.bgr) {
            if (rng.uniform() < share) {
                v = static_cast<uint8_t>((v & 0xFE) | (rng.next() & 1));
            }
        }
        EXPECT_NEAR(weightedStego(stego), share, 0.06) << share;
        EXPECT_NEAR(samplePairs(stego), share, 0.06) << share;
    }
}

TEST(StructuralDetectors, DegenerateTilesGiveFiniteScores) {
    Tile flat(16, 16);
    std::fill(flat.bgr.begin(), flat.bgr.end(), uint8_t{77});
    Tile empty;
    Tile line(1, 1);
    for (const Tile* t : {&flat, &empty, &line}) {
        EXPECT_TRUE(std::isfinite(chiSquare(*t).score));
        EXPECT_TRUE(std::isfinite(weightedStego(*t)));
        EXPECT_TRUE(std::isfinite(samplePairs(*t)));
    }
    EXPECT_EQ(chiSquare(empty).degrees, 0);
}

} // namespace
} // namespace detect
