#pragma once

#include <QColor>
#include <QPalette>
#include <QWidget>

namespace brindmar {

inline const QColor kBlue(0, 0, 255);
inline const QColor kRed(255, 0, 0);

inline void setColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    if (palette.color(QPalette::WindowText) == colour) {
        return;
    }
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

} // namespace brindmar
