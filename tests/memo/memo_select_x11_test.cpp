// Region selection on a real X display with a window manager, from Send to the device: while
// armed, a hand on the mouse cannot take the pointer out of the memo window; a drag past the
// window's border goes on giving positions; the confirmed region is what the device stores.
#include "MemoFixture.h"
#include "send/DeviceMemos.h"
#include "support/MemoImages.h"
#include "support/SimProcess.h"
#include "support/WaitFor.h"

#include "app/TitleDialog.h"
#include "transfer/MemoImage.h"

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <xcb/xproto.h>

namespace {

Display* display() { return qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->display(); }

// Waits until the program has handled every X event that was sent to it so far (the pointer
// and buttons xdotool moved): a property changed on WINDOW now comes back as an event after
// all of them.
class HandledSoFar : public QAbstractNativeEventFilter {
public:
    explicit HandledSoFar(WId window) : window_(window)
    {
        Display* dpy = display();
        mark_ = XInternAtom(dpy, "VEXLO_TEST_MARK", False);
        qGuiApp->installNativeEventFilter(this);
        const long serial = ++serial_;
        XChangeProperty(dpy, window_, mark_, XA_INTEGER, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&serial), 1);
        XFlush(dpy);
        (void)QTest::qWaitFor([this] { return back_; }, 5000);
    }
    ~HandledSoFar() override { qGuiApp->removeNativeEventFilter(this); }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override
    {
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if (type == "xcb_generic_event_t" && (event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
            const auto* change = static_cast<const xcb_property_notify_event_t*>(message);
            back_ = back_ || (change->window == window_ && change->atom == mark_);
        }
        return false;
    }

private:
    WId window_;
    Atom mark_ = None;
    bool back_ = false;
    static inline long serial_ = 0;
};

class RegionOnScreen : public MemoFixture {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            GTEST_SKIP() << "needs an X display (test.sh starts Xvfb)";
        qputenv("QT_QPA_PLATFORM", "xcb");
        // A window manager as on a user's desktop; one that already runs keeps the display.
        // It says when it has started by running a command; one that finds another window
        // manager there ends at once.
        const QString started = dir_.path() + QStringLiteral("/wm-started");
        wm_.start(QStringLiteral("openbox"), {QStringLiteral("--startup"), QStringLiteral("touch ") + started});
        eventually([&] { return QFile::exists(started) || wm_.waitForFinished(1); }, 10000);
        // A device that takes memos on "COM1".
        ProgramFixture::SetUp();
        sim_ = std::make_unique<SimProcess>(dir_.path(), QStringList{QStringLiteral("receive"), QStringLiteral("--out"),
                                                                     deviceDir()});
        ASSERT_TRUE(sim_->ready()) << sim_->log().toStdString();
        home().write(sim_->configuration());
        start();
        ASSERT_EQ(QGuiApplication::platformName(), "xcb");
        ASSERT_TRUE(QTest::qWaitForWindowExposed(MainForm));
        // The title dialog is left with 無視.
        auto* titleAnswer = new QTimer(MainForm);
        QObject::connect(titleAnswer, &QTimer::timeout, titleAnswer, [] {
            if (TitleInput1->isVisible())
                TitleInput1->BitBtn3->click();
        });
        titleAnswer->start(10);
    }

    QString deviceDir() const { return dir_.path() + QStringLiteral("/device"); }
    SimProcess& sim() { return *sim_; }

    void TearDown() override
    {
        MemoFixture::TearDown();
        if (wm_.state() != QProcess::NotRunning) {
            wm_.terminate();
            wm_.waitForFinished(5000);
        }
    }

    // Runs xdotool while the program goes on handling its events.
    static void xdotool(const QStringList& args)
    {
        QProcess p;
        p.start(QStringLiteral("xdotool"), args);
        ASSERT_TRUE(p.waitForStarted(5000));
        (void)QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 10000);
        HandledSoFar handled(MainForm->winId());
    }

    // A hand on the mouse: relative motion, one axis at a time.
    static void push(int dx, int dy) { xdotool({QStringLiteral("mousemove_relative"), QStringLiteral("--"), QString::number(dx), QString::number(dy)}); }

    // Where the X server has the pointer.
    static QPoint pointer()
    {
        QProcess p;
        p.start(QStringLiteral("xdotool"), {QStringLiteral("getmouselocation"), QStringLiteral("--shell")});
        p.waitForFinished(5000);
        QPoint at;
        for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1String("X=")))
                at.setX(line.mid(2).toInt());
            if (line.startsWith(QLatin1String("Y=")))
                at.setY(line.mid(2).toInt());
        }
        return at;
    }

    // The picture's visible area.
    static QRect confinement(const MemoWindow* memo) { return VisiblePicture(memo); }

private:
    QProcess wm_;
    QTemporaryDir dir_;
    std::unique_ptr<SimProcess> sim_;
};

TEST_F(RegionOnScreen, ThePointerStaysInTheWindowAndTheDeviceGetsTheConfirmedRegion)
{
    const QImage image = pattern(300, 200);
    MemoWindow* memo = open(writeImage(QStringLiteral("large.bmp"), image));
    ASSERT_NE(memo, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(memo));
    MainForm->send();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, QString::fromUtf16(TooLargeWarning));
    boxes.clear();
    (void)QTest::qWaitFor([&] { return pointer() == confinement(memo).topLeft(); }, 3000);
    const QRect r = confinement(memo);
    EXPECT_EQ(pointer(), r.topLeft());
    EXPECT_EQ(MainForm->sizePanel->text(), QStringLiteral("範囲をドラッグするか矢印キーで選んでください (Enter で決定、Esc で中止)"));

    // Pushed far out each way, the pointer comes to rest on the edge of R.
    struct Push {
        int dx, dy;
        const char* where;
        bool across;  // the push moves along x
        int edge;
    };
    for (const Push& p : {Push{-900, 0, "far left", true, r.left()}, Push{0, -900, "far up", false, r.top()},
                          Push{2000, 0, "far right", true, r.right()},
                          Push{0, 2000, "far down", false, r.bottom()},
                          Push{-2000, 0, "far left again", true, r.left()}}) {
        push(p.dx, p.dy);
        const QPoint at = pointer();
        EXPECT_TRUE(r.contains(at)) << p.where << ": pointer at " << at.x() << "," << at.y() << " outside "
                                    << r.left() << "," << r.top() << " " << r.width() << "x" << r.height();
        EXPECT_EQ(p.across ? at.x() : at.y(), p.edge) << p.where;
    }

    // The pointer now rests on the picture's left edge. Drag from inside the picture out to the
    // left: the pointer is held at the edge, so the band reaches the first column and no
    // further. Then Cancel.
    std::vector<int> leftAtQuestion;
    SetBoxAnswerer([&](const BoxRequest& request) {
        boxes.push_back(request);
        leftAtQuestion.push_back(memo->Image1->band() ? memo->Image1->band()->left() : 9999);
        return boxes.size() == 1 ? BoxAnswer::Cancel : BoxAnswer::Ok;  // then OK, also to Send's questions
    });
    push(0, -r.height() + 40);
    push(60, 0);
    xdotool({QStringLiteral("mousedown"), QStringLiteral("1")});
    push(0, 60);
    push(-2000, 0);  // held at the edge
    EXPECT_TRUE(memo->Image1->band().has_value()) << "the band shows while dragging";
    xdotool({QStringLiteral("mouseup"), QStringLiteral("1")});
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, QStringLiteral("この範囲を転送しますか？"));
    EXPECT_EQ(leftAtQuestion[0], 0);
    EXPECT_EQ(memo->SelLeft, -1);
    EXPECT_FALSE(memo->Image1->band().has_value());

    // Cancelled: armed again, the pointer back at R's top-left corner and held.
    EXPECT_EQ(pointer(), r.topLeft());
    push(0, -500);
    push(-500, 0);
    EXPECT_EQ(pointer(), r.topLeft());

    // A drag inside the picture, confirmed.
    push(40, 0);
    push(0, 30);
    const QPoint start = memo->Image1->mapFromGlobal(pointer());
    xdotool({QStringLiteral("mousedown"), QStringLiteral("1")});
    push(80, 0);
    push(0, 70);
    xdotool({QStringLiteral("mouseup"), QStringLiteral("1")});
    ASSERT_GE(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, QStringLiteral("この範囲を転送しますか？"));
    EXPECT_EQ(memo->SelLeft, start.x());
    EXPECT_EQ(memo->SelTop, start.y());
    EXPECT_EQ(memo->SelRight, start.x() + 80);
    EXPECT_EQ(memo->SelBottom, start.y() + 70);
    EXPECT_FALSE(memo->Image1->band().has_value());

    // Confirmed: Send ran with the region, and the device stored exactly its pixels.
    QStringList texts;
    for (const BoxRequest& b : boxes)
        texts << b.text;
    EXPECT_EQ(texts.mid(2), QStringList({QStringLiteral("送信を行いますか？"), QStringLiteral("正常に送信されました")}));
    EXPECT_EQ(sim().wait(), 0) << sim().log().toStdString();
    const QList<DeviceMemo> memos = StoredMemos(deviceDir());
    ASSERT_EQ(memos.size(), 1);
    EXPECT_EQ(PixelDifference(image.copy(start.x(), start.y(), 81, 71), memos[0].image), QString());

    // The pointer is free.
    push(-2000, 0);
    EXPECT_LT(pointer().x(), r.left());
    EXPECT_EQ(MainForm->sizePanel->text(), "画像サイズ(X,Y)=(300,200)");
}

// A picture larger than the frame: arming grows the frame to the screen, and the window
// manager moves it to keep it there. The pointer is held where the window is once that is
// done, not where it was before.
TEST_F(RegionOnScreen, ThePointerIsHeldWhereTheWindowIsAfterTheFrameGrew)
{
    MainForm->move(300, 300);
    (void)QTest::qWaitFor([] { return MainForm->frameGeometry().topLeft() == QPoint(300, 300); }, 2000);
    QImage image(2000, 1500, QImage::Format_Mono);
    image.fill(1);
    MemoWindow* memo = open(writeImage(QStringLiteral("huge.bmp"), image));
    ASSERT_NE(memo, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(memo));
    const QSize before = MainForm->size();
    MainForm->send();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, QString::fromUtf16(TooLargeWarning));
    EXPECT_TRUE(QTest::qWaitFor([&] { return MainForm->size() != before; }, 3000)) << "the frame grows";
    EXPECT_TRUE(QTest::qWaitFor([&] { return pointer() == confinement(memo).topLeft(); }, 3000))
        << "pointer at " << pointer().x() << "," << pointer().y() << ", window's corner at "
        << confinement(memo).left() << "," << confinement(memo).top();
    push(-2000, 0);
    push(0, -2000);
    EXPECT_EQ(pointer(), confinement(memo).topLeft());
    EXPECT_EQ(confinement(memo).topLeft(), memo->Image1->mapToGlobal(QPoint(0, 0))) << "the picture's corner";

    // A drag from the held corner starts a band at the picture's first pixel.
    xdotool({QStringLiteral("mousedown"), QStringLiteral("1")});
    push(50, 0);
    push(0, 40);
    ASSERT_TRUE(memo->Image1->band().has_value()) << "the press landed on the picture";
    EXPECT_EQ(memo->Image1->band()->topLeft(), QPoint(0, 0));
    QTest::keyClick(memo->Image1, Qt::Key_Escape);
    xdotool({QStringLiteral("mouseup"), QStringLiteral("1")});
}

}  // namespace
