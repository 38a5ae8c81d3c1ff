// A stream carried in a JPEG's coefficients must come back from the written file under its keys
// and under no others, every change being one AC coefficient moved by one; the cost must price
// as the paper does.
#include "protection/JpegStealth.h"
#include "JpegCarriers.h"
#include "protection/JpegCost.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <random>

using namespace brindmar;

namespace {

JpegStealthKeys randomKeys(std::mt19937& random) {
    JpegStealthKeys keys;
    for (auto* key : {&keys.walk, &keys.head, &keys.code, &keys.directions}) {
        std::generate(key->begin(), key->end(),
                      [&] { return static_cast<unsigned char>(random()); });
    }
    return keys;
}

TEST(JpegStealth, ReadsBackWhatItCarriesUnderItsKeysAlone) {
    std::mt19937 random(34);
    const double rates[] = {0.02, 0.05, 0.1, 0.2, 0.4};
    for (int round = 0; round < 30; ++round) {
        JpegCarrierKind kind;
        kind.width = static_cast<uint32_t>(48 + random() % 260);
        kind.height = static_cast<uint32_t>(48 + random() % 200);
        kind.quality = static_cast<int>(60 + random() % 41);
        kind.progressive = random() % 2 == 0;
        kind.subsampled = random() % 2 == 0;
        kind.optimized = random() % 3 == 0;
        kind.exif = random() % 2 == 0;
        kind.gps = kind.exif && random() % 2 == 0;
        kind.seed = static_cast<uint32_t>(random());
        const QByteArray carrier = makeJpeg(kind);
        const std::string what = "round " + std::to_string(round) + ", quality " +
                                 std::to_string(kind.quality) +
                                 (kind.progressive ? ", progressive" : ", baseline") +
                                 (kind.subsampled ? ", 4:2:0" : ", 4:4:4");
        JpegCoefficients jpeg;
        ASSERT_EQ(jpeg.open(carrier), JpegOpenStatus::Done) << what;
        const std::vector<JpegComponent> before = jpeg.components();
        const uint64_t nonZero = jpegNonZeroAcCount(jpeg);
        const double wanted = rates[round % 5] * static_cast<double>(nonZero) / 8;
        const auto length = static_cast<qsizetype>(
            std::clamp<double>(wanted, 1, static_cast<double>(jpegStealthCapacity(jpeg))));
        QByteArray stream(length, '\0');
        std::generate(stream.begin(), stream.end(), [&] { return static_cast<char>(random()); });
        const JpegStealthKeys keys = randomKeys(random);

        const JpegStealthReport report = jpegStealthEmbed(jpeg, keys, stream);
        ASSERT_TRUE(report.done) << what;
        uint64_t changed = 0;
        for (size_t c = 0; c < before.size(); ++c) {
            for (size_t k = 0; k < before[c].coefficients.size(); ++k) {
                const int step = jpeg.components()[c].coefficients[k] - before[c].coefficients[k];
                ASSERT_TRUE(step == 0 || (k % 64 != 0 && std::abs(step) == 1)) << what;
                changed += step != 0 ? 1 : 0;
            }
        }
        EXPECT_EQ(changed, report.changes) << what;

        JpegCoefficients written;
        ASSERT_EQ(written.open(jpeg.write()), JpegOpenStatus::Done) << what;
        EXPECT_EQ(written.progressive(), kind.progressive) << what;
        EXPECT_EQ(written.hasGpsPosition(), kind.gps) << what;
        EXPECT_EQ(jpegStealthRead(written, keys), stream) << what;
        EXPECT_NE(jpegStealthRead(written, randomKeys(random)), stream) << what;
    }
}

// Decoded to pixels and encoded again, even at the carrier's own quality and sampling, the
// coefficients move and the stream is gone.
TEST(JpegStealth, LosesTheStreamToARecompression) {
    std::mt19937 random(3434);
    for (const int quality : {75, 90, 95}) {
        for (const bool progressive : {false, true}) {
            JpegCarrierKind kind;
            kind.width = 200;
            kind.height = 150;
            kind.quality = quality;
            kind.progressive = progressive;
            kind.seed = static_cast<uint32_t>(random());
            JpegCoefficients jpeg;
            ASSERT_EQ(jpeg.open(makeJpeg(kind)), JpegOpenStatus::Done);
            const QByteArray stream(static_cast<qsizetype>(jpegNonZeroAcCount(jpeg) / 80), 'x');
            const JpegStealthKeys keys = randomKeys(random);
            ASSERT_TRUE(jpegStealthEmbed(jpeg, keys, stream).done);
            JpegCoefficients again;
            ASSERT_EQ(again.open(reencodeJpeg(jpeg.write(), quality, true)), JpegOpenStatus::Done);
            EXPECT_NE(jpegStealthRead(again, keys), stream) << quality << progressive;
        }
    }
}

// Cost = step / (block energy + a quarter of the neighbours'), energy = sum of |AC| times step;
// a change past the largest magnitude, or in a neighbourhood with no energy, is wet.
TEST(JpegStealth, PricesAsUerd) {
    struct Case {
        const char* name;
        std::vector<int16_t> blocks; // one coefficient (row-major index 1) per block, in a row
        size_t block;
        size_t index;
        float cost;
    };
    // Every step 2, but index 1's 4.
    const Case cases[] = {
        {"alone: 4 / (4 * 3)", {3}, 0, 2, 2.0f / 12},
        {"the block's own step", {3}, 0, 1, 4.0f / 12},
        {"a neighbour at a quarter: 2 / (12 + 24 / 4)", {3, 6}, 0, 2, 2.0f / 18},
        {"two neighbours", {0, 3, 6}, 1, 2, 2.0f / (12 + 6)},
        {"flat all around", {0, 0}, 0, 2, kWetCost},
        {"at the largest magnitude", {1023}, 0, 1, kWetCost},
        {"at the largest negative one", {-1023}, 0, 1, kWetCost},
        {"one short of it", {1022}, 0, 1, 4.0f / (1022 * 4)},
    };
    for (const Case& c : cases) {
        JpegComponent component;
        component.widthInBlocks = static_cast<uint32_t>(c.blocks.size());
        component.heightInBlocks = 1;
        component.quant.fill(2);
        component.quant[1] = 4;
        component.coefficients.assign(c.blocks.size() * 64, 0);
        for (size_t b = 0; b < c.blocks.size(); ++b) {
            component.coefficients[b * 64] = 50; // DC: no part of the energy
            component.coefficients[b * 64 + 1] = c.blocks[b];
        }
        float cost[63];
        UerdCost(component).block(c.block, cost);
        EXPECT_FLOAT_EQ(cost[c.index - 1], c.cost) << c.name;
    }
}

} // namespace
