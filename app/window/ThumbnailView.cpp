#include "window/ThumbnailView.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace brindmar {

ThumbnailView::ThumbnailView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
}

void ThumbnailView::setPicture(const QPixmap& picture, const QRect& placement) {
    m_picture = picture;
    m_placement = placement;
    update();
}

void ThumbnailView::setCropFrame(std::optional<QRect> frame) {
    m_cropFrame = frame;
    update();
}

void ThumbnailView::setNoGoVisible(bool visible) {
    m_noGo = visible;
    update();
}

void ThumbnailView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    if (!m_picture.isNull()) {
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawPixmap(m_placement, m_picture);
    }
    if (m_cropFrame) {
        p.setPen(QPen(QColor(255, 255, 255), 3));
        p.drawRect(m_cropFrame->adjusted(0, 0, -1, -1));
        QPen dashed(QColor(0xd3, 0x2f, 0x2f), 1, Qt::DashLine);
        p.setPen(dashed);
        p.drawRect(m_cropFrame->adjusted(0, 0, -1, -1));
    }
    if (m_noGo) {
        p.setRenderHint(QPainter::Antialiasing);
        const int side = std::min(width(), height()) * 2 / 3;
        const QRectF circle(QPointF(width() - side, height() - side) / 2.0, QSizeF(side, side));
        p.setPen(QPen(QColor(0xd3, 0x2f, 0x2f, 220), side / 10.0));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(circle);
        const qreal inset = side * 0.15;
        p.drawLine(circle.topLeft() + QPointF(inset, inset),
                   circle.bottomRight() - QPointF(inset, inset));
    }
    p.setPen(palette().mid().color());
    p.setBrush(Qt::NoBrush);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void ThumbnailView::mousePressEvent(QMouseEvent* event) {
    emit mousePressed(event->button(), event->position().toPoint());
}

void ThumbnailView::mouseMoveEvent(QMouseEvent* event) {
    emit mouseMoved(event->buttons(), event->position().toPoint());
}

void ThumbnailView::mouseReleaseEvent(QMouseEvent* event) {
    emit mouseReleased(event->button(), event->position().toPoint());
}

} // namespace brindmar
