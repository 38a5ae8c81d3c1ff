// A stream carried in a JPEG's coefficients must come back from the written file under its keys
// and under no others, every change being one AC coefficient moved by one; the cost must price
// as the paper does.
#include "protection/JpegStealth.h"
#include "JpegCarriers.h"
#include "protection/JpegCost.h"
#include "protection/JpegStealthPublic.h"

#include <algorithm>
#include <array>
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

// The public coefficients are where anyone who knows the format can look: over many carriers of
// one size they must change as often as the rest, at a fifth of the recommended rate, at it and
// at twice it, and their zeros as often to 1 as to -1, as a JPEG's are as often one as the other.
// Version 1's salt alone changed them 42, 7 and 3 times as often as the rest; layers on the
// values unshifted sent 18 times as many zeros to -1 as to 1.
TEST(JpegStealth, ThePublicCoefficientsChangeAsOftenAsTheRest) {
    for (const double rate : {0.02, 0.1, 0.2}) {
        uint64_t publicChanged = 0;
        uint64_t publicCount = 0;
        uint64_t restChanged = 0;
        uint64_t restCount = 0;
        std::array<double, 2> zeroMoved{}; // to -1, to 1
        std::mt19937 random(77);
        for (int round = 0; round < 16; ++round) {
            JpegCarrierKind kind;
            kind.width = 400;
            kind.height = 300;
            kind.seed = static_cast<uint32_t>(random());
            JpegCoefficients jpeg;
            ASSERT_EQ(jpeg.open(makeJpeg(kind)), JpegOpenStatus::Done);
            const std::vector<JpegComponent> before = jpeg.components();
            QByteArray stream(
                static_cast<qsizetype>(rate * static_cast<double>(jpegNonZeroAcCount(jpeg)) / 8),
                '\0');
            std::generate(stream.begin(), stream.end(),
                          [&] { return static_cast<char>(random()); });
            JpegStealthSalt salt;
            std::generate(salt.begin(), salt.end(),
                          [&] { return static_cast<unsigned char>(random()); });
            const JpegStealthKeys keys = randomKeys(random);
            ASSERT_TRUE(jpegStealthEmbed(jpeg, keys, stream, salt).done) << rate;
            EXPECT_EQ(jpegStealthRead(jpeg, keys), stream) << rate;
            std::vector<bool> changed;
            std::vector<int> fromZero; // 0, or where a zero went
            for (size_t c = 0; c < before.size(); ++c) {
                for (size_t k = 0; k < before[c].coefficients.size(); ++k) {
                    if (k % 64 != 0) {
                        const int now = jpeg.components()[c].coefficients[k];
                        changed.push_back(now != before[c].coefficients[k]);
                        fromZero.push_back(before[c].coefficients[k] == 0 ? now : 0);
                    }
                }
            }
            std::vector<bool> isPublic(changed.size());
            for (const uint32_t n : jpegPublicCoefficients(changed.size())) {
                isPublic[n] = true;
            }
            for (size_t n = 0; n < changed.size(); ++n) {
                if (isPublic[n] && fromZero[n] != 0) {
                    zeroMoved[fromZero[n] > 0 ? 1 : 0] += 1;
                }
                (isPublic[n] ? publicChanged : restChanged) += changed[n] ? 1 : 0;
                (isPublic[n] ? publicCount : restCount) += 1;
            }
        }
        const double expected = static_cast<double>(restChanged) *
                                static_cast<double>(publicCount) / static_cast<double>(restCount);
        EXPECT_NEAR(static_cast<double>(publicChanged), expected,
                    3 * std::sqrt(expected) + 0.1 * expected)
            << "rate " << rate;
        EXPECT_NEAR(zeroMoved[0], zeroMoved[1], 3 * std::sqrt(zeroMoved[0] + zeroMoved[1]) + 4)
            << "rate " << rate;
    }
}

// Writer and reader both take the tail's length from this arithmetic, so a round trip cannot see
// it drift from the format: one row a bound that decides it.
TEST(JpegStealth, TheTailsLengthFollowsTheFormat) {
    struct Row {
        uint64_t sealed, ac, publicCount, tail;
        const char* what;
    };
    const Row rows[] = {
        {1301, 113400, 28350, 328, "the matched share, a quarter of M public"},
        {6000, 113400, 28350, 869, "a quarter bit a public coefficient less the salt's"},
        {60, 2800, 2048, 30, "half the stream, 2048 public"},
        {60, 4000, 2048, 24, "the matched share, 2048 public"},
        {1000, 20000000, 262144, 0, "a stream whose share is below the salt's"},
        {2000, 20000000, 262144, 12, "the matched share, 2^18 public"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(jpegPublicCount(row.ac), row.publicCount) << row.what;
        EXPECT_EQ(jpegTailBytes(row.sealed, row.ac), row.tail) << row.what;
    }
}

// The public layers' changes go the way their bit needs, not the cheaper way: at the largest
// magnitudes that way could leave what the entropy coder writes.
TEST(JpegStealth, PublicCoefficientsAtTheLargestMagnitudesStayWritable) {
    const int16_t extremes[] = {1023, -1023, 1022, -1022, 1021, -1021, -3, -2, -1, 0, 1, 2, 3};
    std::mt19937 random(1023);
    for (int round = 0; round < 6; ++round) {
        JpegCarrierKind kind;
        kind.width = 160;
        kind.height = 120;
        kind.quality = 100; // steps of 1, so that the file can hold the largest magnitudes
        kind.seed = static_cast<uint32_t>(random());
        JpegCoefficients jpeg;
        ASSERT_EQ(jpeg.open(makeJpeg(kind)), JpegOpenStatus::Done);
        const uint64_t acCount = jpegAcCount(jpeg);
        size_t e = 0;
        for (const uint32_t n : jpegPublicCoefficients(acCount)) {
            uint64_t left = n;
            for (JpegComponent& c : jpeg.components()) {
                if (left < c.blocks() * 63) {
                    c.coefficients[left / 63 * 64 + left % 63 + 1] = extremes[e++ % 13];
                    break;
                }
                left -= c.blocks() * 63;
            }
        }
        QByteArray stream(600, '\0');
        std::generate(stream.begin(), stream.end(), [&] { return static_cast<char>(random()); });
        const JpegStealthSalt salt{};
        const JpegStealthKeys keys = randomKeys(random);
        ASSERT_TRUE(jpegStealthEmbed(jpeg, keys, stream, salt).done) << round;
        JpegCoefficients written;
        ASSERT_EQ(written.open(jpeg.write()), JpegOpenStatus::Done) << round;
        uint8_t version = 0;
        EXPECT_EQ(jpegStealthRead(written, keys, &version), stream) << round;
        EXPECT_EQ(version, kJpegStealthVersion);
        EXPECT_EQ(jpegStealthReadSalt(written), salt) << round;
        for (const JpegComponent& c : written.components()) {
            for (const int16_t v : c.coefficients) {
                ASSERT_LE(std::abs(v), kMostAcMagnitude) << round;
            }
        }
    }
}

} // namespace
