#pragma once

namespace brindmar {

// Window positions and sizes are kept in twips, 1440 to the logical inch.
inline constexpr double kTwipsPerInch = 1440.0;
inline constexpr int kMainWindowWidthTwips = 8205;
inline constexpr int kMainWindowHeightTwips = 5115;

double twipsPerPixel(double logicalDpi);

struct TwipsPoint {
    double x = 0;
    double y = 0;
    bool operator==(const TwipsPoint&) const = default;
};

struct TwipsSize {
    double width = 0;
    double height = 0;
};

// Where the window opens: the stored position, each coordinate set back to 0 when more than
// half the window would be off the screen on its side; a position of (0, 0), stored or set
// back, centres the window.
TwipsPoint placeWindow(TwipsPoint stored, TwipsSize window, TwipsSize screen);

} // namespace brindmar
