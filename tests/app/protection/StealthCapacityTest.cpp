// What the writer shows as its most under Stealth must be what it carries: on pictures whose flat
// and clipped areas leave it few bytes it may change, an archive of exactly that length embeds
// and reads back, and one byte more is refused before any key is derived.
#include "protection/StealthImage.h"
#include "protection/StealthWet.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <vector>

using namespace brindmar;

namespace {

// The least libsodium takes, so that each derivation is a millisecond.
constexpr StrongCost kCheap{1, 8};
// A cost libsodium refuses: an embed that gets as far as the derivation ends for want of memory.
constexpr StrongCost kUnderivable{0, 8};

// A photograph's slopes and grain, then rectangles laid over it until about `wetShare` of it is
// flat (one colour) or clipped (at 0 or 255, with a few bytes of texture left inside).
std::vector<unsigned char> patchyPicture(std::mt19937& random, uint32_t width, uint32_t height,
                                         double wetShare) {
    std::vector<unsigned char> colour(size_t{width} * height * 3);
    const int slope = 1 + static_cast<int>(random() % 4);
    for (size_t i = 0; i < colour.size(); ++i) {
        const auto x = static_cast<int>(i / 3 % width);
        const auto y = static_cast<int>(i / 3 / width);
        colour[i] = static_cast<unsigned char>(
            std::clamp(40 + (x + y) / slope % 160 + static_cast<int>(random() % 24), 1, 254));
    }
    std::uniform_real_distribution<double> unit(0, 1);
    double covered = 0;
    while (covered < wetShare) {
        const auto w = static_cast<uint32_t>(width * (0.1 + 0.5 * unit(random)));
        const auto h = static_cast<uint32_t>(height * (0.1 + 0.5 * unit(random)));
        const uint32_t left = static_cast<uint32_t>(random()) % (width - w + 1);
        const uint32_t top = static_cast<uint32_t>(random()) % (height - h + 1);
        const int kind = static_cast<int>(random() % 3); // flat, white, black
        const auto flat = static_cast<unsigned char>(30 + random() % 200);
        for (uint32_t y = top; y < top + h; ++y) {
            for (uint32_t x = left; x < left + w; ++x) {
                for (size_t c = 0; c < 3; ++c) {
                    unsigned char& v = colour[(size_t{y} * width + x) * 3 + c];
                    const bool texture = kind != 0 && random() % 10 == 0;
                    v = texture ? v : kind == 0 ? flat : kind == 1 ? 255 : 0;
                }
            }
        }
        covered += double(w) * h / (double(width) * height);
    }
    return colour;
}

} // namespace

TEST(StealthCapacity, TheWritersMostEmbedsAndOneByteMoreIsRefusedUpFront) {
    std::mt19937 random(20261209);
    for (int round = 0; round < 8; ++round) {
        const uint32_t width = 100 + static_cast<uint32_t>(random() % 120);
        const uint32_t height = 80 + static_cast<uint32_t>(random() % 100);
        const double wetShare = 0.9 * round / 7;
        const std::vector<unsigned char> carrier = patchyPicture(random, width, height, wetShare);
        const StealthDryCount dry = stealthDryCount(carrier.data(), width, height);
        const int64_t most = stealthWriterCapacity(width, height, dry);
        SCOPED_TRACE(testing::Message()
                     << width << " x " << height << ", " << dry.dry << " of " << carrier.size()
                     << " dry, " << dry.wetTail << " wet in the tail, most " << most);
        ASSERT_LE(most, stealthCapacity(width, height));
        EXPECT_LE(stealthWriterRecommendedCapacity(width, height, dry), most);
        const SecretBytes code = codeSecret(QStringLiteral("Heron-Quay-%1").arg(round));
        QByteArray archive(static_cast<qsizetype>(most + 1), Qt::Uninitialized);
        for (char& c : archive) {
            c = static_cast<char>(random());
        }
        // One byte more: too large before the key's derivation, which would fail, and the
        // picture left as it came.
        std::vector<unsigned char> over = carrier;
        EXPECT_EQ(stealthEmbed(over.data(), width, height, code, archive, kUnderivable).status,
                  StealthStatus::TooLarge);
        EXPECT_EQ(over, carrier);
        archive.chop(1);
        if (most == 0) {
            continue; // nothing to carry: the window shows 0
        }
        std::vector<unsigned char> stego = carrier;
        ASSERT_EQ(stealthEmbed(stego.data(), width, height, code, archive, kCheap).status,
                  StealthStatus::Done);
        const StealthExtractReport back = stealthExtract(stego.data(), width, height, code, kCheap);
        ASSERT_EQ(back.status, StealthStatus::Done);
        EXPECT_EQ(back.archive, archive);
    }
}

// The coder, asked for the reader's most on a picture seven tenths clipped, carries the public
// pixels' layers, the head and the stream's first layers and then finds no way round: each try
// puts back what it changed, and the picture is left as it came.
TEST(StealthCapacity, ATryThatFindsNoWayLeavesThePictureAsItCame) {
    std::mt19937 random(20261210);
    for (const uint32_t width : {160u, 203u}) {
        const uint32_t height = 120;
        std::vector<unsigned char> carrier(size_t{width} * height * 3, 255);
        for (size_t p = 0; p < carrier.size(); p += 3) {
            for (size_t c = 0; random() % 10 < 3 && c < 3; ++c) {
                carrier[p + c] = static_cast<unsigned char>(1 + random() % 254);
            }
        }
        const QByteArray tooMuch(static_cast<qsizetype>(stealthCapacity(width, height)), 'x');
        std::vector<unsigned char> tried = carrier;
        EXPECT_EQ(
            stealthEmbedWithKey(tried.data(), width, height, SecretBytes(32), {}, tooMuch).status,
            StealthStatus::TooLarge);
        EXPECT_EQ(tried, carrier);
    }
}
