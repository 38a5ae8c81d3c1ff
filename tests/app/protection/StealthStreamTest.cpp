// The stream's two layers must not let a change's direction follow its byte's value, as
// overwriting low bits does, and the coupling must make a pixel's channels move together more
// often than independent changes do, both without changing what the reader gets back.
#include "protection/StealthStream.h"
#include "protection/StealthImage.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <vector>

using namespace brindmar;

namespace {

struct Counts {
    uint64_t up = 0, down = 0;      // changes of even values
    uint64_t pixels = 0;            // pixels with a change
    uint64_t together = 0;          // of them, with two or three channels changed the same way
    uint64_t changes = 0, bits = 0; // the stream's
};

// A photograph's kind of picture: slopes with grain of varying strength, per channel.
std::vector<unsigned char> photograph(std::mt19937& random, uint32_t width, uint32_t height) {
    std::vector<unsigned char> colour(size_t{width} * height * 3);
    std::vector<int> grain(64);
    for (int& g : grain) {
        g = 2 + static_cast<int>(random() % 20);
    }
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const int strength = grain[(y / 24 % 8) * 8 + x / 24 % 8];
            const int shared = static_cast<int>(random() % static_cast<unsigned>(strength));
            for (uint32_t c = 0; c < 3; ++c) {
                const int value = 40 + static_cast<int>(x + y) / 4 + 30 * static_cast<int>(c) +
                                  shared + static_cast<int>(random() % 3);
                colour[(size_t{y} * width + x) * 3 + c] =
                    static_cast<unsigned char>(std::clamp(value, 1, 254));
            }
        }
    }
    return colour;
}

Counts embedMany(float sync, double rate) {
    gStealthSyncFactor = sync;
    std::mt19937 random(3212);
    Counts counts;
    const uint32_t width = 160;
    const uint32_t height = 120;
    for (int round = 0; round < 12; ++round) {
        const std::vector<unsigned char> carrier = photograph(random, width, height);
        std::vector<unsigned char> stego = carrier;
        SecretBytes key(32);
        for (size_t i = 0; i < key.size(); ++i) {
            key.data()[i] = static_cast<unsigned char>(random());
        }
        const StealthSalt salt{};
        QByteArray archive(static_cast<qsizetype>(rate * double(carrier.size()) / 8) - 60, 'x');
        for (char& c : archive) {
            c = static_cast<char>(random());
        }
        const StealthEmbedReport made =
            stealthEmbedWithKey(stego.data(), width, height, key, salt, archive);
        EXPECT_EQ(made.status, StealthStatus::Done);
        EXPECT_EQ(stealthExtractWithKey(stego.data(), width, height, key).archive, archive);
        counts.changes += made.streamChanges;
        counts.bits += 8 * static_cast<uint64_t>(sealedLength(archive.size()));
        for (size_t p = 0; p < carrier.size(); p += 3) {
            int up = 0;
            int down = 0;
            for (size_t i = p; i < p + 3; ++i) {
                const int step = int{stego[i]} - int{carrier[i]};
                if (step != 0 && carrier[i] % 2 == 0) {
                    (step > 0 ? counts.up : counts.down) += 1;
                }
                up += step > 0 ? 1 : 0;
                down += step < 0 ? 1 : 0;
            }
            counts.pixels += up + down > 0 ? 1 : 0;
            counts.together += up >= 2 || down >= 2 ? 1 : 0;
        }
    }
    gStealthSyncFactor = kStealthSyncFactor;
    return counts;
}

TEST(StealthStream, DirectionsStayEvenAndTheCouplingMovesChannelsTogether) {
    for (const double rate : {0.02, 0.1}) {
        SCOPED_TRACE(rate);
        const Counts apart = embedMany(1.0f, rate);
        const Counts coupled = embedMany(kStealthSyncFactor, rate);
        for (const Counts& c : {apart, coupled}) {
            // Some hundreds of changes of even values: an even split within a sixth.
            const double upShare = double(c.up) / double(c.up + c.down);
            EXPECT_NEAR(upShare, 0.5, 0.08) << c.up << " up, " << c.down << " down";
            // Two layers carry more than a bit per change.
            EXPECT_LT(c.changes * 4, c.bits);
        }
        const double apartShare = double(apart.together) / double(apart.pixels);
        const double coupledShare = double(coupled.together) / double(coupled.pixels);
        EXPECT_GT(coupledShare, 1.5 * apartShare) << apartShare << " against " << coupledShare;
    }
}

// A picture this size is swept in several shares, by as many threads as there are, and its layers
// are searched and read in many segments; columns of many bytes at the low rate, of one or two at
// the other.
TEST(StealthStream, ALargePictureReadsBack) {
    std::mt19937 random(4418);
    const uint32_t width = 1200;
    const uint32_t height = 800;
    const std::vector<unsigned char> carrier = photograph(random, width, height);
    // At 0.1 one sealing in three finds no way round the wet bytes; the embed tries others.
    for (const double rate : {0.01, 0.05, 0.1}) {
        SCOPED_TRACE(rate);
        std::vector<unsigned char> stego = carrier;
        SecretBytes key(32);
        for (size_t i = 0; i < key.size(); ++i) {
            key.data()[i] = static_cast<unsigned char>(random());
        }
        QByteArray archive(static_cast<qsizetype>(rate * double(carrier.size()) / 8), 'x');
        for (char& c : archive) {
            c = static_cast<char>(random());
        }
        ASSERT_EQ(
            stealthEmbedWithKey(stego.data(), width, height, key, StealthSalt{}, archive).status,
            StealthStatus::Done);
        EXPECT_EQ(stealthExtractWithKey(stego.data(), width, height, key).archive, archive);
    }
}

} // namespace
