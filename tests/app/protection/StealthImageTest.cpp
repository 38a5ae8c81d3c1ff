// A stealth picture must give its archive back to its code and to nothing else, must refuse or
// lose what a flipped bit spoils rather than hand back other bytes, and must differ from its
// carrier only as the coding promises.
#include "protection/StealthImage.h"
#include "FixedRandomness.h"
#include "protection/KeyedWalk.h"
#include "protection/Parallel.h"
#include "protection/StealthWet.h"

#include <QString>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <vector>

using namespace brindmar;

namespace {

// The least libsodium takes, so that each derivation is a millisecond.
constexpr StrongCost kCheap{1, 8};

uint32_t pick(std::mt19937& random) {
    return static_cast<uint32_t>(random());
}

struct Picture {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<unsigned char> colour;
};

// Photographs have flat and saturated areas as well as texture: bytes at 0 and 255 among the
// noise, and flat squares beside ramps, which no change may touch.
Picture randomPicture(std::mt19937& random, uint32_t width, uint32_t height, int style = -1) {
    Picture picture{width, height, std::vector<unsigned char>(size_t{width} * height * 3)};
    style = style < 0 ? static_cast<int>(pick(random) % 3) : style;
    for (size_t i = 0; i < picture.colour.size(); ++i) {
        const unsigned r = pick(random);
        const size_t x = i / 3 % width;
        const size_t y = i / 3 / width;
        const bool square = (x / 6 + y / 6) % 5 == 0;
        picture.colour[i] =
            static_cast<unsigned char>(style == 0   ? r
                                       : style == 1 ? (r % 16 == 0   ? 0
                                                       : r % 16 == 1 ? 255
                                                                     : r)
                                                    : (square ? 90 : 120 + (i / 7) % 9 + r % 2));
    }
    return picture;
}

// What the coder must leave alone: bytes at 0 or 255, and those equal to all their neighbours
// of the same channel.
bool wet(const Picture& p, size_t i) {
    const unsigned char v = p.colour[i];
    if (v == 0 || v == 255) {
        return true;
    }
    const auto row = static_cast<int64_t>(p.width) * 3;
    const auto at = static_cast<int64_t>(i);
    for (int64_t dy = -1; dy <= 1; ++dy) {
        for (int64_t dx = -3; dx <= 3; dx += 3) {
            const int64_t y = at / row + dy;
            const int64_t x = at % row + dx;
            if (y >= 0 && y < int64_t{p.height} && x >= 0 && x < row &&
                p.colour[static_cast<size_t>(y * row + x)] != v) {
                return false;
            }
        }
    }
    return true;
}

QByteArray randomArchive(std::mt19937& random, int64_t length) {
    QByteArray archive(static_cast<qsizetype>(length), Qt::Uninitialized);
    for (char& c : archive) {
        c = static_cast<char>(pick(random));
    }
    return archive;
}

SecretBytes code(const char* text) {
    return codeSecret(QString::fromLatin1(text));
}

TEST(Stealth, EveryEmbedOpensOnlyForItsCodeChangesByOneAndAFlippedBitNeverGivesOtherBytes) {
    std::mt19937 random(20261208);
    const SecretBytes right = code("Tulip-Harbor-42");
    const SecretBytes wrong = code("Tulip-Harbor-43");
    for (int round = 0; round < 36; ++round) {
        // Tall and wide single lines, then anything up to 120 x 120; last, pictures large enough
        // that a short document's columns take several colour bytes each.
        uint32_t width = 1 + pick(random) % 120;
        uint32_t height = 1 + pick(random) % 120;
        if (round >= 32) {
            width = 150 + pick(random) % 250;
            height = 100 + pick(random) % 200;
        } else if (round % 4 == 0) {
            width = 1;
            height = 300 + pick(random) % 900;
        } else if (round % 4 == 1) {
            height = 1;
            width = 300 + pick(random) % 900;
        }
        SCOPED_TRACE(testing::Message() << "round " << round << ", " << width << " x " << height);
        const Picture carrier = randomPicture(random, width, height);
        const int64_t capacity = stealthWriterCapacity(
            width, height, stealthDryCount(carrier.colour.data(), width, height));
        if (capacity == 0) {
            Picture picture = carrier;
            EXPECT_EQ(
                stealthEmbed(picture.colour.data(), width, height, right, QByteArray("x"), kCheap)
                    .status,
                StealthStatus::TooLarge);
            EXPECT_EQ(picture.colour, carrier.colour) << "a refused embed changed the picture";
            continue;
        }
        // Whole capacity, nothing, up to the recommended rate, or anything below capacity.
        const int64_t recommended = stealthRecommendedCapacity(width, height);
        const int64_t choice = (round / 4) % 4;
        const int64_t length = choice == 0   ? capacity
                               : choice == 1 ? 0
                               : choice == 2
                                   ? static_cast<int64_t>(pick(random) % (recommended + 1))
                                   : static_cast<int64_t>(pick(random) % capacity);
        const QByteArray archive = randomArchive(random, length);
        Picture stego = carrier;
        const StealthEmbedReport made =
            stealthEmbed(stego.colour.data(), width, height, right, archive, kCheap);
        // The writer's capacity counts only the bytes it may change: the whole of it embeds.
        ASSERT_EQ(made.status, StealthStatus::Done);
        // An outsider sees only changes by one, only in bytes the coding reached.
        ASSERT_EQ(stego.colour.size(), carrier.colour.size());
        uint64_t changed = 0;
        for (size_t i = 0; i < carrier.colour.size(); ++i) {
            const int step = int{stego.colour[i]} - int{carrier.colour[i]};
            ASSERT_LE(std::abs(step), 1) << "byte " << i;
            ASSERT_TRUE(step == 0 || !wet(carrier, i)) << "a wet byte changed: " << i;
            changed += step != 0 ? 1 : 0;
        }
        EXPECT_EQ(changed, made.changes);
        EXPECT_LE(changed, made.mostChanges);
        // One change at most per trellis column, and the search makes far fewer: under one
        // change per hidden bit of the salt (128), the head (40) and the sealed stream.
        const uint64_t streamBits = 8 * static_cast<uint64_t>(sealedLength(length));
        EXPECT_GE(made.mostChanges, 128 * 2 + 40 * 2 + streamBits * made.width);
        EXPECT_LT(changed, 128 + 40 + streamBits);

        const StealthExtractReport back =
            stealthExtract(stego.colour.data(), width, height, right, kCheap);
        ASSERT_EQ(back.status, StealthStatus::Done);
        EXPECT_EQ(back.archive, archive);
        EXPECT_EQ(stealthExtract(stego.colour.data(), width, height, wrong, kCheap).status,
                  StealthStatus::NotFound);
        EXPECT_EQ(stealthExtract(carrier.colour.data(), width, height, right, kCheap).status,
                  StealthStatus::NotFound);

        Picture flipped = stego;
        unsigned char& byte = flipped.colour[pick(random) % flipped.colour.size()];
        byte = byte == 255 ? 254 : byte + 1;
        const StealthExtractReport spoiled =
            stealthExtract(flipped.colour.data(), width, height, right, kCheap);
        if (spoiled.status == StealthStatus::Done) {
            EXPECT_EQ(spoiled.archive, archive) << "a flipped bit gave other bytes";
        } else {
            EXPECT_TRUE(spoiled.status == StealthStatus::NotFound ||
                        spoiled.status == StealthStatus::Damaged);
            EXPECT_TRUE(spoiled.archive.isEmpty());
        }

        Picture over = carrier;
        EXPECT_EQ(stealthEmbed(over.colour.data(), width, height, right,
                               randomArchive(random, capacity + 1), kCheap)
                      .status,
                  StealthStatus::TooLarge);
    }
}

TEST(Stealth, CapacityHoldsTheRatesItNames) {
    struct Case {
        uint32_t width, height;
    };
    for (const Case c : {Case{64, 48}, Case{256, 256}, Case{1920, 1080}, Case{6000, 4000}}) {
        const double colourBytes = 3.0 * c.width * c.height;
        const int64_t most = stealthCapacity(c.width, c.height);
        const int64_t recommended = stealthRecommendedCapacity(c.width, c.height);
        // At least 0.1 bits per colour byte at most; the recommended rate within a seal's
        // overhead of its figure.
        EXPECT_GE(8.0 * static_cast<double>(sealedLength(most)) / colourBytes, 0.1);
        EXPECT_LE(recommended, most);
        if (recommended > 0) {
            EXPECT_LE(8.0 * static_cast<double>(sealedLength(recommended)) / colourBytes,
                      kStealthRecommendedRate + 1e-9);
        }
        EXPECT_EQ(stealthWidth(static_cast<uint64_t>(sealedLength(most)), c.width, c.height),
                  kLeastWidth);
        EXPECT_EQ(stealthWidth(static_cast<uint64_t>(sealedLength(most + 1)), c.width, c.height),
                  0u);
    }
}

// The read-back must notice a spoilt colour value wherever it lies: in the salt, which a reader
// needs before it can derive the key, in the head, or in the stream.
TEST(Stealth, AnEmbedThatDoesNotReadBackFails) {
    std::mt19937 random(31);
    const uint32_t width = 120;
    const uint32_t height = 90;
    const Picture carrier = randomPicture(random, width, height);
    const QByteArray archive = randomArchive(random, 20);
    const SecretBytes right = code("Tulip-Harbor-42");
    const uint64_t salt = 3 * uint64_t{stealthPublicPixels(width, height)[0]};
    for (const uint64_t spoilt :
         {salt, uint64_t{0}, carrier.colour.size() / 2, uint64_t{carrier.colour.size() - 1}}) {
        Picture stego = carrier;
        gStealthSpoilBeforeReadBack = spoilt + 1;
        const StealthStatus status =
            stealthEmbed(stego.colour.data(), width, height, right, archive, kCheap).status;
        gStealthSpoilBeforeReadBack = 0;
        EXPECT_EQ(status, StealthStatus::Failed) << "colour byte " << spoilt;
    }
}

// Strips, trellis segments and changes are shared among threads: one, two or five of them
// must make the same image.
TEST(Stealth, TheImageDoesNotDependOnTheNumberOfThreads) {
    std::mt19937 random(77);
    const uint32_t width = 400;
    const uint32_t height = 140; // two strips of rows
    const Picture carrier = randomPicture(random, width, height, 0);
    SecretBytes key(32);
    for (size_t i = 0; i < key.size(); ++i) {
        key.data()[i] = static_cast<unsigned char>(pick(random));
    }
    const StealthSalt salt{1, 2, 3};
    // Two segments of 2048 bits in each of the stream's six layers.
    const QByteArray archive = randomArchive(random, 1600);
    std::vector<std::vector<unsigned char>> made;
    for (unsigned threads : {1u, 2u, 5u}) {
        gMostTaskThreads = threads;
        const apptest::FixedRandomness fixed(5); // the seal's stream header
        Picture stego = carrier;
        ASSERT_EQ(
            stealthEmbedWithKey(stego.colour.data(), width, height, key, salt, archive).status,
            StealthStatus::Done);
        made.push_back(stego.colour);
    }
    gMostTaskThreads = 0;
    EXPECT_EQ(made[1], made[0]);
    EXPECT_EQ(made[2], made[0]);
    EXPECT_NE(made[0], carrier.colour);
}

} // namespace

namespace {

// A photograph's kind of picture: smooth light, grain whose strength changes from area to
// area, and now and then a sky clipped at 255.
Picture photographLike(std::mt19937& random, uint32_t width, uint32_t height) {
    Picture picture{width, height, std::vector<unsigned char>(size_t{width} * height * 3)};
    const int slopeX = static_cast<int>(pick(random) % 5);
    const int slopeY = static_cast<int>(pick(random) % 5);
    const uint32_t sky = pick(random) % 2 == 0 ? height / 5 : 0;
    std::vector<int> grain(64);
    for (int& g : grain) {
        g = 1 + static_cast<int>(pick(random) % 24);
    }
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const int strength = grain[(y / 32 % 8) * 8 + x / 32 % 8];
            for (uint32_t c = 0; c < 3; ++c) {
                const int noise = static_cast<int>(pick(random) % static_cast<unsigned>(strength));
                const int value = y < sky ? 255
                                          : 30 + slopeX * static_cast<int>(x) / 4 +
                                                slopeY * static_cast<int>(y) / 4 +
                                                25 * static_cast<int>(c) + noise;
                picture.colour[(size_t{y} * width + x) * 3 + c] =
                    static_cast<unsigned char>(std::clamp(value, 0, 255));
            }
        }
    }
    return picture;
}

// The salt lies on pixels anyone can compute from the size: over many carriers of one size, at
// every rate from two thirds of the recommended one to twice it, they must change as often as
// the rest of the picture, within noise, and none of them again and again. More often would
// point at them; less often would say the salt's code no longer matches the stream. (Below
// 128 bits over the public pixels, about 0.01 here and 0.0007 in a picture of a million pixels,
// the salt alone changes them more often.)
TEST(Stealth, ThePublicPlacesChangeAsOftenAsTheRest) {
    std::mt19937 random(3110);
    const uint32_t width = 400;
    const uint32_t height = 180;
    const std::vector<uint32_t> open = stealthPublicPixels(width, height);
    std::vector<bool> isOpen(size_t{width} * height * 3);
    for (const uint32_t p : open) {
        for (size_t c = 0; c < 3; ++c) {
            isOpen[3 * size_t{p} + c] = true;
        }
    }
    const uint64_t openBytes = 3 * open.size();
    constexpr int kCarriers = 24;
    for (const double share : {2.0 / 3, 1.0, 2.0}) {
        SCOPED_TRACE(share);
        std::vector<uint8_t> timesChanged(isOpen.size());
        uint64_t openChanges = 0;
        uint64_t otherChanges = 0;
        for (int round = 0; round < kCarriers; ++round) {
            const Picture carrier = photographLike(random, width, height);
            Picture stego = carrier;
            SecretBytes key(32);
            for (size_t i = 0; i < key.size(); ++i) {
                key.data()[i] = static_cast<unsigned char>(pick(random));
            }
            StealthSalt bits{};
            for (unsigned char& b : bits) {
                b = static_cast<unsigned char>(pick(random));
            }
            const auto length = static_cast<int64_t>(
                share * static_cast<double>(stealthRecommendedCapacity(width, height)));
            ASSERT_EQ(stealthEmbedWithKey(stego.colour.data(), width, height, key, bits,
                                          randomArchive(random, length))
                          .status,
                      StealthStatus::Done);
            for (size_t i = 0; i < carrier.colour.size(); ++i) {
                if (stego.colour[i] != carrier.colour[i]) {
                    ++timesChanged[i];
                    (isOpen[i] ? openChanges : otherChanges) += 1;
                }
            }
        }
        // The public bytes' changes against those the rest's rate gives them: three standard
        // deviations of that count either way, and a tenth for what the codes differ in.
        const double expected = static_cast<double>(otherChanges) * static_cast<double>(openBytes) /
                                static_cast<double>(isOpen.size() - openBytes);
        const double allowed = 3 * std::sqrt(expected) + 0.1 * expected;
        EXPECT_NEAR(static_cast<double>(openChanges), expected, allowed);
        // A busy spot is changed in many carriers alike; no public byte much more often than
        // the rest's busiest. (The salt's code is the same for every carrier of a size, so its
        // cheapest places repeat a little more; a code that forced changes where it sat would
        // change its places in half the carriers.)
        uint8_t most[2] = {0, 0};
        for (size_t i = 0; i < isOpen.size(); ++i) {
            most[isOpen[i] ? 1 : 0] = std::max(most[isOpen[i] ? 1 : 0], timesChanged[i]);
        }
        EXPECT_LE(most[1], most[0] + 1);
    }
}

} // namespace
