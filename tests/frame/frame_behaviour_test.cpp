// Start-up, the enable rules, menu sharing and exit of the frame window.
#include "support/ProgramFixture.h"

#include "memo/MemoWindow.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QScreen>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QToolButton>

#include <sys/stat.h>

namespace {

using FrameBehaviour = ProgramFixture;

void expectImageButtonsEnabled(bool enabled)
{
    for (QToolButton* b : {MainForm->CloseSB1, MainForm->SaveSB1, MainForm->CopySB1, MainForm->CutSB1,
                           MainForm->TransSB1})
        EXPECT_EQ(b->isEnabled(), enabled) << b->objectName().toStdString();
}

MemoWindow* newMemo()
{
    auto* memo = new MemoWindow;
    MainForm->addMemoWindow(memo);
    return memo;
}

QAction* item(QMenu* menu, const char* name)
{
    for (QAction* a : menu->actions())
        if (a->objectName() == QLatin1String(name))
            return a;
    return nullptr;
}

TEST_F(FrameBehaviour, FirstStartTakesTheLinkDefaultsAndTheNoImageState)
{
    start();
    EXPECT_EQ(CommLink.PortName, "COM1");
    EXPECT_EQ(CommLink.Speed, 9600);
    EXPECT_EQ(CommLink.WordLen, 8);
    EXPECT_FALSE(CommLink.ZenToHan);
    EXPECT_FALSE(CommLink.KataToHira);
    EXPECT_TRUE(CommLink.Machine);
    expectImageButtonsEnabled(false);
    for (QToolButton* b : {MainForm->NewSB1, MainForm->SpeedButton1, MainForm->RecvSB1, MainForm->CommSB1})
        EXPECT_TRUE(b->isEnabled());
    EXPECT_FALSE(MainForm->Delete1->isEnabled());
    EXPECT_FALSE(MainForm->SelectAll1->isEnabled());
}

// A first start's frame: its layout size at least, and a good share of the screen.
void expectFirstStartSize()
{
    const QSize free = QGuiApplication::primaryScreen()->availableGeometry().size();
    EXPECT_GE(MainForm->width(), std::max(520, free.width() / 2));
    EXPECT_GE(MainForm->height(), std::max(378, free.height() / 2));
}

// A size of 0 x 0: as on a first start.
const QSize kFirstStart(0, 0);

struct StartCase {
    const char* name;
    const char* file;
    QSize size;
    const char* port;
    bool switches;
};

class FrameStart : public ProgramFixture, public testing::WithParamInterface<StartCase> {};

TEST_P(FrameStart, ReadsTheConfigurationOrTakesDefaults)
{
    const StartCase& c = GetParam();
    home().write(c.file);
    start();
    if (c.size == kFirstStart)
        expectFirstStartSize();
    else if (c.size.isValid()) {
        EXPECT_EQ(MainForm->size(), c.size);
    }
    // Whatever is stored, the frame and its status bar stay on the screen.
    const QSize free = QGuiApplication::primaryScreen()->availableGeometry().size();
    EXPECT_LE(MainForm->width(), free.width());
    EXPECT_LE(MainForm->height(), free.height());
    EXPECT_EQ(CommLink.PortName, c.port);
    EXPECT_EQ(CommLink.ZenToHan, c.switches);
    EXPECT_EQ(CommLink.KataToHira, c.switches);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FrameStart,
    testing::Values(
        StartCase{"PortErrorIsNoConfiguration", "[Comm]\nPort=ERROR\n[General]\nWidth=600\n", kFirstStart, "COM1",
                  false},
        // No stored size: as large as a first start.
        StartCase{"PortOnly", "[Comm]\nPort=COM3\n", kFirstStart, "COM3", true},
        StartCase{"WidthOnly", "[Comm]\nPort=COM3\n[General]\nWidth=900\n", kFirstStart, "COM3", true},
        StartCase{"SmallStoredSize", "[Comm]\nPort=COM3\n[General]\nWidth=320\nHeight=240\n", {320, 240}, "COM3",
                  true},
        StartCase{"StoredSize", "[Comm]\nPort=COM2\n[General]\nLeft=900\nTop=900\nWidth=640\nHeight=0x1e0\n",
                  {640, 480}, "COM2", true},
        StartCase{"LargerThanTheScreen", "[Comm]\nPort=COM2\n[General]\nWidth=30000\nHeight=20000\n", {}, "COM2",
                  true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FrameBehaviour, PasteFollowsTheClipboardOnlyWithAMemoWindow)
{
    start();
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::black);
    QGuiApplication::clipboard()->setImage(picture);
    MainForm->updateActions();
    EXPECT_FALSE(MainForm->PasteSB1->isEnabled()) << "no memo window: paste stays off";
    EXPECT_FALSE(MainForm->Paste1->isEnabled());

    MemoWindow* memo = newMemo();
    memo->publishState();
    EXPECT_TRUE(MainForm->PasteSB1->isEnabled());
    EXPECT_TRUE(MainForm->Paste1->isEnabled());
    expectImageButtonsEnabled(false);  // an empty window has no file name

    QGuiApplication::clipboard()->setText(QStringLiteral("text only"));
    MainForm->updateActions();
    EXPECT_FALSE(MainForm->PasteSB1->isEnabled());
    EXPECT_FALSE(MainForm->Paste1->isEnabled());
}

TEST_F(FrameBehaviour, AMemoWindowPublishesItsNameSizeAndBytes)
{
    start();
    struct Case {
        int w, h;
        const char* size;
        const char* bytes;
    };
    for (const Case& c : {Case{100, 50, "画像サイズ(X,Y)=(100,50)", "650Bytes"},
                          Case{7, 50, "画像サイズ(X,Y)=(7,50)", "50Bytes"}}) {
        MemoWindow* memo = newMemo();
        memo->FileName = QStringLiteral("/some/folder/memo.bmp");
        memo->ImageWidth = c.w;
        memo->ImageHeight = c.h;
        memo->publishState();
        EXPECT_EQ(MainForm->namePanel->text(), "memo.bmp");
        EXPECT_EQ(MainForm->sizePanel->text(), QString::fromUtf8(c.size));
        EXPECT_EQ(MainForm->bytesPanel->text(), c.bytes);
        expectImageButtonsEnabled(true);
    }
}

TEST_F(FrameBehaviour, TheActiveMemoWindowsMenusReplaceTheFramesAndRunTheFramesCommands)
{
    start();
    newMemo();
    QCoreApplication::processEvents();
    QStringList bar;
    for (const QAction* a : MainForm->menuBar()->actions())
        bar << a->text();
    EXPECT_EQ(bar, QStringList({"ファイル(&F)", "編集(&E)", "通信(&C)", "設定(&O)", "表示(&V)", "ウィンドウ(&W)", "ヘルプ(&H)"}));

    // With a memo window active, Printer Setup still runs the shared printer dialog.
    item(MainForm->File1, "PrintSetup1")->trigger();
    EXPECT_EQ(printerSetups, 1);
    // and Exit still closes the frame.
    item(MainForm->File1, "Exit1")->trigger();
    QCoreApplication::processEvents();
    EXPECT_FALSE(MainForm->isVisible());
}

TEST_F(FrameBehaviour, ClosingTheLastMemoWindowBringsBackTheFramesMenus)
{
    start();
    MemoWindow* memo = newMemo();
    QCoreApplication::processEvents();
    memo->close();
    QCoreApplication::processEvents();
    EXPECT_EQ(MainForm->menuBar()->actions().first()->text(), "ﾌｧｲﾙ(&F)");
    EXPECT_EQ(MainForm->namePanel->text(), "NO IMAGE");
    expectImageButtonsEnabled(false);
}

// One menu bar serves with and without a memo window: its enabled states follow the active
// window (zoom, paste after the clipboard, 元に戻す) and fall back when the last one closes.
// The status bar shows the active window's zoom.
TEST_F(FrameBehaviour, TheCommandsFollowTheActiveMemoWindowAndTheClipboard)
{
    start();
    QGuiApplication::clipboard()->setText(QStringLiteral("text only"));
    struct Seen {
        bool zoomIn, zoomOut, actualSize, paste, undo;
        QString zoom;
        bool operator==(const Seen&) const = default;
    };
    auto seen = [] {
        return Seen{MainForm->ZoomIn1->isEnabled(), MainForm->ZoomOut1->isEnabled(), MainForm->ActualSize1->isEnabled(),
                    MainForm->Paste1->isEnabled(), MainForm->Undo1->isEnabled(),
                    MainForm->zoomPanel->isVisibleTo(MainForm) ? MainForm->zoomPanel->text() : QString()};
    };
    EXPECT_EQ(seen(), (Seen{false, false, false, false, false, ""}));

    MemoWindow* memo = newMemo();
    memo->publishState();
    EXPECT_EQ(seen(), (Seen{true, false, true, false, false, "100%"}));
    memo->zoomIn();
    EXPECT_EQ(seen(), (Seen{true, true, true, false, false, "200%"})) << "zoomed once";
    for (int i = 0; i < 8; ++i)
        memo->zoomIn();
    EXPECT_EQ(seen(), (Seen{false, true, true, false, false, "800%"})) << "at the largest zoom";

    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::black);
    QGuiApplication::clipboard()->setImage(picture);
    EXPECT_TRUE(MainForm->Paste1->isEnabled()) << "without opening the Edit menu";
    EXPECT_TRUE(MainForm->PasteSB1->isEnabled());
    memo->rememberForUndo();
    memo->publishState();
    EXPECT_TRUE(MainForm->Undo1->isEnabled());

    memo->close();
    QCoreApplication::processEvents();
    EXPECT_EQ(seen(), (Seen{false, false, false, false, false, ""}));
    EXPECT_FALSE(MainForm->PasteSB1->isEnabled());
}

TEST_F(FrameBehaviour, ActivationRefreshesTheActiveMemoAndSkipsThePaletteOnce)
{
    start();
    MemoWindow* memo = newMemo();
    memo->FileName = QStringLiteral("a.bmp");
    memo->ImageWidth = 16;
    memo->ImageHeight = 2;
    const int before = memo->paletteRealisations();
    MainForm->applicationActivated();
    EXPECT_EQ(memo->paletteRealisations(), before + 1);
    EXPECT_EQ(MainForm->bytesPanel->text(), "4Bytes");
    memo->imageClicked();
    EXPECT_EQ(memo->paletteRealisations(), before + 1) << "the click after re-activation skips it";
    memo->imageClicked();
    EXPECT_EQ(memo->paletteRealisations(), before + 2);
}

TEST_F(FrameBehaviour, ActivationWithoutMemoWindowsLeavesTheStatusTexts)
{
    start();
    MainForm->namePanel->setText(QStringLiteral("kept"));
    MainForm->applicationActivated();
    EXPECT_EQ(MainForm->namePanel->text(), "kept");
    expectImageButtonsEnabled(false);
}

TEST_F(FrameBehaviour, ForwardingCommandsWithoutAMemoWindowDoNothing)
{
    start();
    for (auto handler : {&MainWindow::save, &MainWindow::saveAs, &MainWindow::print,
                         &MainWindow::copy, &MainWindow::cut, &MainWindow::paste})
        (MainForm->*handler)();
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(fileDialogs.empty());
    EXPECT_EQ(MainForm->memoCount(), 0);
}

TEST_F(FrameBehaviour, ExitWritesEveryKey)
{
    home().write("[Comm]\r\nPort=COM1\r\n");  // read at start, without the model's key
    start();
    CommLink.Speed = 19200;
    CommLink.ZenToHan = false;
    CommLink.KataToHira = true;
    MainForm->resize(600, 400);
    item(MainForm->File1, "Exit1")->trigger();
    QCoreApplication::processEvents();
    EXPECT_FALSE(MainForm->isVisible());
    const QByteArray file = home().read();
    for (const char* line : {"[Machine]\r\nSender=QM10\r\n", "Port=COM1\r\n", "Speed=19200\r\n", "WordLen=8\r\n",
                             "Pariry=0\r\n", "StopBits=0\r\n", "Width=600\r\n", "Height=400\r\n",
                             "ZenToHan=FALSE\r\n", "KataToHira=TRUE\r\n"})
        EXPECT_TRUE(file.contains(line)) << line << " in\n" << file.constData();
    EXPECT_TRUE(file.contains("Left=") && file.contains("Top="));
}

// Something other than a file where VEXLO.INI belongs (here a FIFO, which would wait for a
// writer forever) is not opened: one warning, the defaults, and nothing written over it.
TEST_F(FrameBehaviour, AConfigurationThatIsNoFileIsNeitherReadNorReplaced)
{
    ASSERT_EQ(::mkfifo(QFile::encodeName(home().iniPath()).constData(), 0600), 0);
    start();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, BoxKind::Warning);
    EXPECT_TRUE(boxes[0].text.contains(home().iniPath())) << boxes[0].text.toStdString();
    EXPECT_EQ(CommLink.PortName, "COM1");
    MainForm->close();
    QCoreApplication::processEvents();
    EXPECT_FALSE(MainForm->isVisible());
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_FALSE(QFileInfo(home().iniPath()).isFile());
}

// A configuration that cannot be written is reported, then the user chooses: OK leaves
// without it, ｷｬﾝｾﾙ stays (and the next Exit asks again), never a frame that cannot be left.
class UnwritableConfiguration : public FrameBehaviour, public testing::WithParamInterface<BoxAnswer> {};

TEST_P(UnwritableConfiguration, AsksWhetherToLeaveWithoutIt)
{
    start();
    // The configuration folder cannot be made: a plain file stands where it should be.
    home().write("in the way");
    qputenv("XDG_CONFIG_HOME", home().iniPath().toUtf8());
    answers = {BoxAnswer::Ok, GetParam()};
    MainForm->close();
    QCoreApplication::processEvents();
    EXPECT_EQ(MainForm->isVisible(), GetParam() == BoxAnswer::Cancel);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_TRUE(boxes[0].failure);
    EXPECT_EQ(boxes[0].caption, "VEXLO");
    EXPECT_EQ(boxes[0].text, "VEXLO.INI に書き込めません\nフォルダーがありません");
    EXPECT_EQ(boxes[1].caption, "確認");
    EXPECT_EQ(boxes[1].text, "設定を保存せずに終了しますか？");
    EXPECT_EQ(boxes[1].buttons, BoxButtons::OkCancel);
    EXPECT_EQ(home().read(), "in the way");
}

INSTANTIATE_TEST_SUITE_P(Answers, UnwritableConfiguration, testing::Values(BoxAnswer::Ok, BoxAnswer::Cancel));

// Qt's own dialogs and menus read in Japanese whatever the locale: its catalogue is loaded.
TEST_F(FrameBehaviour, QtsOwnTextsAreJapanese)
{
    start();
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"), "アドレス:");
}

}  // namespace
