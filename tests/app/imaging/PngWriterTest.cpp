// The PNG images the embed writes: the BMP's pixels exactly, only the three chunks every reader
// needs, the same bytes for the same pixels, and a stop or a bad source said in words.
#include "imaging/PngWriter.h"
#include "BmpBuilder.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <random>

namespace {

using brindmar::PngWrite;
using brindmar::writePngFromBmp;

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The chunk types in order.
std::vector<std::string> chunkTypes(const QByteArray& png) {
    std::vector<std::string> types;
    for (qsizetype at = 8; at + 8 <= png.size();) {
        const uint32_t length = static_cast<uint32_t>(static_cast<uint8_t>(png[at])) << 24 |
                                static_cast<uint32_t>(static_cast<uint8_t>(png[at + 1])) << 16 |
                                static_cast<uint32_t>(static_cast<uint8_t>(png[at + 2])) << 8 |
                                static_cast<uint8_t>(png[at + 3]);
        const std::string type = png.mid(at + 4, 4).toStdString();
        if (types.empty() || types.back() != type) {
            types.push_back(type);
        }
        at += 12 + static_cast<qsizetype>(length);
    }
    return types;
}

// Random pixels with runs and gradients, so every filter wins somewhere.
bmptest::Bytes pixelsOf(int width, int height, std::mt19937& random) {
    bmptest::Bytes bgr;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width * 3; ++x) {
            const uint32_t kind = (static_cast<uint32_t>(y) / 3) % 3;
            bgr.push_back(static_cast<uint8_t>(kind == 0   ? random()
                                               : kind == 1 ? x * 5 + y
                                                           : (x / 7) * 40));
        }
    }
    return bgr;
}

TEST(PngWriter, HoldsExactlyTheBmpsPixelsInThreeChunks) {
    QTemporaryDir dir;
    std::mt19937 random(7);
    for (int round = 0; round < 24; ++round) {
        const int width = 1 + static_cast<int>(random() % 70);
        const int height = 1 + static_cast<int>(random() % 40);
        const bmptest::Bytes bgr = pixelsOf(width, height, random);
        bmptest::Bytes bmp = bmptest::make24(width, height, bgr);
        const QString source = dir.filePath(QStringLiteral("in.bmp"));
        bmptest::writeFile(source.toStdString(), bmp);
        const QString out = dir.filePath(QStringLiteral("out.png"));
        const PngWrite done = writePngFromBmp(source, out, 1 + round % 9);
        ASSERT_TRUE(done.ok) << done.error.toStdString();
        const QByteArray png = readAll(out);
        EXPECT_EQ(chunkTypes(png), (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
        EXPECT_EQ(png.mid(24, 5), QByteArray("\x08\x02\x00\x00\x00", 5)); // 8-bit RGB
        const QImage decoded(out);
        ASSERT_EQ(decoded.size(), QSize(width, height));
        // The BMP's rows are stored bottom up.
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const size_t at = static_cast<size_t>((height - 1 - y) * width + x) * 3;
                ASSERT_EQ(decoded.pixel(x, y) & 0xFFFFFF,
                          static_cast<uint32_t>(bgr[at + 2] << 16 | bgr[at + 1] << 8 | bgr[at]))
                    << "round " << round << " at " << x << "," << y;
            }
        }
        // The same pixels give the same bytes.
        ASSERT_TRUE(
            writePngFromBmp(source, dir.filePath(QStringLiteral("again.png")), 1 + round % 9).ok);
        EXPECT_EQ(readAll(dir.filePath(QStringLiteral("again.png"))), png);
    }
}

TEST(PngWriter, SaysWhyItWroteNothing) {
    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("good.bmp"));
    bmptest::writeFile(good.toStdString(),
                       bmptest::make24(300, 200, bmptest::Bytes(300 * 200 * 3, 9)));
    bmptest::Bytes eight = bmptest::make8(4, 4, bmptest::testPalette(4), bmptest::Bytes(16, 1));
    const QString indexed = dir.filePath(QStringLiteral("indexed.bmp"));
    bmptest::writeFile(indexed.toStdString(), eight);
    bmptest::Bytes cut = bmptest::make24(30, 20, bmptest::Bytes(30 * 20 * 3, 9));
    cut.resize(cut.size() - 10);
    const QString shortFile = dir.filePath(QStringLiteral("short.bmp"));
    bmptest::writeFile(shortFile.toStdString(), cut);
    int asked = 0;
    const struct {
        const char* name;
        QString source;
        QString target;
        std::function<bool()> keepGoing;
        bool stopped;
        std::string error;
    } cases[] = {
        {"indexed",
         indexed,
         dir.filePath(QStringLiteral("a.png")),
         {},
         false,
         "the image is not an uncompressed 24-bit BMP"},
        {"cut-short",
         shortFile,
         dir.filePath(QStringLiteral("b.png")),
         {},
         false,
         "the image is not an uncompressed 24-bit BMP"},
        {"missing",
         dir.filePath(QStringLiteral("none.bmp")),
         dir.filePath(QStringLiteral("c.png")),
         {},
         false,
         "No such file or directory"},
        {"unwritable",
         good,
         dir.filePath(QStringLiteral("no/such/folder.png")),
         {},
         false,
         "No such file or directory"},
        {"stopped", good, dir.filePath(QStringLiteral("d.png")), [&asked] { return ++asked < 2; },
         true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const PngWrite done = writePngFromBmp(c.source, c.target, brindmar::kPngLevel, c.keepGoing);
        EXPECT_FALSE(done.ok);
        EXPECT_EQ(done.stopped, c.stopped);
        EXPECT_EQ(done.error.toStdString(), c.error);
    }
}

} // namespace
