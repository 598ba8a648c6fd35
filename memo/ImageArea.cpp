#include "memo/ImageArea.h"

#include <QLayout>
#include <QMouseEvent>
#include <QPainter>

TImageArea::TImageArea(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Image1"));
    resize(542, 173);
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
    if (QWidget* window = parentWidget())
        if (QLayout* layout = window->layout())
            layout->setAlignment(this, on ? Qt::Alignment() : Qt::AlignLeft | Qt::AlignTop);
}

void TImageArea::setPicture(const QImage& picture)
{
    picture_ = picture;
    if (autoSize_ && !fillsClient_)
        setFixedSize(picture_.size());
    update();
}

QRegion TImageArea::bandOutline(const QRect& band)
{
    const QRect r = band.normalized();
    QRegion outline(r);
    if (r.width() > 2 && r.height() > 2)
        outline -= QRegion(r.adjusted(1, 1, -1, -1));
    return outline;
}

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
    update(dirty);
}

void TImageArea::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);  // beside and below a smaller picture: paper
    if (!picture_.isNull())
        p.drawImage(0, 0, picture_);
    if (band_) {
        // NOT (source XOR destination): the black outline inverts the screen; a white inside
        // would leave it unchanged, so only the outline is drawn.
        p.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
        for (const QRect& r : bandOutline(*band_))
            p.fillRect(r, Qt::black);
    }
}

void TImageArea::mousePressEvent(QMouseEvent* event)
{
    pressed_ = true;
    const QPoint pos = event->position().toPoint();
    emit mousePressed(event->button(), pos.x(), pos.y());
}

void TImageArea::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    emit mouseMoved(pos.x(), pos.y());
}

void TImageArea::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    emit mouseReleased(event->button(), pos.x(), pos.y());
    if (pressed_ && rect().contains(pos))
        emit clicked();
    pressed_ = false;
}
