#pragma once

#include <QString>
#include <cstdint>
#include <functional>

namespace brindmar {

// The deflate level of the images this program writes as PNG. Measured on a 6000 x 4000
// carrier of a photograph's kind (bench/png_bench): level 1 wrote in 2.8 s for 23.3 MB, level 3
// in 3.3 s for 20.2 MB, level 6 in 8.1 s for 20.1 MB (the BMP: 72 MB). Level 3 takes most of
// the saving for a sixth more time; the encode is part of every embed's time.
inline constexpr int kPngLevel = 3;

// Writes the pixels of an uncompressed 24-bit BMP (the engine's output) as a PNG to target, a
// path the caller has made ready: 8-bit RGB, no alpha, laid out as common encoders lay theirs
// out (a zlib header of libpng's default level, IDAT chunks of 8192 bytes), so that nothing in
// the file names this program. Besides IHDR, IDAT and IEND it holds only the colour and pixel
// size chunks of the PNG chunksFrom, when given (a PNG carrier's: gAMA, cHRM, sRGB, iCCP, pHYs,
// bKGD, in their order), never a time or a text; the same inputs give the same bytes. Rows are
// filtered with the filter whose output sums smallest, and deflated in parts on every core,
// each part flushed and the parts joined into one stream. keepGoing is asked between rounds of
// parts; false stops the writing.
struct PngWrite {
    bool ok = false;
    bool stopped = false;
    QString error; // in words, when neither
};
PngWrite writePngFromBmp(const QString& bmpPath, const QString& target, int level = kPngLevel,
                         const std::function<bool()>& keepGoing = {},
                         const QString& chunksFrom = {});

} // namespace brindmar
