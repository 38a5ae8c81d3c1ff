#include "RichModel.h"
#include "Changes.h"
#include "Ensemble.h"
#include "RichCooccurrence.h"
#include "SyntheticTiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>

namespace detect {
namespace {

// The reference: each residual as a literal 5 x 5 matrix of weights centred on the pixel,
// applied and quantised in floating point, and every symmetry class found by comparing the
// tuples themselves. Nothing of the model's own index arithmetic is reused.
using Matrix = std::array<std::array<int, 5>, 5>;

Matrix turnedClockwise(const Matrix& m) {
    Matrix out{};
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 5; ++x) {
            out[y][x] = m[4 - x][y];
        }
    }
    return out;
}

Matrix mirrored(const Matrix& m) {
    Matrix out{};
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 5; ++x) {
            out[y][x] = m[y][4 - x];
        }
    }
    return out;
}

std::map<Residual, Matrix> referenceKernels() {
    const Matrix first = {{{}, {}, {0, 0, -1, 1, 0}, {}, {}}};
    const Matrix second = {{{}, {}, {0, 1, -2, 1, 0}, {}, {}}};
    const Matrix third = {{{}, {}, {0, 1, -3, 3, -1}, {}, {}}};
    const Matrix square3 = {{{}, {0, -1, 2, -1, 0}, {0, 2, -4, 2, 0}, {0, -1, 2, -1, 0}, {}}};
    const Matrix edge3 = {{{}, {0, -1, 2, -1, 0}, {0, 2, -4, 2, 0}, {}, {}}};
    const Matrix square5 = {{{-1, 2, -2, 2, -1},
                             {2, -6, 8, -6, 2},
                             {-2, 8, -12, 8, -2},
                             {2, -6, 8, -6, 2},
                             {-1, 2, -2, 2, -1}}};
    const Matrix edge5 = {{{-1, 2, -2, 2, -1}, {2, -6, 8, -6, 2}, {-2, 8, -12, 8, -2}, {}, {}}};
    const auto t = turnedClockwise;
    return {
        {kFirstRight, first},
        {kFirstLeft, mirrored(first)},
        {kFirstDown, t(first)},
        {kFirstUp, t(t(t(first)))},
        {kSecondH, second},
        {kSecondV, t(second)},
        {kThirdRight, third},
        {kThirdLeft, mirrored(third)},
        {kThirdDown, t(third)},
        {kThirdUp, t(t(t(third)))},
        {kSquare3, square3},
        {kEdge3Up, edge3},
        {kEdge3Right, t(edge3)},
        {kEdge3Down, t(t(edge3))},
        {kEdge3Left, t(t(t(edge3)))},
        {kSquare5, square5},
        {kEdge5Up, edge5},
        {kEdge5Right, t(edge5)},
        {kEdge5Down, t(t(edge5))},
        {kEdge5Left, t(t(t(edge5)))},
    };
}

int scaleOf(Residual r) {
    switch (r) {
    case kFirstRight:
    case kFirstLeft:
    case kFirstDown:
    case kFirstUp:
        return 1;
    case kSecondH:
    case kSecondV:
        return 2;
    case kThirdRight:
    case kThirdLeft:
    case kThirdDown:
    case kThirdUp:
        return 3;
    case kSquare5:
    case kEdge5Up:
    case kEdge5Down:
    case kEdge5Left:
    case kEdge5Right:
        return 12;
    default:
        return 4;
    }
}

// The quantised residual (or min or max over `set`) at inner pixel (x, y), in -2..2.
int symbolAt(const Plane& p, const std::vector<Residual>& set, int which, int step, int x, int y) {
    static const std::map<Residual, Matrix> kernels = referenceKernels();
    double chosen = 0.0;
    for (size_t k = 0; k < set.size(); ++k) {
        const Matrix& m = kernels.at(set[k]);
        double r = 0.0;
        for (int dy = -2; dy <= 2; ++dy) {
            for (int dx = -2; dx <= 2; ++dx) {
                r += m[dy + 2][dx + 2] * p.at(x + 2 + dx, y + 2 + dy);
            }
        }
        chosen = k == 0 ? r : which < 0 ? std::min(chosen, r) : std::max(chosen, r);
    }
    const double q = static_cast<double>(step * scaleOf(set.front()));
    return static_cast<int>(std::clamp(std::round(chosen / q), -2.0, 2.0));
}

using Quad = std::array<int, 4>;

Quad reversedQuad(Quad t) {
    std::reverse(t.begin(), t.end());
    return t;
}

Quad negatedQuad(Quad t) {
    for (int& v : t) {
        v = -v;
    }
    return t;
}

// Every quadruple of -2..2 mapped to its class's least member; classes ordered by it.
template <class Canonical> std::map<Quad, double> emptyClasses(Canonical canonical) {
    std::map<Quad, double> bins;
    for (int i = 0; i < 625; ++i) {
        bins[canonical(Quad{i / 125 - 2, i / 25 % 5 - 2, i / 5 % 5 - 2, i % 5 - 2})] = 0.0;
    }
    return bins;
}

void appendReference(const std::map<Quad, double>& bins, std::vector<float>& out) {
    double total = 0.0;
    for (const auto& [key, count] : bins) {
        total += count;
    }
    for (const auto& [key, count] : bins) {
        out.push_back(static_cast<float>(count / total));
    }
}

std::vector<float> referenceSpatial(const std::vector<Plane>& planes) {
    const auto signCanonical = [](const Quad& t) {
        return std::min({t, reversedQuad(t), negatedQuad(t), negatedQuad(reversedQuad(t))});
    };
    const auto reversalCanonical = [](const Quad& t) { return std::min(t, reversedQuad(t)); };
    std::vector<float> out;
    for (int step : kRichSteps) {
        for (const Submodel& m : richSubmodels()) {
            std::map<Quad, double> bins =
                m.minMax ? emptyClasses(reversalCanonical) : emptyClasses(signCanonical);
            for (const Plane& p : planes) {
                const int w = p.width - 4;
                const int h = p.height - 4;
                for (const Scan& scan : m.scans) {
                    const int dx = scan.alongRows ? 1 : 0;
                    const int dy = 1 - dx;
                    for (int y = 0; y + 3 * dy < h; ++y) {
                        for (int x = 0; x + 3 * dx < w; ++x) {
                            for (int which : {-1, 1}) {
                                Quad t;
                                for (int k = 0; k < 4; ++k) {
                                    t[k] = symbolAt(p, scan.residuals, which, step, x + k * dx,
                                                    y + k * dy);
                                }
                                if (!m.minMax) {
                                    bins[signCanonical(t)] += 1.0;
                                    break;
                                }
                                // A max tuple counts as the min tuple of the negated picture.
                                bins[reversalCanonical(which < 0 ? t : negatedQuad(t))] += 1.0;
                            }
                        }
                    }
                }
            }
            appendReference(bins, out);
        }
    }
    return out;
}

std::vector<float> referenceColour(const Tile& tile) {
    const std::vector<Plane> planes = colourPlanes(tile);
    std::vector<float> out;
    for (int step : kRichSteps) {
        for (const std::vector<Residual>& group : colourGroups()) {
            std::map<Quad, double> bins;
            for (int i = 0; i < 125; ++i) {
                const Quad t{i / 25 - 2, i / 5 % 5 - 2, i % 5 - 2, 0};
                bins[std::min(t, negatedQuad(t))] = 0.0;
            }
            for (Residual r : group) {
                for (int y = 0; y < tile.height - 4; ++y) {
                    for (int x = 0; x < tile.width - 4; ++x) {
                        // Red, green, blue.
                        const Quad t{symbolAt(planes[2], {r}, 0, step, x, y),
                                     symbolAt(planes[1], {r}, 0, step, x, y),
                                     symbolAt(planes[0], {r}, 0, step, x, y), 0};
                        bins[std::min(t, negatedQuad(t))] += 1.0;
                    }
                }
            }
            appendReference(bins, out);
        }
    }
    return out;
}

// Small tiles of both kinds: smooth with mild noise, and the same under dense ±2 noise that
// reaches every truncated symbol.
std::vector<Tile> smallTiles() {
    std::vector<Tile> tiles;
    for (uint64_t seed = 1; seed <= 2; ++seed) {
        Tile smooth = testing::smoothTile(11, seed);
        Tile rough = smooth;
        Rng rng(seed);
        for (uint8_t& v : rough.bgr) {
            v = static_cast<uint8_t>(v + static_cast<int>(rng.below(9)) - 4);
        }
        tiles.push_back(smooth);
        tiles.push_back(rough);
    }
    return tiles;
}

TEST(RichModel, FeaturesMatchAPlainComputation) {
    const RichLayout layout = richLayout();
    EXPECT_EQ(layout.spatial, 2u * (12 * 169 + 9 * 325));
    EXPECT_EQ(layout.colour, 2u * 7 * 63);
    for (const Tile& tile : smallTiles()) {
        const std::vector<float> features = richFeatures(tile);
        ASSERT_EQ(features.size(), layout.total());
        std::vector<float> expected = referenceSpatial(colourPlanes(tile));
        const std::vector<float> colour = referenceColour(tile);
        const std::vector<float> differences = referenceSpatial(differencePlanes(tile));
        expected.insert(expected.end(), colour.begin(), colour.end());
        expected.insert(expected.end(), differences.begin(), differences.end());
        ASSERT_EQ(expected.size(), features.size());
        for (size_t i = 0; i < features.size(); ++i) {
            ASSERT_NEAR(features[i], expected[i], 1e-6) << i;
        }
    }
}

TEST(RichModel, SymmetryClassesHaveTheExpectedCounts) {
    const auto count = [](const auto& classes) {
        return *std::max_element(classes.begin(), classes.end()) + 1;
    };
    EXPECT_EQ(count(signAndReversalClass()), kSignBins);
    EXPECT_EQ(count(reversalClass()), kMinMaxBins);
    EXPECT_EQ(count(tripleSignClass()), kColourBins);
}

// Many noisy features, a few of which shift with the class: the vote must rank held-out stego
// samples above covers, and the subset size must come from the grid.
TEST(FldEnsemble, SeparatesAShiftInAFewOfManyFeatures) {
    Rng rng(11);
    FeatureRows cover, stego;
    for (int i = 0; i < 120; ++i) {
        std::vector<float> c(300), s(300);
        for (size_t k = 0; k < c.size(); ++k) {
            c[k] = static_cast<float>(0.3 * rng.uniform());
            s[k] = static_cast<float>(0.3 * rng.uniform() + (k % 10 == 0 ? 0.15 : 0.0));
        }
        cover.push_back(c);
        stego.push_back(s);
    }
    EnsembleOptions options;
    options.learners = 15;
    options.subspaces = {20, 60};
    const SplitAreas areas = splitAreas(cover, stego, {}, 3, options, 5);
    ASSERT_EQ(areas.areas.size(), 3u);
    EXPECT_GT(areas.mean, 0.9);
    EXPECT_TRUE(areas.subspace == 20 || areas.subspace == 60);
    // Only the uninformative features: no better than chance, give or take the noise.
    std::vector<size_t> blind;
    for (size_t k = 0; k < 300; ++k) {
        if (k % 10 != 0) {
            blind.push_back(k);
        }
    }
    EXPECT_LT(splitAreas(cover, stego, blind, 3, options, 5).mean, 0.7);
}

TEST(Changes, CountsChangedBytesAndChannelsPerPixel) {
    Tile cover(2, 2);
    Tile stego = cover;
    stego.at(0, 0, 0) = 1;                       // one channel
    stego.at(1, 0, 0) = stego.at(1, 0, 2) = 255; // two
    stego.at(0, 1, 0) = stego.at(0, 1, 1) = stego.at(0, 1, 2) = 1;
    const ChangeCount c = countChanges({cover}, {stego});
    EXPECT_EQ(c.colourBytes, 12u);
    EXPECT_EQ(c.changedBytes, 6u);
    EXPECT_EQ(c.changedPixels, 3u);
    EXPECT_EQ(c.twoChannels, 1u);
    EXPECT_EQ(c.threeChannels, 1u);
    EXPECT_DOUBLE_EQ(c.changedShare(), 0.5);
}

} // namespace
} // namespace detect
