#include "PictureFiles.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <algorithm>
#include <gtest/gtest.h>

namespace imagingtest {

namespace {

uint32_t le(const QByteArray& b, int at, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) {
        v |= static_cast<uint32_t>(static_cast<uint8_t>(b.at(at + i))) << (8 * i);
    }
    return v;
}

void putLe(QByteArray& out, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) {
        out.append(static_cast<char>(v >> (8 * i)));
    }
}

void putBe(QByteArray& out, uint32_t v, int n) {
    for (int i = n - 1; i >= 0; --i) {
        out.append(static_cast<char>(v >> (8 * i)));
    }
}

uint32_t crc32(const QByteArray& bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= static_cast<uint8_t>(c);
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

} // namespace

Carrier readCarrier(const QString& path) {
    Carrier c;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        c.fault = "cannot open";
        return c;
    }
    const QByteArray b = file.readAll();
    if (b.size() < 54 || !b.startsWith("BM")) {
        c.fault = "no BMP headers";
        return c;
    }
    c.width = static_cast<int32_t>(le(b, 18, 4));
    c.height = static_cast<int32_t>(le(b, 22, 4));
    const int64_t stride = (int64_t{c.width} * 3 + 3) / 4 * 4;
    const int64_t image = stride * c.height;
    const struct {
        const char* name;
        int64_t actual, expected;
    } fields[] = {
        {"file size field", le(b, 2, 4), 54 + image},
        {"file size", b.size(), 54 + image},
        {"reserved", le(b, 6, 4), 0},
        {"data offset", le(b, 10, 4), 54},
        {"info size", le(b, 14, 4), 40},
        {"positive height", c.height > 0 && c.width > 0, 1},
        {"planes", le(b, 26, 2), 1},
        {"bit count", le(b, 28, 2), 24},
        {"compression", le(b, 30, 4), 0},
        {"image size", le(b, 34, 4), image},
        {"colours used", le(b, 46, 4), 0},
    };
    for (const auto& f : fields) {
        if (f.actual != f.expected) {
            c.fault = f.name;
            return c;
        }
    }
    for (int32_t y = 0; y < c.height; ++y) {
        const int64_t row = 54 + (c.height - 1 - y) * stride;
        for (int32_t x = 0; x < c.width; ++x) {
            const auto at = static_cast<int>(row + 3 * x);
            c.pixels.push_back(le(b, at, 3));
        }
        for (int64_t pad = 3 * c.width; pad < stride; ++pad) {
            if (b.at(static_cast<int>(row + pad)) != 0) {
                c.fault = "row padding";
            }
        }
    }
    return c;
}

QByteArray encoded(const QImage& image, const char* format, int quality) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    EXPECT_TRUE(writer.write(image)) << format << ": " << writer.errorString().toStdString();
    return bytes;
}

QByteArray gifOf(int width, int height, const std::vector<uint32_t>& palette,
                 const std::vector<std::vector<uint8_t>>& frames) {
    QByteArray out("GIF89a");
    putLe(out, static_cast<uint32_t>(width), 2);
    putLe(out, static_cast<uint32_t>(height), 2);
    out.append(static_cast<char>(0xF7)); // a global table of 256 colours
    out.append(2, '\0');
    for (int i = 0; i < 256; ++i) {
        putBe(out, i < static_cast<int>(palette.size()) ? palette[static_cast<size_t>(i)] : 0, 3);
    }
    for (const auto& frame : frames) {
        out.append(',');
        putLe(out, 0, 4);
        putLe(out, static_cast<uint32_t>(width), 2);
        putLe(out, static_cast<uint32_t>(height), 2);
        out.append('\0');
        out.append('\x08');
        // Nine-bit codes throughout: a clear code before the code table would grow a bit.
        QByteArray data;
        uint32_t bits = 0;
        int count = 0;
        const auto code = [&](uint32_t value) {
            bits |= value << count;
            for (count += 9; count >= 8; count -= 8, bits >>= 8) {
                data.append(static_cast<char>(bits));
            }
        };
        for (size_t i = 0; i < frame.size(); ++i) {
            if (i % 254 == 0) {
                code(256);
            }
            code(frame[i]);
        }
        code(257);
        if (count > 0) {
            data.append(static_cast<char>(bits));
        }
        for (qsizetype at = 0; at < data.size(); at += 255) {
            const QByteArray block = data.mid(at, 255);
            out.append(static_cast<char>(block.size()));
            out.append(block);
        }
        out.append('\0');
    }
    out.append(';');
    return out;
}

QByteArray withExifOrientation(const QByteArray& jpeg, int orientation) {
    QByteArray tiff("MM");
    putBe(tiff, 42, 2);
    putBe(tiff, 8, 4); // the first directory follows the header
    putBe(tiff, 1, 2);
    putBe(tiff, 0x0112, 2); // orientation, one SHORT, held in the entry
    putBe(tiff, 3, 2);
    putBe(tiff, 1, 4);
    putBe(tiff, static_cast<uint32_t>(orientation), 2);
    putBe(tiff, 0, 2);
    putBe(tiff, 0, 4); // no next directory
    const QByteArray payload = QByteArray("Exif", 4) + QByteArray(2, '\0') + tiff;
    QByteArray segment("\xFF\xE1", 2);
    putBe(segment, static_cast<uint32_t>(payload.size() + 2), 2);
    return jpeg.left(2) + segment + payload + jpeg.mid(2);
}

QByteArray pngClaiming(uint32_t width, uint32_t height) {
    QByteArray header;
    putBe(header, width, 4);
    putBe(header, height, 4);
    header.append("\x08\x02\x00\x00\x00", 5); // 8-bit RGB, no interlace
    QByteArray out("\x89PNG\r\n\x1A\n", 8);
    for (const auto& [type, data] : {std::pair{QByteArray("IHDR"), header},
                                     std::pair{QByteArray("IDAT"), QByteArray("\x78\x9C", 2)}}) {
        putBe(out, static_cast<uint32_t>(data.size()), 4);
        out.append(type + data);
        putBe(out, crc32(type + data), 4);
    }
    return out;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

} // namespace imagingtest
