#pragma once

#include <QIODevice>

namespace brindmar {

// Checks for files the image reader decodes without an error when they are cut short, filling
// what is missing with grey or black: a carrier made from them would carry that fill as if it
// were the picture.

// Whether a JPEG's segments and compressed data run on to its end-of-image marker. Segments
// are stepped over by their lengths, so an embedded preview's own end marker does not count.
// More than 1000 scans also fail: each scan of a progressive JPEG passes over the whole image
// again, so a small file of tiny scans keeps the decoder busy for minutes (a photograph has
// about ten).
bool jpegSound(QIODevice& file);

// Whether a GIF's first picture (the one converted) is complete: every block before it and all
// of its compressed data lie inside the file.
bool gifFirstFrameComplete(QIODevice& file);

} // namespace brindmar
