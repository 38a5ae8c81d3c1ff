#include "imaging/BmpSource.h"

#include "imaging/FileBytes.h"

#include <QByteArray>
#include <algorithm>
#include <array>
#include <bit>

namespace brindmar {

namespace {

constexpr int kFileHeaderBytes = 14;
constexpr uint32_t kCoreHeaderBytes = 12;
constexpr uint32_t kInfoHeaderBytes = 40;
constexpr uint32_t kRgb = 0;
constexpr uint32_t kRle8 = 1;
constexpr uint32_t kRle4 = 2;
constexpr uint32_t kBitFields = 3;
constexpr QRgb kSkipped = 0xFFFFFFFFu;
// What the image reader's conversions show for an index past the palette.
constexpr QRgb kOutsidePalette = 0xFF000000u;

uint32_t le(const QByteArray& bytes, int at, int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
        value |= static_cast<uint32_t>(static_cast<uint8_t>(bytes.at(at + i))) << (8 * i);
    }
    return value;
}

bool depthKnown(uint32_t bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

bool compressionFits(uint32_t compression, uint32_t bits) {
    switch (compression) {
    case kRgb:
        return true;
    case kRle8:
        return bits == 8;
    case kRle4:
        return bits == 4;
    case kBitFields:
        return bits == 16 || bits == 32;
    default:
        return false;
    }
}

struct Palette {
    std::array<QRgb, 256> colours{};
    bool complete = false;
};

Palette readPalette(QIODevice& file, const BmpLayout& layout) {
    Palette palette;
    palette.colours.fill(kOutsidePalette);
    file.seek(layout.paletteStart);
    const QByteArray bytes = file.read(layout.paletteEntries * layout.paletteEntryBytes);
    if (bytes.size() != layout.paletteEntries * layout.paletteEntryBytes) {
        return palette;
    }
    for (int i = 0; i < layout.paletteEntries; ++i) {
        const uint32_t bgr = le(bytes, i * layout.paletteEntryBytes, 3);
        palette.colours[static_cast<size_t>(i)] = 0xFF000000u | bgr;
    }
    palette.complete = true;
    return palette;
}

// The compressed pixels, drawn into an image filled with the colour of skipped pixels.
class RunLengthCanvas {
public:
    RunLengthCanvas(QImage& image, const Palette& palette, int rowPixels)
        : m_image(image), m_palette(palette), m_width(image.width()), m_height(image.height()),
          m_rowPixels(rowPixels) {}

    bool rowsLeft() const { return m_y < m_height; }
    // Every pixel drawn: a stream may stop after its last row without an end marker.
    bool lastRowFull() const { return m_y == m_height - 1 && m_x >= m_width; }

    void put(int index) {
        if (m_x < m_width) {
            reinterpret_cast<QRgb*>(m_image.scanLine(m_height - 1 - m_y))[m_x] =
                m_palette.colours[static_cast<size_t>(index)];
        }
        ++m_x;
    }
    void endOfLine() {
        m_x = 0;
        ++m_y;
    }
    void jump(int dx, int dy) {
        m_x += dx;
        m_y += dy;
    }
    void endOfImage() { m_y = m_height; }
    // Whether count more pixels, or a jump of count, stay within the padded row.
    bool fits(int count) const { return m_x + count <= m_rowPixels; }

private:
    QImage& m_image;
    const Palette& m_palette;
    int m_width;
    int m_height;
    int m_rowPixels;
    int m_x = 0;
    int m_y = 0; // counted from the bottom row, as the rows are stored
};

// One absolute run: count pixels stored literally, padded to a 16-bit boundary.
bool absoluteRun(FileBytes& in, RunLengthCanvas& canvas, int count, bool fourBit) {
    if (!canvas.fits(count)) {
        return false;
    }
    const int bytes = fourBit ? (count + 1) / 2 : count;
    for (int i = 0, drawn = 0; i < bytes; ++i) {
        const int value = in.next();
        if (value < 0) {
            return false;
        }
        if (!fourBit) {
            canvas.put(value);
            continue;
        }
        canvas.put(value >> 4);
        if (++drawn < count) {
            canvas.put(value & 0x0F);
        }
        ++drawn;
    }
    return bytes % 2 == 0 || in.skip(1);
}

} // namespace

BmpInspection inspectBmp(QIODevice& file, int32_t maxSide) {
    BmpInspection result;
    BmpLayout& layout = result.layout;
    const qint64 fileSize = file.size();
    file.seek(0);
    const QByteArray head = file.read(kFileHeaderBytes + kInfoHeaderBytes);
    if (head.size() < kFileHeaderBytes + static_cast<int>(kCoreHeaderBytes) ||
        !head.startsWith("BM")) {
        return result;
    }
    const uint32_t dataOffset = le(head, 10, 4);
    const uint32_t infoSize = le(head, 14, 4);
    uint32_t planes = 0;
    uint32_t colorsUsed = 0;
    int64_t width = 0;
    int64_t height = 0;
    if (infoSize == kCoreHeaderBytes) {
        // Read as signed, as the image reader reads them.
        width = static_cast<int16_t>(le(head, 18, 2));
        height = static_cast<int16_t>(le(head, 20, 2));
        planes = le(head, 22, 2);
        layout.bitCount = static_cast<uint16_t>(le(head, 24, 2));
        layout.paletteEntryBytes = 3;
    } else {
        if (infoSize < kInfoHeaderBytes || head.size() < kFileHeaderBytes + 40) {
            return result;
        }
        width = static_cast<int32_t>(le(head, 18, 4));
        height = static_cast<int32_t>(le(head, 22, 4));
        planes = le(head, 26, 2);
        layout.bitCount = static_cast<uint16_t>(le(head, 28, 2));
        layout.compression = le(head, 30, 4);
        colorsUsed = le(head, 46, 4);
    }
    if (!depthKnown(layout.bitCount) || layout.compression > kBitFields) {
        result.verdict = BmpVerdict::Unsupported;
        return result;
    }
    layout.topDown = height < 0;
    height = std::abs(height);
    if (planes != 1 || width <= 0 || height == 0 ||
        !compressionFits(layout.compression, layout.bitCount) ||
        (layout.topDown && layout.runLength())) {
        return result;
    }
    if (width > maxSide || height > maxSide) {
        result.verdict = BmpVerdict::TooLarge;
        return result;
    }
    layout.width = static_cast<int32_t>(width);
    layout.height = static_cast<int32_t>(height);

    layout.paletteStart = kFileHeaderBytes + int64_t{infoSize};
    if (infoSize == kInfoHeaderBytes && layout.compression == kBitFields) {
        layout.paletteStart += 12; // the three colour masks follow the short header
    }
    if (layout.bitCount <= 8) {
        const uint32_t entries = colorsUsed != 0 ? colorsUsed : 1u << layout.bitCount;
        if (entries > 256) {
            return result;
        }
        layout.paletteEntries = static_cast<int32_t>(entries);
    }
    if (layout.sixteenBit()) {
        layout.masks = {0x7C00, 0x03E0, 0x001F, 0};
        if (layout.compression == kBitFields) {
            // Right after the 40-byte part, whether in a longer header or following it.
            file.seek(kFileHeaderBytes + kInfoHeaderBytes);
            const QByteArray masks = file.read(16);
            const int count = infoSize >= kInfoHeaderBytes + 16 ? 4 : 3;
            if (masks.size() < 4 * count) {
                return result;
            }
            for (int i = 0; i < count; ++i) {
                layout.masks[static_cast<size_t>(i)] = le(masks, 4 * i, 4);
            }
            layout.masks[3] = count == 4 ? layout.masks[3] : 0;
        }
    }
    const int64_t paletteEnd =
        layout.paletteStart + int64_t{layout.paletteEntries} * layout.paletteEntryBytes;
    // The reader starts the pixels where the palette ends when the offset points into it.
    layout.pixelStart = std::max<int64_t>(dataOffset, paletteEnd);
    const int64_t stride = (width * layout.bitCount + 31) / 32 * 4;
    const int64_t pixelEnd = layout.pixelStart + (layout.runLength() ? 1 : stride * height);
    if (paletteEnd > fileSize || pixelEnd > fileSize) {
        return result;
    }
    result.verdict = BmpVerdict::Sound;
    return result;
}

QImage decodeRunLengthBmp(QIODevice& file, const BmpLayout& layout) {
    const Palette palette = readPalette(file, layout);
    if (!palette.complete) {
        return {};
    }
    QImage image(layout.width, layout.height, QImage::Format_RGB32);
    if (image.isNull()) {
        return {};
    }
    image.fill(kSkipped);
    const bool fourBit = layout.compression == kRle4;
    const int rowPixels = static_cast<int>((int64_t{layout.width} * layout.bitCount + 31) / 32 *
                                           32 / layout.bitCount);
    RunLengthCanvas canvas(image, palette, rowPixels);
    FileBytes in(file, layout.pixelStart);
    while (canvas.rowsLeft()) {
        const int count = in.next();
        const int value = in.next();
        if (value < 0) {
            return canvas.lastRowFull() && count < 0 ? image : QImage();
        }
        if (count > 0) {
            if (!canvas.fits(count)) {
                return {};
            }
            for (int i = 0; i < count; ++i) {
                canvas.put(!fourBit ? value : i % 2 == 0 ? value >> 4 : value & 0x0F);
            }
        } else if (value == 0) {
            canvas.endOfLine();
        } else if (value == 1) {
            canvas.endOfImage();
        } else if (value == 2) {
            const int dx = in.next();
            const int dy = in.next();
            if (dy < 0 || !canvas.fits(dx)) {
                return {};
            }
            canvas.jump(dx, dy);
        } else if (!absoluteRun(in, canvas, value, fourBit)) {
            return {};
        }
    }
    return image;
}

QImage decodeSixteenBitBmp(QIODevice& file, const BmpLayout& layout) {
    const bool alpha = layout.masks[3] != 0;
    QImage image(layout.width, layout.height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image.isNull()) {
        return {};
    }
    struct Channel {
        uint32_t mask;
        int shift;
        uint64_t top; // the mask's largest value, 0 for a channel not stored
    };
    std::array<Channel, 4> channels{};
    for (size_t i = 0; i < channels.size(); ++i) {
        const uint32_t mask = layout.masks[i] & 0xFFFF;
        const int shift = mask == 0 ? 0 : std::countr_zero(mask);
        channels[i] = {mask, shift, mask >> shift};
    }
    const auto scaled = [&](const Channel& c, uint32_t pixel) -> uint32_t {
        return c.top == 0 ? 0
                          : static_cast<uint32_t>(
                                (((pixel & c.mask) >> c.shift) * 255 + c.top / 2) / c.top);
    };
    const int64_t stride = (int64_t{layout.width} * 16 + 31) / 32 * 4;
    QByteArray row;
    for (int y = 0; y < layout.height; ++y) {
        file.seek(layout.pixelStart + stride * y);
        row = file.read(stride);
        if (row.size() != stride) {
            return {};
        }
        auto* out =
            reinterpret_cast<QRgb*>(image.scanLine(layout.topDown ? y : layout.height - 1 - y));
        for (int x = 0; x < layout.width; ++x) {
            const uint32_t p = le(row, 2 * x, 2);
            const uint32_t a = alpha ? scaled(channels[3], p) : 255;
            out[x] = qRgba(static_cast<int>(scaled(channels[0], p)),
                           static_cast<int>(scaled(channels[1], p)),
                           static_cast<int>(scaled(channels[2], p)), static_cast<int>(a));
        }
    }
    return image;
}

} // namespace brindmar
