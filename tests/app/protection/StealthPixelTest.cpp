// The stream on the pixels' sums: on single columns and rows, odd sizes, clipped and flat
// patches, from a few bytes to the writer's most, the archive comes back, every pixel the stream
// moved moved one channel by one or all three by one the same way, and no byte at 0, at 255 or
// in a flat area changed.
#include "protection/KeyedWalk.h"
#include "protection/StealthImage.h"
#include "protection/StealthKeys.h"
#include "protection/StealthPrices.h"
#include "protection/StealthStream.h"
#include "protection/StealthWet.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <vector>

using namespace brindmar;

namespace {

// Grain over a slope, channels moving together as a photograph's do, then runs of rows or
// columns that are clipped at 255 or 0 or flat at one colour.
std::vector<unsigned char> patchy(std::mt19937& random, uint32_t width, uint32_t height) {
    std::vector<unsigned char> colour(size_t{width} * height * 3);
    for (size_t p = 0; p < size_t{width} * height; ++p) {
        const int shared = static_cast<int>(random() % 12);
        for (size_t c = 0; c < 3; ++c) {
            const int value = 60 + static_cast<int>(p % 97) + shared +
                              static_cast<int>(random() % 4) + 10 * static_cast<int>(c);
            colour[3 * p + c] = static_cast<unsigned char>(std::clamp(value, 1, 254));
        }
    }
    for (int patch = 0; patch < 6; ++patch) {
        const size_t pixels = size_t{width} * height;
        const size_t from = random() % pixels;
        const size_t to = std::min(pixels, from + pixels / 50);
        const auto flat = static_cast<unsigned char>(patch % 3 == 0   ? 255
                                                     : patch % 3 == 1 ? 0
                                                                      : 30 + random() % 200);
        std::fill(colour.begin() + static_cast<std::ptrdiff_t>(3 * from),
                  colour.begin() + static_cast<std::ptrdiff_t>(3 * to), flat);
    }
    return colour;
}

bool wetByte(const std::vector<unsigned char>& colour, uint32_t width, uint32_t height, size_t i) {
    std::vector<uint8_t> wet(size_t{width} * 3);
    const auto y = static_cast<uint32_t>(i / wet.size());
    stealthWetRow(colour.data(), wet.size(), height, y, wet.data());
    return wet[i % wet.size()] != 0;
}

// The pixels that hold a byte of the head, which the head's own changes may have moved one
// byte at a time: none of the public ones, whose bytes the head leaves alone.
std::set<size_t> headPixels(const SecretBytes& key, uint32_t width, uint32_t height) {
    std::set<size_t> pixels;
    const uint64_t bytes = uint64_t{width} * height * 3;
    const KeyedWalk walk(stealthSubkeysOf(key)->walk.data(), bytes, {});
    const uint64_t headSteps =
        std::min<uint64_t>(kHeadLength * 8 * kStealthStepsPerBit, bytes / 16);
    for (uint64_t s = 0; s < headSteps; ++s) {
        pixels.insert(static_cast<size_t>(walk(s) / 3));
    }
    for (const uint32_t p : stealthPublicPixels(width, height)) {
        pixels.erase(p);
    }
    return pixels;
}

TEST(StealthPixels, EveryShapeAndRateReadsBackWithWholePixelMovesOnDryBytes) {
    struct Shape {
        uint32_t width, height;
    };
    const Shape shapes[] = {{1, 12007}, {12011, 1}, {131, 97}, {151, 89}, {3, 4001}};
    std::mt19937 random(20261209);
    for (const Shape shape : shapes) {
        const uint32_t width = shape.width;
        const uint32_t height = shape.height;
        const std::vector<unsigned char> carrier = patchy(random, width, height);
        const int64_t most =
            stealthWriterCapacity(width, height, stealthDryCount(carrier.data(), width, height));
        ASSERT_GT(most, 0) << width << " x " << height;
        for (const int64_t length : {int64_t{1}, most / 2, most}) {
            SCOPED_TRACE(testing::Message()
                         << width << " x " << height << ", " << length << " of " << most);
            SecretBytes key(32);
            for (size_t i = 0; i < key.size(); ++i) {
                key.data()[i] = static_cast<unsigned char>(random());
            }
            QByteArray archive(static_cast<qsizetype>(length), Qt::Uninitialized);
            for (char& c : archive) {
                c = static_cast<char>(random());
            }
            std::vector<unsigned char> stego = carrier;
            const StealthEmbedReport made =
                stealthEmbedWithKey(stego.data(), width, height, key, StealthSalt{7}, archive);
            ASSERT_EQ(made.status, StealthStatus::Done);
            const StealthExtractReport back =
                stealthExtractWithKey(stego.data(), width, height, key);
            ASSERT_EQ(back.status, StealthStatus::Done);
            EXPECT_EQ(back.archive, archive);

            const std::set<size_t> apart = headPixels(key, width, height);
            uint64_t moves = 0;
            for (size_t p = 0; p < size_t{width} * height; ++p) {
                int step[3];
                int changed = 0;
                for (size_t c = 0; c < 3; ++c) {
                    const size_t i = 3 * p + c;
                    step[c] = int{stego[i]} - int{carrier[i]};
                    ASSERT_LE(std::abs(step[c]), 1) << "byte " << i;
                    ASSERT_TRUE(step[c] == 0 || !wetByte(carrier, width, height, i))
                        << "a wet byte changed: " << i;
                    changed += step[c] != 0 ? 1 : 0;
                }
                if (changed == 0 || apart.count(p) != 0) {
                    continue;
                }
                ++moves;
                EXPECT_TRUE(changed == 1 || (step[0] == step[1] && step[1] == step[2]))
                    << "pixel " << p << ": " << step[0] << step[1] << step[2];
            }
            EXPECT_EQ(moves, made.streamMoves);
        }
    }
}

// A byte priced from a patch about it costs what the whole picture's sweep lists for it, at the
// picture's edges, in clipped and flat areas, and with or without the colour differences' costs.
TEST(StealthPixels, BytesPricedAloneCostAsTheSweepListsThem) {
    const uint32_t shapes[][2] = {{1, 300}, {2, 150}, {19, 23}, {64, 40}, {300, 9}, {151, 77}};
    std::mt19937 random(0x9A7C4);
    for (const bool colourCosts : {true, false}) {
        gStealthColourCosts = colourCosts;
        for (const auto& shape : shapes) {
            const uint32_t width = shape[0];
            const uint32_t height = shape[1];
            const std::vector<unsigned char> colour = patchy(random, width, height);
            const auto bytes = static_cast<uint32_t>(colour.size());
            std::vector<uint32_t> places = {0, bytes - 1, width * 3 - 1, bytes - width * 3};
            for (int k = 0; k < 400; ++k) {
                places.push_back(static_cast<uint32_t>(random() % bytes));
            }
            ListedBytes listed = listedBytes(places);
            std::vector<uint16_t> packed(size_t{width} * height);
            std::vector<uint8_t> way(packed.size());
            ASSERT_TRUE(
                pricePixels(colour.data(), width, height, packed.data(), way.data(), listed));
            EXPECT_EQ(priceBytes(colour.data(), width, height, places), listed.prices)
                << width << " x " << height << (colourCosts ? "" : ", own costs alone");
        }
    }
    gStealthColourCosts = true;
}

} // namespace
