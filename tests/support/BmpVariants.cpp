#include "BmpVariants.h"

#include <array>
#include <bit>
#include <functional>
#include <utility>

namespace bmptest {

namespace {

// Odd, so that rows of every depth need padding.
constexpr int32_t kWidth = 13;
constexpr int32_t kHeight = 5;
constexpr uint32_t kWhite = 0xFFFFFF;

using Masks = std::array<uint32_t, 4>; // red, green, blue, alpha

void put16(Bytes& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void put32(Bytes& out, uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) {
    return (r & 255) << 16 | (g & 255) << 8 | (b & 255);
}

uint32_t channel(uint32_t colour, int i) {
    return colour >> (16 - 8 * i) & 255;
}

// The known picture: each channel differs from its neighbours' in both directions.
uint32_t colourAt(int x, int y) {
    return rgb(x * 19 + y * 53, x * 7 + y * 101 + 40, x * x * 3 + y * 29 + 90);
}

// Opacity with both ends and the values next to them.
uint32_t alphaAt(int x, int y) {
    static constexpr std::array<uint32_t, 7> kLevels = {0, 255, 128, 1, 254, 64, 200};
    return kLevels[static_cast<size_t>(x + 2 * y) % kLevels.size()];
}

std::vector<uint32_t> paletteOf(int n) {
    std::vector<uint32_t> colours;
    for (int i = 0; i < n; ++i) {
        colours.push_back(rgb(i * 37 + 11, 255 - i * 11, i * 73 + 5));
    }
    return colours;
}

int indexAt(int x, int y, int n) {
    return (x + 3 * y) % n;
}

struct Layout {
    uint32_t infoSize = 40;
    uint16_t bits = 24;
    uint32_t compression = 0;
    bool topDown = false;
    Masks masks{}; // written after a 40-byte header with bit fields, inside a larger one
    std::vector<uint32_t> palette;
    uint32_t coloursUsed = 0;
    uint32_t gap = 0; // bytes between the palette and the pixels
    int32_t width = kWidth;
    int32_t height = kHeight;
};

Bytes assemble(const Layout& l, const Bytes& pixels) {
    Bytes info;
    put32(info, l.infoSize);
    if (l.infoSize == 12) {
        put16(info, static_cast<uint32_t>(l.width));
        put16(info, static_cast<uint32_t>(l.height));
        put16(info, 1);
        put16(info, l.bits);
    } else {
        put32(info, static_cast<uint32_t>(l.width));
        put32(info, static_cast<uint32_t>(l.topDown ? -l.height : l.height));
        put16(info, 1);
        put16(info, l.bits);
        put32(info, l.compression);
        put32(info, static_cast<uint32_t>(pixels.size()));
        put32(info, 2835);
        put32(info, 2835);
        put32(info, l.coloursUsed);
        put32(info, 0);
    }
    if (l.infoSize >= 108) {
        for (const uint32_t mask : l.masks) {
            put32(info, mask);
        }
        put32(info, 0x73524742);               // "sRGB"
        info.resize(info.size() + 36 + 12, 0); // end points and gamma, unused for sRGB
    }
    if (l.infoSize == 124) {
        put32(info, 4); // intent; then no profile, reserved
        info.resize(info.size() + 12, 0);
    }
    if (l.infoSize == 40 && l.compression == 3) {
        for (size_t i = 0; i < 3; ++i) {
            put32(info, l.masks[i]);
        }
    }
    for (const uint32_t colour : l.palette) {
        info.push_back(static_cast<uint8_t>(channel(colour, 2)));
        info.push_back(static_cast<uint8_t>(channel(colour, 1)));
        info.push_back(static_cast<uint8_t>(channel(colour, 0)));
        if (l.infoSize != 12) {
            info.push_back(0);
        }
    }
    info.insert(info.end(), l.gap, 0xEE);
    const auto offset = static_cast<uint32_t>(14 + info.size());
    Bytes file{'B', 'M'};
    put32(file, offset + static_cast<uint32_t>(pixels.size()));
    put32(file, 0);
    put32(file, offset);
    file.insert(file.end(), info.begin(), info.end());
    file.insert(file.end(), pixels.begin(), pixels.end());
    return file;
}

// Uncompressed rows in file order, each padded to 4 bytes; row(y) gives picture row y (top 0).
Bytes storeRows(const Layout& l, const std::function<Bytes(int)>& row) {
    const auto stride = static_cast<size_t>((l.width * l.bits + 31) / 32 * 4);
    Bytes out;
    for (int i = 0; i < l.height; ++i) {
        Bytes bytes = row(l.topDown ? i : l.height - 1 - i);
        bytes.resize(stride, 0);
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

BmpVariant finish(std::string name, const Layout& l, const Bytes& pixels,
                  std::vector<uint32_t> shown) {
    return {std::move(name), assemble(l, pixels), l.width, l.height, std::move(shown)};
}

BmpVariant indexed(std::string name, Layout l, int colours) {
    l.palette = paletteOf(colours);
    std::vector<uint32_t> shown;
    for (int y = 0; y < l.height; ++y) {
        for (int x = 0; x < l.width; ++x) {
            shown.push_back(l.palette[static_cast<size_t>(indexAt(x, y, colours))]);
        }
    }
    const Bytes pixels = storeRows(l, [&](int y) {
        Bytes row(static_cast<size_t>((l.width * l.bits + 7) / 8), 0);
        for (int x = 0; x < l.width; ++x) {
            const int bit = x * l.bits;
            row[static_cast<size_t>(bit / 8)] |=
                static_cast<uint8_t>(indexAt(x, y, colours) << (8 - l.bits - bit % 8));
        }
        return row;
    });
    return finish(std::move(name), l, pixels, shown);
}

// Channels are stored at their masks, cut to the masks' widths; junk fills bits no mask covers
// on every other pixel, which a reader must ignore. Alpha shows only where its mask is written.
BmpVariant packed(std::string name, Layout l, const Masks& fields, uint32_t junk = 0) {
    if (l.compression == 3) {
        l.masks = fields;
    }
    const bool alpha = l.compression == 3 && fields[3] != 0;
    std::vector<uint32_t> shown;
    for (int y = 0; y < l.height; ++y) {
        for (int x = 0; x < l.width; ++x) {
            uint32_t c[3];
            for (int i = 0; i < 3; ++i) {
                const int cut = 8 - std::popcount(fields[static_cast<size_t>(i)]);
                // Narrow channels are shown at the full range: the largest value is 255.
                const uint32_t top = 255u >> cut;
                c[i] = ((channel(colourAt(x, y), i) >> cut) * 255 + top / 2) / top;
                c[i] = alpha ? overWhite(c[i], alphaAt(x, y)) : c[i];
            }
            shown.push_back(rgb(c[0], c[1], c[2]));
        }
    }
    const Bytes pixels = storeRows(l, [&](int y) {
        Bytes row;
        for (int x = 0; x < l.width; ++x) {
            uint32_t value = x % 2 == 1 ? junk : 0;
            for (size_t i = 0; i < 4; ++i) {
                if (fields[i] != 0) {
                    const uint32_t v =
                        i < 3 ? channel(colourAt(x, y), static_cast<int>(i)) : alphaAt(x, y);
                    value |= v >> (8 - std::popcount(fields[i])) << std::countr_zero(fields[i]);
                }
            }
            for (int b = 0; b < l.bits / 8; ++b) {
                row.push_back(static_cast<uint8_t>(value >> (8 * b)));
            }
        }
        return row;
    });
    return finish(std::move(name), l, pixels, shown);
}

// Writes a compressed stream and draws what it means, bottom row first as it is stored.
class RunLengthImage {
public:
    RunLengthImage(int32_t width, int32_t height, bool fourBit, std::vector<uint32_t> palette)
        : m_width(width), m_height(height), m_fourBit(fourBit), m_palette(std::move(palette)),
          m_shown(static_cast<size_t>(width * height), kWhite) {}

    // count pixels of index a (four-bit: a and b by turns).
    void run(int count, int a, int b = 0) {
        m_stream.push_back(static_cast<uint8_t>(count));
        m_stream.push_back(static_cast<uint8_t>(m_fourBit ? a << 4 | b : a));
        for (int i = 0; i < count; ++i) {
            draw(i % 2 == 0 || !m_fourBit ? a : b);
        }
    }
    void literal(const std::vector<int>& indices) {
        const size_t start = m_stream.size();
        m_stream.push_back(0);
        m_stream.push_back(static_cast<uint8_t>(indices.size()));
        for (size_t i = 0; i < indices.size(); ++i) {
            draw(indices[i]);
            if (!m_fourBit) {
                m_stream.push_back(static_cast<uint8_t>(indices[i]));
            } else if (i % 2 == 0) {
                m_stream.push_back(static_cast<uint8_t>(indices[i] << 4));
            } else {
                m_stream.back() |= static_cast<uint8_t>(indices[i]);
            }
        }
        if ((m_stream.size() - start) % 2 != 0) {
            m_stream.push_back(0);
        }
    }
    void endOfLine() {
        m_stream.insert(m_stream.end(), {0, 0});
        m_x = 0;
        ++m_y;
    }
    void jump(int dx, int dy) {
        m_stream.insert(m_stream.end(), {0, 2, static_cast<uint8_t>(dx), static_cast<uint8_t>(dy)});
        m_x += dx;
        m_y += dy;
    }
    void endOfImage() { m_stream.insert(m_stream.end(), {0, 1}); }

    BmpVariant variant(std::string name) const {
        Layout l;
        l.bits = m_fourBit ? 4 : 8;
        l.compression = m_fourBit ? 2 : 1;
        l.width = m_width;
        l.height = m_height;
        l.palette = m_palette;
        l.coloursUsed = static_cast<uint32_t>(m_palette.size());
        return finish(std::move(name), l, m_stream, m_shown);
    }

private:
    void draw(int index) {
        if (m_x < m_width && m_y < m_height) {
            m_shown[static_cast<size_t>((m_height - 1 - m_y) * m_width + m_x)] =
                m_palette[static_cast<size_t>(index)];
        }
        ++m_x;
    }

    int32_t m_width;
    int32_t m_height;
    bool m_fourBit;
    std::vector<uint32_t> m_palette;
    std::vector<uint32_t> m_shown;
    Bytes m_stream;
    int m_x = 0;
    int m_y = 0;
};

// Seven pixels a row, so no row is a multiple of four; every kind of command, odd literal runs
// with their pad byte, a jump across rows, short rows and an early end of the image.
BmpVariant rle8() {
    RunLengthImage image(7, 6, false, paletteOf(20));
    image.run(3, 1);
    image.literal({2, 3, 4});
    image.run(1, 5);
    image.endOfLine();
    image.literal({6, 7, 8, 9, 10});
    image.endOfLine();
    image.run(2, 11);
    image.jump(3, 1);
    image.run(2, 12);
    image.endOfLine();
    image.run(4, 13);
    image.literal({14, 15, 16});
    image.endOfLine();
    image.run(1, 17);
    image.endOfImage();
    return image.variant("rle8-jumps-unpadded");
}

BmpVariant rle4() {
    RunLengthImage image(9, 4, true, paletteOf(16));
    image.run(5, 1, 2);
    image.literal({3, 4, 5, 6});
    image.endOfLine();
    image.literal({7, 8, 9, 10, 11});
    image.run(4, 10, 11);
    image.endOfLine();
    image.jump(2, 0);
    image.run(3, 12, 0);
    image.endOfLine();
    image.run(9, 13, 14);
    image.endOfLine();
    image.endOfImage();
    return image.variant("rle4-jumps-odd-width");
}

Layout layout(uint32_t infoSize, uint16_t bits, uint32_t compression = 0, bool topDown = false) {
    Layout l;
    l.infoSize = infoSize;
    l.bits = bits;
    l.compression = compression;
    l.topDown = topDown;
    return l;
}

constexpr Masks kRgb24 = {0xFF0000, 0x00FF00, 0x0000FF, 0};
constexpr Masks kRgb555 = {0x7C00, 0x03E0, 0x001F, 0};
constexpr Masks kRgb565 = {0xF800, 0x07E0, 0x001F, 0};

} // namespace

uint8_t overWhite(uint32_t c, uint32_t a) {
    return static_cast<uint8_t>((a * c + (255 - a) * 255 + 127) / 255);
}

std::vector<BmpVariant> bmpVariants() {
    Layout sparse = layout(40, 8);
    sparse.coloursUsed = 40;
    Layout gap = layout(40, 24);
    gap.gap = 30;
    return {
        packed("core-12-24", layout(12, 24), kRgb24),
        indexed("core-12-8", layout(12, 8), 256),
        indexed("core-12-4", layout(12, 4), 16),
        indexed("info-40-1", layout(40, 1), 2),
        indexed("info-40-4", layout(40, 4), 16),
        indexed("info-40-8", layout(40, 8), 256),
        indexed("info-40-8-40-colours", sparse, 40),
        indexed("info-40-8-top-down", layout(40, 8, 0, true), 256),
        packed("info-40-16", layout(40, 16), kRgb555, 0x8000),
        packed("info-40-16-bitfields-555", layout(40, 16, 3), kRgb555, 0x8000),
        packed("info-40-16-bitfields-565", layout(40, 16, 3), kRgb565),
        packed("info-40-24", layout(40, 24), kRgb24),
        packed("info-40-24-top-down", layout(40, 24, 0, true), kRgb24),
        packed("info-40-24-gap-before-pixels", gap, kRgb24),
        packed("info-40-32", layout(40, 32), kRgb24, 0x5A000000),
        packed("info-40-32-bitfields", layout(40, 32, 3), {0xFF00, 0xFF0000, 0xFF000000, 0}, 0x3C),
        packed("info-40-32-top-down", layout(40, 32, 0, true), kRgb24, 0xA5000000),
        packed("v4-108-16-bitfields-565", layout(108, 16, 3), kRgb565),
        packed("v4-108-32-alpha", layout(108, 32, 3), {0xFF0000, 0xFF00, 0xFF, 0xFF000000}),
        packed("v5-124-24", layout(124, 24), kRgb24),
        indexed("v5-124-8", layout(124, 8), 256),
        packed("v5-124-32-alpha", layout(124, 32, 3), {0xFF000000, 0xFF0000, 0xFF00, 0xFF}),
        rle8(),
        rle4(),
    };
}

} // namespace bmptest
