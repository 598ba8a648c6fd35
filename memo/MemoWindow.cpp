#include "memo/MemoWindow.h"

#include "gui/Icons.h"
#include "gui/MessageBox.h"
#include "memo/ImageArea.h"
#include "transfer/MemoImage.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QFileInfo>
#include <QMdiArea>
#include <QMimeData>
#include <QGuiApplication>
#include <QPainter>
#include <QScrollArea>
#include <QApplication>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionTitleBar>

#include <algorithm>

MemoWindow::MemoWindow(QWidget* parent) : QMdiSubWindow(parent)
{
    setObjectName(QStringLiteral("GraphForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(ProgramIcon());  // sharp at every scale of the screen
    Image1 = new TImageArea;
    scrollArea = new QScrollArea(this);
    scrollArea->setObjectName(QStringLiteral("Scroll1"));
    scrollArea->setFrameShape(QFrame::NoFrame);
    scrollArea->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    scrollArea->viewport()->setAutoFillBackground(true);  // beside a smaller picture: paper
    QPalette paper = scrollArea->viewport()->palette();
    paper.setColor(QPalette::Window, Qt::white);
    scrollArea->viewport()->setPalette(paper);
    scrollArea->setWidget(Image1);
    scrollArea->setWidgetResizable(true);
    scrollArea->viewport()->installEventFilter(this);
    setWidget(scrollArea);
    connect(Image1, &TImageArea::clicked, this, &MemoWindow::imageClicked);

    connectSelection();
    initialise();
}

MemoWindow::~MemoWindow()
{
    if (SelectMode || Dragging) {
        releaseConfinement();  // a window freed directly (the Close command) frees the pointer too
        SkipSizeCheck = false;
    }
    disconnect(this, &QMdiSubWindow::windowStateChanged, nullptr, nullptr);
}

void MemoWindow::initialise()
{
    FileName.clear();
    SkipPaletteOnce = false;
    resize(TImageArea::DesignSize);
    Dragging = false;
    SelectMode = false;
    Modified = false;
    SelLeft = SelRight = SelTop = SelBottom = -1;
}

void MemoWindow::setSingleBorder()
{
    const bool visible = isVisible();
    setWindowFlags(windowFlags() | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(size());
    if (visible && !isVisible())
        show();
    keepTopLeftVisible();
}

// The window's frame and title bar are its contents margins inside the MDI area. A tiny
// memo (3 x 3) still gets a window as wide as its caption needs, so its close box stays; the
// picture then sits at the top-left with white beside it.
void MemoWindow::setClientSize(int width, int height)
{
    QSize client = clientSizeFor(QSize(width, height));
    if (zoom() > 1)  // at 1 the window takes the picture's size, as it always has
        client = boundedToFrame(client);
    const QSize outer = client.grownBy(contentsMargins());
    if (windowFlags() & Qt::MSWindowsFixedSizeDialogHint)
        setFixedSize(outer);
    else
        resize(outer);
    if (zoom() > 1)
        keepInsideFrame();
    keepTopLeftVisible();
}

// A zoomed window that has grown past the frame's client area moves up and left into it.
void MemoWindow::keepInsideFrame()
{
    const QMdiArea* area = mdiArea();
    if (!area)
        return;
    const QSize room = area->viewport()->size();
    const QPoint inside(std::min(x(), room.width() - width()), std::min(y(), room.height() - height()));
    if (inside != pos())
        move(std::max(0, inside.x()), std::max(0, inside.y()));
}

// The MDI area centres a window wider than itself, which pushes the window's left edge, and
// with it the picture's first columns, out of reach; the top-left corner stays visible.
void MemoWindow::keepTopLeftVisible()
{
    if (x() < 0 || y() < 0)
        move(std::max(0, x()), std::max(0, y()));
}

// The title bar's icon and buttons, and room for the whole caption: the name and a received
// memo's device title. A caption too long for half the screen is cut.
int MemoWindow::captionWidth() const
{
    QStyleOptionTitleBar option;
    option.initFrom(this);
    option.subControls = QStyle::SC_All;
    option.titleBarFlags = windowFlags();
    option.titleBarState = int(windowState());
    option.icon = windowIcon();
    constexpr int kProbe = 1000;
    option.rect = QRect(0, 0, kProbe, style()->pixelMetric(QStyle::PM_TitleBarHeight, &option, this));
    const QRect label = style()->subControlRect(QStyle::CC_TitleBar, &option, QStyle::SC_TitleBarLabel, this);
    // The window draws its caption in the title bar's font, inside a border on either side.
    const QFontMetrics metrics(QApplication::font("QMdiSubWindowTitleBar"));
    constexpr int kBorders = 2 * 4 + 4;
    int needed = kProbe - label.width() + metrics.horizontalAdvance(windowTitle()) + kBorders;
    if (const QScreen* s = screen())
        needed = std::min(needed, s->availableGeometry().width() / 2);
    return std::max(minimumSizeHint().width(), needed);
}

void MemoWindow::setCaption(const QString& name)
{
    captionName_ = name;
    setWindowTitle(deviceTitle_.isEmpty() ? name : name + QStringLiteral("  ") + deviceTitle_);
    // Only a fixed size keeps the window from taking the width the caption needs (set once the
    // caption is: a received memo's device title comes after its picture).
    if (windowFlags() & Qt::MSWindowsFixedSizeDialogHint) {
        const QSize client = clientSize();
        if (clientSizeFor(client).width() > client.width())
            setClientSize(client.width(), client.height());
    }
}

QString MemoWindow::memoLabel() const
{
    return deviceTitle_.isEmpty() ? captionName_ : QStringLiteral("%1「%2」").arg(captionName_, deviceTitle_);
}

QSize MemoWindow::clientSizeFor(QSize picture) const
{
    const QMargins m = contentsMargins();
    return {std::max(picture.width(), captionWidth() - m.left() - m.right()), picture.height()};
}

// The client area beside a picture narrower than the window is white, like the paper.
void MemoWindow::paintEvent(QPaintEvent* event)
{
    QMdiSubWindow::paintEvent(event);
    if (isMinimized())
        return;
    QPainter painter(this);
    painter.fillRect(contentsRect(), Qt::white);
}

QSize MemoWindow::clientSize() const
{
    const QMargins m = contentsMargins();
    return size().shrunkBy(m);
}

void MemoWindow::publishState()
{
    emit stateChanged();
}

bool MemoWindow::clipboardHasPicture()
{
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasImage();
}

QString MemoWindow::newName() const
{
    return newName_ ? newName_() : QStringLiteral("NEW_1.BMP");
}

// Realising the palette repaints the image with its own colours in front; the count lets
// tests see when it happens.
void MemoWindow::realisePalette()
{
    ++paletteRealisations_;
    Image1->update();
}

void MemoWindow::imageClicked()
{
    if (!FileName.isEmpty()) {
        if (SkipPaletteOnce)
            SkipPaletteOnce = false;
        else
            realisePalette();
    }
    publishState();
}

void MemoWindow::becameActive()
{
    imageClicked();
}

void MemoWindow::refreshAfterActivation()
{
    SkipPaletteOnce = false;
    imageClicked();
    SkipPaletteOnce = true;
}

void MemoWindow::setDeviceTitle(const QString& title)
{
    deviceTitle_ = title;
    setToolTip(title);
    setCaption(captionName_);
}

void MemoWindow::closeEvent(QCloseEvent* event)
{
    endRegionSelection();  // the save question must not find the pointer held
    if (!mayClose()) {
        event->ignore();
        return;
    }
    finishClosing();
    QMdiSubWindow::closeEvent(event);
}

void MemoWindow::finishClosing()
{
    emit closed();
}
