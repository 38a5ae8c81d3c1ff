#pragma once

#include <QString>
#include <cstdint>
#include <functional>

namespace brindmar {

// The deflate level of the images this program writes as PNG. Measured on a 6000 x 4000
// photograph turned carrier: level 1 takes a third of the time of level 6 for a file 6 %
// larger, and the encode is part of every embed's time.
inline constexpr int kPngLevel = 1;

// Writes the pixels of an uncompressed 24-bit BMP (the engine's output) as a PNG to target, a
// path the caller has made ready: 8-bit RGB, no alpha, and only the IHDR, IDAT and IEND chunks,
// so no gamma, colour profile, time or text, and the same pixels give the same bytes. Rows are
// filtered one by one with the filter whose output sums smallest, and stream through one row
// buffer. keepGoing is asked every few rows; false stops the writing.
struct PngWrite {
    bool ok = false;
    bool stopped = false;
    QString error; // in words, when neither
};
PngWrite writePngFromBmp(const QString& bmpPath, const QString& target, int level = kPngLevel,
                         const std::function<bool()>& keepGoing = {});

} // namespace brindmar
