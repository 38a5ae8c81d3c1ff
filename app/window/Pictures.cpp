#include "window/Pictures.h"

#include "workflows/ButtonAnimation.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <algorithm>
#include <array>
#include <cmath>

namespace brindmar::pictures {

namespace {

const QColor kInk(0x37, 0x47, 0x4f);
const QColor kBlue(0x1e, 0x78, 0xd2);
const QColor kSky(0xbb, 0xde, 0xfb);
const QColor kGreen(0x43, 0xa0, 0x47);
const QColor kHill(0x66, 0xbb, 0x6a);
const QColor kRed(0xd3, 0x2f, 0x2f);
const QColor kAmber(0xff, 0xb3, 0x00);
const QColor kPaper(0xfa, 0xfa, 0xfa);

// A transparent pixmap with a painter whose coordinates run from 0 to `units` across it.
class Canvas {
public:
    Canvas(int logicalSize, qreal ratio, qreal units)
        : m_pixmap(QSize(logicalSize, logicalSize) * ratio) {
        m_pixmap.setDevicePixelRatio(ratio);
        m_pixmap.fill(Qt::transparent);
        m_painter.begin(&m_pixmap);
        m_painter.setRenderHint(QPainter::Antialiasing);
        const qreal scale = logicalSize / units;
        m_painter.scale(scale, scale);
    }
    QPainter& painter() { return m_painter; }
    QPixmap finish() {
        m_painter.end();
        return m_pixmap;
    }

private:
    QPixmap m_pixmap;
    QPainter m_painter;
};

QPen inkPen(qreal width = 1.4, QColor color = kInk) {
    QPen pen(color, width);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

// A landscape picture: sky, sun and hill inside a frame.
void drawPicture(QPainter& p, const QRectF& r) {
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(kSky);
    p.drawRect(r);
    p.setClipRect(r);
    p.setBrush(kAmber);
    const qreal sun = r.height() * 0.28;
    p.drawEllipse(QPointF(r.left() + r.width() * 0.28, r.top() + r.height() * 0.32), sun / 2,
                  sun / 2);
    QPainterPath hill;
    hill.moveTo(r.left(), r.bottom());
    hill.lineTo(r.left(), r.top() + r.height() * 0.78);
    hill.quadTo(r.left() + r.width() * 0.45, r.top() + r.height() * 0.35,
                r.left() + r.width() * 0.7, r.top() + r.height() * 0.62);
    hill.quadTo(r.left() + r.width() * 0.85, r.top() + r.height() * 0.5, r.right(),
                r.top() + r.height() * 0.58);
    hill.lineTo(r.right(), r.bottom());
    hill.closeSubpath();
    p.setBrush(kHill);
    p.drawPath(hill);
    p.setClipping(false);
    p.setBrush(Qt::NoBrush);
    p.setPen(inkPen(1.2));
    p.drawRect(r);
    p.restore();
}

// A sheet with a folded corner and lines of text.
void drawDocument(QPainter& p, const QRectF& r, qreal opacity = 1.0) {
    p.save();
    p.setOpacity(opacity);
    const qreal fold = r.width() * 0.35;
    QPainterPath sheet;
    sheet.moveTo(r.topLeft());
    sheet.lineTo(r.right() - fold, r.top());
    sheet.lineTo(r.right(), r.top() + fold);
    sheet.lineTo(r.bottomRight());
    sheet.lineTo(r.bottomLeft());
    sheet.closeSubpath();
    p.setPen(inkPen(1.1));
    p.setBrush(kPaper);
    p.drawPath(sheet);
    p.drawLine(QPointF(r.right() - fold, r.top()), QPointF(r.right() - fold, r.top() + fold));
    p.drawLine(QPointF(r.right() - fold, r.top() + fold), QPointF(r.right(), r.top() + fold));
    p.setPen(inkPen(0.9, kBlue));
    const int lines = r.height() > 10 ? 4 : 2;
    for (int i = 0; i < lines; ++i) {
        const qreal y = r.top() + fold + (r.height() - fold) * (i + 0.8) / (lines + 0.6);
        const qreal right =
            i == lines - 1 ? r.left() + r.width() * 0.55 : r.right() - r.width() * 0.2;
        p.drawLine(QPointF(r.left() + r.width() * 0.2, y), QPointF(right, y));
    }
    p.restore();
}

void drawArrow(QPainter& p, QPointF from, QPointF to, QColor color, qreal width = 2.2) {
    p.save();
    p.setPen(inkPen(width, color));
    p.drawLine(from, to);
    const qreal angle = std::atan2(to.y() - from.y(), to.x() - from.x());
    const qreal head = width * 2.0;
    const QPointF left(to.x() - head * std::cos(angle - 0.6),
                       to.y() - head * std::sin(angle - 0.6));
    const QPointF right(to.x() - head * std::cos(angle + 0.6),
                        to.y() - head * std::sin(angle + 0.6));
    p.drawLine(to, left);
    p.drawLine(to, right);
    p.restore();
}

void drawDisc(QPainter& p, QColor color, const QString& glyph) {
    p.save();
    QRadialGradient fill(QPointF(9, 8), 14);
    fill.setColorAt(0, color.lighter(135));
    fill.setColorAt(1, color);
    p.setPen(inkPen(1.0, color.darker(130)));
    p.setBrush(fill);
    p.drawEllipse(QRectF(2.5, 2.5, 19, 19));
    QFont font;
    font.setBold(true);
    font.setPixelSize(14);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(2.5, 2.5, 19, 19), Qt::AlignCenter, glyph);
    p.restore();
}

void drawFolder(QPainter& p, const QRectF& r) {
    p.save();
    QPainterPath back;
    back.moveTo(r.left(), r.top() + 2);
    back.lineTo(r.left() + r.width() * 0.38, r.top() + 2);
    back.lineTo(r.left() + r.width() * 0.48, r.top() + 4.5);
    back.lineTo(r.right(), r.top() + 4.5);
    back.lineTo(r.right(), r.bottom());
    back.lineTo(r.left(), r.bottom());
    back.closeSubpath();
    p.setPen(inkPen(1.1, QColor(0xb2, 0x7b, 0x00)));
    p.setBrush(QColor(0xff, 0xca, 0x28));
    p.drawPath(back);
    QLinearGradient front(r.topLeft(), r.bottomLeft());
    front.setColorAt(0, QColor(0xff, 0xe0, 0x82));
    front.setColorAt(1, QColor(0xff, 0xc1, 0x07));
    p.setBrush(front);
    p.drawRect(QRectF(r.left(), r.top() + 7, r.width(), r.height() - 7));
    p.restore();
}

void drawCommand(QPainter& p, Command command) {
    switch (command) {
    case Command::ChooseDocument:
        drawDocument(p, QRectF(5, 2.5, 14, 19));
        break;
    case Command::ChooseBmp:
        drawPicture(p, QRectF(2.5, 4.5, 19, 15));
        break;
    case Command::BmpInformation:
        drawDisc(p, kBlue, QStringLiteral("i"));
        break;
    case Command::FullSizeView: {
        drawPicture(p, QRectF(2.5, 2.5, 15, 12));
        p.setPen(inkPen(1.8));
        p.setBrush(QColor(255, 255, 255, 150));
        p.drawEllipse(QPointF(13.5, 13.5), 5, 5);
        p.setPen(inkPen(2.8));
        p.drawLine(QPointF(17.2, 17.2), QPointF(21.5, 21.5));
        break;
    }
    case Command::ChooseOutputFolder:
        drawFolder(p, QRectF(2.5, 3.5, 19, 17));
        drawArrow(p, QPointF(12, 9), QPointF(12, 18), kBlue, 2.0);
        break;
    case Command::Embed:
        drawPicture(p, QRectF(2.5, 8.5, 17, 13));
        drawDocument(p, QRectF(13, 2, 8, 10));
        drawArrow(p, QPointF(17, 12.5), QPointF(11, 16.5), kGreen, 2.0);
        break;
    case Command::Extract:
        drawPicture(p, QRectF(2.5, 8.5, 17, 13));
        drawDocument(p, QRectF(13, 2, 8, 10));
        drawArrow(p, QPointF(10, 15), QPointF(15.5, 10.5), kRed, 2.0);
        break;
    case Command::Stop: {
        QPolygonF octagon;
        for (int i = 0; i < 8; ++i) {
            const qreal angle = M_PI / 8 + i * M_PI / 4;
            octagon << QPointF(12 + 9.8 * std::cos(angle), 12 + 9.8 * std::sin(angle));
        }
        p.setPen(inkPen(1.0, kRed.darker(140)));
        p.setBrush(kRed);
        p.drawPolygon(octagon);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(6.5, 10.5, 11, 3));
        break;
    }
    case Command::Wipe: {
        p.setPen(inkPen(1.2));
        p.setBrush(QColor(0xcf, 0xd8, 0xdc));
        p.drawRect(QRectF(6, 8, 12, 13.5));
        p.drawRoundedRect(QRectF(4, 5, 16, 3), 1, 1);
        p.drawLine(QPointF(10, 5), QPointF(10.5, 3));
        p.drawLine(QPointF(10.5, 3), QPointF(13.5, 3));
        p.drawLine(QPointF(13.5, 3), QPointF(14, 5));
        p.setPen(inkPen(1.1, kInk.lighter(140)));
        for (const qreal x : {9.5, 12.0, 14.5}) {
            p.drawLine(QPointF(x, 10.5), QPointF(x, 19));
        }
        break;
    }
    case Command::Help:
        drawDisc(p, kGreen, QStringLiteral("?"));
        break;
    case Command::Reset: {
        p.setPen(inkPen(2.4, kBlue));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(4, 4, 16, 16), 100 * 16, 290 * 16);
        QPolygonF head;
        head << QPointF(9.5, 1.8) << QPointF(14.5, 4.8) << QPointF(9.8, 8.2);
        p.setPen(inkPen(1.0, kBlue));
        p.setBrush(kBlue);
        p.drawPolygon(head);
        break;
    }
    case Command::Exit: {
        p.setPen(inkPen(1.2));
        p.setBrush(QColor(0x8d, 0x6e, 0x63));
        p.drawRect(QRectF(4, 2.5, 11, 19));
        p.setBrush(QColor(0xa1, 0x88, 0x7f));
        QPolygonF door;
        door << QPointF(4, 2.5) << QPointF(10, 4.5) << QPointF(10, 23) << QPointF(4, 21.5);
        p.drawPolygon(door);
        drawArrow(p, QPointF(12.5, 12), QPointF(21.5, 12), kGreen, 2.2);
        break;
    }
    }
}

} // namespace

QPixmap command(Command which, qreal pixelRatio) {
    Canvas canvas(kCommandPictureSize, pixelRatio, 24);
    drawCommand(canvas.painter(), which);
    return canvas.finish();
}

QPixmap crop(int mode, bool selected, qreal pixelRatio) {
    Canvas canvas(kCropPictureSize, pixelRatio, 18);
    QPainter& p = canvas.painter();
    const QRectF image(1.5, 2.5, 15, 13);

    // Where the kept part lies, per axis: 0 start, 1 centre, 2 end, 3 all of it.
    struct Place {
        int horizontal;
        int vertical;
    };
    static constexpr std::array<Place, 16> places = {{
        {3, 3},
        {1, 1},
        {1, 2},
        {1, 0},
        {0, 0},
        {0, 1},
        {0, 2},
        {2, 0},
        {2, 1},
        {2, 2},
        {0, 3},
        {1, 3},
        {2, 3},
        {3, 0},
        {3, 1},
        {3, 2},
    }};
    const Place place = places[static_cast<size_t>(std::clamp(mode, 0, 15))];
    const bool strip = mode >= 10;
    const qreal side = strip ? 0.4 : 0.55;
    auto span = [side](int where, qreal start, qreal length) {
        const qreal part = length * side;
        switch (where) {
        case 0:
            return std::pair{start, part};
        case 1:
            return std::pair{start + (length - part) / 2, part};
        case 2:
            return std::pair{start + length - part, part};
        default:
            return std::pair{start, length};
        }
    };
    const auto [left, width] = span(place.horizontal, image.left(), image.width());
    const auto [top, height] = span(place.vertical, image.top(), image.height());
    const QRectF kept(left, top, width, height);

    const QColor edge = selected ? kBlue.darker(130) : QColor(0x54, 0x6e, 0x7a);
    p.setPen(Qt::NoPen);
    p.setBrush(selected ? QColor(0xe3, 0xf2, 0xfd) : QColor(0xf5, 0xf5, 0xf5));
    p.drawRect(image);
    p.setBrush(selected ? QColor(0x1e, 0x88, 0xe5) : QColor(0x90, 0xa4, 0xae));
    p.drawRect(mode == 0 ? image : kept);
    p.setBrush(Qt::NoBrush);
    p.setPen(inkPen(selected ? 1.5 : 1.0, edge));
    p.drawRect(image);
    return canvas.finish();
}

QPixmap animationFrame(int frame, qreal pixelRatio) {
    Canvas canvas(kCommandPictureSize, pixelRatio, 24);
    QPainter& p = canvas.painter();
    drawPicture(p, QRectF(2.5, 8.5, 17, 13));
    // Frame 9 holds the document outside at the top right, frame 1 sunk into the picture.
    const qreal t = (std::clamp(frame, 1, kAnimationFrameCount) - 1) / 8.0;
    const QPointF inside(8, 12);
    const QPointF outside(14.5, 1.5);
    const QPointF at = inside + (outside - inside) * t;
    const qreal scale = 0.55 + 0.45 * t;
    drawDocument(p, QRectF(at, QSizeF(8 * scale, 10 * scale)), 0.25 + 0.75 * t);
    return canvas.finish();
}

QPixmap step(int index, qreal pixelRatio) {
    Canvas canvas(kStepPictureSize, pixelRatio, 14);
    QPainter& p = canvas.painter();
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    const bool forward = index >= 2;
    const bool toEnd = index == 0 || index == 3;
    auto triangle = [&](qreal tipX) {
        QPolygonF shape;
        const qreal back = forward ? tipX - 6 : tipX + 6;
        shape << QPointF(tipX, 7) << QPointF(back, 2) << QPointF(back, 12);
        p.drawPolygon(shape);
    };
    if (toEnd) {
        triangle(forward ? 10 : 4);
        p.drawRect(forward ? QRectF(10.5, 2, 1.8, 10) : QRectF(1.7, 2, 1.8, 10));
    } else {
        triangle(forward ? 10 : 4);
    }
    return canvas.finish();
}

QPixmap logo(const QString& name, QSize size, qreal pixelRatio) {
    QPixmap pixmap(size * pixelRatio);
    pixmap.setDevicePixelRatio(pixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal h = size.height();
    const QRectF picture(2, h * 0.18, h * 0.82, h * 0.64);
    drawPicture(p, picture);
    drawDocument(p, QRectF(picture.right() - h * 0.3, h * 0.08, h * 0.3, h * 0.38), 0.6);
    QFont font;
    font.setBold(true);
    font.setItalic(true);
    font.setPixelSize(static_cast<int>(h * 0.46));
    p.setFont(font);
    const QRectF text(picture.right() + 6, 0, size.width() - picture.right() - 8, h);
    p.setPen(kBlue.darker(120));
    p.drawText(text, Qt::AlignVCenter | Qt::AlignLeft, name);
    p.end();
    return pixmap;
}

} // namespace brindmar::pictures
