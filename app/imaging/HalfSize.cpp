#include "imaging/HalfSize.h"

namespace brindmar {

QImage halvedPicture(const QImage& picture) {
    if (picture.isNull()) {
        return {};
    }
    const QImage::Format format =
        picture.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    const QImage source = picture.convertToFormat(format);
    const int width = (source.width() + 1) / 2;
    const int height = (source.height() + 1) / 2;
    QImage half(width, height, format);
    if (half.isNull()) {
        return {};
    }
    for (int y = 0; y < height; ++y) {
        const int rows = 2 * y + 1 < source.height() ? 2 : 1;
        const auto* top = reinterpret_cast<const QRgb*>(source.constScanLine(2 * y));
        const auto* bottom = reinterpret_cast<const QRgb*>(source.constScanLine(2 * y + rows - 1));
        auto* out = reinterpret_cast<QRgb*>(half.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int left = 2 * x;
            const int right = left + 1 < source.width() ? left + 1 : left;
            const uint32_t n = uint32_t(rows) * (right > left ? 2 : 1);
            // The same pixel twice where a row or column is missing, counted once.
            const QRgb a = top[left];
            const QRgb b = top[right];
            const QRgb c = bottom[left];
            const QRgb d = bottom[right];
            uint32_t pixel = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                const auto channel = [shift](QRgb p) { return (p >> shift) & 0xFFu; };
                uint32_t sum = channel(a);
                sum += right > left ? channel(b) : 0;
                sum += rows == 2 ? channel(c) : 0;
                sum += rows == 2 && right > left ? channel(d) : 0;
                pixel |= ((sum + n / 2) / n) << shift;
            }
            out[x] = format == QImage::Format_RGB32 ? (pixel | 0xFF000000u) : pixel;
        }
    }
    return half;
}

} // namespace brindmar
