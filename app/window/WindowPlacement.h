#pragma once

#include <QString>

class QWidget;

namespace brindmar {

class Settings;

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

// Gives the window its size in twips and moves it to the position stored under the two keys
// (section FORMS), by the rule above, on the screen it is on.
void restoreWindowPosition(QWidget& window, Settings& settings, const QString& keyX,
                           const QString& keyY, TwipsSize size, double twipsPerPixel);

// Stores the window's position under the two keys as twips from its screen's origin, as
// restoreWindowPosition reads it: on a screen that does not start at (0, 0) the window would
// otherwise drift at every start.
void saveWindowPosition(const QWidget& window, Settings& settings, const QString& keyX,
                        const QString& keyY, double twipsPerPixel);

} // namespace brindmar
