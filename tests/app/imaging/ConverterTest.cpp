// The picture converter over Qt's image reader: every BMP layout pixel for pixel, alpha over
// white, deep channels, the other formats, JPEG orientation, and what it does with files that
// are no pictures, are cut short or claim absurd sizes.
#include "PictureFiles.h"

#include "BmpVariants.h"
#include "imaging/QtPictureConverter.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using brindmar::PictureConversion;
using brindmar::PictureFault;
using brindmar::QtPictureConverter;
using imagingtest::Carrier;
using imagingtest::encoded;
using imagingtest::readCarrier;
using imagingtest::writeFile;

class Scratch {
public:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString write(const QString& name, const QByteArray& bytes) const {
        writeFile(path(name), bytes);
        return path(name);
    }

private:
    QTemporaryDir m_dir;
};

int channelGap(uint32_t a, uint32_t b) {
    int gap = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        gap = std::max(gap, std::abs(static_cast<int>((a >> shift) & 255) -
                                     static_cast<int>((b >> shift) & 255)));
    }
    return gap;
}

// Every pixel within tolerance of expected (0xRRGGBB, top row first), else the first that is not.
void expectPixels(const Carrier& out, int width, int height, const std::vector<uint32_t>& expected,
                  int tolerance = 0) {
    ASSERT_EQ(out.fault, "");
    ASSERT_EQ(out.width, width);
    ASSERT_EQ(out.height, height);
    for (size_t i = 0; i < expected.size(); ++i) {
        ASSERT_LE(channelGap(out.pixels[i], expected[i]), tolerance)
            << "pixel " << i % static_cast<size_t>(width) << "," << i / static_cast<size_t>(width)
            << std::hex << ": " << out.pixels[i] << " for " << expected[i];
    }
}

// 0xRRGGBB of each pixel, each channel cut from sixteen bits to eight, rounded to nearest.
std::vector<uint32_t> eightBitsOf(const QImage& image) {
    const auto cut = [](quint16 v) { return (uint32_t{v} + 128) / 257; };
    std::vector<uint32_t> pixels;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgba64 c = image.pixelColor(x, y).rgba64();
            pixels.push_back(cut(c.red()) << 16 | cut(c.green()) << 8 | cut(c.blue()));
        }
    }
    return pixels;
}

// Every channel and opacity, and the two extremes, in 16 x 16 pixels.
QImage sweep(QImage::Format format) {
    QImage image(16, 16, format);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const int a = x == 0 ? 0 : x == 15 ? 255 : (x * 16 + y * 7) % 256;
            image.setPixelColor(x, y, QColor(y * 17, (x * 31 + y) % 256, 255 - y * 13, a));
        }
    }
    return image;
}

class BmpVariantTest : public testing::TestWithParam<bmptest::BmpVariant> {};

TEST_P(BmpVariantTest, ShowsExactlyTheStoredPixels) {
    const bmptest::BmpVariant& v = GetParam();
    Scratch dir;
    const QString source =
        dir.write(QStringLiteral("in.bmp"), QByteArray(reinterpret_cast<const char*>(v.file.data()),
                                                       static_cast<qsizetype>(v.file.size())));
    const PictureConversion done = QtPictureConverter().convert(source, dir.path("out.bmp"));
    ASSERT_TRUE(done.ok) << static_cast<int>(done.fault);
    EXPECT_EQ(done.width, v.width);
    EXPECT_EQ(done.height, v.height);
    expectPixels(readCarrier(dir.path("out.bmp")), v.width, v.height, v.pixels);
}

INSTANTIATE_TEST_SUITE_P(Layouts, BmpVariantTest, testing::ValuesIn(bmptest::bmpVariants()),
                         [](const auto& param) {
                             std::string name = param.param.name;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

TEST(Converter, FlattensPngAlphaOntoWhite) {
    Scratch dir;
    const QImage image = sweep(QImage::Format_ARGB32);
    const QString source = dir.write(QStringLiteral("alpha.png"), encoded(image, "png"));
    ASSERT_TRUE(QtPictureConverter().convert(source, dir.path("out.bmp")).ok);
    std::vector<uint32_t> expected;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const QRgb p = image.pixel(x, y);
            const uint32_t a = static_cast<uint32_t>(qAlpha(p));
            expected.push_back(static_cast<uint32_t>((a * qRed(p) + (255 - a) * 255) / 255) << 16 |
                               static_cast<uint32_t>((a * qGreen(p) + (255 - a) * 255) / 255) << 8 |
                               static_cast<uint32_t>((a * qBlue(p) + (255 - a) * 255) / 255));
        }
    }
    expectPixels(readCarrier(dir.path("out.bmp")), 16, 16, expected, 1);
}

// Each written by Qt from the same picture and read back by the converter; lossless formats
// must come out exactly, the sixteen-bit ones cut to eight within rounding.
TEST(Converter, ReadsEveryPromisedFormat) {
    const QImage opaque = sweep(QImage::Format_RGB32);
    QImage deep = sweep(QImage::Format_RGBX64);
    for (int x = 0; x < 16; ++x) {
        const auto v = static_cast<quint16>(x * 4099 + 0x7F);
        deep.setPixelColor(x, 4,
                           QColor::fromRgba64(v, 0xFFFF - v, static_cast<quint16>(v ^ 0x00FF)));
    }
    const struct {
        const char* name;
        QImage image;
        const char* format;
        int quality;
    } cases[] = {
        {"png", opaque, "png", -1},
        {"png-16-bit", deep, "png", -1},
        {"png-grey-16-bit", opaque.convertToFormat(QImage::Format_Grayscale16), "png", -1},
        {"png-palette", opaque.convertToFormat(QImage::Format_Indexed8), "png", -1},
        {"tiff", opaque, "tiff", -1},
        {"tiff-16-bit", deep, "tiff", -1},
        {"webp-lossless", opaque, "webp", 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Scratch dir;
        const QString source =
            dir.write(QStringLiteral("picture.bin"), encoded(c.image, c.format, c.quality));
        const PictureConversion done = QtPictureConverter().convert(source, dir.path("out.bmp"));
        ASSERT_TRUE(done.ok) << static_cast<int>(done.fault);
        expectPixels(readCarrier(dir.path("out.bmp")), 16, 16, eightBitsOf(c.image), 0);
    }
}

TEST(Converter, TakesTheFirstFrameOfAGif) {
    std::vector<uint32_t> palette;
    std::vector<std::vector<uint8_t>> frames(2);
    for (uint32_t i = 0; i < 256; ++i) {
        palette.push_back(i << 16 | (255 - i) << 8 | (i * 7 & 255));
    }
    std::vector<uint32_t> expected;
    for (int i = 0; i < 40 * 30; ++i) {
        frames[0].push_back(static_cast<uint8_t>(i * 13 % 256));
        frames[1].push_back(7);
        expected.push_back(palette[static_cast<size_t>(i * 13 % 256)]);
    }
    Scratch dir;
    const QString source =
        dir.write(QStringLiteral("anim.gif"), imagingtest::gifOf(40, 30, palette, frames));
    ASSERT_TRUE(QtPictureConverter().convert(source, dir.path("out.bmp")).ok);
    expectPixels(readCarrier(dir.path("out.bmp")), 40, 30, expected);
}

// Orientation 6 is shown turned a quarter clockwise, 8 a quarter anticlockwise. The expected
// picture is the same decoder's stored pixels turned here, and the corners' colours check the
// direction independently of any decoder.
TEST(Converter, TurnsJpegUprightByItsOrientation) {
    QImage stored(24, 16, QImage::Format_RGB32);
    const QRgb corners[4] = {qRgb(220, 30, 30), qRgb(30, 200, 40), qRgb(40, 40, 210),
                             qRgb(230, 230, 40)}; // top left, top right, bottom left, bottom right
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 24; ++x) {
            stored.setPixel(x, y, corners[(y < 8 ? 0 : 2) + (x < 12 ? 0 : 1)]);
        }
    }
    const QByteArray plain = encoded(stored, "jpeg", 100);
    QImage decoded = QImage::fromData(plain, "jpeg").convertToFormat(QImage::Format_RGB32);
    const struct {
        int orientation;
        int topLeftCorner;
    } cases[] = {{6, 2}, {8, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.orientation);
        Scratch dir;
        const QString source = dir.write(QStringLiteral("photo.jpg"),
                                         imagingtest::withExifOrientation(plain, c.orientation));
        ASSERT_TRUE(QtPictureConverter().convert(source, dir.path("out.bmp")).ok);
        std::vector<uint32_t> expected;
        for (int y = 0; y < 24; ++y) {
            for (int x = 0; x < 16; ++x) {
                const QRgb p =
                    c.orientation == 6 ? decoded.pixel(y, 15 - x) : decoded.pixel(23 - y, x);
                expected.push_back(p & 0xFFFFFF);
            }
        }
        const Carrier out = readCarrier(dir.path("out.bmp"));
        expectPixels(out, 16, 24, expected, 1);
        EXPECT_LE(channelGap(out.pixels[0], corners[c.topLeftCorner] & 0xFFFFFF), 8);
    }
}

TEST(Converter, RefusesWhatItCannotConvertWithAMessage) {
    Scratch dir;
    const QByteArray png = encoded(sweep(QImage::Format_ARGB32), "png");
    const QByteArray jpeg = encoded(sweep(QImage::Format_RGB32), "jpeg", 90);
    const auto variants = bmptest::bmpVariants();
    const auto bmpNamed = [&](const std::string& name) {
        const auto it = std::find_if(variants.begin(), variants.end(),
                                     [&](const auto& v) { return v.name == name; });
        return QByteArray(reinterpret_cast<const char*>(it->file.data()),
                          static_cast<qsizetype>(it->file.size()));
    };
    const QByteArray bmp = bmpNamed("info-40-24");
    const QByteArray rle = bmpNamed("rle8-jumps-unpadded");
    QByteArray wide = bmp;
    wide[18] = '\xE1'; // 12001 pixels wide
    wide[19] = '\x2E';
    QByteArray jpegInside = bmp;
    jpegInside[30] = '\x04';
    QByteArray jpegHuge = jpeg;
    const qsizetype sof = jpegHuge.indexOf("\xFF\xC0");
    jpegHuge.replace(sof + 5, 2, QByteArray("\x2E\xE1", 2)); // 12001 rows
    const QByteArray gif = imagingtest::gifOf(20, 20, {0xFF0000}, {std::vector<uint8_t>(400, 0)});
    QByteArray gifHuge = gif;
    gifHuge[8] = '\xFF';
    gifHuge[9] = '\xFF';
    const PictureFault cut = PictureFault::Damaged;
    const PictureFault big = PictureFault::TooLarge;
    const PictureFault notPicture = PictureFault::NotPicture;
    const struct {
        const char* name;
        QByteArray bytes;
        PictureFault fault;
    } cases[] = {
        {"png-cut", png.left(png.size() / 2), cut},
        {"jpeg-cut", jpeg.left(jpeg.size() / 2), cut},
        {"jpeg-without-its-end", jpeg.left(jpeg.size() - 2), cut},
        {"bmp-cut", bmp.left(bmp.size() - 3), cut},
        {"rle8-cut", rle.left(rle.size() - 6), cut},
        {"gif-cut", gif.left(gif.size() / 2), cut},
        {"bmp-palette-past-end", bmpNamed("info-40-8").left(200), cut},
        {"png-header-claims-20000-wide", imagingtest::pngClaiming(20000, 10), big},
        {"bmp-header-claims-12001-wide", wide, big},
        {"jpeg-header-claims-12001-rows", jpegHuge, big},
        {"gif-screen-65535-square", gifHuge, big},
        {"empty", QByteArray(), notPicture},
        {"text", QByteArray("just some words\n"), notPicture},
        {"bmp-holding-a-jpeg", jpegInside, notPicture},
        {"portable-pixmap", encoded(sweep(QImage::Format_RGB32), "ppm"), notPicture},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString source = dir.write(QString::fromLatin1(c.name), c.bytes);
        const PictureConversion done = QtPictureConverter().convert(source, dir.path("out.bmp"));
        EXPECT_FALSE(done.ok);
        EXPECT_EQ(done.fault, c.fault);
        EXPECT_EQ(done.file, source);
        EXPECT_EQ(done.limit, c.fault == big ? 12000 : 0);
    }
}

TEST(Converter, RefusesFoldersPipesAndMissingFilesWithoutWaiting) {
    Scratch dir;
    const QString fifo = dir.path(QStringLiteral("pipe.png"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString folder = dir.path(QStringLiteral("folder.png"));
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString missing = dir.path(QStringLiteral("missing.png"));
    const QtPictureConverter converter;
    for (const QString& path : {fifo, folder}) {
        EXPECT_FALSE(converter.canRead(path));
        const PictureConversion done = converter.convert(path, dir.path("out.bmp"));
        EXPECT_EQ(done.fault, PictureFault::NotPicture);
        EXPECT_EQ(done.file, path);
    }
    // The reader would otherwise try missing.png.png and the like.
    dir.write(QStringLiteral("missing.png.png"), encoded(sweep(QImage::Format_RGB32), "png"));
    EXPECT_FALSE(converter.canRead(missing));
    const PictureConversion unread = converter.convert(missing, dir.path("out.bmp"));
    EXPECT_EQ(unread.fault, PictureFault::CannotRead);
    EXPECT_EQ(unread.file, missing);
    EXPECT_EQ(unread.error, ENOENT);
}

TEST(Converter, JudgesByContentNotByName) {
    Scratch dir;
    const QImage image = sweep(QImage::Format_RGB32);
    const QtPictureConverter converter;
    for (const char* format : {"bmp", "png", "jpeg", "tiff", "webp"}) {
        EXPECT_TRUE(converter.canRead(dir.write(QStringLiteral("a.txt"), encoded(image, format))))
            << format;
    }
    EXPECT_TRUE(converter.canRead(dir.write(
        QStringLiteral("a.txt"), imagingtest::gifOf(1, 1, {0}, {std::vector<uint8_t>(1, 0)}))));
    EXPECT_FALSE(converter.canRead(dir.write(QStringLiteral("a.png"), encoded(image, "ppm"))));
    EXPECT_FALSE(converter.canRead(dir.write(QStringLiteral("b.png"), QByteArray("PNG?"))));
}

TEST(Converter, ConvertsUpTo12000PixelsASide) {
    // 1-bit pixels keep the file small; the reader counts them at 32 bits against its limit,
    // which only the converter's own limit lets through.
    for (const auto& [width, height] : {std::pair{12000, 12000}, std::pair{12001, 1}}) {
        const auto w = static_cast<uint32_t>(width);
        const auto h = static_cast<uint32_t>(height);
        const uint32_t stride = (w + 31) / 32 * 4;
        QByteArray bmp("BM", 2);
        // File header; 40-byte header: one plane, one bit, two colours; black and white.
        const uint32_t fields[] = {62 + stride * h, 0, 62, 40, w, h, 1 | 1 << 16, 0, 0, 0, 0, 2, 0};
        const uint32_t palette[] = {0x000000, 0xFFFFFF};
        bmp.append(reinterpret_cast<const char*>(fields), sizeof fields);
        bmp.append(reinterpret_cast<const char*>(palette), sizeof palette);
        bmp.append(static_cast<qsizetype>(stride) * height, '\x55');
        Scratch dir;
        const PictureConversion done = QtPictureConverter().convert(
            dir.write(QStringLiteral("wide.bmp"), bmp), QStringLiteral("/dev/null"));
        EXPECT_EQ(done.ok, width == 12000) << static_cast<int>(done.fault);
    }
}

TEST(Converter, WritesWhereverTheTargetPathLeadsAndReportsTheSystemsReason) {
    Scratch dir;
    const QString source =
        dir.write(QStringLiteral("in.png"), encoded(sweep(QImage::Format_RGB32), "png"));
    const QtPictureConverter converter;
    const int fd = ::open(QFile::encodeName(dir.path("held.bmp")).constData(),
                          O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(converter.convert(source, QStringLiteral("/proc/self/fd/%1").arg(fd)).ok);
    ::close(fd);
    EXPECT_EQ(readCarrier(dir.path("held.bmp")).fault, "");

    const QString noFolder = dir.path(QStringLiteral("no/such/folder.bmp"));
    for (const auto& [target, words] :
         {std::pair{noFolder, QStringLiteral("No such file or directory")},
          std::pair{QStringLiteral("/dev/full"), QStringLiteral("No space left on device")}}) {
        const PictureConversion done = converter.convert(source, target);
        EXPECT_EQ(done.fault, PictureFault::CannotWrite);
        EXPECT_EQ(done.file, target);
        EXPECT_EQ(done.writerWords, words);
    }
}

TEST(Converter, OffersThePromisedFormatsInTheDialog) {
    EXPECT_EQ(QtPictureConverter().dialogFilter().toStdString(),
              "Pictures|*.bmp;*.png;*.jpg;*.jpeg;*.tif;*.tiff;*.webp;*.gif|All Files|*.*");
}

} // namespace
