// The connection status dialog as the host of exchanges (offscreen).
#include "PtyPair.h"
#include "TestExchange.h"

#include "link/Comenote.h"
#include "link/Connect.h"

#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

QApplication& GuiApplication()
{
    static int argc = 1;
    static char name[] = "link_dialog_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GuiApplication();
        dialog_ = std::make_unique<TConnect1>();
        ASSERT_EQ(ExchangeHost(), dialog_.get());
        ASSERT_TRUE(pty_.ok());
        link_.PortName = pty_.slavePath();
        link_.Speed = 9600;
        link_.WordLen = 8;
    }
    void TearDown() override
    {
        UnhookStep();
        ClosePort(link_);
        dialog_.reset();
    }

    std::unique_ptr<TConnect1> dialog_;
    PtyPair pty_;
    TCommLink link_;
};

TEST_F(DialogTest, ControlsAreLaidOutAndNamed)
{
    TConnect1& d = *dialog_;
    EXPECT_EQ(d.objectName(), "Connect1");
    EXPECT_EQ(d.windowTitle(), QStringLiteral("通信ステータス"));
    EXPECT_EQ(d.size(), QSize(188, 100));
    auto* panel = d.findChild<QFrame*>("Panel1");
    auto* label = d.findChild<QLabel*>("Label1");
    auto* button = d.findChild<QPushButton*>("BitBtn1");
    auto* timer = d.findChild<QTimer*>("Timer1");
    ASSERT_TRUE(panel && label && button && timer);
    EXPECT_EQ(panel->geometry(), QRect(14, 7, 165, 37));
    EXPECT_EQ(label->parentWidget(), panel);
    EXPECT_EQ(label->text(), QStringLiteral("     接続中です"));
    EXPECT_EQ(button->text(), QStringLiteral("ｷｬﾝｾﾙ"));
    EXPECT_EQ(button->geometry(), QRect(57, 57, 79, 29));
    EXPECT_FALSE(button->icon().isNull());
    EXPECT_EQ(timer->interval(), 5);
    EXPECT_FALSE(timer->isActive());
}

TEST_F(DialogTest, EveryShowingStartsWithExchangeOkFalse)
{
    for (int showing = 0; showing < 3; ++showing) {
        ExchangeOk = true;  // as a successful exchange leaves it
        bool seen = true;
        QTimer::singleShot(0, [&] {
            seen = ExchangeOk;
            dialog_->Close();
        });
        dialog_->Run();
        EXPECT_FALSE(seen) << "showing " << showing;
        EXPECT_FALSE(dialog_->isVisible());
    }
}

// Reads whatever the device sends, one byte a call, counting the bytes.
std::atomic<int> bytesTaken{0};
void CountingStep(TCommLink& link, bool& done)
{
    done = false;
    if (ReadByte(link) >= 0)
        ++bytesTaken;
}

enum class CancelBy { Button, Escape };

class DialogCancelTest : public DialogTest, public ::testing::WithParamInterface<CancelBy> {};

TEST_P(DialogCancelTest, CancelEndsTheExchangeAndNoStepRunsAfterIt)
{
    ASSERT_TRUE(OpenLink(link_));
    std::atomic<bool> stop{false};
    std::thread device([&] {
        while (!stop) {
            pty_.send("x");
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    bytesTaken = 0;
    ExchangeOk = true;
    HookStep(CountingStep, link_);
    QTimer::singleShot(100, [&] {
        ExchangeOk = true;  // as a receive past its opening has it
        if (GetParam() == CancelBy::Button) {
            dialog_->BitBtn1->click();
        } else {
            QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget()
                                                          : dialog_.get();
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(target, &press);
        }
    });
    dialog_->Run();
    EXPECT_FALSE(ExchangeOk);
    EXPECT_EQ(HookedStep(), nullptr);
    EXPECT_FALSE(dialog_->isVisible());
    const int taken = bytesTaken;
    EXPECT_GT(taken, 0);
    // Bytes keep coming and events keep being handled, yet nothing reads them any more.
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    stop = true;
    device.join();
    EXPECT_EQ(bytesTaken, taken);
}

INSTANTIATE_TEST_SUITE_P(Ways, DialogCancelTest,
                         ::testing::Values(CancelBy::Button, CancelBy::Escape),
                         [](const auto& info) {
                             return info.param == CancelBy::Button ? "Button" : "Escape";
                         });

void SucceedOnceStep(TCommLink&, bool& done)
{
    done = false;
    ExchangeOk = true;
}

TEST_F(DialogTest, ClosingFromTheTitleBarLeavesExchangeOkAndTheHook)
{
    ASSERT_TRUE(OpenLink(link_));
    HookStep(SucceedOnceStep, link_);
    QTimer::singleShot(50, [&] { dialog_->close(); });
    dialog_->Run();
    EXPECT_TRUE(ExchangeOk);
    EXPECT_EQ(HookedStep(), &SucceedOnceStep) << "the exchange empties the hook itself";
}

TEST_F(DialogTest, RunsAWholeExchangeAndShowsItsStatus)
{
    std::string answer;
    QString statusWhileUp;
    ASSERT_TRUE(OpenLink(link_));
    std::thread device([&] {
        pty_.send("\r\n");
        answer = pty_.receive(1);
        pty_.send("5a");
    });
    QTimer::singleShot(0, [&] { statusWhileUp = dialog_->Label1->text(); });
    // Waits (a test synchronisation, not a measurement) until the pair has been read.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!CurrentTestExchange().values.empty()) {
            statusWhileUp = dialog_->Label1->text();
            pty_.send("FF");
            poll.stop();
        }
    });
    poll.start(5);
    const bool ok = RunOpenedTestExchange(link_);
    device.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(answer, "\x11");
    EXPECT_EQ(CurrentTestExchange().values, std::vector<int>{0x5A});
    EXPECT_EQ(statusWhileUp, QStringLiteral("受信中です"));
    EXPECT_FALSE(dialog_->Timer1->isActive());
}

}  // namespace
