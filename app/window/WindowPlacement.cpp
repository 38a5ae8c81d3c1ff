#include "window/WindowPlacement.h"

#include <cmath>

namespace brindmar {

namespace {

// Integer division truncating towards zero, on whole twips.
double halfOf(double value) {
    return std::trunc(std::trunc(value) / 2.0);
}

} // namespace

double twipsPerPixel(double logicalDpi) {
    return logicalDpi > 0 ? kTwipsPerInch / logicalDpi : 15.0;
}

TwipsPoint placeWindow(TwipsPoint stored, TwipsSize window, TwipsSize screen) {
    TwipsPoint at = stored;
    const double halfWidth = halfOf(window.width);
    const double halfHeight = halfOf(window.height);
    if (at.x > screen.width - halfWidth || at.x < -halfWidth) {
        at.x = 0;
    }
    if (at.y > screen.height - halfHeight || at.y < -halfHeight) {
        at.y = 0;
    }
    if (at.x == 0 && at.y == 0) {
        at.x = halfOf(screen.width - window.width);
        at.y = halfOf(screen.height - window.height);
    }
    return at;
}

} // namespace brindmar
