#include "memo/ImageArea.h"

#include <QScrollArea>

#include <algorithm>
#include <cmath>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

TImageArea::TImageArea(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Image1"));
    resize(DesignSize);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TImageArea::setFillsClient(bool on)
{
    fillsClient_ = on;
    if (on) {  // free to follow the client again, whatever size a picture gave it
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
    // Released from the client area, the area sits at the window's top-left corner even when
    // the window is wider than its picture (a window has a minimum width for its title bar).
    for (QWidget* w = parentWidget(); w; w = w->parentWidget())
        if (auto* scroll = qobject_cast<QScrollArea*>(w)) {
            scroll->setWidgetResizable(on);
            break;
        }
    updateSize();
}

void TImageArea::setPicture(const QImage& picture)
{
    picture_ = picture;
    updateSize();
    update();
}

void TImageArea::setZoom(int zoom)
{
    zoom_ = std::max(1, zoom);
    updateSize();
    update();
}

void TImageArea::updateSize()
{
    if (fillsClient_)
        setMinimumSize(picture_.isNull() ? QSize(0, 0) : shownSize());
    else if (autoSize_)
        setFixedSize(shownSize());
}

void TImageArea::drawZoomed(QPainter& painter, const QImage& picture, int zoom, const QRect& exposed)
{
    const QRect shown = exposed & QRect(QPoint(), picture.size() * zoom);
    if (shown.isEmpty())
        return;
    const QRect pixels(QPoint(shown.left() / zoom, shown.top() / zoom), QPoint(shown.right() / zoom, shown.bottom() / zoom));
    painter.drawImage(QRect(pixels.topLeft() * zoom, pixels.size() * zoom), picture, pixels);
}

QPoint TImageArea::imagePoint(QPointF p) const
{
    return QPoint(int(std::floor(p.x() / zoom_)), int(std::floor(p.y() / zoom_)));
}

QRegion TImageArea::bandOutline(const QRect& band)
{
    const QRect r = band.normalized();
    QRegion outline(r);
    if (r.width() > 2 && r.height() > 2)
        outline -= QRegion(r.adjusted(1, 1, -1, -1));
    return outline;
}

namespace {

// REGION (image pixels) as it covers the screen at ZOOM.
QRegion zoomed(const QRegion& region, int zoom)
{
    QRegion out;
    for (const QRect& r : region)
        out += QRect(r.topLeft() * zoom, r.size() * zoom);
    return out;
}

}  // namespace

void TImageArea::setBand(const std::optional<QRect>& band)
{
    if (band == band_)
        return;
    QRegion dirty;
    if (band_)
        dirty += bandOutline(*band_);
    band_ = band;
    if (band_)
        dirty += bandOutline(*band_);
    update(zoomed(dirty, zoom_));
}

void TImageArea::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    p.fillRect(event->rect(), Qt::white);  // beside and below a smaller picture: paper
    if (!picture_.isNull())
        drawZoomed(p, picture_, zoom_, event->rect());
    if (band_) {
        // NOT (source XOR destination): the black outline inverts the screen; a white inside
        // would leave it unchanged, so only the outline is drawn.
        p.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
        for (const QRect& r : zoomed(bandOutline(*band_), zoom_))
            p.fillRect(r, Qt::black);
    }
}

void TImageArea::mousePressEvent(QMouseEvent* event)
{
    pressed_ = true;
    const QPoint pos = imagePoint(event->position());
    emit mousePressed(event->button(), pos.x(), pos.y());
}

void TImageArea::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = imagePoint(event->position());
    emit mouseMoved(pos.x(), pos.y());
}

void TImageArea::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint pos = imagePoint(event->position());
    emit mouseReleased(event->button(), pos.x(), pos.y());
    if (pressed_ && rect().contains(event->position().toPoint()))
        emit clicked();
    pressed_ = false;
}
