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
using brindmar::PictureFault;
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
    const qsizetype last = jpeg.lastIndexOf("\xFF\xDA"), end = jpeg.lastIndexOf("\xFF\xD9");
    return jpeg.left(end) + jpeg.mid(last, end - last).repeated(scans - jpeg.count("\xFF\xDA")) +
           jpeg.mid(end);
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

TEST(HostilePicture, ScansAreBoundedByTheArea) {
    const struct {
        int64_t width, height, limit;
    } cases[] = {{1, 1, 1000},      {2000, 1800, 1000}, {3000, 3000, 800},
                 {8000, 8000, 112}, {12000, 12000, 50}, {0, 0, 1000}};
    for (const auto& c : cases) {
        EXPECT_EQ(brindmar::jpegScanLimit(c.width, c.height), c.limit)
            << c.width << "x" << c.height;
    }
}

// Each costly picture refused before decoding, with the bound it goes beyond; a small bound (100 x
// 100) keeps the pictures small while the arithmetic is the one of the largest size. 16-bit BMPs
// show as the public BMP suite means them: each channel's largest value is 255, the values between
// spread over the full range. Every picture that converts, whatever its format, ends as stopped
// with no fault when a stop is set.
TEST(HostilePicture, ConvertsRefusesInWordsOrStops) {
    QTemporaryDir dir;
    const QByteArray progressive = progressiveJpeg(gradient(64, 48, QImage::Format_RGB32));
    QImage flat(3000, 3000, QImage::Format_RGB32);
    flat.fill(0x4080C0);
    // Why it is refused, with the bound it went beyond.
    struct Refusal {
        PictureFault fault = PictureFault::None;
        int64_t limit = 0;
        bool progressive = false;
    };
    const auto scans = [](int most) { return Refusal{PictureFault::TooManyScans, most}; };
    const auto memory = [](bool progressiveJpeg) {
        return Refusal{PictureFault::TooDeep, 100, progressiveJpeg};
    };
    const auto square = [](QImage::Format format) { return gradient(100, 100, format); };
    const QImage rgb = square(QImage::Format_RGB32);
    const struct {
        const char* name;
        QByteArray bytes;
        Refusal refusal{};             // none: converts
        std::vector<uint32_t> shown{}; // when given: the carrier's pixels
        int32_t maxSide = 100;
    } cases[] = {
        {"small-progressive-1000-scans", withScans(progressive, 1000), {}, {}, 12000},
        {"small-progressive-1001-scans", withScans(progressive, 1001), scans(1000), {}, 12000},
        {"3000-square-801-scans", withScans(progressiveJpeg(flat), 801), scans(800), {}, 12000},
        {"png-16-bit-rgba", imagingtest::encoded(square(QImage::Format_RGBA64), "png"),
         memory(false)},
        {"png-8-bit-rgba", imagingtest::encoded(square(QImage::Format_ARGB32), "png")},
        {"jpeg-progressive-coefficients", progressiveJpeg(rgb), memory(true)},
        {"jpeg-baseline", imagingtest::encoded(rgb, "jpeg")},
        {"bmp", imagingtest::encoded(rgb, "bmp")},
        {"bmp-16-555-default",
         sixteenBitBmp({0x7FFF, 0x0000, 0x7C00, 0x03E0, 0x001F, 0x4210, 0x0421}, {}),
         {},
         {0xFFFFFF, 0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0x848484, 0x080808}},
        {"bmp-16-555-bitfields",
         sixteenBitBmp({0x7FFF, 0x8000, 0x3DEF}, {0x7C00, 0x03E0, 0x001F}),
         {},
         {0xFFFFFF, 0x000000, 0x7B7B7B}},
        {"bmp-16-565-bitfields",
         sixteenBitBmp({0xFFFF, 0xF800, 0x07E0, 0x001F, 0x0020, 0x8410}, {0xF800, 0x07E0, 0x001F}),
         {},
         {0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0x000400, 0x848284}},
        {"gif", imagingtest::gifOf(20, 20, {0xFF0000}, {std::vector<uint8_t>(400, 0)})},
    };
    const QString out = dir.filePath(QStringLiteral("out.bmp"));
    const std::atomic<bool> stop{true};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString source = dir.filePath(QString::fromLatin1(c.name));
        writeFile(source, c.bytes);
        const PictureConversion done = QtPictureConverter(c.maxSide).convert(source, out);
        const bool converts = c.refusal.fault == PictureFault::None;
        EXPECT_EQ(done.ok, converts);
        EXPECT_EQ(done.fault, c.refusal.fault);
        EXPECT_EQ(done.limit, c.refusal.limit);
        EXPECT_EQ(done.progressive, c.refusal.progressive);
        EXPECT_EQ(done.file, converts ? QString() : source);
        if (!c.shown.empty()) {
            const imagingtest::Carrier carrier = readCarrier(out);
            EXPECT_EQ(carrier.fault, "");
            EXPECT_EQ(carrier.pixels, c.shown);
        }
        if (converts) {
            const PictureConversion stopped =
                QtPictureConverter(c.maxSide).convertUnlessStopped(source, out, stop);
            EXPECT_FALSE(stopped.ok);
            EXPECT_TRUE(stopped.stopped);
            EXPECT_EQ(stopped.fault, PictureFault::None);
        }
    }
}

// Every RLE8 stream of a few commands, drawn at random: the converter takes it exactly when
// the embed's carrier check follows it to its end, and neither lets a run or a jump leave its
// row.
TEST(HostilePicture, ConverterAndCarrierCheckAgreeOnRunLengthStreams) {
    QTemporaryDir dir;
    std::mt19937 random(20261208);
    const auto draw = [&random](uint32_t below) { return static_cast<uint8_t>(random() % below); };
    const QString source = dir.filePath(QStringLiteral("rle.bmp"));
    int refused = 0;
    for (int round = 0; round < 250; ++round) {
        const int width = 1 + draw(9);
        const int height = 1 + draw(4);
        bmptest::Bytes stream;
        for (int i = 1 + draw(8); i > 0; --i) {
            switch (draw(4)) {
            case 0: // an encoded run
                stream.insert(stream.end(), {static_cast<uint8_t>(1 + draw(12)), 3});
                break;
            case 1: { // a literal run of 3 to 9, padded
                const auto n = static_cast<uint8_t>(3 + draw(7));
                stream.insert(stream.end(), {0, n});
                stream.insert(stream.end(), n + (n & 1), 5);
                break;
            }
            case 2: // a position jump
                stream.insert(stream.end(), {0, 2, draw(12), draw(2)});
                break;
            default:
                stream.insert(stream.end(), {0, 0});
            }
        }
        stream.insert(stream.end(), {0, 1});
        bmptest::writeFile(source.toStdString(),
                           bmptest::makeRle8Raw(width, height, bmptest::testPalette(8), stream));
        const bool converted =
            QtPictureConverter().convert(source, dir.filePath(QStringLiteral("out.bmp"))).ok;
        const brindmar::Indexed8Plan plan = brindmar::planIndexed8Carrier(source);
        ASSERT_EQ(converted, plan.route != brindmar::Indexed8Route::Refused)
            << "round " << round << ", fault " << static_cast<int>(plan.fault);
        refused += converted ? 0 : 1;
    }
    // Both outcomes were drawn often enough to mean something.
    EXPECT_GT(refused, 25);
    EXPECT_LT(refused, 225);
}

} // namespace
