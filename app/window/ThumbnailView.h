#pragma once

#include <QPixmap>
#include <QRect>
#include <QWidget>
#include <optional>

namespace brindmar {

// The thumbnail of the chosen BMP, with what is drawn over it: the crop frame and the no-go sign
// (a circle with a bar, for a document that does not fit). Positions are in the widget's pixels.
class ThumbnailView : public QWidget {
    Q_OBJECT

public:
    explicit ThumbnailView(QWidget* parent = nullptr);

    // The picture drawn into the given part of the box; a null picture empties the box.
    void setPicture(const QPixmap& picture, const QRect& placement);
    void clearPicture() { setPicture({}, {}); }
    bool hasPicture() const { return !m_picture.isNull(); }
    QRect placement() const { return m_placement; }

    void setCropFrame(std::optional<QRect> frame);
    std::optional<QRect> cropFrame() const { return m_cropFrame; }

    void setNoGoVisible(bool visible);
    bool noGoVisible() const { return m_noGo; }

signals:
    void mousePressed(Qt::MouseButton button, QPoint at);
    void mouseMoved(Qt::MouseButtons buttons, QPoint at);
    void mouseReleased(Qt::MouseButton button, QPoint at);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QPixmap m_picture;
    QRect m_placement;
    std::optional<QRect> m_cropFrame;
    bool m_noGo = false;
};

} // namespace brindmar
