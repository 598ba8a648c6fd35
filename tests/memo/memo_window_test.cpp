// Memo windows as the frame makes them: names, sizes, the published status and the palette
// refresh rule.
#include "MemoFixture.h"

#include <QLabel>
#include <QTest>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>

namespace {

using MemoWindowTest = MemoFixture;

QStringList captions()
{
    QStringList out;
    for (MemoWindow* memo : MainForm->memoWindows())
        out << memo->windowTitle();
    return out;
}

void expectImageButtons(bool enabled)
{
    for (QToolButton* b : {MainForm->CloseSB1, MainForm->SaveSB1, MainForm->CopySB1, MainForm->CutSB1,
                           MainForm->TransSB1})
        EXPECT_EQ(b->isEnabled(), enabled) << b->objectName().toStdString();
}

struct StatusCase {
    int width;
    int height;
    const char* size;
    const char* bytes;
};

class MemoStatus : public MemoFixture, public testing::WithParamInterface<StatusCase> {};

TEST_P(MemoStatus, AnOpenedImagePublishesItsNameSizeAndBytesAsSent)
{
    const StatusCase& c = GetParam();
    MemoWindow* memo = open(writeImage(QStringLiteral("picture.bmp"), pattern(c.width, c.height)));
    ASSERT_NE(memo, nullptr);
    EXPECT_EQ(MainForm->namePanel->text(), "picture.bmp");
    EXPECT_EQ(MainForm->sizePanel->text(), QString::fromUtf8(c.size));
    EXPECT_EQ(MainForm->bytesPanel->text(), QString::fromUtf8(c.bytes));
    expectImageButtons(true);
    EXPECT_EQ(memo->ImageWidth, c.width);
    EXPECT_EQ(memo->ImageHeight, c.height);
}

INSTANTIATE_TEST_SUITE_P(Sizes, MemoStatus,
                         testing::Values(StatusCase{100, 50, "画像サイズ(X,Y)=(100,50)", "650Bytes"},
                                         StatusCase{7, 50, "画像サイズ(X,Y)=(7,50)", "50Bytes"},
                                         StatusCase{8, 3, "画像サイズ(X,Y)=(8,3)", "3Bytes"},
                                         StatusCase{17, 9, "画像サイズ(X,Y)=(17,9)", "27Bytes"},
                                         StatusCase{124, 121, "画像サイズ(X,Y)=(124,121)", "1936Bytes"}));

TEST_F(MemoWindowTest, ANewWindowIsEmptyWithItsImageButtonsOffButItsMenusOn)
{
    command("New1");
    MemoWindow* memo = MainForm->activeMemo();
    ASSERT_NE(memo, nullptr);
    EXPECT_EQ(memo->windowTitle(), "EMPTY_1.BMP");
    for (qreal scale : {1.5, 2.0})  // its title-bar picture is drawn for the screen, not enlarged
        EXPECT_EQ(memo->windowIcon().pixmap(QSize(16, 16), scale).size(), QSize(16, 16) * scale) << scale;
    EXPECT_TRUE(memo->FileName.isEmpty());
    EXPECT_FALSE(memo->Modified);
    EXPECT_EQ(memo->ImageWidth, 0);
    EXPECT_EQ(memo->ImageHeight, 0);
    EXPECT_EQ(memo->SelLeft, -1);
    EXPECT_EQ(memo->SelBottom, -1);
    EXPECT_EQ(memo->size(), QSize(542, 173));
    EXPECT_EQ(memo->pos(), QPoint(0, 0));  // wider than the frame's client area, yet its left edge shows
    EXPECT_TRUE(memo->windowFlags() & Qt::MSWindowsFixedSizeDialogHint);
    EXPECT_EQ(memo->minimumSize(), memo->maximumSize());
    expectImageButtons(false);
    EXPECT_EQ(MainForm->namePanel->text(), "NO IMAGE");
    EXPECT_EQ(MainForm->sizePanel->text(), "");
    EXPECT_EQ(MainForm->bytesPanel->text(), "0Bytes");
    for (QAction* a : MainForm->File1->actions())
        EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
}

TEST_F(MemoWindowTest, GeneratedNamesCountTheOpenWindowsAndNeverRepeatAnOpenOne)
{
    for (int i = 0; i < 3; ++i)
        command("New1");
    EXPECT_EQ(captions(), QStringList({"EMPTY_1.BMP", "EMPTY_2.BMP", "EMPTY_3.BMP"}));

    MainForm->MdiArea->setActiveSubWindow(MainForm->memoWindows()[1]);
    command("Close1");
    EXPECT_EQ(captions(), QStringList({"EMPTY_1.BMP", "EMPTY_3.BMP"}));
    command("New1");
    EXPECT_EQ(captions(), QStringList({"EMPTY_1.BMP", "EMPTY_3.BMP", "EMPTY_4.BMP"}));
}

TEST_F(MemoWindowTest, AnOpenedWindowFitsItsImageWithThePictureAtTheTopLeft)
{
    MemoWindow* memo = open(writeImage(QStringLiteral("fit.bmp"), pattern(230, 140)));
    ASSERT_NE(memo, nullptr);
    QCoreApplication::processEvents();
    EXPECT_EQ(memo->clientSize(), QSize(230, 140));
    EXPECT_EQ(QRect(memo->Image1->mapTo(memo, QPoint()), memo->Image1->size()),
              QRect(memo->contentsRect().topLeft(), QSize(230, 140)));
    EXPECT_EQ(memo->windowTitle(), "fit.bmp");
    EXPECT_GE(memo->x(), 0);  // wholly inside the frame's client area
    EXPECT_GE(memo->y(), 0);
    EXPECT_EQ(memo->FileName, path(QStringLiteral("fit.bmp")));
    EXPECT_EQ(memo->minimumSize(), memo->maximumSize());

    // A tiny memo keeps a window wide enough for its caption's buttons, picture at the top-left.
    MemoWindow* tiny = open(writeImage(QStringLiteral("tiny.bmp"), pattern(3, 3)));
    QCoreApplication::processEvents();
    EXPECT_GE(tiny->width(), tiny->minimumSizeHint().width());
    EXPECT_EQ(tiny->clientSize().height(), 3);
    EXPECT_EQ(QRect(tiny->Image1->mapTo(tiny, QPoint()), tiny->Image1->size()),
              QRect(tiny->contentsRect().topLeft(), QSize(3, 3)));
}

// New windows open a memo at least 240 pixels wide unless [General] Zoom= says otherwise; the
// window grows with the zoom up to the frame's client area and scrolls beyond it, while the
// status bar, saving and the picture stay in image pixels.
TEST_F(MemoWindowTest, ZoomShowsLargerPixelsAndKeepsTheImage)
{
    struct Opening {
        int configured, width, zoom;
    };
    for (const Opening o : {Opening{0, 124, 2}, Opening{0, 60, 4}, Opening{0, 45, 6}, Opening{0, 20, 8},
                            Opening{0, 240, 1}, Opening{0, 1000, 1}, Opening{1, 124, 1}, Opening{5, 124, 4}}) {
        MemoWindow::setConfiguredZoom(o.configured);
        EXPECT_EQ(MemoWindow::zoomForPicture(o.width), o.zoom) << o.configured << " " << o.width;
    }

    MemoWindow::setConfiguredZoom(0);
    MainForm->resize(800, 700);
    QCoreApplication::processEvents();
    const QImage picture = pattern(124, 121);
    open(writeImage(QStringLiteral("first.bmp"), pattern(30, 20)));  // the next one cascades below it
    MemoWindow* memo = open(writeImage(QStringLiteral("zoom.bmp"), picture));
    ASSERT_NE(memo, nullptr);
    EXPECT_EQ(memo->zoom(), 2);
    EXPECT_EQ(memo->clientSize(), QSize(248, 242));
    memo->zoomIn();
    EXPECT_EQ(memo->clientSize(), QSize(372, 363));
    EXPECT_EQ(memo->Image1->grab().toImage().pixelColor(3 * 5 + 1, 3 * 5 + 2),
              picture.pixelColor(5, 5));  // a 3 x 3 square for every image pixel

    // At 8x the picture is larger than the frame: the window stops at the frame's client area.
    memo->setZoom(8);
    QCoreApplication::processEvents();
    const QSize room = MainForm->MdiArea->viewport()->size();
    EXPECT_LE(memo->x() + memo->width(), room.width());
    EXPECT_LE(memo->y() + memo->height(), room.height());
    EXPECT_TRUE(memo->scrollArea->horizontalScrollBar()->isVisible());
    EXPECT_TRUE(memo->scrollArea->verticalScrollBar()->isVisible());
    EXPECT_EQ(MainForm->sizePanel->text(), "画像サイズ(X,Y)=(124,121)");
    EXPECT_EQ(MainForm->bytesPanel->text(), "1936Bytes");

    fileAnswers.push_back(path(QStringLiteral("saved.bmp")));
    command("SaveAs1");
    EXPECT_EQ(QImage(path(QStringLiteral("saved.bmp"))).size(), QSize(124, 121));
    memo->actualSize();
    EXPECT_EQ(memo->clientSize(), QSize(124, 121).expandedTo(memo->clientSizeFor(QSize(124, 121))));
}

// [General] Zoom= written by hand, with no other setting, sets the zoom new windows open at.
class ConfiguredZoom : public MemoFixture {
protected:
    void SetUp() override
    {
        ProgramFixture::SetUp();
        home().write("[General]\r\nZoom=3\r\n");
        start();
    }
};

TEST_F(ConfiguredZoom, NewWindowsOpenAtIt)
{
    MemoWindow* memo = open(writeImage(QStringLiteral("small.bmp"), pattern(20, 10)));
    ASSERT_NE(memo, nullptr);
    EXPECT_EQ(memo->zoom(), 3);
}

TEST_F(MemoWindowTest, ClosingOneOfTwoLeavesTheOtherPublishingItsOwnState)
{
    open(writeImage(QStringLiteral("first.bmp"), pattern(40, 20)));
    command("New1");
    command("Close1");
    ASSERT_EQ(MainForm->memoCount(), 1);
    EXPECT_EQ(MainForm->activeMemo()->windowTitle(), "first.bmp");
    EXPECT_EQ(MainForm->namePanel->text(), "first.bmp");
    EXPECT_EQ(MainForm->bytesPanel->text(), "100Bytes");
    expectImageButtons(true);
    command("Close1");
    EXPECT_EQ(MainForm->memoCount(), 0);
    EXPECT_EQ(MainForm->namePanel->text(), "NO IMAGE");
    EXPECT_EQ(MainForm->sizePanel->text(), "");
    EXPECT_EQ(MainForm->bytesPanel->text(), "0Bytes");
    expectImageButtons(false);
}

// Steps: C = refreshAfterActivation (program re-activated), I = imageClicked, A = becameActive.
struct PaletteCase {
    bool hasImage;
    const char* steps;
    const char* realisedAfterEach;  // cumulative count after each step
    bool skipAtEnd;
};

class MemoPalette : public MemoFixture, public testing::WithParamInterface<PaletteCase> {};

TEST_P(MemoPalette, ReactivationSkipsTheNextRealisationOnceAndOnlyWithAnImage)
{
    const PaletteCase& c = GetParam();
    MemoWindow* memo = nullptr;
    if (c.hasImage)
        memo = open(writeImage(QStringLiteral("p.bmp"), pattern(10, 10)));
    else {
        command("New1");
        memo = MainForm->activeMemo();
    }
    ASSERT_NE(memo, nullptr);
    const int base = memo->paletteRealisations();
    QString seen;
    for (const char* s = c.steps; *s; ++s) {
        switch (*s) {
        case 'C': memo->refreshAfterActivation(); break;
        case 'I': memo->imageClicked(); break;
        case 'A': memo->becameActive(); break;
        }
        seen += QString::number(memo->paletteRealisations() - base);
    }
    EXPECT_EQ(seen, QLatin1String(c.realisedAfterEach));
    EXPECT_EQ(memo->SkipPaletteOnce, c.skipAtEnd);
}

INSTANTIATE_TEST_SUITE_P(Rules, MemoPalette,
                         testing::Values(PaletteCase{true, "II", "12", false},
                                         PaletteCase{true, "CII", "112", false},
                                         PaletteCase{true, "CAA", "112", false},
                                         PaletteCase{true, "CC", "12", true},
                                         PaletteCase{false, "CIAI", "0000", true},
                                         PaletteCase{false, "I", "0", false}));

TEST_F(MemoWindowTest, ClickingTheImageRealisesThePaletteAndPublishes)
{
    MemoWindow* memo = open(writeImage(QStringLiteral("click.bmp"), pattern(30, 16)));
    ASSERT_NE(memo, nullptr);
    MainForm->namePanel->clear();
    const int before = memo->paletteRealisations();
    QTest::mouseClick(memo->Image1, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(memo->paletteRealisations(), before + 1);
    EXPECT_EQ(MainForm->namePanel->text(), "click.bmp");
}

// Fixed-size memo windows arranged by 並べて表示 and 重ねて表示: each stays fully inside the
// area; tiled ones do not overlap while they fit, cascaded ones leave every caption in view.
struct ArrangeCase {
    const char* name;
    const char* command;
    int count;
    QSize memo;
};

// Nine 124 x 121 memos do not fit side by side in the frame's area: they overlap, but inside.
bool fitsSideBySide(const ArrangeCase& c)
{
    return c.count * c.memo.width() * c.memo.height() < 100'000;
}

class MemoArrange : public MemoFixture, public testing::WithParamInterface<ArrangeCase> {};

TEST_P(MemoArrange, KeepsEveryWindowInsideAndItsCaptionVisible)
{
    const ArrangeCase& c = GetParam();
    MainForm->resize(520, 378);
    const QString file = writeImage(QStringLiteral("m.bmp"), pattern(c.memo.width(), c.memo.height()));
    for (int i = 0; i < c.count; ++i)
        open(file);
    QCoreApplication::processEvents();
    for (QAction* a : MainForm->Window1->actions())
        if (a->objectName() == QLatin1String(c.command))
            a->trigger();
    QCoreApplication::processEvents();

    const QRect area(QPoint(0, 0), MainForm->MdiArea->viewport()->size());
    const QList<QMdiSubWindow*> stack = MainForm->MdiArea->subWindowList(QMdiArea::StackingOrder);
    ASSERT_EQ(stack.size(), c.count);
    const int caption = stack[0]->contentsMargins().top();
    for (int i = 0; i < stack.size(); ++i) {
        const QRect g = stack[i]->geometry();
        EXPECT_TRUE(area.contains(g)) << i << ": " << g.x() << "," << g.y() << " " << g.width() << "x" << g.height();
        const QRect captionBar(g.topLeft(), QSize(g.width(), caption));
        for (int j = i + 1; j < stack.size(); ++j) {  // windows above it
            if (QLatin1String(c.command) == QLatin1String("Tile1")) {
                if (fitsSideBySide(c)) {
                    EXPECT_FALSE(g.intersects(stack[j]->geometry())) << i << " under " << j;
                }
            } else {
                EXPECT_FALSE(captionBar.intersects(stack[j]->geometry())) << "caption " << i << " under " << j;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, MemoArrange,
                         testing::Values(ArrangeCase{"TileFour", "Tile1", 4, {124, 121}},
                                         ArrangeCase{"TileIntoColumns", "Tile1", 7, {100, 60}},
                                         ArrangeCase{"TileMoreThanFit", "Tile1", 9, {124, 121}},
                                         ArrangeCase{"CascadeThree", "Cascade1", 3, {124, 121}},
                                         ArrangeCase{"CascadeIntoRuns", "Cascade1", 8, {100, 60}}),
                         [](const auto& info) { return std::string(info.param.name); });

// The ｳｨﾝﾄﾞｳ menu lists the memo windows under its commands, with a received memo's device
// title, with a memo window active; choosing one activates it.
TEST_F(MemoWindowTest, TheWindowMenuListsTheMemosAndActivatesTheChosenOne)
{
    MemoWindow* first = open(writeImage(QStringLiteral("a&b.bmp"), pattern(20, 10)));
    first->setDeviceTitle(QStringLiteral("買い物メモ"));
    open(writeImage(QStringLiteral("c.bmp"), pattern(20, 10)));
    for (QMenu* menu : {MainForm->Window1}) {
        for (int round = 0; round < 2; ++round) {  // opened twice: listed once
            emit menu->aboutToShow();
            QStringList texts;
            for (QAction* a : menu->actions())
                texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
            EXPECT_EQ(texts, QStringList({"並べて表示(&T)", "重ねて表示(&C)", "アイコンの整理(&A)", "-",
                                          "&1 a&&b.bmp  買い物メモ", "&2 c.bmp"}));
        }
    }
    EXPECT_EQ(first->toolTip(), "買い物メモ");
    MainForm->Window1->actions().at(4)->trigger();
    EXPECT_EQ(MainForm->activeMemo(), first);
}

}  // namespace
