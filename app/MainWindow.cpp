#include "app/MainWindow.h"

#include "app/About.h"
#include "gui/Dialogs.h"
#include "gui/ElidedLabel.h"
#include "gui/Fonts.h"
#include "gui/Icons.h"
#include "gui/MessageBox.h"
#include "app/OptionsDialog.h"
#include "gui/ProgramStyle.h"
#include "link/CommLink.h"
#include "link/Config.h"
#include "memo/ImageArea.h"
#include "memo/MemoWindow.h"
#include "gui/CursorClip.h"
#include "gui/HelpEngine.h"
#include "prepare/PrepareConfig.h"
#include "store/MemoStore.h"
#include "transfer/MemoImage.h"
#include "session/ReceiverWatch.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <functional>
#include <utility>

MainWindow* MainForm = nullptr;

namespace {

const QString kNamePanelHint = QStringLiteral("選択されているウィンドウ");

// The usual keys on the file and edit commands: Ctrl+N, Ctrl+O, Ctrl+S, Ctrl+P, Ctrl+Z, Ctrl+C,
// Ctrl+X, Ctrl+V, Ctrl+D and Ctrl+L, shown beside the items.
void setStandardKeys(QMenu* menu)
{
    static const std::pair<const char*, QKeyCombination> keys[] = {
        {"New1", Qt::CTRL | Qt::Key_N},  {"Open1", Qt::CTRL | Qt::Key_O}, {"Save1", Qt::CTRL | Qt::Key_S},
        {"Print1", Qt::CTRL | Qt::Key_P}, {"Copy1", Qt::CTRL | Qt::Key_C}, {"Cut1", Qt::CTRL | Qt::Key_X},
        {"Paste1", Qt::CTRL | Qt::Key_V}, {"Undo1", Qt::CTRL | Qt::Key_Z}, {"Prepare1", Qt::CTRL | Qt::Key_D},
        {"Library1", Qt::CTRL | Qt::Key_L},
    };
    for (QAction* action : menu->actions())
        for (const auto& [name, key] : keys)
            if (action->objectName() == QLatin1String(name))
                action->setShortcut(QKeySequence(key));
}

// Ctrl++ (also Ctrl+= and Ctrl+; where + is a shifted key), Ctrl+- and Ctrl+0 on the 表示
// menu's 拡大, 縮小 and 等倍.
void setZoomKeys(QMenu* menu)
{
    for (QAction* action : menu->actions()) {
        const QString name = action->objectName();
        if (name == QLatin1String("ZoomIn1"))
            action->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal),
                                  QKeySequence(Qt::CTRL | Qt::Key_Semicolon),
                                  QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Plus)});
        else if (name == QLatin1String("ZoomOut1"))
            action->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Minus)});
        else if (name == QLatin1String("ActualSize1"))
            action->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_0)});
    }
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("VEXLO"));
    setFont(LayoutFont("System", 13));
    resize(520, 378);

    MdiArea = new QMdiArea(this);
    MdiArea->setObjectName(QStringLiteral("MdiArea"));
    MdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    MdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(MdiArea);

    createMenus();
    createToolBar();
    createStatusBar();
    // The area also reports "none active" while another window has the focus (a dialog);
    // the current memo window stays the one that commands act on.
    connect(MdiArea, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* window) {
        MemoWindow* memo = activeMemo();
        setMenuTitlesFor(memo != nullptr);
        if (memo && window == memo)
            memo->becameActive();  // tells its state: updateActions
    });
    // Paste follows the clipboard.
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, &MainWindow::updateActions);
    initialise();
}

MainWindow::~MainWindow()
{
    // The memo windows go with the MDI area; their going must not reach a half-destroyed frame.
    MdiArea->disconnect(this);
    for (MemoWindow* memo : memoWindows())
        memo->disconnect(this);
    QGuiApplication::clipboard()->disconnect(this);
    if (MainForm == this)
        MainForm = nullptr;
}

QAction* MainWindow::addItem(QMenu* menu, const char* name, const QString& caption,
                            void (MainWindow::*handler)())
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    commands_.insert(action->objectName(), action);
    if (handler)
        connect(action, &QAction::triggered, this, [this, handler] { RunGuarded([&] { (this->*handler)(); }); });
    return action;
}

void MainWindow::createMenus()
{
    File1 = new QMenu(QStringLiteral("ﾌｧｲﾙ(&F)"), this);
    File1->setObjectName(QStringLiteral("File1"));
    addItem(File1, "New1", QStringLiteral("ウィンドウの新規作成(&N)"), &MainWindow::newWindow);
    addItem(File1, "Open1", QStringLiteral("ウィンドウを開く(&O)"), &MainWindow::openFile);
    addItem(File1, "Load1", QStringLiteral("ウィンドウにロード(&L)"), &MainWindow::loadFile);
    addItem(File1, "Library1", QStringLiteral("メモ一覧(&M)"), &MainWindow::showLibrary);
    addItem(File1, "Save1", QStringLiteral("上書き保存する(&S)"), &MainWindow::save);
    addItem(File1, "SaveAs1", QStringLiteral("名前を付けて保存する(&A)"), &MainWindow::saveAs);
    addItem(File1, "Export1", QStringLiteral("書き出し(&E)..."), &MainWindow::exportPicture);
    addItem(File1, "Print1", QStringLiteral("印刷(&P)"), &MainWindow::print);
    addItem(File1, "PrintSetup1", QStringLiteral("プリンタの設定(&T)"), &MainWindow::printerSetup);
    addItem(File1, "Close1", QStringLiteral("ウィンドウを閉じる(&C)"), &MainWindow::closeWindow);
    File1->addSeparator()->setObjectName(QStringLiteral("N1"));
    addItem(File1, "Exit1", QStringLiteral("終了(&X)"), &MainWindow::exitProgram);

    Edit1 = new QMenu(QStringLiteral("編集(&E)"), this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    connect(Edit1, &QMenu::aboutToShow, this, &MainWindow::updateActions);
    Undo1 = addItem(Edit1, "Undo1", QStringLiteral("元に戻す(&U)"), &MainWindow::undo);
    Edit1->addSeparator()->setObjectName(QStringLiteral("N3"));
    addItem(Edit1, "Copy1", QStringLiteral("コピー(&C)"), &MainWindow::copy);
    addItem(Edit1, "Cut1", QStringLiteral("切り取り(&T)"), &MainWindow::cut);
    Paste1 = addItem(Edit1, "Paste1", QStringLiteral("張り付け(&P)"), &MainWindow::paste);
    Delete1 = addItem(Edit1, "Delete1", QStringLiteral("削除(&D)"), nullptr);
    SelectAll1 = addItem(Edit1, "SelectAll1", QStringLiteral("すべてを選択(&S)"), nullptr);
    Delete1->setEnabled(false);
    SelectAll1->setEnabled(false);
    Edit1->addSeparator()->setObjectName(QStringLiteral("N4"));
    Prepare1 = addItem(Edit1, "Prepare1", QStringLiteral("送信用に変換(&V)..."), &MainWindow::prepareForSending);

    Comm1 = new QMenu(QStringLiteral("通信(&C)"), this);
    Comm1->setObjectName(QStringLiteral("Comm1"));
    addItem(Comm1, "Transmit1", QStringLiteral("データを送信する(&T)"), &MainWindow::send);
    addItem(Comm1, "Receive1", QStringLiteral("データを受信する(&R)"), &MainWindow::receive);

    // 表示 acts on the active memo window; without one its items are off.
    View1 = new QMenu(QStringLiteral("表示(&V)"), this);
    View1->setObjectName(QStringLiteral("View1"));
    ZoomIn1 = addItem(View1, "ZoomIn1", QStringLiteral("拡大(&I)"), &MainWindow::zoomIn);
    ZoomOut1 = addItem(View1, "ZoomOut1", QStringLiteral("縮小(&O)"), &MainWindow::zoomOut);
    ActualSize1 = addItem(View1, "ActualSize1", QStringLiteral("等倍(&A)"), &MainWindow::actualSize);
    setZoomKeys(View1);

    Window1 = new QMenu(QStringLiteral("ｳｨﾝﾄﾞｳ(&W)"), this);
    Window1->setObjectName(QStringLiteral("Window1"));
    addItem(Window1, "Tile1", QStringLiteral("並べて表示(&T)"), &MainWindow::tileWindows);
    addItem(Window1, "Cascade1", QStringLiteral("重ねて表示(&C)"), &MainWindow::cascadeWindows);
    addItem(Window1, "AllangeIcons1", QStringLiteral("アイコンの整理(&A)"), &MainWindow::arrangeIcons);

    About1 = new QMenu(QStringLiteral("ﾍﾙﾌﾟ(&H)"), this);
    About1->setObjectName(QStringLiteral("About1"));
    addItem(About1, "Help1", QStringLiteral("目次(&C)"), &MainWindow::showHelpContents);
    addItem(About1, "K1", QStringLiteral("キーワードで検索(&T)"), &MainWindow::searchHelp);
    addItem(About1, "K2", QStringLiteral("ヘルプの使い方(&H)"), &MainWindow::showHelpOnHelp);
    About1->addSeparator()->setObjectName(QStringLiteral("N2"));
    addItem(About1, "KA1", QStringLiteral("バージョン情報(&A)"), &MainWindow::showAbout);

    // "設定" is a command on the menu bar itself.
    Option1 = new QAction(QStringLiteral("設定(&O)"), this);
    Option1->setObjectName(QStringLiteral("Option1"));
    connect(Option1, &QAction::triggered, this, [this] { RunGuarded([this] { showOptions(); }); });

    setStandardKeys(File1);
    setStandardKeys(Edit1);
    connect(Window1, &QMenu::aboutToShow, this, [this] { fillWindowList(Window1); });
    createWindowKeys();

    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    bar->addMenu(File1);
    bar->addMenu(Edit1);
    bar->addMenu(Comm1);
    bar->addAction(Option1);
    bar->addMenu(View1);
    bar->addMenu(Window1);
    bar->addMenu(About1);
}

void MainWindow::setMenuTitlesFor(bool memoActive)
{
    File1->setTitle(memoActive ? QStringLiteral("ファイル(&F)") : QStringLiteral("ﾌｧｲﾙ(&F)"));
    Window1->setTitle(memoActive ? QStringLiteral("ウィンドウ(&W)") : QStringLiteral("ｳｨﾝﾄﾞｳ(&W)"));
    About1->setTitle(memoActive ? QStringLiteral("ヘルプ(&H)") : QStringLiteral("ﾍﾙﾌﾟ(&H)"));
}

// Keys without a menu item: Ctrl+F4 closes the active memo window as its close box does
// (with the save question), Ctrl+Tab and Ctrl+Shift+Tab go to the next and previous one.
void MainWindow::createWindowKeys()
{
    auto key = [this](QKeyCombination combination, std::function<void()> run) {
        auto* action = new QAction(this);
        action->setShortcut(QKeySequence(combination));
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, [run] { RunGuarded(run); });
        addAction(action);
    };
    key(Qt::CTRL | Qt::Key_F4, [this] {
        if (MemoWindow* memo = activeMemo())
            memo->close();
    });
    key(Qt::CTRL | Qt::Key_Tab, [this] { MdiArea->activateNextSubWindow(); });
    key(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab, [this] { MdiArea->activatePreviousSubWindow(); });
    key(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab, [this] { MdiArea->activatePreviousSubWindow(); });
}

void MainWindow::fillWindowList(QMenu* menu)
{
    static const char* kEntry = "memoWindowEntry";
    for (QAction* action : menu->actions())
        if (action->property(kEntry).toBool())
            delete action;
    const QList<MemoWindow*> memos = memoWindows();
    if (memos.isEmpty())
        return;
    MemoWindow* active = activeMemo();
    menu->addSeparator()->setProperty(kEntry, true);
    int n = 0;
    for (MemoWindow* memo : memos) {
        QString text = memo->windowTitle();  // a received memo's device title included
        text.replace(QLatin1Char('&'), QStringLiteral("&&"));
        ++n;
        const QString label = n < 10 ? QStringLiteral("&%1 %2").arg(n).arg(text) : QStringLiteral("%1 %2").arg(n).arg(text);
        QAction* action = menu->addAction(label);
        action->setProperty(kEntry, true);
        action->setCheckable(memo == active);  // a check mark on the active one only
        action->setChecked(memo == active);
        QPointer<MemoWindow> target(memo);
        connect(action, &QAction::triggered, this, [this, target] {
            if (target)
                MdiArea->setActiveSubWindow(target);
        });
    }
}

QToolButton* MainWindow::addButton(const char* name, int width, const QString& hint, int picture, QAction* action)
{
    auto* button = new QToolButton(this);
    button->setObjectName(QLatin1String(name));
    button->setAutoRaise(true);  // flat
    button->setFixedSize(width, 24);
    button->setToolTip(hint);
    button->setAccessibleName(hint);  // a picture alone says nothing to a screen reader
    button->setIcon(ToolIcon(static_cast<ToolPicture>(picture)));
    button->setIconSize(QSize(18, 18));
    connect(button, &QToolButton::clicked, action, &QAction::trigger);
    return button;
}

void MainWindow::createToolBar()
{
    auto* bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("ToolBar1"));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setMinimumHeight(28);
    bar->setContextMenuPolicy(Qt::PreventContextMenu);
    bar->setProperty(TProgramStyle::CompactBar, true);
    QEvent restyled(QEvent::StyleChange);  // the bar's layout takes the style's metrics anew
    QCoreApplication::sendEvent(bar, &restyled);
    addToolBar(Qt::TopToolBarArea, bar);

    auto spacer = [&](const char* name, int width) {
        auto* panel = new QWidget(bar);
        panel->setObjectName(QLatin1String(name));
        panel->setFixedSize(width, 24);
        bar->addWidget(panel);
    };
    auto add = [&](QToolButton* button) {
        bar->addWidget(button);
        return button;
    };
    NewSB1 = add(addButton("NewSB1", 25, QStringLiteral("新規作成"), int(ToolPicture::New), commands_.value("New1")));
    SpeedButton1 = add(addButton("SpeedButton1", 25, QStringLiteral("ファイルを開く"), int(ToolPicture::Open),
                                 commands_.value("Open1")));
    SaveSB1 = add(addButton("SaveSB1", 25, QStringLiteral("名前を付けて保存"), int(ToolPicture::SaveAs),
                            commands_.value("SaveAs1")));
    CloseSB1 = add(addButton("CloseSB1", 25, QStringLiteral("ファイルを閉じる"), int(ToolPicture::Close),
                             commands_.value("Close1")));
    spacer("Panel1", 13);
    CopySB1 = add(addButton("CopySB1", 25, QStringLiteral("コピー"), int(ToolPicture::Copy), commands_.value("Copy1")));
    PasteSB1 = add(addButton("PasteSB1", 25, QStringLiteral("張り付け"), int(ToolPicture::Paste),
                             Paste1));
    CutSB1 = add(addButton("CutSB1", 26, QStringLiteral("切り取り"), int(ToolPicture::Cut), commands_.value("Cut1")));
    spacer("Panel5", 12);
    TransSB1 = add(addButton("TransSB1", 25, QStringLiteral("データを送信"), int(ToolPicture::Transmit),
                             commands_.value("Transmit1")));
    RecvSB1 = add(addButton("RecvSB1", 25, QStringLiteral("データを受信"), int(ToolPicture::Receive), commands_.value("Receive1")));
    spacer("Panel6", 14);
    CommSB1 = add(addButton("CommSB1", 24, QStringLiteral("設定"), int(ToolPicture::Settings), Option1));
}

void MainWindow::createStatusBar()
{
    auto* bar = new QStatusBar(this);
    bar->setObjectName(QStringLiteral("StatusBar"));
    bar->setSizeGripEnabled(false);
    // Qt's status bar keeps a few pixels above its items; the bar is that much taller than
    // its 22-pixel panels, so the panels show whole, bottom bevel included.
    bar->setFixedHeight(22 + 3);
    setStatusBar(bar);

    auto panel = [&](const char* name, const QString& hint, Qt::Alignment align, int width, QLabel* label = nullptr) {
        if (!label)
            label = new QLabel(bar);
        label->setObjectName(QLatin1String(name));
        label->setToolTip(hint);
        label->setAlignment(align | Qt::AlignVCenter);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setLineWidth(1);
        label->setFixedHeight(22);
        label->setFont(LayoutFont("ＭＳ ゴシック", 16));
        if (width > 0)
            label->setFixedWidth(width);
        else
            label->setMinimumWidth(0);
        return label;
    };
    // The window's name: 113 pixels at least, wider for a longer name as far as the bar has
    // room, elided in the middle beyond that (its tooltip says it whole).
    namePanel = panel("Panel2", kNamePanelHint, Qt::AlignLeft, 0, new TElidedLabel(bar));
    namePanel->setMinimumWidth(113);
    // The area, or what to do now: it takes the room that is left and never widens the frame
    // (a longer text is elided in the middle).
    sizePanel = panel("Panel4", QStringLiteral("有効な画像の領域"), Qt::AlignLeft, 0, new TElidedLabel(bar));
    sizePanel->setMinimumWidth(1);
    bytesPanel = panel("Panel3", QStringLiteral("ファイルの大きさ(モノクロ)"), Qt::AlignRight, 116);
    bar->addWidget(namePanel);
    bar->addWidget(sizePanel, 1);
    bar->addWidget(bytesPanel);
    zoomPanel = panel("ZoomPanel", QStringLiteral("表示倍率"), Qt::AlignRight, 0);
    zoomPanel->setMinimumWidth(zoomPanel->fontMetrics().horizontalAdvance(QStringLiteral(" 800% ")));
    zoomPanel->hide();
    bar->addWidget(zoomPanel);
    // While the receiver runs: 自動受信中 (COM1), after the name, area and size panels.
    receiverPanel = panel("ReceiverStatus", QStringLiteral("自動受信 (vexlo-receiver) が通信ポートを受け持っています"),
                          Qt::AlignLeft, 0);
    bar->addPermanentWidget(receiverPanel);
    auto* receiver = new session::ReceiverWatch(QDBusConnection::sessionBus(), this);
    const auto showReceiver = [this](const QString& line) {
        receiverPanel->setText(line);
        receiverPanel->setVisible(!line.isEmpty());
    };
    connect(receiver, &session::ReceiverWatch::Changed, this, showReceiver);
    showReceiver(receiver->Line());
    showNoImageStatus();
}

void MainWindow::initialise()
{
    if (const std::optional<std::string> refusal = ConfigFileRefusal()) {
        configRefused_ = true;
        // Once the frame is on the screen, so that the box stands over it.
        QTimer::singleShot(0, this, [text = QString::fromStdString(*refusal)] { ShowBox(BoxKind::Warning, text); });
    }
    if (!ConfigPresent()) {
        SetLinkDefaults(CommLink);  // no configuration yet
        resize(firstStartSize());
    } else {
        readConfig();
    }
    LibrarySettings = ReadLibrarySettings();
    // Written by hand alone, without any other setting, it still counts.
    if (const long zoom = ReadConfigInt("General", "Zoom", 0); zoom > 0)
        MemoWindow::setConfiguredZoom(int(std::min(zoom, 8L)));
    // The options dialog selects the one device model when it is created; it is built only when
    // first used, so the model is set here, and every exit records it ([Machine] Sender).
    CommLink.Machine = true;
    SkipSizeCheck = false;
    SavedClipRect() = platform::GetClipCursor();
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            applicationActivated();
    });
    updateActions();
}

void MainWindow::readConfig()
{
    ReadLinkPort(CommLink);
    const FrameBounds b = ReadFrameBounds();
    // The window system places the frame where it places new windows; of the stored bounds
    // only the size applies. Left and top are written back at exit from where the user left it.
    // A stored size larger than the screen would put the status bar out of sight: the frame,
    // with the window system's title bar and borders, is kept to the screen's free area.
    // Without a stored size (a [Comm] section written by hand) the frame opens as on a first
    // start, not at the 320 x 240 the missing keys stand for.
    const bool sizeStored = ReadConfigInt("General", "Width", 0) > 0 && ReadConfigInt("General", "Height", 0) > 0;
    const QSize free = freeScreenSize();
    resize(sizeStored ? QSize(std::clamp(b.width, 1, free.width()), std::clamp(b.height, 1, free.height()))
                      : firstStartSize());
    ReadLinkLine(CommLink);
    ReadLinkSwitches(CommLink);
}

// The room the frame may take on the screen, leaving the window system's title bar and borders.
QSize MainWindow::freeScreenSize()
{
    const QRect free = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry()
                                                        : QRect(0, 0, 1 << 15, 1 << 15);
    constexpr int kBorders = 8;
    constexpr int kTitleAndBorders = 40;
    return {std::max(1, free.width() - kBorders), std::max(1, free.height() - kTitleAndBorders)};
}

// Without a stored size the frame takes three fifths of the screen's free room, so that memo
// windows have room to open side by side, and at least its layout size, 520 x 378, grown where
// the fonts and the screen's scale need more: wide enough for its whole tool bar and menu bar
// (also a memo window's, whose titles are written in wider katakana), high enough for the
// bars and a memo of the largest size the device takes. Never larger than the screen.
QSize MainWindow::firstStartSize() const
{
    const QFontMetrics metrics(menuBar()->font());
    const int memoMenus = menuBar()->sizeHint().width() + metrics.horizontalAdvance(QStringLiteral("ファイルウィンドウヘルプ"))
                          - metrics.horizontalAdvance(QStringLiteral("ﾌｧｲﾙｳｨﾝﾄﾞｳﾍﾙﾌﾟ"));
    const auto* tools = findChild<QToolBar*>(QStringLiteral("ToolBar1"));
    const int toolsWidth = tools ? tools->sizeHint().width() : 0;
    const int toolsHeight = tools ? tools->sizeHint().height() : 0;
    const int memoFrame = 2 * style()->pixelMetric(QStyle::PM_TitleBarHeight);  // its title bar and borders
    const int bars = menuBar()->sizeHint().height() + toolsHeight + statusBar()->height();
    const QSize free = freeScreenSize();
    const QSize size(std::max({520, memoMenus, toolsWidth, MaxSendWidth + memoFrame, free.width() * 3 / 5}),
                     std::max({378, bars + MaxSendHeight + memoFrame, free.height() * 3 / 5}));
    return size.boundedTo(free);
}

void MainWindow::storeConfig()
{
    const FrameBounds bounds{x(), y(), width(), height()};
    if (auto failure = StoreConfig(CommLink, bounds))
        throw CommandFailure(QString::fromStdString(*failure));
    if (auto failure = StoreLibrarySettings(LibrarySettings))
        throw CommandFailure(QString::fromStdString(*failure));
    if (prepareSettings_ && prepareSettingsChanged_) {
        if (auto failure = StorePrepareSettings(*prepareSettings_, kConfigFile))
            throw CommandFailure(QString::fromStdString(*failure));
        prepareSettingsChanged_ = false;
    }
}

void MainWindow::updateActions()
{
    updateActionsFor(activeMemo());
}

void MainWindow::updateActionsFor(const MemoWindow* memo)
{
    const bool hasImage = memo && !memo->FileName.isEmpty();
    for (QToolButton* b : {CloseSB1, SaveSB1, CopySB1, CutSB1, TransSB1})
        b->setEnabled(hasImage);
    if (memo && hasImage) {
        const QString name = QFileInfo(memo->FileName).fileName();
        namePanel->setText(name);
        namePanel->setToolTip(QStringLiteral("%1\n%2").arg(name, kNamePanelHint));
        sizePanel->setText(memo->SelectMode && !memo->Dragging
                            ? QStringLiteral("範囲をドラッグするか矢印キーで選んでください (Enter で決定、Esc で中止)")
                            : QStringLiteral("画像サイズ(X,Y)=(%1,%2)").arg(memo->ImageWidth).arg(memo->ImageHeight));
        // The bytes the picture takes in one bit a pixel, each row rounded up to a whole byte as
        // it is sent to the device and shown by 送信用に変換: a 7-pixel row still takes a byte.
        bytesPanel->setText(QStringLiteral("%1Bytes").arg(RowByteCount(memo->ImageWidth) * memo->ImageHeight));
    } else if (memo) {
        showNoImageStatus();
    }
    // Without a memo window Paste stays off, and the clipboard (a round trip to its owner)
    // is not asked.
    const bool paste = memo && MemoWindow::clipboardHasPicture();
    PasteSB1->setEnabled(paste);
    Paste1->setEnabled(paste);
    if (memo)
        zoomPanel->setText(QStringLiteral("%1%").arg(memo->zoom() * 100));
    zoomPanel->setVisible(memo != nullptr);
    Undo1->setEnabled(memo && memo->canUndo());
    Prepare1->setEnabled(hasImage);  // the picture 送信用に変換 prepares
    ZoomIn1->setEnabled(memo && memo->canZoomIn());
    ZoomOut1->setEnabled(memo && memo->canZoomOut());
    ActualSize1->setEnabled(memo != nullptr);
}

unsigned long MainWindow::currentHelpContext() const
{
    if (const MemoWindow* memo = activeMemo())
        return memo->SelectMode ? HelpContext::Region : HelpContext::Memo;
    return HelpContext::Frame;
}

void MainWindow::showNoImageStatus()
{
    namePanel->setText(QStringLiteral("NO IMAGE"));
    namePanel->setToolTip(kNamePanelHint);
    sizePanel->clear();
    bytesPanel->setText(QStringLiteral("0Bytes"));
}

void MainWindow::applicationActivated()
{
    if (memoCount() > 0)
        if (MemoWindow* memo = activeMemo())
            memo->refreshAfterActivation();
    updateActions();
}

// New memo windows cascade from the top-left corner of the client area, one title bar lower
// and further right each, starting over when the next step would leave the area.
void MainWindow::addMemoWindow(MemoWindow* memo)
{
    const int others = memoCount();
    MdiArea->addSubWindow(memo);
    const int step = std::max(memo->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, memo), 18);
    const QSize area = MdiArea->viewport()->size();
    const int places = std::max(1, std::min(area.width(), area.height()) / 2 / step);
    const int k = others % places;
    memo->move(k * step, k * step);
    memo->setNewNameSource([this, memo] { return freeMemoName(QStringLiteral("NEW_%1.BMP"), memo); });
    connect(memo, &MemoWindow::stateChanged, this, &MainWindow::updateActions);
    connect(memo, &MemoWindow::selectionStatus, sizePanel, &QLabel::setText);
    connect(memo, &MemoWindow::sendRequested, this, [this] { RunGuarded([this] { send(); }); });
    // The window that goes leaves the frame without an image until another one is activated.
    connect(memo, &MemoWindow::closed, this, [this] {
        updateActionsFor(nullptr);
        showNoImageStatus();
    });
    memo->show();
    MdiArea->setActiveSubWindow(memo);
}

MemoWindow* MainWindow::activeMemo() const
{
    return qobject_cast<MemoWindow*>(MdiArea->currentSubWindow());
}

int MainWindow::memoCount() const
{
    return static_cast<int>(MdiArea->subWindowList().size());
}

QString MainWindow::freeMemoName(const QString& pattern, const MemoWindow* memo) const
{
    const QList<MemoWindow*> memos = memoWindows();
    const auto carried = [&](const QString& name) {
        return std::any_of(memos.begin(), memos.end(), [&](const MemoWindow* other) {
            return other != memo && other->captionName().compare(name, Qt::CaseInsensitive) == 0;
        });
    };
    int n = std::max(1, memoCount());
    while (carried(pattern.arg(n)))
        ++n;
    return pattern.arg(n);
}

QList<MemoWindow*> MainWindow::memoWindows() const
{
    QList<MemoWindow*> memos;
    for (QMdiSubWindow* w : MdiArea->subWindowList())
        if (auto* memo = qobject_cast<MemoWindow*>(w))
            memos.push_back(memo);
    return memos;
}

// The forwarding commands act on the active memo window and do nothing without one.
void MainWindow::save()
{
    if (MemoWindow* memo = activeMemo())
        if ((memo = offerPreparation(memo, memo->Image1->picture(), QStringLiteral("保存"))))
            memo->save();
}

void MainWindow::saveAs()
{
    if (MemoWindow* memo = activeMemo())
        if ((memo = offerPreparation(memo, memo->Image1->picture(), QStringLiteral("保存"))))
            memo->saveAs();
}

void MainWindow::exportPicture()
{
    if (MemoWindow* memo = activeMemo())
        memo->exportPicture();
}

void MainWindow::print()
{
    if (MemoWindow* memo = activeMemo())
        memo->print();
}

void MainWindow::printerSetup()
{
    RunPrinterSetupDialog(this, SharedPrinter());
}

void MainWindow::copy()
{
    if (MemoWindow* memo = activeMemo())
        memo->copy();
}

void MainWindow::cut()
{
    if (MemoWindow* memo = activeMemo())
        memo->cut();
}

void MainWindow::paste()
{
    if (MemoWindow* memo = activeMemo())
        memo->paste();
}

void MainWindow::undo()
{
    if (MemoWindow* memo = activeMemo())
        memo->undo();
}

void MainWindow::zoomIn()
{
    if (MemoWindow* memo = activeMemo())
        memo->zoomIn();
}

void MainWindow::zoomOut()
{
    if (MemoWindow* memo = activeMemo())
        memo->zoomOut();
}

void MainWindow::actualSize()
{
    if (MemoWindow* memo = activeMemo())
        memo->actualSize();
}

void MainWindow::exitProgram()
{
    close();
}

void MainWindow::showOptions()
{
    MultPageDlg->exec();
}

namespace {

// The memo windows that tile and cascade arrange, oldest first; for cascading the active one
// goes last (it ends on top and stays active). Minimised ones keep their place, maximised
// ones come back.
QList<QMdiSubWindow*> windowsToArrange(QMdiArea* area, bool activeLast)
{
    QList<QMdiSubWindow*> windows;
    QMdiSubWindow* active = activeLast ? area->currentSubWindow() : nullptr;
    for (QMdiSubWindow* w : area->subWindowList(QMdiArea::CreationOrder)) {
        if (w->isMinimized() || w == active)
            continue;
        windows.push_back(w);
    }
    if (active && !active->isMinimized())
        windows.push_back(active);
    for (QMdiSubWindow* w : windows)
        if (w->isMaximized())
            w->showNormal();
    return windows;
}

// Keeps a window of SIZE at POS inside AREA where it fits; one larger than the area keeps
// its top-left corner visible.
QPoint inside(QPoint pos, QSize size, QSize area)
{
    return {std::max(0, std::min(pos.x(), area.width() - size.width())),
            std::max(0, std::min(pos.y(), area.height() - size.height()))};
}

}  // namespace

// Memo windows have fixed sizes, so tiling cannot size them to a grid: they go one under
// another, then into the next column, each fully inside the area. When the columns run out,
// the next layer starts again at the left, one title bar lower and further right.
void MainWindow::tileWindows()
{
    const QList<QMdiSubWindow*> windows = windowsToArrange(MdiArea, false);
    const QSize area = MdiArea->viewport()->size();
    const int step = std::max(style()->pixelMetric(QStyle::PM_TitleBarHeight), 18);
    int layer = 0;
    int x = 0;
    int y = 0;
    int columnWidth = 0;
    for (QMdiSubWindow* w : windows) {
        const QSize size = w->size();
        if (y > layer * step && y + size.height() > area.height()) {  // next column
            x += columnWidth;
            y = layer * step;
            columnWidth = 0;
        }
        if (x > layer * step && x + size.width() > area.width()) {  // next layer
            ++layer;
            x = y = layer * step;
            columnWidth = 0;
        }
        w->move(inside(QPoint(x, y), size, area));
        w->raise();
        y += size.height();
        columnWidth = std::max(columnWidth, size.width());
    }
}

// Each window one title bar lower and further right than the one before, later ones on top,
// so that every caption stays visible. A run that would leave the area starts again at the
// top, to the right of the run before (or over it, a title bar further right, when the area
// has no room left).
void MainWindow::cascadeWindows()
{
    const QList<QMdiSubWindow*> windows = windowsToArrange(MdiArea, true);
    const QSize area = MdiArea->viewport()->size();
    const int step = std::max(style()->pixelMetric(QStyle::PM_TitleBarHeight), 18);
    int runX = 0;
    int runRight = 0;
    int k = 0;
    int runs = 0;
    for (QMdiSubWindow* w : windows) {
        const QSize size = w->size();
        QPoint pos(runX + k * step, k * step);
        if (k > 0 && (pos.y() + size.height() > area.height() || pos.x() + size.width() > area.width())) {
            ++runs;
            runX = runRight + size.width() <= area.width() ? runRight : (runs * step) % std::max(step, area.width() / 2);
            k = 0;
            pos = QPoint(runX, 0);
        }
        w->move(inside(pos, size, area));
        w->raise();
        runRight = std::max(runRight, w->x() + size.width());
        ++k;
    }
    if (!windows.isEmpty())
        MdiArea->setActiveSubWindow(windows.back());
}

// Minimised memo windows line up along the bottom of the frame's client area.
void MainWindow::arrangeIcons()
{
    int x = 0;
    const int bottom = MdiArea->viewport()->height();
    for (QMdiSubWindow* w : MdiArea->subWindowList()) {
        if (!w->isMinimized())
            continue;
        w->move(x, bottom - w->height());
        x += w->width();
    }
}

void MainWindow::showHelpContents()
{
    platform::WinHelp(platform::HELP_CONTENTS, 0);
}

void MainWindow::searchHelp()
{
    platform::WinHelp(platform::HELP_PARTIALKEY, 0);
}

void MainWindow::showHelpOnHelp()
{
    platform::WinHelp(platform::HELP_HELPONHELP, 0);
}

void MainWindow::showAbout()
{
    AboutBox->exec();
}

// Closing the frame: every memo window may ask to save; a save that fails there keeps the
// program open. Then the cursor clip comes back, the configuration is written, and help quits.
void MainWindow::closeEvent(QCloseEvent* event)
{
    if (!mayCloseMemos()) {
        event->ignore();
        return;
    }
    if (!finishClosing()) {
        event->ignore();
        return;
    }
    event->accept();
}

bool MainWindow::finishClosing()
{
    platform::ClipCursor(SavedClipRect());
    bool stored = true;
    if (!configRefused_) {
        RunGuarded([&] {
            stored = false;
            storeConfig();
            stored = true;
        });
    }
    // A configuration that cannot be written must not keep the user from leaving: after the
    // failure box, OK leaves without it, ｷｬﾝｾﾙ stays.
    if (!stored && ShowBox(BoxKind::Confirmation, QStringLiteral("設定を保存せずに終了しますか？"),
                           BoxButtons::OkCancel) != BoxAnswer::Ok)
        return false;
    platform::WinHelp(platform::HELP_QUIT, 0);
    return true;
}
