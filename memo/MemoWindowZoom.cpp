// Zoom of a memo window: a view of the picture, nothing else. The picture, the region, the
// status bar's sizes, saving and printing stay in image pixels.
#include "memo/MemoWindow.h"

#include "memo/ImageArea.h"

#include <QMdiArea>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>

#include <algorithm>
#include <iterator>

namespace {

// A new window shows its memo at least this wide on the screen, unless [General] Zoom= says.
constexpr int kOpeningWidth = 240;
int configuredZoom = 0;

// The largest level not above ZOOM (at least 1).
int levelAtMost(int zoom)
{
    int level = MemoWindow::ZoomLevels[0];
    for (int z : MemoWindow::ZoomLevels)
        if (z <= zoom)
            level = z;
    return level;
}

}  // namespace

void MemoWindow::setConfiguredZoom(int zoom) { configuredZoom = zoom > 0 ? levelAtMost(zoom) : 0; }

int MemoWindow::zoomForPicture(int width)
{
    if (configuredZoom > 0)
        return configuredZoom;
    for (int z : ZoomLevels)
        if (width > 0 && int64_t(width) * z >= kOpeningWidth)
            return z;
    return std::size(ZoomLevels) > 0 ? ZoomLevels[std::size(ZoomLevels) - 1] : 1;
}

int MemoWindow::zoom() const { return Image1->zoom(); }

void MemoWindow::setZoom(int wanted)
{
    zoomChosen_ = true;
    const int level = levelAtMost(wanted);
    if (level == zoom())
        return;
    // The band's image pixels stay; only the window around them changes.
    Image1->setZoom(level);
    fitClientToPicture();
    emit stateChanged();
}

void MemoWindow::zoomIn()
{
    for (int z : ZoomLevels)
        if (z > zoom())
            return setZoom(z);
}

void MemoWindow::zoomOut()
{
    int lower = 0;
    for (int z : ZoomLevels)
        if (z < zoom())
            lower = z;
    if (lower > 0)
        setZoom(lower);
}

void MemoWindow::actualSize() { setZoom(1); }

bool MemoWindow::canZoomIn() const { return zoom() < ZoomLevels[std::size(ZoomLevels) - 1]; }

bool MemoWindow::canZoomOut() const { return zoom() > ZoomLevels[0]; }

void MemoWindow::chooseZoomFor(QSize picture)
{
    if (zoomChosen_ || picture.isEmpty())
        return;
    zoomChosen_ = true;
    Image1->setZoom(zoomForPicture(picture.width()));
    emit stateChanged();
}

void MemoWindow::fitClientToPicture()
{
    if (Image1->picture().isNull())
        return;
    const QSize shown = Image1->shownSize();
    setClientSize(shown.width(), shown.height());
}

QSize MemoWindow::boundedToFrame(QSize client) const
{
    const QMdiArea* area = mdiArea();
    if (!area)
        return client;
    const QMargins m = contentsMargins();
    const QSize room = area->viewport()->size().shrunkBy(m).expandedTo(QSize(1, 1));
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scrollArea);
    // A scroll bar one way takes room the other way, which may call for the other bar too.
    bool across = false, down = false;
    for (int i = 0; i < 2; ++i) {
        across = client.width() + (down ? bar : 0) > room.width();
        down = client.height() + (across ? bar : 0) > room.height();
    }
    return QSize(client.width() + (down ? bar : 0), client.height() + (across ? bar : 0)).boundedTo(room);
}

// The wheel with Ctrl held zooms, over the picture and beside it (the picture passes the wheel
// on to the scroll area's viewport); without Ctrl it scrolls.
bool MemoWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == scrollArea->viewport() && event->type() == QEvent::Wheel) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        if (wheel->modifiers() & Qt::ControlModifier) {
            // A notch is 120; a touchpad sends smaller steps, which add up.
            wheelDelta_ += wheel->angleDelta().y();
            for (; wheelDelta_ >= 120; wheelDelta_ -= 120)
                zoomIn();
            for (; wheelDelta_ <= -120; wheelDelta_ += 120)
                zoomOut();
            return true;
        }
    }
    return QMdiSubWindow::eventFilter(watched, event);
}
