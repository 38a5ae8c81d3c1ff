#pragma once

#include "Tile.h"

#include <QImage>

namespace detect {

// The benchmarks' photographs come through Qt as RGB888; the detectors index channels as the
// BMP stores them (blue first), so the order turns here, once.
inline Tile fromImage(const QImage& rgb) {
    Tile picture(rgb.width(), rgb.height());
    for (int y = 0; y < rgb.height(); ++y) {
        const uchar* line = rgb.constScanLine(y);
        for (int x = 0; x < rgb.width(); ++x) {
            picture.at(x, y, 0) = line[3 * x + 2];
            picture.at(x, y, 1) = line[3 * x + 1];
            picture.at(x, y, 2) = line[3 * x];
        }
    }
    return picture;
}

} // namespace detect
