// Writes the starting inputs of the picture converter's corpus: every BMP layout the tests know,
// and small PNG, JPEG, TIFF and WebP pictures in the variants the plugins decode differently
// (alpha, sixteen bits, a palette, grey, progressive, an orientation tag).
// Usage: fuzz_convert_seeds <folder>   (writes <folder>/seed-*)
#include "BmpVariants.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>
#include <cstdio>
#include <string>

namespace {

QImage picture(QImage::Format format) {
    QImage image(24, 16, format);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 24; ++x) {
            image.setPixelColor(x, y, QColor(x * 10, y * 15, (x * y) % 256, 255 - x * 5));
        }
    }
    return image;
}

QByteArray encoded(const QImage& image, const char* format, int quality = -1,
                   bool progressive = false) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    if (!writer.write(image)) {
        std::fprintf(stderr, "cannot write a %s seed\n", format);
    }
    return bytes;
}

// An Exif segment with only the orientation tag (6: turn a quarter clockwise) after the start.
QByteArray turned(const QByteArray& jpeg) {
    const QByteArray exif("\xFF\xE1\x00\x22"
                          "Exif\x00\x00"
                          "MM\x00\x2A\x00\x00\x00\x08\x00\x01"
                          "\x01\x12\x00\x03\x00\x00\x00\x01\x00\x06\x00\x00"
                          "\x00\x00\x00\x00",
                          36);
    return jpeg.left(2) + exif + jpeg.mid(2);
}

// Two frames of one pixel each, the smallest compressed data there is.
QByteArray twoFrameGif() {
    const QByteArray frame("\x2C\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00", 15);
    return QByteArray("GIF89a\x01\x00\x01\x00\x80\x00\x00\xFF\x00\x00\x00\x00\xFF", 19) + frame +
           frame + QByteArray(";");
}

bool write(const std::string& path, const QByteArray& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    const bool written =
        file != nullptr && std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()),
                                       file) == static_cast<size_t>(bytes.size());
    return file != nullptr && std::fclose(file) == 0 && written;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    bool ok = true;
    for (const bmptest::BmpVariant& v : bmptest::bmpVariants()) {
        ok = write(folder + "/seed-" + v.name + ".bmp",
                   QByteArray(reinterpret_cast<const char*>(v.file.data()),
                              static_cast<qsizetype>(v.file.size()))) &&
             ok;
    }
    const QImage rgb = picture(QImage::Format_RGB32);
    const struct {
        const char* name;
        QByteArray bytes;
    } seeds[] = {
        {"rgb.png", encoded(rgb, "png")},
        {"alpha.png", encoded(picture(QImage::Format_ARGB32), "png")},
        {"sixteen-bit.png", encoded(picture(QImage::Format_RGBA64), "png")},
        {"palette.png", encoded(rgb.convertToFormat(QImage::Format_Indexed8), "png")},
        {"grey.png", encoded(rgb.convertToFormat(QImage::Format_Grayscale8), "png")},
        {"baseline.jpg", encoded(rgb, "jpeg", 80)},
        {"progressive.jpg", encoded(rgb, "jpeg", 80, true)},
        {"grey.jpg", encoded(rgb.convertToFormat(QImage::Format_Grayscale8), "jpeg", 80)},
        {"turned.jpg", turned(encoded(rgb, "jpeg", 80))},
        {"rgb.tif", encoded(rgb, "tiff")},
        {"two-frames.gif", twoFrameGif()},
        {"lossy.webp", encoded(picture(QImage::Format_ARGB32), "webp", 60)},
    };
    for (const auto& seed : seeds) {
        ok = write(folder + "/seed-" + seed.name, seed.bytes) && ok;
    }
    return ok ? 0 : 1;
}
