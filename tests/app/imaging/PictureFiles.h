#pragma once

// Pictures the converter tests feed in, and a reader of the carriers it writes that is
// independent of the converter and of Qt's BMP reader.

#include <QByteArray>
#include <QImage>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

namespace imagingtest {

// A converted carrier as read back byte by byte. fault names the first header field that is not
// what a 24-bit carrier with a 40-byte header must hold; empty when all are.
struct Carrier {
    std::string fault;
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> pixels; // 0xRRGGBB, top row first
};

Carrier readCarrier(const QString& path);

QByteArray encoded(const QImage& image, const char* format, int quality = -1);

// A GIF whose frames are all width x height, each given as palette indices, top row first. The
// compressed data holds one literal code a pixel, so any index sequence is valid.
QByteArray gifOf(int width, int height, const std::vector<uint32_t>& palette,
                 const std::vector<std::vector<uint8_t>>& frames);

// The JPEG with an Exif segment holding only an orientation tag, inserted after its start.
QByteArray withExifOrientation(const QByteArray& jpeg, int orientation);

// The start of a PNG claiming width x height: its header chunk and one short data chunk.
QByteArray pngClaiming(uint32_t width, uint32_t height);

void writeFile(const QString& path, const QByteArray& bytes);

} // namespace imagingtest
