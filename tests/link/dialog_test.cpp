// The connection status dialog as the host of exchanges (offscreen).
#include "LinkFixture.h"

#include "app/ConnectionStatusDialog.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>

namespace {

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "link_dialog_tests";
        static char* argv[] = {name, nullptr};
        static QApplication* app = new QApplication(argc, argv);
        (void)app;
        dialog_ = std::make_unique<ConnectionStatusDialog>();
        ASSERT_EQ(ExchangeHost(), dialog_.get());
        SetLine(link_, pty_.slavePath);
        ASSERT_TRUE(OpenLink(link_));
    }
    void TearDown() override
    {
        UnhookStep();
        ClosePort(link_);
    }

    std::unique_ptr<ConnectionStatusDialog> dialog_;
    PtyPair pty_;
    TCommLink link_;
};

TEST_F(DialogTest, ControlsAreFoundByName)
{
    ConnectionStatusDialog& d = *dialog_;
    EXPECT_EQ(d.windowTitle(), QStringLiteral("通信ステータス"));
    EXPECT_EQ(d.size(), QSize(188, 100));
    auto* label = d.findChild<QLabel*>("Label1");
    auto* button = d.findChild<QPushButton*>("BitBtn1");
    auto* timer = d.findChild<QTimer*>("Timer1");
    ASSERT_TRUE(label && button && timer && d.findChild<QWidget*>("Panel1"));
    EXPECT_EQ(label->parentWidget()->objectName(), "Panel1");
    EXPECT_EQ(label->text(), QStringLiteral("     接続中です"));
    EXPECT_EQ(button->text(), QStringLiteral("ｷｬﾝｾﾙ"));
    dialog_->SetStatusText(QStringLiteral("受信中です:12"));
    EXPECT_EQ(label->text(), QStringLiteral("受信中です:12"));
    EXPECT_GE(label->width(), label->sizeHint().width()) << "a longer text is not cut";
    EXPECT_TRUE(timer->isSingleShot()) << "it fires at the ticks that are waited for, not every 5 ms";
    EXPECT_FALSE(timer->isActive()) << "the settle wait of OpenLink stops it";
}

TEST_F(DialogTest, EveryShowingStartsWithTheResultFalse)
{
    for (int showing = 0; showing < 3; ++showing) {
        SetExchangeResult(true);  // as a successful exchange leaves it
        bool seen = true;
        QTimer::singleShot(0, [&] {
            seen = ExchangeResult();
            dialog_->Close();
        });
        dialog_->Run();
        EXPECT_FALSE(seen) << "showing " << showing;
    }
}

std::atomic<int> bytesTaken{0};

void CountingStep(TCommLink& link, bool& done)
{
    done = false;
    SetExchangeResult(true);  // as a receive past its opening has it
    if (ReadByte(link) >= 0)
        ++bytesTaken;
}

class DialogCancelTest : public DialogTest, public ::testing::WithParamInterface<bool> {};

TEST_P(DialogCancelTest, CancelAndEscapeEndTheExchangeAndNoStepRunsAfterIt)
{
    std::atomic<bool> stop{false};
    std::thread device([&] {
        while (!stop) {
            pty_.send("x");
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    bytesTaken = 0;
    HookStep(CountingStep, link_);
    QTimer::singleShot(100, [&] {
        if (GetParam()) {
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(QApplication::focusWidget() ? QApplication::focusWidget()
                                                                : dialog_.get(), &escape);
        } else {
            dialog_->BitBtn1->click();
        }
    });
    dialog_->Run();
    EXPECT_FALSE(ExchangeResult());
    EXPECT_EQ(HookedStep(), nullptr);
    EXPECT_FALSE(dialog_->isVisible());
    const int taken = bytesTaken;
    EXPECT_GT(taken, 0);
    for (int i = 0; i < 20; ++i) {  // bytes keep coming, events keep being handled
        QApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    stop = true;
    device.join();
    EXPECT_EQ(bytesTaken, taken);
}

INSTANTIATE_TEST_SUITE_P(Ways, DialogCancelTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Escape" : "Button"; });

// Enter pressed by habit while records go out must not end the transfer.
class DialogKeyTest : public DialogTest, public ::testing::WithParamInterface<Qt::Key> {};

TEST_P(DialogKeyTest, DoesNotPressCancel)
{
    HookStep(CountingStep, link_);
    QTimer::singleShot(50, [&] {
        QKeyEvent press(QEvent::KeyPress, GetParam(), Qt::NoModifier);
        QKeyEvent release(QEvent::KeyRelease, GetParam(), Qt::NoModifier);
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : dialog_.get();
        QApplication::sendEvent(target, &press);
        QApplication::sendEvent(target, &release);
    });
    QTimer::singleShot(150, [&] { dialog_->close(); });
    dialog_->Run();
    EXPECT_TRUE(ExchangeResult());
    EXPECT_EQ(HookedStep(), &CountingStep);
}

INSTANTIATE_TEST_SUITE_P(Keys, DialogKeyTest, ::testing::Values(Qt::Key_Return, Qt::Key_Space),
                         [](const auto& info) { return info.param == Qt::Key_Return ? "Return" : "Space"; });

TEST_F(DialogTest, ClosingFromTheTitleBarLeavesTheResultAndTheHook)
{
    HookStep(CountingStep, link_);
    QTimer::singleShot(50, [&] { dialog_->close(); });
    dialog_->Run();
    EXPECT_TRUE(ExchangeResult());
    EXPECT_EQ(HookedStep(), &CountingStep) << "the exchange empties the hook itself";
}

}  // namespace
