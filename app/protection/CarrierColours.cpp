#include "protection/CarrierColours.h"

#include <QFile>
#include <array>
#include <vector>

namespace brindmar {

CarrierKind carrierKindOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return CarrierKind::TrueColour;
    }
    const QByteArray head = file.read(32);
    const auto byteAt = [&](qsizetype i) { return static_cast<uint8_t>(head.at(i)); };
    if (head.size() >= 30 && head.startsWith("BM")) {
        const unsigned bits = byteAt(28) | unsigned{byteAt(29)} << 8;
        return bits <= 8 ? CarrierKind::IndexedBmp : CarrierKind::TrueColour;
    }
    if (head.startsWith("GIF87a") || head.startsWith("GIF89a")) {
        return CarrierKind::Gif;
    }
    // The signature, then IHDR first: its colour type is byte 25 of the file.
    if (head.size() >= 26 && head.startsWith("\x89PNG\r\n\x1a\n") && head.mid(12, 4) == "IHDR") {
        return byteAt(25) == 3 ? CarrierKind::PalettePng : CarrierKind::TrueColour;
    }
    return CarrierKind::TrueColour;
}

void ColourTally::add(const unsigned char* colour, uint64_t pixels) {
    for (uint64_t p = 0; p < pixels && m_count < m_limit; ++p) {
        const unsigned char* at = colour + 3 * p;
        const uint32_t value = at[0] | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16;
        uint64_t& word = m_seen[value >> 6];
        const uint64_t bit = uint64_t{1} << (value & 63);
        m_count += (word & bit) == 0 ? 1 : 0;
        word |= bit;
    }
}

uint32_t distinctColours(const unsigned char* colour, uint64_t pixels, uint32_t limit) {
    ColourTally tally(limit);
    tally.add(colour, pixels);
    return tally.count();
}

bool stealthRefusesColours(CarrierKind kind, uint32_t colours, uint64_t pixels) {
    const bool few =
        colours < kFewestPhotoColours && pixels > uint64_t{colours} * kPixelsPerFewColour;
    return kind != CarrierKind::TrueColour || few;
}

} // namespace brindmar
