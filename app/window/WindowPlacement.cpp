#include "window/WindowPlacement.h"

#include "util/Settings.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace brindmar {

namespace {

QRect screenArea(const QWidget& window) {
    const QScreen* shown =
        window.screen() != nullptr ? window.screen() : QGuiApplication::primaryScreen();
    return shown != nullptr ? shown->geometry() : QRect(0, 0, 1024, 768);
}

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

void restoreWindowPosition(QWidget& window, Settings& settings, const QString& keyX,
                           const QString& keyY, TwipsSize size, double twipsPerPixel) {
    const double tpp = twipsPerPixel;
    window.resize(qRound(size.width / tpp), qRound(size.height / tpp));
    const QRect area = screenArea(window);
    const TwipsPoint stored{settings.readPosition(keyX), settings.readPosition(keyY)};
    const TwipsPoint at = placeWindow(stored, size, {area.width() * tpp, area.height() * tpp});
    window.move(area.left() + qRound(at.x / tpp), area.top() + qRound(at.y / tpp));
}

void saveWindowPosition(const QWidget& window, Settings& settings, const QString& keyX,
                        const QString& keyY, double twipsPerPixel) {
    const QPoint origin = screenArea(window).topLeft();
    settings.WriteSetting(setting::Forms, keyX,
                          textFromNumber((window.pos().x() - origin.x()) * twipsPerPixel));
    settings.WriteSetting(setting::Forms, keyY,
                          textFromNumber((window.pos().y() - origin.y()) * twipsPerPixel));
}

} // namespace brindmar
