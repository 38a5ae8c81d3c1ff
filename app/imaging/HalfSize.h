#pragma once

#include <QImage>

namespace brindmar {

// The picture at half its width and height, each pixel the rounded average of the 2 x 2 square
// it replaces (of the 2 x 1, 1 x 2 or single pixel left at an odd edge), every channel alike.
// A JPEG's 8 x 8 block grid becomes a 4 x 4 one blurred across its edges, which no longer
// shows where the hidden changes went. Format_RGB32, or Format_ARGB32 for a picture with
// alpha; a null image for a null one.
QImage halvedPicture(const QImage& picture);

} // namespace brindmar
