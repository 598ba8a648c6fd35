#include "app/PrepPreview.h"

#include "memo/ImageArea.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>

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
    setFocusPolicy(movable ? Qt::StrongFocus : Qt::NoFocus);
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
    if (hasFocus()) {
        painter.setPen(QPen(palette().highlight(), 2, Qt::DashLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
    }
}

void TPrepPreview::keyPressEvent(QKeyEvent* event)
{
    QPoint by;
    switch (event->key()) {
    case Qt::Key_Left: by = QPoint(-1, 0); break;
    case Qt::Key_Right: by = QPoint(1, 0); break;
    case Qt::Key_Up: by = QPoint(0, -1); break;
    case Qt::Key_Down: by = QPoint(0, 1); break;
    default: return QWidget::keyPressEvent(event);
    }
    if (!movable_)
        return QWidget::keyPressEvent(event);
    emit Dragged(QPointF(by * (event->modifiers() & Qt::ShiftModifier ? 10 : 1)));
}

void TPrepPreview::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    update();
}

void TPrepPreview::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    update();
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
