// Pictures made to cost: progressive JPEGs of endless scans, pictures that decode deeper than
// the memory bound, 16-bit BMPs at the ends of their range, run-length streams that leave their
// rows, and a conversion asked to stop.
#include "PictureFiles.h"

#include "BmpBuilder.h"
#include "imaging/QtPictureConverter.h"
#include "imaging/StreamChecks.h"
#include "payload/CarrierNormalizer.h"

#include <QBuffer>
#include <QDataStream>
#include <QImageWriter>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <random>

namespace {

using brindmar::PictureConversion;
using brindmar::QtPictureConverter;
using imagingtest::readCarrier;
using imagingtest::writeFile;

QImage gradient(int width, int height, QImage::Format format) {
    QImage image(width, height, format);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixelColor(x, y, QColor(x * 255 / width, y * 255 / height, 90, 200));
        }
    }
    return image;
}

QByteArray progressiveJpeg(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    writer.setQuality(90);
    EXPECT_TRUE(writer.write(image));
    return bytes;
}

// The JPEG with its last scan repeated until it has `scans` of them: the decoder takes a
// repeated refinement with a warning and passes over the whole image again for each.
QByteArray withScans(const QByteArray& jpeg, int scans) {
    const qsizetype lastScan = jpeg.lastIndexOf("\xFF\xDA");
    const qsizetype end = jpeg.lastIndexOf("\xFF\xD9");
    const QByteArray piece = jpeg.mid(lastScan, end - lastScan);
    const int present = static_cast<int>(jpeg.count("\xFF\xDA"));
    return jpeg.left(end) + piece.repeated(scans - present) + jpeg.mid(end);
}

// A 16-bit BMP of one row: 40-byte header, bit fields after it when masks are given.
QByteArray sixteenBitBmp(const std::vector<uint16_t>& pixels, const std::vector<uint32_t>& masks) {
    const auto width = static_cast<quint32>(pixels.size());
    const quint32 stride = (width * 2 + 3) / 4 * 4;
    const auto offset = static_cast<quint32>(54 + 4 * masks.size());
    QByteArray bmp("BM");
    QDataStream out(&bmp, QIODevice::Append);
    out.setByteOrder(QDataStream::LittleEndian);
    out << offset + stride << quint32{0} << offset << quint32{40} << width << quint32{1}
        << quint16{1} << quint16{16} << quint32{masks.empty() ? 0u : 3u} << stride << quint32{2835}
        << quint32{2835} << quint32{0} << quint32{0};
    for (const uint32_t m : masks) {
        out << m;
    }
    for (const uint16_t p : pixels) {
        out << p;
    }
    return bmp + QByteArray(static_cast<qsizetype>(stride - 2 * width), '\0');
}

class Scratch {
public:
    QString write(const QString& name, const QByteArray& bytes) const {
        writeFile(m_dir.filePath(name), bytes);
        return m_dir.filePath(name);
    }
    QString path(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};

TEST(HostilePicture, ScansAreBoundedByTheArea) {
    const struct {
        int64_t width, height, limit;
    } cases[] = {
        {1, 1, 1000},      {2000, 1800, 1000}, {3000, 3000, 800},
        {8000, 8000, 112}, {12000, 12000, 50}, {0, 0, 1000},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(brindmar::jpegScanLimit(c.width, c.height), c.limit)
            << c.width << "x" << c.height;
    }
}

// Each picture refused before decoding, in words that say why; a small bound (100 x 100) keeps
// the pictures small while the arithmetic is the one of the largest size.
TEST(HostilePicture, RefusesWhatWouldCostTooMuchInWords) {
    Scratch dir;
    const QByteArray progressive = progressiveJpeg(gradient(64, 48, QImage::Format_RGB32));
    QImage flat(3000, 3000, QImage::Format_RGB32);
    flat.fill(0x4080C0);
    const QByteArray wide = progressiveJpeg(flat);
    const auto scans = [](int most) {
        return QStringLiteral(" - is a JPEG of more scans than a picture of its size needs (at "
                              "most %1); it is refused rather than decoded for minutes")
            .arg(most);
    };
    const auto memory = [](const char* how) {
        return QStringLiteral(" - needs more memory to convert than a picture of 100 x 100 "
                              "pixels: save it with fewer pixels, or ") +
               QString::fromLatin1(how);
    };
    const auto square = [](QImage::Format format) { return gradient(100, 100, format); };
    const struct {
        const char* name;
        QByteArray bytes;
        int32_t maxSide;
        QString message; // empty: converts
    } cases[] = {
        {"small-progressive-1000-scans", withScans(progressive, 1000), 12000, {}},
        {"small-progressive-1001-scans", withScans(progressive, 1001), 12000, scans(1000)},
        {"3000-square-801-scans", withScans(wide, 801), 12000, scans(800)},
        {"png-16-bit-rgba", imagingtest::encoded(square(QImage::Format_RGBA64), "png"), 100,
         memory("with 8 bits a channel")},
        {"png-8-bit-rgba", imagingtest::encoded(square(QImage::Format_ARGB32), "png"), 100, {}},
        {"jpeg-progressive-coefficients", progressiveJpeg(square(QImage::Format_RGB32)), 100,
         memory("as a JPEG that is not progressive")},
        {"jpeg-baseline", imagingtest::encoded(square(QImage::Format_RGB32), "jpeg"), 100, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString source = dir.write(QString::fromLatin1(c.name), c.bytes);
        const PictureConversion done =
            QtPictureConverter(c.maxSide).convert(source, dir.path(QStringLiteral("out.bmp")));
        EXPECT_EQ(done.ok, c.message.isEmpty());
        EXPECT_EQ(done.error.toStdString(),
                  c.message.isEmpty() ? std::string() : (source + c.message).toStdString());
    }
}

// As the public BMP suite's 16-bit files are meant to be seen: each channel's largest value is
// 255, and the values between are spread over the full range.
TEST(HostilePicture, SixteenBitBmpsCoverTheFullRange) {
    Scratch dir;
    const std::vector<uint32_t> rgb565 = {0xF800, 0x07E0, 0x001F};
    const std::vector<uint32_t> rgb555 = {0x7C00, 0x03E0, 0x001F};
    const struct {
        const char* name;
        std::vector<uint32_t> masks;
        std::vector<uint16_t> pixels;
        std::vector<uint32_t> shown;
    } cases[] = {
        {"555-default",
         {},
         {0x7FFF, 0x0000, 0x7C00, 0x03E0, 0x001F, 0x4210, 0x0421},
         {0xFFFFFF, 0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0x848484, 0x080808}},
        {"555-bitfields", rgb555, {0x7FFF, 0x8000, 0x3DEF}, {0xFFFFFF, 0x000000, 0x7B7B7B}},
        {"565-bitfields",
         rgb565,
         {0xFFFF, 0xF800, 0x07E0, 0x001F, 0x0020, 0x8410},
         {0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0x000400, 0x848284}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString source =
            dir.write(QString::fromLatin1(c.name), sixteenBitBmp(c.pixels, c.masks));
        ASSERT_TRUE(QtPictureConverter().convert(source, dir.path(QStringLiteral("out.bmp"))).ok);
        const imagingtest::Carrier out = readCarrier(dir.path(QStringLiteral("out.bmp")));
        ASSERT_EQ(out.fault, "");
        EXPECT_EQ(out.pixels, c.shown);
    }
}

// Every RLE8 stream of a few commands, drawn at random: the converter takes it exactly when
// the embed's carrier check follows it to its end, and neither lets a run or a jump leave its
// row.
TEST(HostilePicture, ConverterAndCarrierCheckAgreeOnRunLengthStreams) {
    Scratch dir;
    std::mt19937 random(20261208);
    const std::vector<bmptest::PaletteEntry> palette = bmptest::testPalette(8);
    int refused = 0;
    for (int round = 0; round < 250; ++round) {
        const int width = 1 + static_cast<int>(random() % 9);
        const int height = 1 + static_cast<int>(random() % 4);
        bmptest::Bytes stream;
        const int commands = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < commands; ++i) {
            switch (random() % 4) {
            case 0: // an encoded run
                stream.insert(stream.end(), {static_cast<uint8_t>(1 + random() % 12), 3});
                break;
            case 1: { // a literal run of 3 to 9, padded
                const uint8_t n = static_cast<uint8_t>(3 + random() % 7);
                stream.insert(stream.end(), {0, n});
                stream.insert(stream.end(), n + (n & 1), 5);
                break;
            }
            case 2: // a position jump
                stream.insert(stream.end(), {0, 2, static_cast<uint8_t>(random() % 12),
                                             static_cast<uint8_t>(random() % 2)});
                break;
            default:
                stream.insert(stream.end(), {0, 0});
                break;
            }
        }
        stream.insert(stream.end(), {0, 1});
        const QString source = dir.path(QStringLiteral("rle.bmp"));
        bmptest::writeFile(source.toStdString(),
                           bmptest::makeRle8Raw(width, height, palette, stream));
        const bool converted =
            QtPictureConverter().convert(source, dir.path(QStringLiteral("out.bmp"))).ok;
        const brindmar::Indexed8Plan plan = brindmar::planIndexed8Carrier(source);
        const bool followed = plan.route != brindmar::Indexed8Route::Refused;
        ASSERT_EQ(converted, followed)
            << "round " << round << ", fault " << static_cast<int>(plan.fault);
        refused += converted ? 0 : 1;
    }
    // Both outcomes were drawn often enough to mean something.
    EXPECT_GT(refused, 25);
    EXPECT_LT(refused, 225);
}

// A stop set before or while the conversion runs ends it as stopped, whatever the format, with
// no error to show.
TEST(HostilePicture, AStoppedConversionSaysSoAndNothingElse) {
    Scratch dir;
    const QImage picture = gradient(40, 30, QImage::Format_RGB32);
    const struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"png", imagingtest::encoded(picture, "png")},
        {"jpeg", progressiveJpeg(picture)},
        {"bmp", imagingtest::encoded(picture, "bmp")},
        {"bmp-16", sixteenBitBmp({0x7FFF, 0x1234}, {})},
        {"gif", imagingtest::gifOf(20, 20, {0xFF0000}, {std::vector<uint8_t>(400, 0)})},
    };
    const std::atomic<bool> stop{true};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString source = dir.write(QString::fromLatin1(c.name), c.bytes);
        const PictureConversion done = QtPictureConverter().convertUnlessStopped(
            source, dir.path(QStringLiteral("out.bmp")), stop);
        EXPECT_FALSE(done.ok);
        EXPECT_TRUE(done.stopped);
        EXPECT_EQ(done.error.toStdString(), "");
    }
}

} // namespace
