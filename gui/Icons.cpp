#include "gui/Icons.h"

#include <QPainter>
#include <QPainterPath>

#include <utility>

namespace {

constexpr int kSize = 18;

void drawPage(QPainter& p, const QRectF& r, const QColor& fill)
{
    QPainterPath page;
    const qreal fold = 4;
    page.moveTo(r.left(), r.top());
    page.lineTo(r.right() - fold, r.top());
    page.lineTo(r.right(), r.top() + fold);
    page.lineTo(r.right(), r.bottom());
    page.lineTo(r.left(), r.bottom());
    page.closeSubpath();
    p.setBrush(fill);
    p.drawPath(page);
    p.drawLine(QPointF(r.right() - fold, r.top()), QPointF(r.right() - fold, r.top() + fold));
    p.drawLine(QPointF(r.right() - fold, r.top() + fold), QPointF(r.right(), r.top() + fold));
}

void drawArrow(QPainter& p, QPointF from, QPointF to, const QColor& color)
{
    p.setPen(QPen(color, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(from, to);
    QLineF back(to, from);
    for (qreal angle : {30.0, -30.0}) {
        QLineF head = back;
        head.setLength(4.5);
        head.setAngle(back.angle() + angle);
        p.drawLine(head);
    }
}

void paint(QPainter& p, ToolPicture picture)
{
    const QColor ink(40, 40, 40);
    const QColor paper(255, 255, 240);
    const QColor blue(30, 90, 200);
    p.setPen(QPen(ink, 1));
    switch (picture) {
    case ToolPicture::New:
        drawPage(p, QRectF(3.5, 1.5, 11, 15), paper);
        p.setPen(QPen(QColor(230, 170, 0), 1.5));
        p.drawLine(QPointF(12, 11), QPointF(16, 15));
        p.drawLine(QPointF(16, 11), QPointF(12, 15));
        break;
    case ToolPicture::Open:
        p.setBrush(QColor(240, 200, 90));
        p.drawRect(QRectF(1.5, 5.5, 13, 10));
        p.setBrush(QColor(250, 225, 130));
        p.drawPolygon(QPolygonF({QPointF(3.5, 8.5), QPointF(17, 8.5), QPointF(14.5, 15.5), QPointF(1.5, 15.5)}));
        drawArrow(p, QPointF(9, 5), QPointF(14, 1.5), blue);
        break;
    case ToolPicture::SaveAs:
        p.setBrush(QColor(70, 90, 160));
        p.drawRect(QRectF(2.5, 2.5, 13, 13));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(5.5, 2.5, 7, 5));
        p.setBrush(QColor(200, 200, 200));
        p.drawRect(QRectF(4.5, 10.5, 9, 5));
        break;
    case ToolPicture::Close:
        drawPage(p, QRectF(2.5, 1.5, 11, 15), paper);
        p.setPen(QPen(QColor(200, 40, 40), 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(9, 9), QPointF(15.5, 15.5));
        p.drawLine(QPointF(15.5, 9), QPointF(9, 15.5));
        break;
    case ToolPicture::Copy:
        drawPage(p, QRectF(1.5, 1.5, 9, 11), paper);
        drawPage(p, QRectF(7.5, 5.5, 9, 11), paper);
        break;
    case ToolPicture::Paste:
        p.setBrush(QColor(170, 120, 60));
        p.drawRoundedRect(QRectF(2.5, 2.5, 11, 14), 1.5, 1.5);
        p.setBrush(QColor(190, 190, 190));
        p.drawRect(QRectF(5.5, 1.5, 5, 3));
        drawPage(p, QRectF(8.5, 7.5, 8, 9), paper);
        break;
    case ToolPicture::Cut:
        // Steel blades with a dark edge and red handles with a light ring: each part shows on
        // a light tool bar and on a dark one.
        for (const auto& [colour, width] : {std::pair(ink, 3.2), std::pair(QColor(225, 228, 235), 1.6)}) {
            p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(5, 1.5), QPointF(12, 12));
            p.drawLine(QPointF(13, 1.5), QPointF(6, 12));
        }
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(255, 200, 200), 3));
        p.drawEllipse(QPointF(5, 14), 2.6, 2.6);
        p.drawEllipse(QPointF(13, 14), 2.6, 2.6);
        p.setPen(QPen(QColor(200, 40, 40), 1.5));
        p.drawEllipse(QPointF(5, 14), 2.6, 2.6);
        p.drawEllipse(QPointF(13, 14), 2.6, 2.6);
        break;
    case ToolPicture::Transmit:
    case ToolPicture::Receive: {
        // The device (a pen tablet) on the right, the PC side on the left, an arrow between.
        p.setBrush(QColor(220, 225, 235));
        p.drawRoundedRect(QRectF(11.5, 2.5, 6, 13), 1.5, 1.5);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(12.5, 4.5, 4, 6));
        const bool toDevice = picture == ToolPicture::Transmit;
        const QColor color = toDevice ? QColor(200, 60, 30) : QColor(30, 140, 60);
        if (toDevice)
            drawArrow(p, QPointF(1.5, 9), QPointF(9.5, 9), color);
        else
            drawArrow(p, QPointF(9.5, 9), QPointF(1.5, 9), color);
        break;
    }
    case ToolPicture::Settings: {
        p.setBrush(QColor(150, 150, 160));
        QPainterPath gear;
        const QPointF c(9, 9);
        for (int i = 0; i < 8; ++i) {
            QTransform t;
            t.translate(c.x(), c.y());
            t.rotate(i * 45.0);
            gear.addPolygon(t.map(QPolygonF(QRectF(-1.5, -8, 3, 4))));
        }
        gear.addEllipse(c, 5.5, 5.5);
        gear.setFillRule(Qt::WindingFill);
        p.drawPath(gear.simplified());
        p.setBrush(Qt::white);
        p.drawEllipse(c, 2, 2);
        break;
    }
    }
}

// The picture drawn for a screen of SCALE device pixels to a pixel, so that it stays sharp at
// scale 1.5 and 2.
QPixmap render(ToolPicture picture, qreal scale)
{
    QPixmap pm(QSize(kSize, kSize) * scale);
    pm.setDevicePixelRatio(scale);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    paint(p, picture);
    return pm;
}

// The classic disabled look: the shape in grey with a white highlight one pixel down-right.
QPixmap disabledFrom(const QPixmap& normal)
{
    auto tinted = [&](const QColor& color) {
        QPixmap out = normal;  // keeps the shape's alpha, takes the colour
        QPainter p(&out);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(out.rect(), color);
        return out;
    };
    QPixmap pm(normal.size());
    pm.setDevicePixelRatio(normal.devicePixelRatio());
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.drawPixmap(QPoint(1, 1), tinted(Qt::white));
    p.drawPixmap(QPoint(0, 0), tinted(QColor(128, 128, 128)));
    return pm;
}

}  // namespace

QIcon ToolIcon(ToolPicture picture)
{
    QIcon icon;
    for (qreal scale : {1.0, 1.5, 2.0, 3.0}) {
        const QPixmap normal = render(picture, scale);
        icon.addPixmap(normal, QIcon::Normal);
        icon.addPixmap(disabledFrom(normal), QIcon::Disabled);
    }
    return icon;
}

QIcon ExtensionIcon(Qt::Orientation orientation, const QColor& colour)
{
    QIcon icon;
    for (qreal scale : {1.0, 2.0}) {
        QPixmap pm(QSize(16, 16) * scale);
        pm.setDevicePixelRatio(scale);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        if (orientation == Qt::Vertical)
            p.rotate(90), p.translate(0, -16);
        p.setPen(QPen(colour, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        for (qreal x : {4.5, 9.0})
            p.drawPolyline(QPolygonF({QPointF(x, 4.5), QPointF(x + 3.5, 8), QPointF(x, 11.5)}));
        icon.addPixmap(pm);
    }
    return icon;
}

QPixmap ProgramPicture(int size, qreal scale)
{
    QPixmap pm(QSize(size, size) * scale);
    pm.setDevicePixelRatio(scale);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 90.0, size / 90.0);
    // A memo pad with a handwritten stroke, and a pen across it.
    p.setPen(QPen(QColor(60, 60, 60), 2));
    p.setBrush(QColor(255, 255, 235));
    p.drawRoundedRect(QRectF(12, 8, 56, 74), 4, 4);
    p.setPen(QPen(QColor(180, 180, 200), 1));
    for (int y = 24; y < 78; y += 10)
        p.drawLine(18, y, 62, y);
    p.setPen(QPen(QColor(20, 20, 120), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath stroke;
    stroke.moveTo(20, 40);
    stroke.cubicTo(28, 28, 34, 52, 42, 38);
    stroke.cubicTo(48, 28, 52, 50, 58, 42);
    p.drawPath(stroke);
    p.save();
    p.translate(62, 52);
    p.rotate(40);
    p.setPen(QPen(QColor(40, 40, 40), 1.5));
    p.setBrush(QColor(200, 60, 40));
    p.drawRoundedRect(QRectF(-5, -34, 10, 50), 3, 3);
    p.setBrush(QColor(230, 200, 150));
    p.drawPolygon(QPolygonF({QPointF(-5, 16), QPointF(5, 16), QPointF(0, 28)}));
    p.restore();
    return pm;
}

QIcon ProgramIcon()
{
    QIcon icon;
    // Window managers want small sizes; the desktop takes the installed PNGs. Few sizes keep
    // start-up quick.
    for (int size : {16, 32, 48, 64})
        icon.addPixmap(ProgramPicture(size));
    return icon;
}
