#pragma once

#include <QIODevice>
#include <cstdint>

namespace brindmar {

// Checks for files the image reader decodes without an error when they are cut short, filling
// what is missing with grey or black: a carrier made from them would carry that fill as if it
// were the picture.

struct JpegFacts {
    bool sound = false;
    bool tooManyScans = false; // cut off there, so not sound either
    int64_t width = 0;
    int64_t height = 0;
    bool progressive = false;
    int64_t coefficientBytes = 0; // what a progressive decode holds besides the picture
};

// Whether a JPEG's segments and compressed data run on to its end-of-image marker, with what its
// frame says. Segments are stepped over by their lengths, so an embedded preview's own end
// marker does not count. Too many scans for the picture's size are not sound either (see
// jpegScanLimit).
JpegFacts inspectJpeg(QIODevice& file);

// The scans a JPEG of width x height may have: each scan of a progressive JPEG passes over the
// whole image again, so a small file of tiny scans keeps the decoder busy for minutes. A
// photograph has about ten; small pictures may have up to 1000, the largest 50.
int64_t jpegScanLimit(int64_t width, int64_t height);

// Whether a GIF's first picture (the one converted) is complete: every block before it and all
// of its compressed data lie inside the file.
bool gifFirstFrameComplete(QIODevice& file);

} // namespace brindmar
