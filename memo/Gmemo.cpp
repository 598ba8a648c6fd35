#include "memo/Gmemo.h"

#include "app/MainForm.h"
#include "gui/Icons.h"
#include "gui/MessageBox.h"
#include "memo/ImageArea.h"
#include "transfer/MemoImage.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QPainter>
#include <QScrollArea>
#include <QApplication>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <QToolButton>

#include <algorithm>

TGraphForm::TGraphForm(QWidget* parent) : QMdiSubWindow(parent)
{
    setObjectName(QStringLiteral("GraphForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(QIcon(ProgramPicture(16)));
    Image1 = new TImageArea;
    Scroll1 = new QScrollArea(this);
    Scroll1->setObjectName(QStringLiteral("Scroll1"));
    Scroll1->setFrameShape(QFrame::NoFrame);
    Scroll1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Scroll1->viewport()->setAutoFillBackground(true);  // beside a smaller picture: paper
    QPalette paper = Scroll1->viewport()->palette();
    paper.setColor(QPalette::Window, Qt::white);
    Scroll1->viewport()->setPalette(paper);
    Scroll1->setWidget(Image1);
    Scroll1->setWidgetResizable(true);
    Scroll1->viewport()->installEventFilter(this);
    setWidget(Scroll1);
    connect(Image1, &TImageArea::clicked, this, &TGraphForm::Image1Click);

    connectSelection();
    createMenus();
    FormCreate();
}

TGraphForm::~TGraphForm()
{
    if (SelectMode || Dragging) {
        ReleaseConfinement();  // a window freed directly (the Close command) frees the pointer too
        SkipSizeCheck = false;
    }
    disconnect(this, &QMdiSubWindow::windowStateChanged, nullptr, nullptr);
    // The menus are not children of the window (the frame's menu bar shows them while the
    // window is active), so they go with it explicitly.
    for (QMenu* menu : {File1, Edit1, Comm1, View1, Window1, About1})
        delete menu;
}

void TGraphForm::createMenus()
{
    auto menu = [](const char* name, const QString& title) {
        auto* m = new QMenu(title);
        m->setObjectName(QLatin1String(name));
        return m;
    };
    auto item = [](QMenu* m, const char* name, const QString& caption) {
        QAction* a = m->addAction(caption);
        a->setObjectName(QLatin1String(name));
        return a;
    };
    // A failing command ends in the failure box, never in the event loop.
    auto bind = [this](QAction* a, auto handler) {
        connect(a, &QAction::triggered, this, [this, handler] { RunGuarded([&] { handler(this); }); });
    };

    File1 = menu("File1", QStringLiteral("ファイル(&F)"));
    item(File1, "New1", QStringLiteral("ウィンドウの新規作成(&N)"));
    item(File1, "Open1", QStringLiteral("ウィンドウを開く(&O)"));
    item(File1, "Load1", QStringLiteral("ウィンドウにロード(&L)"));
    item(File1, "Library1", QStringLiteral("メモ一覧(&M)"));
    bind(item(File1, "Save1", QStringLiteral("上書き保存する(&S)")), [](TGraphForm* w) { w->Save1Click(); });
    bind(item(File1, "SaveAs1", QStringLiteral("名前を付けて保存する(&A)")), [](TGraphForm* w) { w->SaveAs1Click(); });
    bind(item(File1, "Export1", QStringLiteral("書き出し(&E)...")), [](TGraphForm* w) { w->Export1Click(); });
    bind(item(File1, "Print1", QStringLiteral("印刷(&P)")), [](TGraphForm* w) { w->Print1Click(); });
    bind(item(File1, "PrintSetup1", QStringLiteral("プリンタの設定(&T)")), [](TGraphForm* w) { w->PrintSetup1Click(); });
    item(File1, "Close1", QStringLiteral("ウィンドウを閉じる(&C)"));
    File1->addSeparator()->setObjectName(QStringLiteral("N1"));
    item(File1, "Exit1", QStringLiteral("終了(&X)"));

    Edit1 = menu("Edit1", QStringLiteral("編集(&E)"));
    connect(Edit1, &QMenu::aboutToShow, this, &TGraphForm::Edit1Click);
    Undo1 = item(Edit1, "Undo1", QStringLiteral("元に戻す(&U)"));
    bind(Undo1, [](TGraphForm* w) { w->Undo1Click(); });
    Undo1->setEnabled(false);
    Edit1->addSeparator()->setObjectName(QStringLiteral("N3"));
    bind(item(Edit1, "Copy1", QStringLiteral("コピー(&C)")), [](TGraphForm* w) { w->Copy1Click(); });
    bind(item(Edit1, "Cut1", QStringLiteral("切り取り(&T)")), [](TGraphForm* w) { w->Cut1Click(); });
    Paste1 = item(Edit1, "Paste1", QStringLiteral("張り付け(&P)"));
    bind(Paste1, [](TGraphForm* w) { w->Paste1Click(); });
    item(Edit1, "Delete1", QStringLiteral("削除(&D)"))->setEnabled(false);
    item(Edit1, "SelectAll1", QStringLiteral("すべてを選択(&S)"))->setEnabled(false);
    Edit1->addSeparator()->setObjectName(QStringLiteral("N4"));
    // The frame's command: it opens the result in a window of its own.
    Prepare1 = item(Edit1, "Prepare1", QStringLiteral("送信用に変換(&D)..."));
    connect(Prepare1, &QAction::triggered, this, [] {
        if (MainForm)
            RunGuarded([] { MainForm->Prepare1Click(); });
    });

    View1 = menu("View1", QStringLiteral("表示(&V)"));
    ZoomIn1 = item(View1, "ZoomIn1", QStringLiteral("拡大(&I)"));
    ZoomOut1 = item(View1, "ZoomOut1", QStringLiteral("縮小(&O)"));
    bind(ZoomIn1, [](TGraphForm* w) { w->ZoomIn1Click(); });
    bind(ZoomOut1, [](TGraphForm* w) { w->ZoomOut1Click(); });
    bind(item(View1, "ActualSize1", QStringLiteral("等倍(&A)")), [](TGraphForm* w) { w->ActualSize1Click(); });
    SetZoomKeys(View1);
    UpdateZoomItems();

    Comm1 = menu("Comm1", QStringLiteral("通信(&C)"));
    item(Comm1, "Transmit1", QStringLiteral("データを送信する(&T)"));
    item(Comm1, "Receive1", QStringLiteral("データを受信する(&R)"));

    Option1 = new QAction(QStringLiteral("設定(&O)"), this);
    Option1->setObjectName(QStringLiteral("Option1"));
    SetStandardKeys(File1);
    SetStandardKeys(Edit1);

    Window1 = menu("Window1", QStringLiteral("ウィンドウ(&W)"));
    item(Window1, "Tile1", QStringLiteral("並べて表示(&T)"));
    item(Window1, "Cascade1", QStringLiteral("重ねて表示(&C)"));
    item(Window1, "AllangeIcons1", QStringLiteral("アイコンの整理(&A)"));

    About1 = menu("About1", QStringLiteral("ヘルプ(&H)"));
    item(About1, "Help1", QStringLiteral("目次(&C)"));
    item(About1, "K1", QStringLiteral("キーワードで検索(&T)"));
    item(About1, "K2", QStringLiteral("ヘルプの使い方(&H)"));
    About1->addSeparator()->setObjectName(QStringLiteral("N2"));
    item(About1, "KA1", QStringLiteral("バージョン情報(&A)"));
}

void TGraphForm::FormCreate()
{
    FileName.clear();
    SkipPaletteOnce = false;
    resize(TImageArea::DesignSize);
    Dragging = false;
    SelectMode = false;
    Modified = false;
    SelLeft = SelRight = SelTop = SelBottom = -1;
}

void TGraphForm::SetSingleBorder()
{
    const bool visible = isVisible();
    setWindowFlags(windowFlags() | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(size());
    if (visible && !isVisible())
        show();
    KeepTopLeftVisible();
}

// The window's frame and title bar are its contents margins inside the MDI area. A tiny
// memo (3 x 3) still gets a window as wide as its caption needs, so its close box stays; the
// picture then sits at the top-left with white beside it.
void TGraphForm::SetClientSize(int width, int height)
{
    QSize client = ClientSizeFor(QSize(width, height));
    if (Zoom() > 1)  // at 1 the window takes the picture's size, as it always has
        client = BoundedToFrame(client);
    const QSize outer = client.grownBy(contentsMargins());
    if (windowFlags() & Qt::MSWindowsFixedSizeDialogHint)
        setFixedSize(outer);
    else
        resize(outer);
    if (Zoom() > 1)
        KeepInsideFrame();
    KeepTopLeftVisible();
}

// A zoomed window that has grown past the frame's client area moves up and left into it.
void TGraphForm::KeepInsideFrame()
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
void TGraphForm::KeepTopLeftVisible()
{
    if (x() < 0 || y() < 0)
        move(std::max(0, x()), std::max(0, y()));
}

// The title bar's icon and buttons, and room for the whole caption: the name and a received
// memo's device title. A caption too long for half the screen is cut.
int TGraphForm::CaptionWidth() const
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

void TGraphForm::SetCaption(const QString& name)
{
    captionName_ = name;
    setWindowTitle(deviceTitle_.isEmpty() ? name : name + QStringLiteral("  ") + deviceTitle_);
    // Only a fixed size keeps the window from taking the width the caption needs (set once the
    // caption is: a received memo's device title comes after its picture).
    if (windowFlags() & Qt::MSWindowsFixedSizeDialogHint) {
        const QSize client = ClientSize();
        if (ClientSizeFor(client).width() > client.width())
            SetClientSize(client.width(), client.height());
    }
}

QString TGraphForm::MemoLabel() const
{
    return deviceTitle_.isEmpty() ? captionName_ : QStringLiteral("%1「%2」").arg(captionName_, deviceTitle_);
}

QSize TGraphForm::ClientSizeFor(QSize picture) const
{
    const QMargins m = contentsMargins();
    return {std::max(picture.width(), CaptionWidth() - m.left() - m.right()), picture.height()};
}

// The client area beside a picture narrower than the window is white, like the paper.
void TGraphForm::paintEvent(QPaintEvent* event)
{
    QMdiSubWindow::paintEvent(event);
    if (isMinimized())
        return;
    QPainter painter(this);
    painter.fillRect(contentsRect(), Qt::white);
}

QSize TGraphForm::ClientSize() const
{
    const QMargins m = contentsMargins();
    return size().shrunkBy(m);
}

void TGraphForm::SetButtonStatus()
{
    TMainForm* frame = MainForm;
    if (!frame)
        return;
    const bool hasImage = !FileName.isEmpty();
    for (QToolButton* b : {frame->CloseSB1, frame->SaveSB1, frame->CopySB1, frame->CutSB1, frame->TransSB1})
        b->setEnabled(hasImage);
    if (hasImage) {
        frame->Panel2->setText(QFileInfo(FileName).fileName());
        frame->Panel4->setText(SelectMode && !Dragging
                                   ? QStringLiteral("範囲をドラッグしてください (Esc で中止)")
                                   : QStringLiteral("画像サイズ(X,Y)=(%1,%2)").arg(ImageWidth).arg(ImageHeight));
        frame->Panel3->setText(QStringLiteral("%1Bytes").arg((ImageWidth / 8) * ImageHeight));
    } else {
        frame->ShowNoImageStatus();
    }
    const bool paste = TMainForm::ClipboardHasBitmap();
    frame->PasteSB1->setEnabled(paste);
    Paste1->setEnabled(paste);
    Undo1->setEnabled(CanUndo());
    Prepare1->setEnabled(hasImage);
}

// Realising the palette repaints the image with its own colours in front; the count lets
// tests see when it happens.
void TGraphForm::RealisePalette()
{
    ++paletteRealisations_;
    Image1->update();
}

void TGraphForm::Image1Click()
{
    if (!FileName.isEmpty()) {
        if (SkipPaletteOnce)
            SkipPaletteOnce = false;
        else
            RealisePalette();
    }
    SetButtonStatus();
}

void TGraphForm::FormActivate()
{
    Image1Click();
}

void TGraphForm::CoImage1Click()
{
    SkipPaletteOnce = false;
    Image1Click();
    SkipPaletteOnce = true;
}

void TGraphForm::SetDeviceTitle(const QString& title)
{
    deviceTitle_ = title;
    setToolTip(title);
    SetCaption(captionName_);
}

void TGraphForm::Edit1Click()
{
    SetButtonStatus();
}

void TGraphForm::closeEvent(QCloseEvent* event)
{
    EndRegionSelection();  // the save question must not find the pointer held
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    QMdiSubWindow::closeEvent(event);
}

void TGraphForm::FormClose()
{
    if (MainForm) {
        MainForm->SBinitalize();
        MainForm->ShowNoImageStatus();
    }
}
