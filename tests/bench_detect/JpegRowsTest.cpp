#include "JpegCovers.h"
#include "JpegEmbeddings.h"
#include "protection/JpegStealth.h"

#include "../app/protection/JpegCarriers.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdlib>

namespace detect {
namespace {

using Components = std::vector<brindmar::JpegComponent>;

Components opened(const QByteArray& file, uint32_t* width = nullptr) {
    brindmar::JpegCoefficients jpeg;
    EXPECT_EQ(jpeg.open(file), brindmar::JpegOpenStatus::Done);
    if (width != nullptr) {
        *width = jpeg.width();
    }
    return jpeg.components();
}

uint64_t nonZeroAc(const Components& components) {
    uint64_t count = 0;
    for (const brindmar::JpegComponent& component : components) {
        for (size_t k = 0; k < component.coefficients.size(); ++k) {
            count += k % 64 != 0 && component.coefficients[k] != 0 ? 1 : 0;
        }
    }
    return count;
}

// The JPEG row hides rate x non-zero AC bits, and its stego file differs from the cover only in
// AC coefficients changed by one, as the detectors are told.
TEST(JpegRows, TheCoderChangesOnlyAcCoefficientsByOneAtTheRate) {
    for (uint32_t seed : {1u, 2u, 3u}) {
        JpegCarrierKind kind;
        kind.width = 128;
        kind.height = 128;
        kind.quality = 75 + static_cast<int>(seed) * 7;
        kind.subsampled = seed % 2 == 1;
        kind.seed = seed;
        const QByteArray cover = makeJpeg(kind);
        uint64_t bits = 0;
        const std::optional<QByteArray> stego = jpegStealthTile(cover, 0.2, seed, &bits);
        ASSERT_TRUE(stego) << seed;
        const Components before = opened(cover);
        const Components after = opened(*stego);
        EXPECT_EQ(bits,
                  static_cast<uint64_t>(0.2 * static_cast<double>(nonZeroAc(before)) / 8) * 8);
        ASSERT_EQ(before.size(), after.size());
        uint64_t changed = 0;
        for (size_t c = 0; c < before.size(); ++c) {
            const auto& a = before[c].coefficients;
            const auto& b = after[c].coefficients;
            ASSERT_EQ(a.size(), b.size());
            for (size_t k = 0; k < a.size(); ++k) {
                const int d = std::abs(a[k] - b[k]);
                EXPECT_LE(d, k % 64 == 0 ? 0 : 1) << seed << " " << k;
                changed += d != 0 ? 1 : 0;
            }
        }
        EXPECT_GT(changed, 0u) << seed;
        EXPECT_LT(changed, bits) << seed;
    }
}

// A tile is the picture's own blocks at the cut, with the picture's tables: nothing decoded and
// compressed again. Needs jpegtran (bench/jpeg_detect_setup installs it).
TEST(JpegRows, TilesAreThePicturesOwnBlocks) {
    if (QStandardPaths::findExecutable(QStringLiteral("jpegtran")).isEmpty()) {
        GTEST_SKIP() << "jpegtran is not installed";
    }
    JpegCarrierKind kind;
    kind.width = 96;
    kind.height = 64;
    kind.subsampled = false;
    const QByteArray picture = makeJpeg(kind);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("picture.jpg"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(picture) == picture.size());
    file.close();
    // A 3 x 2 grid of 32 x 32 tiles, four of them taken: cells 0, 1, 3 and 4.
    const std::vector<QByteArray> tiles = cutJpegTiles(path.toStdString(), 32, 4);
    ASSERT_EQ(tiles.size(), 4u);
    const Components whole = opened(picture);
    const int cells[] = {0, 1, 3, 4};
    for (size_t t = 0; t < tiles.size(); ++t) {
        uint32_t width = 0;
        const Components tile = opened(tiles[t], &width);
        ASSERT_EQ(width, 32u);
        ASSERT_EQ(tile.size(), whole.size());
        for (size_t c = 0; c < whole.size(); ++c) {
            const brindmar::JpegComponent& from = whole[c];
            const brindmar::JpegComponent& to = tile[c];
            EXPECT_EQ(to.quant, from.quant);
            for (uint64_t b = 0; b < to.blocks(); ++b) {
                const uint64_t x = cells[t] % 3 * 4 + b % 4;
                const uint64_t y = cells[t] / 3 * 4 + b / 4;
                EXPECT_TRUE(std::equal(to.block(b), to.block(b) + 64,
                                       from.block(y * from.widthInBlocks + x)))
                    << t << " " << c << " " << b;
            }
        }
    }
}

} // namespace
} // namespace detect
