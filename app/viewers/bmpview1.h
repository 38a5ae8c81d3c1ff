#pragma once

#include "workflows/FullSizeView.h"

#include <QDialog>
#include <QImage>
#include <functional>
#include <memory>

class QPushButton;
class QScrollBar;

namespace brindmar {

struct ThumbnailImage;
struct WorkflowContext;

// The visible part of the full-size image, with the crop rectangle over it.
class ImageArea final : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    void setPicture(const QImage& image) {
        m_image = image;
        update();
    }
    bool hasPicture() const { return !m_image.isNull(); }
    void setOffset(QPoint offset) {
        m_offset = offset;
        update();
    }
    QPoint offset() const { return m_offset; }
    void setCrop(std::optional<QRect> crop) {
        m_crop = crop;
        update();
    }
    std::optional<QRect> crop() const { return m_crop; }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QImage m_image;
    QPoint m_offset;
    std::optional<QRect> m_crop; // relative to the image's top left, in pixels
};

// The full-size viewer: the chosen BMP one pixel for one, in a window no larger than the screen,
// scroll bars where it does not fit, the crop rectangle scrolling with the image. A click,
// Enter or Esc closes it; it stays on top while shown.
class bmpview1 final : public QDialog {
    Q_OBJECT

public:
    bmpview1(WorkflowContext& ctx, std::function<void(int)> showHelp, double twipsPerPixel,
             QWidget* parent);

    // Lays out and shows the main window's current BMP until the viewer is closed.
    void showImage();

    ImageArea* Picture1 = nullptr;
    QScrollBar* HScroll1 = nullptr;
    QScrollBar* VScroll1 = nullptr;
    QWidget* CnrShp = nullptr;
    QPushButton* DummyBtn = nullptr;

    const ViewerLayout& layout() const { return m_layout; }

protected:
    void keyReleaseEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void applyLayout();
    void scrolled();
    void keepOnTop(bool on);
    void closeViewer();

    WorkflowContext& m_ctx;
    std::function<void(int)> m_showHelp;
    double m_twipsPerPixel;
    std::shared_ptr<const ThumbnailImage> m_picture;
    ViewerLayout m_layout;
};

} // namespace brindmar
