#include "imaging/CarrierWriter.h"

#include "payload/BmpHeader.h"
#include "util/ReplacementFile.h"

#include <QFile>
#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace brindmar {

namespace {

// Rows converted and written together: large writes, yet a small fraction of a big image.
constexpr int64_t kBandBytes = 1 << 20;

// Resolution in pixels per metre, as the picture gave it, within what the header holds.
uint32_t resolution(int dotsPerMetre) {
    return static_cast<uint32_t>(std::clamp(dotsPerMetre, 0, 1000000));
}

std::array<unsigned char, kBmpHeadersLength> headers(const QImage& image) {
    BmpHeader h = uncompressedBmpHeader(image.width(), image.height(), 24);
    h.xPixelsPerMetre = static_cast<int32_t>(resolution(image.dotsPerMeterX()));
    h.yPixelsPerMetre = static_cast<int32_t>(resolution(image.dotsPerMeterY()));
    return formatBmpHeader(h);
}

// The formats read straight from the decoded image; every other one goes through a band
// converted to ARGB32 first.
bool direct(QImage::Format format) {
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
           format == QImage::Format_ARGB32_Premultiplied;
}

uint32_t bgr(uint32_t b, uint32_t g, uint32_t r) {
    return r << 16 | g << 8 | b;
}

static_assert(std::endian::native == std::endian::little, "a QRgb is stored as B, G, R, A");

// pixel(p) gives the output colour as 0xRRGGBB. Each pixel stores four bytes and moves on three,
// the fourth overwritten by the next pixel: several times faster than three single bytes, and
// this loop is most of what a conversion adds to the decoding. The last pixel stores three.
template <typename Pixel> void convertRow(const QRgb* in, int width, uint8_t* out, Pixel pixel) {
    int x = 0;
    for (; x + 1 < width; ++x, out += 3) {
        const uint32_t value = pixel(in[x]);
        std::memcpy(out, &value, 4);
    }
    const uint32_t last = pixel(in[x]);
    std::memcpy(out, &last, 3);
}

uint32_t overWhitePixel(QRgb p) {
    const uint32_t a = qAlpha(p);
    if (a == 255) {
        return p & 0xFFFFFF;
    }
    return bgr(overWhite(qBlue(p), a), overWhite(qGreen(p), a), overWhite(qRed(p), a));
}

// Premultiplied colour over white: c * a / 255 + (255 - a).
uint32_t premultipliedOverWhite(QRgb p) {
    const uint32_t white = 255 - qAlpha(p);
    return bgr(std::min<uint32_t>(255, qBlue(p) + white),
               std::min<uint32_t>(255, qGreen(p) + white),
               std::min<uint32_t>(255, qRed(p) + white));
}

void writeRow(const QRgb* in, int width, QImage::Format format, uint8_t* out) {
    switch (format) {
    case QImage::Format_RGB32:
        convertRow(in, width, out, [](QRgb p) { return p & 0xFFFFFF; });
        break;
    case QImage::Format_ARGB32_Premultiplied:
        convertRow(in, width, out, premultipliedOverWhite);
        break;
    default:
        convertRow(in, width, out, overWhitePixel);
        break;
    }
}

// Empty, or why the bytes could not all be written. QFile gives a write the disk cut short
// (a full disk) no reason of its own, only "Unknown error"; the rest is written straight to the
// descriptor, whose error names it.
QString writeAll(QFile& out, const unsigned char* data, int64_t size) {
    const int64_t done = out.write(reinterpret_cast<const char*>(data), size);
    if (done == size) {
        return {};
    }
    if (done < 0 && out.error() != QFileDevice::NoError &&
        out.errorString() != QStringLiteral("Unknown error")) {
        return out.errorString();
    }
    for (int64_t at = std::max<int64_t>(done, 0); at < size;) {
        const ssize_t more = ::write(out.handle(), data + at, static_cast<size_t>(size - at));
        if (more < 0 && errno == EINTR) {
            continue;
        }
        if (more <= 0) {
            return systemErrorText(more < 0 ? errno : ENOSPC);
        }
        at += more;
    }
    return {};
}

} // namespace

QString writeCarrier(const QImage& image, const QString& target) {
    const int width = image.width();
    const int height = image.height();
    const int64_t stride = bmpStride(width, 24);

    QFile out(target);
    // Unbuffered: the bands are already large writes, and an error shows at the write it hits.
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        return out.errorString();
    }
    const auto head = headers(image);
    if (QString failed = writeAll(out, head.data(), kBmpHeadersLength); !failed.isEmpty()) {
        return failed;
    }
    const bool straight = direct(image.format());
    const int bandRows = static_cast<int>(
        std::clamp<int64_t>(kBandBytes / (int64_t{width} * 4), 1, std::max(height, 1)));
    std::vector<uint8_t> rows(static_cast<size_t>(stride * bandRows), 0);
    // Bottom up: the last rows of the picture are the first rows of the file.
    for (int bottom = height; bottom > 0; bottom -= bandRows) {
        const int top = std::max(0, bottom - bandRows);
        const QImage band =
            straight
                ? QImage()
                : image.copy(0, top, width, bottom - top).convertToFormat(QImage::Format_ARGB32);
        if (!straight && band.isNull()) {
            return QStringLiteral("not enough memory");
        }
        const QImage& from = straight ? image : band;
        const int first = straight ? top : 0;
        const QImage::Format format = straight ? image.format() : QImage::Format_ARGB32;
        uint8_t* row = rows.data();
        for (int y = bottom - 1; y >= top; --y, row += stride) {
            writeRow(reinterpret_cast<const QRgb*>(from.constScanLine(y - top + first)), width,
                     format, row);
        }
        if (QString failed = writeAll(out, rows.data(), stride * (bottom - top));
            !failed.isEmpty()) {
            return failed;
        }
    }
    out.close();
    if (out.error() != QFileDevice::NoError) {
        return out.errorString();
    }
    return {};
}

} // namespace brindmar
