#include "viewers/bmpview1.h"

#include "util/TrimBlanks.h"
#include "workflows/DecodedPicture.h"
#include "workflows/WorkflowContext.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QWindow>
#include <cmath>

namespace brindmar {

namespace {

constexpr int kScrollRange = 1000;

} // namespace

void ImageArea::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    if (!m_image.isNull()) {
        // Only the visible part is drawn; the image may be far larger than the window.
        const QRect source = rect().translated(-m_offset).intersected(m_image.rect());
        p.drawImage(source.topLeft() + m_offset, m_image, source);
    }
    if (m_crop) {
        // Drawn like the thumbnail's frame, so it reads on any picture.
        const QRect frame = m_crop->translated(m_offset).adjusted(0, 0, -1, -1);
        p.setPen(QPen(QColor(255, 255, 255), 3));
        p.drawRect(frame);
        p.setPen(QPen(QColor(0xd3, 0x2f, 0x2f), 1, Qt::DashLine));
        p.drawRect(frame);
    }
}

void ImageArea::mouseReleaseEvent(QMouseEvent*) {
    emit clicked();
}

bmpview1::bmpview1(WorkflowContext& ctx, std::function<void(int)> showHelp,
                   double twipsPerPixel, QWidget* parent)
    : QDialog(parent), m_ctx(ctx), m_showHelp(std::move(showHelp)),
      m_twipsPerPixel(twipsPerPixel) {
    setObjectName(QStringLiteral("bmpview1"));
    setModal(true);
    Picture1 = new ImageArea(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    HScroll1 = new QScrollBar(Qt::Horizontal, this);
    HScroll1->setObjectName(QStringLiteral("HScroll1"));
    VScroll1 = new QScrollBar(Qt::Vertical, this);
    VScroll1->setObjectName(QStringLiteral("VScroll1"));
    for (QScrollBar* bar : {HScroll1, VScroll1}) {
        bar->setRange(0, kScrollRange);
        connect(bar, &QScrollBar::valueChanged, this, &bmpview1::scrolled);
    }
    CnrShp = new QWidget(this);
    CnrShp->setObjectName(QStringLiteral("CnrShp"));
    CnrShp->setAutoFillBackground(true);
    // The default and cancel button sits just outside the window: Enter and Esc reach it.
    DummyBtn = new QPushButton(this);
    DummyBtn->setObjectName(QStringLiteral("DummyBtn"));
    DummyBtn->setDefault(true);
    connect(DummyBtn, &QPushButton::clicked, this, &bmpview1::closeViewer);
    connect(Picture1, &ImageArea::clicked, this, &bmpview1::closeViewer);
}

void bmpview1::showImage() {
    const QString path = trimBlanks(m_ctx.model.display.bmpPath);
    setWindowTitle(trimBlanks(shownImagePath(m_ctx.model)));
    m_picture = LoadFullSizePicture(m_ctx, path);
    if (!m_picture) {
        return;
    }
    Picture1->setPicture(QImage(reinterpret_cast<const uchar*>(m_picture->pixels.data()),
                                m_picture->width, m_picture->height, m_picture->width * 4,
                                QImage::Format_RGB32));
    keepOnTop(true);
    applyLayout();
    show();
    // The frame the window manager adds is known only once the window is up.
    m_ctx.ui.processPendingEvents();
    applyLayout();
    m_ctx.model.helpContext = topic::FullSizeView;
    m_ctx.ui.setMousePointer(MousePointer::Default);
    exec();
    Picture1->setPicture({});
    m_picture.reset();
}

void bmpview1::applyLayout() {
    const double tpp = m_twipsPerPixel;
    const auto twips = [tpp](int pixels) { return static_cast<int64_t>(std::llround(pixels * tpp)); };
    const auto pixels = [tpp](int64_t value) {
        return static_cast<int>(std::llround(static_cast<double>(value) / tpp));
    };
    const QScreen* shown = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    const QRect area = shown != nullptr ? shown->availableGeometry() : QRect(0, 0, 1024, 768);
    const QRect frame = frameGeometry();
    ViewerGeometry g;
    g.imageWidth = twips(m_picture->width);
    g.imageHeight = twips(m_picture->height);
    g.screenWidth = twips(area.width());
    g.screenHeight = twips(area.height());
    g.frameWidth = twips(frame.width() - width());
    g.frameHeight = twips(frame.height() - height());
    g.verticalBarWidth = twips(VScroll1->sizeHint().width());
    g.horizontalBarHeight = twips(HScroll1->sizeHint().height());
    m_layout = layoutViewer(g);

    const ViewerLayout& l = m_layout;
    const int visW = pixels(l.visibleWidth);
    const int visH = pixels(l.visibleHeight);
    HScroll1->setValue(0);
    VScroll1->setValue(0);
    Picture1->setGeometry(0, 0, visW, visH);
    HScroll1->setVisible(l.horizontalBar.has_value());
    VScroll1->setVisible(l.verticalBar.has_value());
    CnrShp->setVisible(l.corner);
    if (l.horizontalBar) {
        HScroll1->setGeometry(0, visH, visW, HScroll1->sizeHint().height());
        HScroll1->setPageStep(static_cast<int>(l.horizontalBar->large));
        HScroll1->setSingleStep(static_cast<int>(l.horizontalBar->small));
    }
    if (l.verticalBar) {
        VScroll1->setGeometry(visW, 0, VScroll1->sizeHint().width(), visH);
        VScroll1->setPageStep(static_cast<int>(l.verticalBar->large));
        VScroll1->setSingleStep(static_cast<int>(l.verticalBar->small));
    }
    if (l.corner) {
        CnrShp->setGeometry(visW, visH, VScroll1->sizeHint().width(),
                            HScroll1->sizeHint().height());
    }
    const int innerW = pixels(l.windowWidth - g.frameWidth);
    const int innerH = pixels(l.windowHeight - g.frameHeight);
    setFixedSize(std::max(innerW, 1), std::max(innerH, 1));
    DummyBtn->setGeometry(innerW, 0, 10, 10);
    move(area.left() + pixels(l.windowLeft), area.top() + pixels(l.windowTop));

    if (m_ctx.model.pointerMarks != 0) {
        const CropOutline crop = cropOutline(m_ctx.model.crop, g.imageWidth, g.imageHeight);
        Picture1->setCrop(QRect(pixels(crop.x), pixels(crop.y), pixels(crop.width),
                                pixels(crop.height)));
    } else {
        Picture1->setCrop(std::nullopt);
    }
    scrolled();
}

void bmpview1::scrolled() {
    const double tpp = m_twipsPerPixel;
    const int64_t imageW = std::llround(m_picture ? m_picture->width * tpp : 0);
    const int64_t imageH = std::llround(m_picture ? m_picture->height * tpp : 0);
    const int64_t left = scrolledOffset(HScroll1->value(), imageW, m_layout.visibleWidth);
    const int64_t top = scrolledOffset(VScroll1->value(), imageH, m_layout.visibleHeight);
    Picture1->setOffset(QPoint(static_cast<int>(std::llround(static_cast<double>(left) / tpp)),
                               static_cast<int>(std::llround(static_cast<double>(top) / tpp))));
}

void bmpview1::keepOnTop(bool on) {
    Qt::WindowFlags flags = windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, on);
    QWindow* window = windowHandle();
    if (window == nullptr) {
        setWindowFlags(flags);
        return;
    }
    // Through the widget, a new flag re-creates the window, which hides it and so ends the
    // dialog's loop, modality and picture with it; the window system takes the flag as it is.
    overrideWindowFlags(flags);
    window->setFlags(flags);
}

void bmpview1::closeViewer() {
    keepOnTop(false);
    accept();
}

void bmpview1::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        // The help must not open behind the viewer.
        keepOnTop(false);
        m_ctx.ui.processPendingEvents();
        m_showHelp(topic::FullSizeView);
        return;
    }
    QDialog::keyReleaseEvent(event);
}

void bmpview1::mouseReleaseEvent(QMouseEvent*) {
    closeViewer();
}

} // namespace brindmar
