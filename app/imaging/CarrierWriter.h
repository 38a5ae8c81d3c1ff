#pragma once

#include <QImage>
#include <QString>

namespace brindmar {

// Writes image to target as a 24-bit BMP with the 14-byte file header and the 40-byte
// information header: pixels at offset 54, rows bottom up, each padded to 4 bytes. Alpha is
// flattened onto white and deeper channels are cut to eight bits; colour spaces are left alone.
// The rows are converted a band at a time, never as a second copy of the whole image.
// An empty string when it is written, else the system's reason.
QString writeCarrier(const QImage& image, const QString& target);

// A colour c at opacity a over white, rounded to nearest.
inline uint8_t overWhite(uint32_t c, uint32_t a) {
    return static_cast<uint8_t>((a * c + (255 - a) * 255 + 127) / 255);
}

} // namespace brindmar
