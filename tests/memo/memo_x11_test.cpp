// On a real X display: a memo opened from a BMP, saved under a new name, closed and opened
// again shows the same pixels on the screen, at their natural size.
#include "MemoFixture.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTest>

namespace {

class MemoOnScreen : public MemoFixture {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            GTEST_SKIP() << "needs an X display (test.sh starts Xvfb)";
        qputenv("QT_QPA_PLATFORM", "xcb");
        MemoFixture::SetUp();
        ASSERT_EQ(QGuiApplication::platformName(), "xcb");
        ASSERT_TRUE(QTest::qWaitForWindowExposed(MainForm));
    }

    // What the screen shows where the memo window's image area is.
    static QImage onScreen(MemoWindow* memo)
    {
        const QPoint origin = memo->Image1->mapToGlobal(QPoint(0, 0));
        const QSize size = memo->Image1->picture().size();
        const auto grab = [&] {
            return QGuiApplication::primaryScreen()
                ->grabWindow(0, origin.x(), origin.y(), size.width(), size.height())
                .toImage();
        };
        // The window reaches the screen a moment after it was exposed: wait until the screen
        // shows what the image area paints.
        const QString painted = bitsOf(memo->Image1->grab(QRect(QPoint(0, 0), size)).toImage());
        QImage shown;
        (void)QTest::qWaitFor([&] { return bitsOf(shown = grab()) == painted; }, 5000);
        return shown;
    }
};

TEST_F(MemoOnScreen, SavedUnderANewNameAndReopenedShowsTheSamePixels)
{
    const QImage image = pattern(150, 80);
    MemoWindow* memo = open(writeImage(QStringLiteral("screen.bmp"), image));
    ASSERT_NE(memo, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(memo));
    EXPECT_EQ(bitsOf(onScreen(memo)), bitsOf(image));

    fileAnswers.push_back(path(QStringLiteral("renamed.bmp")));
    command("SaveAs1");
    EXPECT_EQ(memo->windowTitle(), "renamed.bmp");
    command("Close1");
    ASSERT_EQ(MainForm->memoCount(), 0);

    MemoWindow* again = open(path(QStringLiteral("renamed.bmp")));
    ASSERT_NE(again, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(again));
    EXPECT_EQ(again->clientSize(), again->clientSizeFor(image.size()));
    EXPECT_EQ(bitsOf(onScreen(again)), bitsOf(image));
    EXPECT_TRUE(boxes.empty());
}

}  // namespace
