#include "Spam.h"
#include "Classifier.h"
#include "PlusMinusOne.h"
#include "Roc.h"
#include "SyntheticTiles.h"

#include <gtest/gtest.h>

#include <numeric>

namespace detect {
namespace {

using testing::smoothTile;

// The area under the ROC curve of the model's scores on held-out samples.
double heldOutArea(const FisherLinear& model, const Samples& cover, const Samples& stego) {
    std::vector<double> coverScores, stegoScores;
    for (size_t i = 0; i < cover.size(); ++i) {
        coverScores.push_back(model.score(cover[i]));
        stegoScores.push_back(model.score(stego[i]));
    }
    return rocArea(coverScores, stegoScores);
}

TEST(SpamFeatures, AreTransitionProbabilities) {
    const std::vector<double> f = spamFeatures(smoothTile(64, 3));
    ASSERT_EQ(f.size(), static_cast<size_t>(kSpamFeatures));
    // Each half averages four directions whose rows of seven sum to one where seen.
    for (int half = 0; half < 2; ++half) {
        for (int row = 0; row < 49; ++row) {
            const auto begin = f.begin() + half * 343 + row * 7;
            const double sum = std::accumulate(begin, begin + 7, 0.0);
            EXPECT_TRUE(sum < 1e-12 || (sum > 0.25 - 1e-9 && sum < 1.0 + 1e-9)) << row;
        }
    }
    // A constant tile has only zero differences: one certain transition per half.
    Tile flat(32, 32);
    std::fill(flat.bgr.begin(), flat.bgr.end(), uint8_t{90});
    const std::vector<double> g = spamFeatures(flat);
    const int zero = (3 * 7 + 3) * 7 + 3;
    EXPECT_DOUBLE_EQ(g[zero], 1.0);
    EXPECT_DOUBLE_EQ(g[343 + zero], 1.0);
    EXPECT_DOUBLE_EQ(std::accumulate(g.begin(), g.end(), 0.0), 2.0);
}

// Noise-free smooth tiles against the same with dense ±1 changes: the classifier, trained on
// half, must tell the other half apart.
TEST(SpamClassifier, SeparatesDensePlusMinusOneOnHeldOutTiles) {
    Samples trainCover, trainStego, testCover, testStego;
    for (uint64_t seed = 1; seed <= 40; ++seed) {
        const Tile cover = smoothTile(48, seed);
        Tile stego = cover;
        embedRandomPlusMinusOne(stego, 0.5 * static_cast<double>(stego.colourBytes()), seed);
        (seed % 2 == 0 ? trainCover : testCover).push_back(spamFeatures(cover));
        (seed % 2 == 0 ? trainStego : testStego).push_back(spamFeatures(stego));
    }
    FisherLinear model;
    ASSERT_TRUE(model.train(trainCover, trainStego, 1.0));
    EXPECT_GT(heldOutArea(model, testCover, testStego), 0.9);
}

TEST(FisherLinear, RefusesBadTrainingSets) {
    FisherLinear model;
    EXPECT_FALSE(model.train({}, {{1.0}}, 1.0));
    EXPECT_FALSE(model.train({{1.0, 2.0}}, {{1.0}}, 1.0));
    EXPECT_DOUBLE_EQ(model.score({1.0}), 0.0);
    // One informative feature and one constant one.
    EXPECT_TRUE(model.train({{0.0, 5.0}, {0.2, 5.0}}, {{1.0, 5.0}, {1.2, 5.0}}, 0.1));
    EXPECT_GT(model.score({1.1, 5.0}), model.score({0.1, 5.0}));
}

// The ridge search keeps cover i and stego i together and ends with a usable model, whatever
// the grid picks: one informative feature among noisy ones.
TEST(FisherLinear, ChosenRidgeModelScoresHeldOutSamples) {
    Rng rng(5);
    auto sample = [&](double shift) {
        std::vector<double> s(6);
        for (double& v : s) {
            v = rng.uniform();
        }
        s[2] += shift;
        return s;
    };
    Samples cover, stego, testCover, testStego;
    for (int i = 0; i < 40; ++i) {
        cover.push_back(sample(0.0));
        stego.push_back(sample(0.6));
        testCover.push_back(sample(0.0));
        testStego.push_back(sample(0.6));
    }
    const FisherLinear model = trainWithChosenRidge(cover, stego);
    EXPECT_GT(heldOutArea(model, testCover, testStego), 0.85);
    // Too few samples for folds: still trained, at the default ridge.
    const FisherLinear small = trainWithChosenRidge({cover[0], cover[1]}, {stego[0], stego[1]});
    EXPECT_NE(small.score(stego[0]), 0.0);
}

} // namespace
} // namespace detect
