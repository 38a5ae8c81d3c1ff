#pragma once

// A stand-in for a photograph, shared by the PNG benchmarks so that their figures are of the same
// pixels: smooth gradients with a fine grain, which compress about as a photo does.
#include "BenchSupport.h"

#include <QImage>
#include <algorithm>

namespace bench {

inline QImage photograph(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    Noise noise(20261208);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int grain = static_cast<int>(noise.next() % 9) - 4;
            const auto at = [&](int v) { return std::clamp(v + grain, 0, 255); };
            row[x] = qRgb(at(x * 255 / width), at(y * 255 / height), at((x + y) * 255 / 10000));
        }
    }
    return image;
}

} // namespace bench
