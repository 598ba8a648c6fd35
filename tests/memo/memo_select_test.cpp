// Region selection driven by mouse and keyboard events as a user makes them: the region
// stored for each kind of drag, the confirmation, Cancel arming again, every way out freeing
// the pointer, and a rubber band that never touches the picture.
#include "MemoFixture.h"

#include "app/TitleDialog.h"
#include "gui/CursorClip.h"
#include "transfer/MemoImage.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QMdiArea>
#include <QTest>

#include <functional>
#include <vector>

namespace {

const QString Armed = QStringLiteral("範囲をドラッグするか矢印キーで選んでください (Enter で決定、Esc で中止)");
const QString Question = QStringLiteral("この範囲を転送しますか？");

// One step of the user: press, move or release the left button at (x, y) of the image.
struct Step {
    enum Kind { Press, Move, Release } kind;
    int x;
    int y;
};

struct Region {
    int left, top, right, bottom;
    bool operator==(const Region&) const = default;
};

void PrintTo(const Region& r, std::ostream* os)
{
    *os << "(" << r.left << "," << r.top << ")-(" << r.right << "," << r.bottom << ")";
}

struct DragCase {
    const char* name;
    std::vector<Step> steps;
    BoxAnswer answer;
    const char* status;  // sizePanel while the question is up
    Region stored;       // the region afterwards
    const char* note;    // after the question: what the device gets of a region it cannot take
};

void PrintTo(const DragCase& c, std::ostream* os) { *os << c.name; }

class RegionSelection : public MemoFixture {
protected:
    // The program with a line that cannot be opened: a confirmed region goes through Send up to
    // the port, whose failure box shows that Send ran. The title dialog is left with 無視.
    void SetUp() override
    {
        ProgramFixture::SetUp();
        home().write("[Comm]\r\nPort=/dev/no-such-line\r\n");
        start();
        auto* titleAnswer = new QTimer(MainForm);
        QObject::connect(titleAnswer, &QTimer::timeout, titleAnswer, [this] {
            if (TitleInput1->isVisible()) {
                ++titleDialogs;
                TitleInput1->BitBtn3->click();
            }
        });
        titleAnswer->start(1);
    }

    // Send ran with the region: the conversion passed (the title dialog came), the port failed.
    void expectSendRan(size_t box)
    {
        EXPECT_EQ(titleDialogs, 1);
        EXPECT_FALSE(SkipSizeCheck);
        ASSERT_EQ(boxes.size(), box + 1);
        EXPECT_TRUE(boxes[box].text.startsWith(QStringLiteral("通信ポート /dev/no-such-line を開けません")))
            << boxes[box].text.toStdString();
    }

    int titleDialogs = 0;

    MemoWindow* armed(const QImage& image)
    {
        MemoWindow* memo = open(writeImage(QStringLiteral("large.bmp"), image));
        if (!memo)
            return nullptr;
        SkipSizeCheck = true;  // as the refused Send leaves it
        memo->armRegionSelection();
        return memo;
    }

    static void play(MemoWindow* memo, const std::vector<Step>& steps)
    {
        for (const Step& s : steps) {
            const QPoint at(s.x, s.y);
            switch (s.kind) {
            case Step::Press: QTest::mousePress(memo->Image1, Qt::LeftButton, {}, at); break;
            case Step::Move: QTest::mouseMove(memo->Image1, at); break;
            case Step::Release: QTest::mouseRelease(memo->Image1, Qt::LeftButton, {}, at); break;
            }
        }
    }

    static Region regionOf(const MemoWindow* memo)
    {
        return {memo->SelLeft, memo->SelTop, memo->SelRight, memo->SelBottom};
    }

    // The rectangle the pointer is held in: the picture's visible area; right and bottom
    // exclusive.
    static platform::ClipRect windowRect(const MemoWindow* memo)
    {
        const QRect r = VisiblePicture(memo);
        return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
    }
};

class RegionDrag : public RegionSelection, public testing::WithParamInterface<DragCase> {};

TEST_P(RegionDrag, StoresTheDraggedRegionOnOkAndArmsAgainOnCancel)
{
    const DragCase& c = GetParam();
    MemoWindow* memo = armed(pattern(1300, 200));
    ASSERT_NE(memo, nullptr);
    const platform::ClipRect r = windowRect(memo);
    EXPECT_EQ(platform::GetClipCursor(), r);
    EXPECT_EQ(QCursor::pos(), QPoint(r.left, r.top));
    EXPECT_EQ(MainForm->sizePanel->text(), Armed);

    struct AtQuestion {
        QString status;
        std::optional<QRect> band;
        bool confined;
    };
    std::vector<AtQuestion> seen;
    SetBoxAnswerer([&](const BoxRequest& request) {
        boxes.push_back(request);
        seen.push_back({MainForm->sizePanel->text(), memo->Image1->band(), platform::CursorConfined()});
        return c.answer;
    });
    play(memo, c.steps);

    ASSERT_GE(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, BoxKind::Confirmation);
    EXPECT_EQ(boxes[0].text, *c.note ? Question + QStringLiteral("\n\n") + QString::fromUtf8(c.note) : Question);
    EXPECT_EQ(boxes[0].buttons, BoxButtons::OkCancel);
    EXPECT_EQ(seen[0].status, QString::fromUtf8(c.status));
    EXPECT_FALSE(seen[0].confined) << "the pointer is free while the question is up";
    ASSERT_TRUE(seen[0].band.has_value()) << "the band stays while the question is up";

    EXPECT_EQ(regionOf(memo), c.stored);
    EXPECT_FALSE(memo->Dragging);
    EXPECT_FALSE(memo->Image1->band().has_value());
    if (c.answer == BoxAnswer::Ok) {
        EXPECT_FALSE(memo->SelectMode);
        EXPECT_FALSE(platform::CursorConfined());
        EXPECT_EQ(MainForm->sizePanel->text(), "画像サイズ(X,Y)=(1300,200)");
        expectSendRan(1);
    } else {
        EXPECT_EQ(boxes.size(), 1u);
        EXPECT_EQ(titleDialogs, 0);
        EXPECT_TRUE(memo->SelectMode);
        EXPECT_EQ(platform::GetClipCursor(), windowRect(memo));
        EXPECT_EQ(QCursor::pos(), QPoint(windowRect(memo).left, windowRect(memo).top));
        EXPECT_EQ(MainForm->sizePanel->text(), Armed);
        // Armed again: the next drag is taken.
        SetBoxAnswerer([&](const BoxRequest& request) {
            boxes.push_back(request);
            return BoxAnswer::Ok;
        });
        play(memo, {{Step::Press, 5, 6}, {Step::Move, 7, 9}, {Step::Release, 8, 9}});
        EXPECT_EQ(regionOf(memo), (Region{5, 6, 8, 9}));
        EXPECT_FALSE(platform::CursorConfined());
        expectSendRan(2);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegionDrag,
    testing::Values(
        DragCase{"AClickIsOnePixel", {{Step::Press, 10, 20}, {Step::Release, 10, 20}}, BoxAnswer::Ok,
                 "選択範囲(X,Y)=(1,1)", {10, 20, 10, 20}, ""},
        DragCase{"UpAndLeftGivesTheSameRegion",
                 {{Step::Press, 250, 150}, {Step::Move, 100, 100}, {Step::Move, 40, 30}, {Step::Release, 40, 30}},
                 BoxAnswer::Ok, "選択範囲(X,Y)=(211,121)", {40, 30, 250, 150},
                 "範囲 (211×121) は本体が受け取れる 124×121 より大きいため、その中央の 124×121 を送ります。"},
        DragCase{"ReleasedAwayFromTheLastMove",
                 {{Step::Press, 40, 30}, {Step::Move, 60, 60}, {Step::Release, 250, 150}}, BoxAnswer::Ok,
                 "選択範囲(X,Y)=(211,121)", {40, 30, 250, 150},
                 "範囲 (211×121) は本体が受け取れる 124×121 より大きいため、その中央の 124×121 を送ります。"},
        DragCase{"TwelveHundredWideKeepsAThousandColumns",
                 {{Step::Press, 20, 5}, {Step::Move, 600, 8}, {Step::Release, 1220, 10}}, BoxAnswer::Ok,
                 "選択範囲(X,Y)=(1201,6)", {20, 5, 1019, 10},
                 "範囲 (1000×6) は本体が受け取れる 124×121 より大きいため、その中央の 124×6 を送ります。"},
        DragCase{"ExactlyAThousandApartKeepsBothEnds",
                 {{Step::Press, 1100, 5}, {Step::Move, 100, 9}, {Step::Release, 100, 9}}, BoxAnswer::Ok,
                 "選択範囲(X,Y)=(1001,5)", {100, 5, 1100, 9},
                 "範囲 (1001×5) は本体が受け取れる 124×121 より大きいため、その中央の 124×5 を送ります。"},
        DragCase{"OneMoreColumnIsCut", {{Step::Press, 100, 5}, {Step::Release, 1101, 5}}, BoxAnswer::Ok,
                 "選択範囲(X,Y)=(1002,1)", {100, 5, 1099, 5},
                 "範囲 (1000×1) は本体が受け取れる 124×121 より大きいため、その中央の 124×1 を送ります。"},
        DragCase{"OffTheLeftEdgeGoesNegative",
                 {{Step::Press, 30, 40}, {Step::Move, -3, 50}, {Step::Move, -15, 60}, {Step::Release, -15, 60}},
                 BoxAnswer::Ok, "選択範囲(X,Y)=(46,21)", {-15, 40, 30, 60},
                 "範囲が画像の左にはみ出しているため、画像全体 (1300×200) の中央の 124×121 を送ります。"},
        DragCase{"CancelKeepsNoRegionAndArmsAgain",
                 {{Step::Press, 30, 40}, {Step::Move, 80, 90}, {Step::Release, 80, 90}}, BoxAnswer::Cancel,
                 "選択範囲(X,Y)=(51,51)", {-1, -1, -1, -1}, ""}),
    [](const testing::TestParamInfo<DragCase>& info) { return info.param.name; });

// The keyboard alone chooses a region: the first key shows a band as large as the device takes
// at the top-left corner, the arrows move it, Shift resizes, Ctrl takes ten steps at once, the
// band never leaves the picture, and Enter asks about it as a release does.
struct KeyPress {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
    int times = 1;
};

struct KeyCase {
    const char* name;
    QSize picture;
    std::vector<KeyPress> keys;
    const char* status;  // sizePanel while the question is up
    Region stored;
};

void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.name; }

class RegionKeys : public RegionSelection, public testing::WithParamInterface<KeyCase> {};

TEST_P(RegionKeys, ChooseAndSendARegionWithoutTheMouse)
{
    const KeyCase& c = GetParam();
    MemoWindow* memo = armed(pattern(c.picture.width(), c.picture.height()));
    ASSERT_NE(memo, nullptr);
    std::vector<std::optional<QRect>> bands;
    SetBoxAnswerer([&](const BoxRequest& request) {
        boxes.push_back(request);
        bands.push_back(memo->Image1->band());
        return BoxAnswer::Ok;
    });
    QString statusAtQuestion;
    for (const KeyPress& k : c.keys)
        for (int i = 0; i < k.times; ++i) {
            if (k.key == Qt::Key_Return)
                statusAtQuestion = MainForm->sizePanel->text();
            QTest::keyClick(MainForm, k.key, k.modifiers);
        }
    ASSERT_GE(bands.size(), 1u) << "a question at the last Enter";
    EXPECT_TRUE(boxes[0].text.startsWith(Question));
    EXPECT_EQ(statusAtQuestion, QString::fromUtf8(c.status));
    EXPECT_EQ(bands[0], QRect(QPoint(c.stored.left, c.stored.top), QPoint(c.stored.right, c.stored.bottom)));
    EXPECT_EQ(regionOf(memo), c.stored);
    EXPECT_FALSE(memo->SelectMode);
    expectSendRan(1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegionKeys,
    testing::Values(
        KeyCase{"TheFirstEnterShowsTheBandTheSecondSendsIt", {300, 200}, {{Qt::Key_Return, {}, 2}},
                "選択範囲(X,Y)=(124,121)", {0, 0, 123, 120}},
        KeyCase{"ArrowsMoveByOneCtrlByTen", {300, 200},
                {{Qt::Key_Right}, {Qt::Key_Right, {}, 2}, {Qt::Key_Down, Qt::ControlModifier}, {Qt::Key_Return}},
                "選択範囲(X,Y)=(124,121)", {2, 10, 125, 130}},
        KeyCase{"ShiftResizesFromTheFarCorner", {300, 200},
                {{Qt::Key_Down}, {Qt::Key_Left, Qt::ShiftModifier, 4},
                 {Qt::Key_Up, Qt::ShiftModifier | Qt::ControlModifier}, {Qt::Key_Return}},
                "選択範囲(X,Y)=(120,111)", {0, 0, 119, 110}},
        KeyCase{"TheBandStaysOnThePicture", {300, 200},
                {{Qt::Key_Left}, {Qt::Key_Left}, {Qt::Key_Up}, {Qt::Key_Right, Qt::ControlModifier, 30},
                 {Qt::Key_Right, Qt::ShiftModifier}, {Qt::Key_Down, Qt::ControlModifier, 30}, {Qt::Key_Return}},
                "選択範囲(X,Y)=(124,121)", {176, 79, 299, 199}},
        KeyCase{"NoLargerThanAFlatPicture", {1300, 60}, {{Qt::Key_Return, {}, 2}}, "選択範囲(X,Y)=(124,60)",
                {0, 0, 123, 59}},
        KeyCase{"ShrinksToOnePixelAndNoFurther", {300, 200},
                {{Qt::Key_Right}, {Qt::Key_Left, Qt::ShiftModifier | Qt::ControlModifier, 20},
                 {Qt::Key_Up, Qt::ShiftModifier | Qt::ControlModifier, 20}, {Qt::Key_Return}},
                "選択範囲(X,Y)=(1,1)", {0, 0, 0, 0}}),
    [](const testing::TestParamInfo<KeyCase>& info) { return info.param.name; });

// Every way out of an armed selection or a drag frees the pointer, removes the band and
// sends nothing.
struct WayOut {
    const char* name;
    bool dragging;  // ended in the middle of a drag rather than while armed
    std::function<void(MemoWindow*)> leave;
    size_t boxes = 0;  // an exchange that starts meets the line that cannot be opened
    const char16_t* box = u"通信ポート";  // how each of those boxes begins
};

void PrintTo(const WayOut& c, std::ostream* os) { *os << c.name; }

class RegionWayOut : public RegionSelection, public testing::WithParamInterface<WayOut> {};

TEST_P(RegionWayOut, FreesThePointerAndStoresNoRegion)
{
    const WayOut& c = GetParam();
    MemoWindow* other = open(writeImage(QStringLiteral("other.bmp"), pattern(40, 30)));
    ASSERT_NE(other, nullptr);
    QPointer<MemoWindow> memo = armed(pattern(300, 200));
    ASSERT_NE(memo, nullptr);
    if (c.dragging)
        play(memo, {{Step::Press, 10, 10}, {Step::Move, 50, 60}});
    ASSERT_TRUE(platform::CursorConfined());

    c.leave(memo);
    QCoreApplication::processEvents();
    flushDeletes();
    EXPECT_FALSE(platform::CursorConfined());
    EXPECT_EQ(platform::GetClipCursor(), SavedClipRect());
    if (memo) {
        EXPECT_FALSE(memo->SelectMode);
        EXPECT_FALSE(memo->Dragging);
        EXPECT_FALSE(memo->Image1->band().has_value());
        // A release still to come ends no drag.
        if (c.dragging)
            QTest::mouseRelease(memo->Image1, Qt::LeftButton, {}, QPoint(50, 60));
        EXPECT_EQ(memo->SelLeft, -1);
    }
    if (memo && MainForm->activeMemo() == memo) {
        EXPECT_EQ(MainForm->sizePanel->text(), "画像サイズ(X,Y)=(300,200)");
    }
    EXPECT_NE(MainForm->sizePanel->text(), Armed);
    EXPECT_EQ(boxes.size(), c.boxes);
    for (const BoxRequest& b : boxes)
        EXPECT_TRUE(b.text.startsWith(QString::fromUtf16(c.box))) << b.text.toStdString();
    EXPECT_FALSE(SkipSizeCheck) << "the next Send warns again instead of sending the middle";
}

INSTANTIATE_TEST_SUITE_P(
    Ways, RegionWayOut,
    testing::Values(
        WayOut{"EscapeWhileArmed", false, [](MemoWindow* m) { QTest::keyClick(m->Image1, Qt::Key_Escape); }},
        WayOut{"EscapeWhileDragging", true, [](MemoWindow* m) { QTest::keyClick(m->Image1, Qt::Key_Escape); }},
        WayOut{"Minimised", false, [](MemoWindow* m) { m->showMinimized(); }},
        WayOut{"AnotherWindowActivated", true,
               [](MemoWindow*) { MainForm->MdiArea->activatePreviousSubWindow(); }},
        WayOut{"TheFrameLosesTheFocus", false,
               [](MemoWindow*) {
                   auto* elsewhere = new QWidget(MainForm, Qt::Window);
                   elsewhere->show();
                   elsewhere->activateWindow();
                   EXPECT_TRUE(QTest::qWaitForWindowActive(elsewhere));
               }},
        WayOut{"Closed", false, [](MemoWindow* m) { m->close(); }},
        WayOut{"ClosedByTheCommand", true, [](MemoWindow*) { MainForm->closeWindow(); }},
        WayOut{"AReceiveStarts", true, [](MemoWindow*) { MainForm->receive(); }, 1},
        // That Send finds the size check on again: it warns and arms anew, and Escape ends that.
        WayOut{"ASendStarts", false,
               [](MemoWindow* m) {
                   MainForm->send();
                   EXPECT_TRUE(m->SelectMode);
                   QTest::keyClick(m->Image1, Qt::Key_Escape);
               },
               1, TooLargeWarning}),
    [](const testing::TestParamInfo<WayOut>& info) { return info.param.name; });

TEST_F(RegionSelection, TheBandInvertsItsOutlineOnTheScreenAndNeverTouchesThePicture)
{
    const QImage image = pattern(300, 200);
    MemoWindow* memo = armed(image);
    ASSERT_NE(memo, nullptr);
    const QImage before = memo->Image1->picture();

    auto expectShown = [&](const QRect& band, const char* when) {
        const QImage shown = memo->Image1->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QImage picture = memo->Image1->picture().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(shown.size(), picture.size()) << when;
        int wrong = 0;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x) {
                const bool onOutline = band.contains(x, y) && !band.adjusted(1, 1, -1, -1).contains(x, y);
                const QRgb p = picture.pixel(x, y) & 0xffffff;
                const QRgb expected = onOutline ? (~p & 0xffffff) : p;
                wrong += (shown.pixel(x, y) & 0xffffff) != expected ? 1 : 0;
            }
        EXPECT_EQ(wrong, 0) << when;
        EXPECT_EQ(memo->Image1->picture(), before) << when;
    };

    play(memo, {{Step::Press, 50, 40}, {Step::Move, 120, 90}});
    expectShown(QRect(QPoint(50, 40), QPoint(120, 90)), "first band");
    play(memo, {{Step::Move, 20, 60}});
    expectShown(QRect(QPoint(20, 40), QPoint(50, 60)), "the band moved left");
    answers.push_back(BoxAnswer::Cancel);
    play(memo, {{Step::Release, 20, 60}});
    expectShown(QRect(), "after Cancel");
}

// At 4x a drag selects exactly the image pixels under it: a press inside the square of pixel
// (10, 20) and a release inside the square of (49, 39) send those pixels and no others; the
// band's outline covers whole squares.
TEST_F(RegionSelection, AtFourTimesADragSendsTheImagePixelsUnderIt)
{
    const QImage image = pattern(200, 150);
    MemoWindow* memo = armed(image);
    ASSERT_NE(memo, nullptr);
    memo->setZoom(4);
    memo->armRegionSelection();  // the pointer held in the window's new rectangle

    QImage shown;
    SetBoxAnswerer([&](const BoxRequest& request) {
        boxes.push_back(request);
        if (boxes.size() == 1)
            shown = memo->Image1->grab().toImage().convertToFormat(QImage::Format_RGB32);
        return BoxAnswer::Ok;
    });
    play(memo, {{Step::Press, 4 * 10 + 3, 4 * 20 + 1}, {Step::Move, 4 * 30, 4 * 30}, {Step::Release, 4 * 49 + 2, 4 * 39 + 3}});
    ASSERT_GE(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, Question);
    EXPECT_EQ(regionOf(memo), (Region{10, 20, 49, 39}));
    expectSendRan(1);

    // The band: the squares of the outline's pixels inverted, nothing else.
    const QRgb inside = shown.pixel(4 * 20 + 1, 4 * 30 + 1) & 0xffffff;
    EXPECT_EQ(inside, image.pixel(20, 30) & 0xffffff);
    for (const QPoint corner : {QPoint(4 * 10, 4 * 20), QPoint(4 * 49 + 3, 4 * 39 + 3), QPoint(4 * 10 + 3, 4 * 39)})
        EXPECT_EQ(shown.pixel(corner) & 0xffffff, ~image.pixel(corner.x() / 4, corner.y() / 4) & 0xffffff)
            << corner.x() << "," << corner.y();

    // What Send makes of the stored region: the pixels (10, 20) ... (49, 39) of the picture.
    TMemoPicture pic;
    pic.Image = memo->Image1->picture();
    pic.ImageWidth = memo->ImageWidth;
    pic.ImageHeight = memo->ImageHeight;
    pic.SelLeft = memo->SelLeft;
    pic.SelTop = memo->SelTop;
    pic.SelRight = memo->SelRight;
    pic.SelBottom = memo->SelBottom;
    SkipSizeCheck = true;
    TTransferBitmap bits;
    ASSERT_EQ(ConvPixToBitmap(pic, bits), ConvResult::Converted);
    ASSERT_EQ(bits.Width, 40);
    ASSERT_EQ(bits.Height, 20);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x) {
            const bool black = bits.Bits[size_t(y * RowByteCount(40) + x / 8)] & (0x80 >> (x % 8));
            EXPECT_EQ(black, image.pixel(10 + x, 20 + y) != qRgb(255, 255, 255)) << x << "," << y;
        }
}

}  // namespace
