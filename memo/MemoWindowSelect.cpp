// Region selection in a memo window: after Send refused an image as too large, the pointer is
// held inside the window, the user drags a rubber band over the picture, and the region is
// sent once the user confirms it.
//
// States: idle; armed (SelectMode, pointer confined); dragging (SelectMode and Dragging);
// asking (pointer free, the confirmation shown). A confined pointer must never trap the user:
// Escape, closing or minimising the window, another window becoming active, the program losing
// the focus and another exchange starting all end the selection. Each of them also forgets
// that the refused Send left the size check to be skipped: the next Send warns again rather
// than sending the middle of the picture unasked.
#include "memo/MemoWindow.h"

#include "gui/MessageBox.h"
#include "memo/ImageArea.h"
#include "gui/CursorClip.h"
#include "transfer/MemoImage.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMdiArea>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>
#include <QToolBar>
#include <QWindow>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>

namespace {

// The widest region sent: more than this many columns are cut to it from the left edge.
constexpr int MaxRegionSpan = 1000;

// The confirmation of a dragged region, which says so when the device will not get all of it:
// a region larger than the device takes is cut around its middle, and one that reaches left
// of the picture sends the middle of the whole picture.
QString RegionQuestion(QRect region, QSize picture)
{
    QString question = QStringLiteral("この範囲を転送しますか？");
    const bool whole = region.left() < 0;
    const QSize size = whole ? picture : region.size();
    const QSize sent = size.boundedTo(QSize(MaxSendWidth, MaxSendHeight));
    if (whole)
        question += QStringLiteral("\n\n範囲が画像の左にはみ出しているため、画像全体 (%1×%2) の中央の %3×%4 を送ります。")
                        .arg(size.width())
                        .arg(size.height())
                        .arg(sent.width())
                        .arg(sent.height());
    else if (sent != size)
        question += QStringLiteral("\n\n範囲 (%1×%2) は本体が受け取れる %3×%4 より大きいため、その中央の %5×%6 を送ります。")
                        .arg(size.width())
                        .arg(size.height())
                        .arg(MaxSendWidth)
                        .arg(MaxSendHeight)
                        .arg(sent.width())
                        .arg(sent.height());
    return question;
}

// While a selection is armed or dragged: sees Escape, the arrow keys and Enter anywhere in the
// program while no dialog or menu is open, and tells MOVED once the window system has moved or resized the frame or the
// memo window (several such changes in a row are told once).
class SelectionWatcher : public QObject {
public:
    SelectionWatcher(MemoWindow* memo, std::function<void()> moved) : memo_(memo)
    {
        settled_.setSingleShot(true);
        settled_.setInterval(0);
        connect(&settled_, &QTimer::timeout, this, std::move(moved));
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if ((event->type() == QEvent::Move || event->type() == QEvent::Resize)
            && (watched == memo_ || (memo_->mdiArea() && watched == memo_->window()))) {
            settled_.start();
            return false;
        }
        if (event->type() != QEvent::KeyPress)
            return false;
        if (QApplication::activeModalWidget() || QApplication::activePopupWidget())
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Escape)
            return memo_->regionKey(key->key(), key->modifiers());
        memo_->endRegionSelection();
        return true;
    }

private:
    MemoWindow* memo_;
    QTimer settled_;
};

}  // namespace

void MemoWindow::connectSelection()
{
    connect(Image1, &TImageArea::mousePressed, this, &MemoWindow::imagePressed);
    connect(Image1, &TImageArea::mouseMoved, this, &MemoWindow::imageMoved);
    // The release may run Send: a failure there ends in the failure box.
    connect(Image1, &TImageArea::mouseReleased, this, [this](Qt::MouseButton button, int x, int y) {
        RunGuarded([&] { imageReleased(button, x, y); });
    });
    connect(this, &QMdiSubWindow::windowStateChanged, this, [this](Qt::WindowStates before, Qt::WindowStates now) {
        if (!SelectMode && !Dragging)
            return;
        if (now & Qt::WindowMinimized) {
            endRegionSelection();
            return;
        }
        // The area also reports none active while a dialog has the focus; only another memo
        // window taking over ends the selection (the program losing the focus is seen below).
        if ((before & Qt::WindowActive) && !(now & Qt::WindowActive))
            QTimer::singleShot(0, this, [this] {
                if (mdiArea() && mdiArea()->currentSubWindow() != this)
                    endRegionSelection();
            });
    });
    // The frame loses the focus: to another program, or to another window of ours (a dialog
    // opened from the keyboard) that the held pointer could not reach.
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state != Qt::ApplicationActive)
            endRegionSelection();
    });
    connect(qApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* window) {
        if (window && mdiArea() && window != this->window()->windowHandle())
            endRegionSelection();
    });
}

void MemoWindow::armRegionSelection()
{
    holdPointerInWindow();
    SelectMode = true;
    keyBand_.reset();
    watchSelection(true);
    publishState();  // says how to drag and how to get out
}

// R: the part of the picture that shows, in screen pixels: the picture clipped by everything
// it shows through (the window's scroll area, the MDI area, the frame). The pointer held there
// is over the picture, so a press anywhere in R starts a band; a press on the window's border
// would not.
QRect MemoWindow::confinementRect() const
{
    QRect r(Image1->mapToGlobal(QPoint(0, 0)), Image1->size());
    for (const QWidget* w = Image1->parentWidget(); w; w = w->parentWidget()) {
        r &= QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
        if (w->isWindow())
            break;
    }
    // Nothing of the picture shows (a window being laid out): the window itself.
    return r.isEmpty() ? QRect(mapToGlobal(QPoint(0, 0)), size()) : r;
}

void MemoWindow::holdPointerInWindow()
{
    if (isMinimized() || isMaximized())
        showNormal();

    // The frame: the window that holds the MDI area, with its menu, tool and status bars.
    QWidget* frame = mdiArea() ? window() : nullptr;
    // The window below its title bar, borders included: what the frame is to show whole.
    const QRect outerWindow(mapToGlobal(QPoint(0, 0)), size());
    const QRect r = outerWindow.adjusted(0, outerWindow.height() - clientSize().height(), 0, 0);
    if (frame) {
        // The status bar's panels stay in sight below the window.
        const auto* panel = frame->findChild<QWidget*>(QStringLiteral("Panel2"));
        const int panelHeight = panel ? panel->height() : 0;
        const auto* mainWindow = qobject_cast<QMainWindow*>(frame);
        const QRect outer = frame->frameGeometry();
        const bool fits = outer.top() + outer.height() >= r.top() + r.height() + panelHeight
                          && x() >= 0 && outer.left() + outer.width() >= r.left() + r.width();
        if (!fits) {
            move(0, 0);
            // The frame grows to show the whole window, but never past the screen.
            const int menu = mainWindow && mainWindow->menuWidget() ? mainWindow->menuWidget()->height() : 0;
            const auto* toolBar = frame->findChild<QToolBar*>(QStringLiteral("ToolBar1"));
            const int tools = toolBar ? toolBar->height() : 0;
            QSize client(frame->width(), frame->height() - menu);
            if (client.height() - panelHeight - tools < Image1->height())
                client.setHeight(height() + 50);
            if (client.width() < Image1->width())
                client.setWidth(Image1->width() + 50);
            QSize wanted(client.width(), client.height() + menu);
            if (const QScreen* screen = frame->screen()) {
                const QSize decoration = outer.size() - frame->size();
                wanted = wanted.boundedTo(screen->availableGeometry().size() - decoration);
            }
            // The window system applies the new size (and may move the frame to keep it on
            // the screen) after this returns; the pointer follows once it has (watchSelection).
            if (wanted != frame->size())
                frame->resize(wanted.expandedTo(frame->size()));
        }
    }
    confinePointer();
}

void MemoWindow::confinePointer()
{
    const QRect r = confinementRect();
    platform::ClipCursor({r.left(), r.top(), r.left() + r.width(), r.top() + r.height()});
    platform::SetCursorPos(0, 0);  // lands on R's top-left corner
}

void MemoWindow::imagePressed(Qt::MouseButton, int x, int y)
{
    if (!SelectMode)
        return;
    keyBand_.reset();
    Dragging = true;
    StartX = EndX = x;
    StartY = EndY = y;
}

void MemoWindow::imageMoved(int x, int y)
{
    if (!Dragging)
        return;
    Image1->setBand(QRect(QPoint(std::min(StartX, x), std::min(StartY, y)),
                          QPoint(std::max(StartX, x), std::max(StartY, y))));
    showSelectionStatus(x, y);
    EndX = x;
    EndY = y;
}

void MemoWindow::showSelectionStatus(int x, int y)
{
    emit selectionStatus(QStringLiteral("選択範囲(X,Y)=(%1,%2)")
                             .arg(std::abs(int64_t(x) - StartX) + 1)
                             .arg(std::abs(int64_t(y) - StartY) + 1));
}

void MemoWindow::imageReleased(Qt::MouseButton, int x, int y)
{
    if (!Dragging)
        return;
    // The band shows exactly the region asked about, release point included.
    imageMoved(x, y);
    Dragging = false;
    SelectMode = false;
    releaseConfinement();

    const int left = std::min(StartX, x);
    const int top = std::min(StartY, y);
    int right = std::max(StartX, x);
    const int bottom = std::max(StartY, y);
    if (int64_t(right) - left > MaxRegionSpan)
        right = left + MaxRegionSpan - 1;

    QPointer<MemoWindow> self(this);
    const BoxAnswer answer =
        ShowBox(BoxKind::Confirmation, RegionQuestion(QRect(QPoint(left, top), QPoint(right, bottom)),
                                                      QSize(ImageWidth, ImageHeight)),
                BoxButtons::OkCancel);
    if (!self)
        return;
    if (answer == BoxAnswer::Ok) {
        SelLeft = left;
        SelRight = right;
        SelTop = top;
        SelBottom = bottom;
    } else {
        SelectMode = true;
        holdPointerInWindow();
    }
    watchSelection(SelectMode);
    eraseBand();
    publishState();
    if (answer == BoxAnswer::Ok)
        emit sendRequested();
}

bool MemoWindow::regionKey(int key, Qt::KeyboardModifiers modifiers)
{
    if (!SelectMode || Dragging || ImageWidth == 0 || ImageHeight == 0)
        return false;
    QPoint step;
    switch (key) {
    case Qt::Key_Left: step = QPoint(-1, 0); break;
    case Qt::Key_Right: step = QPoint(1, 0); break;
    case Qt::Key_Up: step = QPoint(0, -1); break;
    case Qt::Key_Down: step = QPoint(0, 1); break;
    case Qt::Key_Return:
    case Qt::Key_Enter: break;
    default: return false;
    }
    const QRect picture(0, 0, ImageWidth, ImageHeight);
    // The first key shows the band where it starts (or where a declined band was) and moves nothing.
    if (!keyBand_ || !Image1->band()) {
        if (!keyBand_)
            keyBand_ = QRect(0, 0, std::min<int>(MaxSendWidth, ImageWidth), std::min<int>(MaxSendHeight, ImageHeight));
        showKeyBand();
        return true;
    }
    if (step.isNull()) {
        // As a release at the band's far corner after a press at its near one.
        const QRect band = *keyBand_;
        Dragging = true;
        StartX = band.left();
        StartY = band.top();
        RunGuarded([&] { imageReleased(Qt::NoButton, band.right(), band.bottom()); });
        return true;
    }
    step *= modifiers & Qt::ControlModifier ? 10 : 1;
    QRect band = *keyBand_;
    if (modifiers & Qt::ShiftModifier) {
        band.setRight(std::clamp(band.right() + step.x(), band.left(), picture.right()));
        band.setBottom(std::clamp(band.bottom() + step.y(), band.top(), picture.bottom()));
    } else {
        band.translate(step);
        band.moveLeft(std::clamp(band.left(), 0, picture.width() - band.width()));
        band.moveTop(std::clamp(band.top(), 0, picture.height() - band.height()));
    }
    keyBand_ = band;
    showKeyBand();
    return true;
}

void MemoWindow::showKeyBand()
{
    const QRect band = *keyBand_;
    StartX = band.left();
    StartY = band.top();
    Image1->setBand(band);
    showSelectionStatus(band.right(), band.bottom());
    EndX = band.right();
    EndY = band.bottom();
    // The moving edge stays in sight in a scrolled window.
    const int zoom = Image1->zoom();
    scrollArea->ensureVisible(band.right() * zoom, band.bottom() * zoom, 8, 8);
    scrollArea->ensureVisible(band.left() * zoom, band.top() * zoom, 8, 8);
}

void MemoWindow::eraseBand()
{
    Image1->setBand(std::nullopt);
}

void MemoWindow::endRegionSelection()
{
    if (!SelectMode && !Dragging)
        return;
    SelectMode = false;
    Dragging = false;
    SkipSizeCheck = false;
    keyBand_.reset();
    watchSelection(false);
    eraseBand();
    releaseConfinement();
    publishState();
}

void MemoWindow::releaseConfinement()
{
    platform::ClipCursor(SavedClipRect());
}

// While armed, the held pointer follows the window wherever the window system puts it.
void MemoWindow::watchSelection(bool on)
{
    if (on && !selectionWatcher_) {
        selectionWatcher_ = std::make_unique<SelectionWatcher>(this, [this] {
            if (SelectMode && !Dragging)
                confinePointer();
        });
        qApp->installEventFilter(selectionWatcher_.get());
    } else if (!on && selectionWatcher_) {
        qApp->removeEventFilter(selectionWatcher_.get());
        // It may be inside its own event filter (Escape) right now.
        selectionWatcher_.release()->deleteLater();
    }
}
