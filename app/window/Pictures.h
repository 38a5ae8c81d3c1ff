#pragma once

#include "workflows/WindowModel.h"

#include <QPixmap>

namespace brindmar::pictures {

// Every picture of the window is drawn here at start-up, at the screen's pixel ratio, so there
// are no image files to keep in step with the code.

inline constexpr int kCommandPictureSize = 24;
inline constexpr int kCropPictureSize = 21;
inline constexpr int kStepPictureSize = 14;

// The resting picture of a command button.
QPixmap command(Command command, qreal pixelRatio);

// The crop choice as a small image with its kept part; the selected variant marks the choice in
// force.
QPixmap crop(int mode, bool selected, qreal pixelRatio);

// 1 to 9: a document on its way from outside (9) into the picture (1), fading as it sinks in.
// Embed plays them downwards, Extract upwards.
QPixmap animationFrame(int frame, qreal pixelRatio);

// FIRST, PREVIOUS, NEXT, LAST.
QPixmap step(int index, qreal pixelRatio);

// The product name beside a small picture, for the end of the command row.
QPixmap logo(const QString& name, QSize size, qreal pixelRatio);

} // namespace brindmar::pictures
