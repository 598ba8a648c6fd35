#include "app/PrepPreview.h"

#include "memo/ImageArea.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

TPrepPreview::TPrepPreview(int zoom, QWidget* parent) : QWidget(parent), zoom_(zoom)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPrepPreview::SetPicture(const QImage& picture)
{
    const bool resized = picture.size() != picture_.size();
    picture_ = picture;
    if (resized) {
        resize(sizeHint());
        updateGeometry();
    }
    update();
}

void TPrepPreview::SetMovable(bool movable)
{
    movable_ = movable;
    if (!movable)
        dragging_ = false;
    setCursor(movable ? Qt::OpenHandCursor : Qt::ArrowCursor);
}

QSize TPrepPreview::sizeHint() const
{
    return picture_.isNull() ? QSize(1, 1) : picture_.size() * zoom_;
}

void TPrepPreview::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().window());
    if (picture_.isNull())
        return;
    TImageArea::drawZoomed(painter, picture_, zoom_, event->rect());
}

void TPrepPreview::mousePressEvent(QMouseEvent* event)
{
    if (!movable_ || event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    dragging_ = true;
    last_ = event->position().toPoint();
    setCursor(Qt::ClosedHandCursor);
}

void TPrepPreview::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging_)
        return QWidget::mouseMoveEvent(event);
    const QPoint at = event->position().toPoint();
    const QPoint by = at - last_;
    last_ = at;
    if (!by.isNull())
        emit Dragged(QPointF(by) / zoom_);
}

void TPrepPreview::mouseReleaseEvent(QMouseEvent* event)
{
    if (!dragging_)
        return QWidget::mouseReleaseEvent(event);
    dragging_ = false;
    setCursor(movable_ ? Qt::OpenHandCursor : Qt::ArrowCursor);
}
