#include "Dctr.h"
#include "JpegAttacks.h"
#include "JpegPlanes.h"
#include "SyntheticTiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace detect {
namespace {

SamplePlane randomPlane(int width, int height, uint64_t seed) {
    Rng rng(seed);
    SamplePlane plane(width, height);
    for (float& s : plane.samples) {
        s = static_cast<float>(rng.uniform() * 255.0);
    }
    return plane;
}

// The luminance of a smooth synthetic tile, as an encoder at this quality would store it.
brindmar::JpegComponent smoothLuminance(uint64_t seed, int quality) {
    const Tile tile = testing::smoothTile(128, seed);
    SamplePlane plane(tile.width, tile.height);
    for (int y = 0; y < tile.height; ++y) {
        for (int x = 0; x < tile.width; ++x) {
            const auto channel = [&](int c) { return static_cast<float>(tile.at(x, y, c)); };
            plane.at(x, y) =
                std::round(0.114f * channel(0) + 0.587f * channel(1) + 0.299f * channel(2));
        }
    }
    return quantisedBlocks(plane, standardLuminance(quality));
}

// The reference: each pattern straight from the paper's formula at every position, no
// separation into passes; the offset classes by comparing each offset with its mirror image.
TEST(Dctr, FeaturesMatchThePapersFormulaOnATinyPlane) {
    const SamplePlane plane = randomPlane(21, 19, 5);
    const float step = dctrStep(80);
    std::vector<float> features;
    dctrFeatures(plane, step, features);
    ASSERT_EQ(features.size(), kDctrFeatures);

    const double pi = std::acos(-1.0);
    std::vector<double> counts(kDctrFeatures, 0.0);
    std::vector<double> positions(25, 0.0);
    const auto classOf = [](int offset) { return std::min(offset, (8 - offset) % 8); };
    for (int i = 0; i + 8 <= plane.height; ++i) {
        for (int j = 0; j + 8 <= plane.width; ++j) {
            const int phase = 5 * classOf(i % 8) + classOf(j % 8);
            positions[static_cast<size_t>(phase)] += 1.0;
            for (int k = 0; k < 8; ++k) {
                for (int l = 0; l < 8; ++l) {
                    double u = 0.0;
                    for (int m = 0; m < 8; ++m) {
                        for (int n = 0; n < 8; ++n) {
                            const double wk = k == 0 ? 1.0 : std::sqrt(2.0);
                            const double wl = l == 0 ? 1.0 : std::sqrt(2.0);
                            u += plane.at(j + n, i + m) * wk * wl / 8.0 *
                                 std::cos(pi * k * (2 * m + 1) / 16) *
                                 std::cos(pi * l * (2 * n + 1) / 16);
                        }
                    }
                    const int value =
                        std::min(kDctrCap, static_cast<int>(std::floor(std::abs(u) / step + 0.5)));
                    counts[static_cast<size_t>(125 * (8 * k + l) + 5 * phase + value)] += 1.0;
                }
            }
        }
    }
    for (size_t f = 0; f < kDctrFeatures; ++f) {
        EXPECT_NEAR(features[f], counts[f] / positions[(f / 5) % 25], 1e-6) << f;
    }
}

// Decoding without rounding and encoding again with the same table gives the coefficients back.
TEST(JpegPlanes, UnroundedDecodeAndEncodeGiveTheCoefficientsBack) {
    for (uint64_t seed : {1u, 2u, 3u}) {
        Rng rng(seed);
        brindmar::JpegComponent component;
        component.widthInBlocks = 3;
        component.heightInBlocks = 2;
        component.quant = standardLuminance(static_cast<int>(50 + rng.below(51)));
        component.coefficients.resize(6 * 64);
        for (int16_t& c : component.coefficients) {
            c = static_cast<int16_t>(static_cast<int>(rng.below(41)) - 20);
        }
        const brindmar::JpegComponent back =
            quantisedBlocks(decodedPlane(component), component.quant);
        EXPECT_EQ(back.coefficients, component.coefficients) << seed;
    }
}

TEST(JpegAttacks, QualityIsToldFromTheLuminanceTable) {
    for (int quality : {30, 50, 75, 85, 90, 95, 99, 100}) {
        EXPECT_EQ(estimatedQuality(standardLuminance(quality)), quality);
    }
}

// Each attack ranks a stego component above its cover, for the change it is built to see: the
// chi-square attack low bits replaced (JSteg's way, 0 and 1 left alone), the calibration F5's
// shrinking of magnitudes, and ±1 on the three modes the calibration reads.
TEST(JpegAttacks, EachAttackSeesTheChangeItIsBuiltFor) {
    enum class Change { LowBitReplaced, Shrunk, PlusMinusOne };
    const struct {
        Change change;
        int quality;
    } rows[] = {{Change::LowBitReplaced, 90}, {Change::Shrunk, 75}, {Change::PlusMinusOne, 75}};
    for (const auto& row : rows) {
        for (uint64_t seed : {11u, 12u, 13u}) {
            const brindmar::JpegComponent cover = smoothLuminance(seed, row.quality);
            brindmar::JpegComponent stego = cover;
            Rng rng(seed * 31);
            for (size_t i = 0; i < stego.coefficients.size(); ++i) {
                int16_t& c = stego.coefficients[i];
                const size_t mode = i % 64;
                if (row.change == Change::LowBitReplaced && mode != 0 && c != 0 && c != 1) {
                    c = static_cast<int16_t>((c & ~1) | static_cast<int>(rng.below(2)));
                } else if (row.change == Change::Shrunk && mode != 0 && c != 0 &&
                           rng.uniform() < 0.5) {
                    c = static_cast<int16_t>(c > 0 ? c - 1 : c + 1);
                } else if (row.change == Change::PlusMinusOne &&
                           (mode == 1 || mode == 8 || mode == 9) && rng.uniform() < 0.3) {
                    c = static_cast<int16_t>(c + (rng.below(2) == 0 ? 1 : -1));
                }
            }
            switch (row.change) {
            case Change::LowBitReplaced:
                EXPECT_GT(jpegChiSquare({stego}), jpegChiSquare({cover}) + 1.0) << seed;
                break;
            case Change::Shrunk:
                EXPECT_GT(calibrated(stego).shrinkage, calibrated(cover).shrinkage + 0.1) << seed;
                break;
            case Change::PlusMinusOne:
                EXPECT_GT(calibrated(stego).plusMinusOne, calibrated(cover).plusMinusOne + 0.1)
                    << seed;
                break;
            }
        }
    }
}

} // namespace
} // namespace detect
