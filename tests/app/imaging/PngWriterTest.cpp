// The PNG images the embed writes: the BMP's pixels exactly, only the three chunks every reader
// needs, the same bytes for the same pixels, and a stop or a bad source said in words.
#include "imaging/PngWriter.h"
#include "BmpBuilder.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtEndian>
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
        const uint32_t length = qFromBigEndian<quint32>(png.constData() + at);
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
    const auto write = [&dir](const char* name, const bmptest::Bytes& bytes) {
        bmptest::writeFile(dir.filePath(QString::fromLatin1(name)).toStdString(), bytes);
    };
    write("good.bmp", bmptest::make24(300, 200, bmptest::Bytes(300 * 200 * 3, 9)));
    write("indexed.bmp", bmptest::make8(4, 4, bmptest::testPalette(4), bmptest::Bytes(16, 1)));
    bmptest::Bytes cut = bmptest::make24(30, 20, bmptest::Bytes(30 * 20 * 3, 9));
    cut.resize(cut.size() - 10);
    write("short.bmp", cut);
    const std::string notBmp = "the image is not an uncompressed 24-bit BMP";
    const std::string missing = "No such file or directory";
    int asked = 0;
    const struct {
        const char* source;
        const char* target;
        std::function<bool()> keepGoing;
        std::string error; // empty: stopped
    } cases[] = {
        {"indexed.bmp", "a.png", nullptr, notBmp},
        {"short.bmp", "b.png", nullptr, notBmp},
        {"none.bmp", "c.png", nullptr, missing},
        {"good.bmp", "no/such/folder.png", nullptr, missing},
        {"good.bmp", "d.png", [&asked] { return ++asked < 2; }, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        const PngWrite done = writePngFromBmp(dir.filePath(QString::fromLatin1(c.source)),
                                              dir.filePath(QString::fromLatin1(c.target)),
                                              brindmar::kPngLevel, c.keepGoing);
        EXPECT_FALSE(done.ok);
        EXPECT_EQ(done.stopped, c.error.empty());
        EXPECT_EQ(done.error.toStdString(), c.error);
    }
}

} // namespace
