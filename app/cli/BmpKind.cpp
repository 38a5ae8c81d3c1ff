#include "cli/BmpKind.h"

namespace brindmar::cli {

namespace {

// The information header is told by its size, which is all that marks its version.
QString headerName(uint32_t size) {
    switch (size) {
    case 12:
        return QStringLiteral("an OS/2 1.x header (12 bytes)");
    case 16:
    case 64:
        return QStringLiteral("an OS/2 2.x header (%1 bytes)").arg(size);
    case 40:
        return QStringLiteral("the usual header (40 bytes)");
    case 52:
        return QStringLiteral("a V2 header (52 bytes)");
    case 56:
        return QStringLiteral("a V3 header (56 bytes)");
    case 108:
        return QStringLiteral("a V4 header (108 bytes)");
    case 124:
        return QStringLiteral("a V5 header (124 bytes)");
    default:
        return QStringLiteral("a header of %1 bytes").arg(size);
    }
}

std::optional<BmpHeader> headerOf(const QString& path) {
    const BmpHeaderRead read = readBmpHeader(path);
    if (read.result != BmpReadResult::Read) {
        return std::nullopt;
    }
    return read.header;
}

} // namespace

QString bmpKindText(const BmpHeader& header) {
    // An OS/2 1.x header keeps the depth elsewhere; its size is the whole story.
    const QString depth = header.infoSize >= 16 && header.bitCount > 0
                              ? QStringLiteral("a %1-bit BMP").arg(header.bitCount)
                              : QStringLiteral("a BMP");
    QString kind = depth + QStringLiteral(" with ") + headerName(header.infoSize);
    if (header.infoSize >= 40 && header.compression != 0) {
        kind += QStringLiteral(", compressed (method %1)").arg(header.compression);
    }
    return kind;
}

QString bmpKindText(const QString& path) {
    const std::optional<BmpHeader> header = headerOf(path);
    return header ? bmpKindText(*header) : QStringLiteral("a BMP");
}

QString bmpConversionReason(const BmpHeader& header, bool stealth) {
    if (header.infoSize != 40) {
        return QStringLiteral("embedding reads the usual 40-byte header only");
    }
    if (header.bitCount != 8 && header.bitCount != 24) {
        return QStringLiteral("embedding takes 8-bit and 24-bit pixels only");
    }
    if (stealth && header.bitCount != 24) {
        return QStringLiteral("Stealth takes 24-bit pixels only");
    }
    if (header.compression > 2) {
        return QStringLiteral("embedding cannot read this compression");
    }
    return QStringLiteral("embedding cannot follow its layout to the last pixel as it is");
}

QString bmpConversionReason(const QString& path, bool stealth) {
    const std::optional<BmpHeader> header = headerOf(path);
    return header ? bmpConversionReason(*header, stealth)
                  : QStringLiteral("embedding cannot take it as it is");
}

} // namespace brindmar::cli
