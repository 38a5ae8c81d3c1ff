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

// The chunk types in order, a run of one type said once.
std::vector<std::string> chunkTypes(const QByteArray& png) {
    std::vector<std::string> types;
    for (qsizetype at = 8; at + 8 <= png.size();
         at += 12 + static_cast<qsizetype>(qFromBigEndian<quint32>(png.constData() + at))) {
        if (types.empty() || types.back() != png.mid(at + 4, 4).toStdString()) {
            types.push_back(png.mid(at + 4, 4).toStdString());
        }
    }
    return types;
}

// Random pixels with runs and gradients, so every filter wins somewhere, at every level; the
// same pixels give the same bytes.
TEST(PngWriter, HoldsExactlyTheBmpsPixelsInThreeChunks) {
    QTemporaryDir dir;
    std::mt19937 random(7);
    const QString source = dir.filePath(QStringLiteral("in.bmp"));
    const QString out = dir.filePath(QStringLiteral("out.png"));
    for (int round = 0; round < 24; ++round) {
        const int width = 1 + static_cast<int>(random() % 70);
        const int height = 1 + static_cast<int>(random() % 40);
        bmptest::Bytes bgr;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width * 3; ++x) {
                const int kind = (y / 3) % 3;
                bgr.push_back(static_cast<uint8_t>(kind == 0   ? random()
                                                   : kind == 1 ? x * 5 + y
                                                               : (x / 7) * 40));
            }
        }
        bmptest::writeFile(source.toStdString(), bmptest::make24(width, height, bgr));
        const PngWrite done = writePngFromBmp(source, out, 1 + round % 9);
        ASSERT_TRUE(done.ok) << done.error.toStdString();
        const QByteArray png = readAll(out);
        EXPECT_EQ(chunkTypes(png), (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
        EXPECT_EQ(png.mid(24, 5), QByteArray("\x08\x02\x00\x00\x00", 5)); // 8-bit RGB
        // Qt's BMP reader is independent of the writer's; the BMP's rows are stored bottom up.
        const QImage expected = QImage(source).convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(expected.size(), QSize(width, height));
        EXPECT_TRUE(QImage(out).convertToFormat(QImage::Format_RGB32) == expected)
            << "round " << round;
        ASSERT_TRUE(writePngFromBmp(source, out, 1 + round % 9).ok); // the same bytes again
        EXPECT_EQ(readAll(out), png);
    }
}

TEST(PngWriter, SaysWhyItWroteNothing) {
    QTemporaryDir dir;
    const bmptest::Bytes good = bmptest::make24(300, 200, bmptest::Bytes(300 * 200 * 3, 9));
    bmptest::Bytes cut = bmptest::make24(30, 20, bmptest::Bytes(30 * 20 * 3, 9));
    cut.resize(cut.size() - 10);
    const std::string notBmp = "the image is not an uncompressed 24-bit BMP";
    const std::string missing = "No such file or directory";
    int asked = 0;
    const struct {
        bmptest::Bytes source; // empty: no file
        const char* target;
        std::string error;                 // empty: stopped
        std::function<bool()> keepGoing{}; // asked as it writes
    } cases[] = {
        {bmptest::make8(4, 4, bmptest::testPalette(4), bmptest::Bytes(16, 1)), "a.png", notBmp},
        {cut, "b.png", notBmp},
        {{}, "c.png", missing},
        {good, "no/such/folder.png", missing},
        {good, "d.png", "", [&asked] { return ++asked < 2; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        const QString source = dir.filePath(QStringLiteral("in.bmp"));
        QFile::remove(source);
        if (!c.source.empty()) {
            bmptest::writeFile(source.toStdString(), c.source);
        }
        const PngWrite done = writePngFromBmp(source, dir.filePath(QString::fromLatin1(c.target)),
                                              brindmar::kPngLevel, c.keepGoing);
        EXPECT_FALSE(done.ok);
        EXPECT_EQ(done.stopped, c.error.empty());
        EXPECT_EQ(done.error.toStdString(), c.error);
    }
}

uint32_t crcOf(const std::string& bytes) {
    uint32_t crc = 0xffffffffu;
    for (const char c : bytes) {
        crc ^= static_cast<uint8_t>(c);
        for (int k = 0; k < 8; ++k) {
            crc = crc & 1 ? 0xedb88320u ^ (crc >> 1) : crc >> 1;
        }
    }
    return ~crc;
}

std::string chunk(const std::string& type, const std::string& data, bool sound = true) {
    std::string out;
    for (const uint32_t v : {static_cast<uint32_t>(data.size())}) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            out.push_back(static_cast<char>(v >> shift));
        }
    }
    const uint32_t crc = crcOf(type + data) ^ (sound ? 0u : 1u);
    out += type + data;
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<char>(crc >> shift));
    }
    return out;
}

// Chunk by chunk: its type and length, and the first IDAT's first two bytes, the zlib header.
std::string layoutOf(const QByteArray& png) {
    std::string layout;
    for (qsizetype at = 8; at + 8 <= png.size();
         at += 12 + static_cast<qsizetype>(qFromBigEndian<quint32>(png.constData() + at))) {
        const std::string type = png.mid(at + 4, 4).toStdString();
        layout += type + ' ' + std::to_string(qFromBigEndian<quint32>(png.constData() + at));
        layout += '\n';
    }
    const qsizetype idat = png.indexOf("IDAT");
    layout += "zlib " + png.mid(idat + 4, 2).toHex().toStdString() + '\n';
    return layout;
}

// A PNG carrier's colour and pixel size chunks come through in their order, its times, texts,
// a grey background and a chunk whose checksum fails do not; the pixel data is split as libpng
// splits it, behind libpng's zlib header. BRINDMAR_WRITE_GOLDEN=1 writes the committed layout.
TEST(PngWriter, LaysOutItsChunksAsCommonEncodersDo) {
    QTemporaryDir dir;
    const std::string ihdr("\0\0\0\x10\0\0\0\x10\x08\x02\0\0\0", 13);
    const std::string carrier =
        std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", ihdr) +
        chunk("gAMA", std::string("\0\0\xb1\x8f", 4)) + chunk("tIME", std::string(7, '\x07')) +
        chunk("cHRM", std::string(32, '\x01')) + chunk("tEXt", std::string("Author\0me", 9)) +
        chunk("sRGB", std::string(1, '\0')) + chunk("iCCP", std::string("p\0\0xyz", 6)) +
        chunk("pHYs", std::string("\0\0\x0b\x13\0\0\x0b\x13\x01", 9)) +
        chunk("bKGD", std::string("\0\x10", 2)) + chunk("bKGD", std::string(6, '\x20')) +
        chunk("zTXt", std::string("k\0\0x", 4)) + chunk("iTXt", std::string("k\0\0\0\0\0x", 7)) +
        chunk("gAMA", std::string(4, '\x01'), false) + chunk("IDAT", "x") + chunk("IEND", "");
    const QString carrierPath = dir.filePath(QStringLiteral("carrier.png"));
    {
        QFile file(carrierPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(carrier.data(), static_cast<qint64>(carrier.size()));
    }
    std::mt19937 random(41);
    bmptest::Bytes bgr(size_t{160} * 120 * 3);
    for (size_t i = 0; i < bgr.size(); ++i) {
        bgr[i] = static_cast<uint8_t>(i / 480 + random() % 32); // a slope with grain
    }
    const QString source = dir.filePath(QStringLiteral("in.bmp"));
    bmptest::writeFile(source.toStdString(), bmptest::make24(160, 120, bgr));
    const QString out = dir.filePath(QStringLiteral("out.png"));
    ASSERT_TRUE(writePngFromBmp(source, out, brindmar::kPngLevel, {}, carrierPath).ok);
    const std::string layout = layoutOf(readAll(out));
    const QString golden = QStringLiteral(BRINDMAR_GOLDEN_DIR "/images/png-chunk-layout.txt");
    if (qEnvironmentVariable("BRINDMAR_WRITE_GOLDEN") == u"1") {
        QFile file(golden);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(layout.data(), static_cast<qint64>(layout.size()));
    }
    EXPECT_EQ(layout, readAll(golden).toStdString());
    const QImage expected = QImage(source).convertToFormat(QImage::Format_RGB32);
    EXPECT_TRUE(QImage(out).convertToFormat(QImage::Format_RGB32) == expected);
}

} // namespace
