// The idle driver and the console host running exchanges over a pseudo-terminal pair.
#include "LinkFixture.h"
#include "TestExchange.h"

#include "platform/IdleDriver.h"

#include <QTimer>

#include <csignal>
#include <thread>

namespace {

using Driver = platform::IdleDriver;

// The device side of the test exchange: opening, answer check, then the given pairs.
void playDevice(const PtyPair& pty, const std::string& pairs, std::string* answer)
{
    pty.send("xx\r?\r\n");  // noise before and between the opening bytes
    *answer = pty.receive(1);
    pty.send(pairs);
}

TEST_F(LinkTest, ConsoleHostRunsAWholeExchange)
{
    std::string answer;
    ASSERT_TRUE(OpenLink(link_));
    std::thread device(playDevice, std::cref(pty_), "\r\n:0a1B\nc3ff", &answer);
    const bool ok = RunOpenedTestExchange(link_);
    device.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(answer, "\x11");
    // "\r\n:0" is read in pairs after the data phase starts: "\r\n", ":0", "a1", "B\n", "c3".
    EXPECT_EQ(CurrentTestExchange().values, (std::vector<int>{0, 0, 0xA1, 0xB0, 0xC3}));
    EXPECT_EQ(statusOutput(), "接続中です...\n受信中です\n");
    EXPECT_FALSE(LinkInUse());
    EXPECT_EQ(HookedStep(), nullptr);
}

// A step that waits for something that never comes and counts its calls.
int waitingCalls = 0;
void WaitForeverStep(TCommLink& link, bool& done)
{
    done = false;
    ++waitingCalls;
    (void)ReadHexByte(link);
}

// Runs the host with WaitForeverStep hooked until FINISH is called from a timer after MS.
void runWaiting(TCommLink& link, int ms)
{
    waitingCalls = 0;
    HookStep(WaitForeverStep, link);
    QTimer::singleShot(ms, [] {
        CancelExchange();
        CloseExchangeHost();
    });
    RunExchangeHost();
}

TEST_F(LinkTest, ASilentLineDoesNotCallTheStepOverAndOver)
{
    ASSERT_TRUE(OpenLink(link_));
    runWaiting(link_, 300);
    // Busy polling would have made hundreds of thousands of calls in that time.
    EXPECT_LE(waitingCalls, 5);
    EXPECT_FALSE(ExchangeOk);
}

TEST_F(LinkTest, HalfAPairWaitingDoesNotMakeTheDriverSpin)
{
    ASSERT_TRUE(OpenLink(link_));
    deviceSends("7");
    runWaiting(link_, 300);
    EXPECT_LE(waitingCalls, 10);
    EXPECT_EQ(BytesWaiting(link_), 1);
}

TEST_F(LinkTest, InputIsNoticedWithoutPolling)
{
    ASSERT_TRUE(OpenLink(link_));
    std::thread device([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        pty_.send("\r\n");
        pty_.receive(1);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        pty_.send("1");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        pty_.send("2ff");
    });
    CurrentTestExchange() = {};
    link_.Step = 0;
    HookStep(TestHandshakeStep, link_);
    RunExchangeHost();
    device.join();
    EXPECT_TRUE(ExchangeOk);
    EXPECT_EQ(CurrentTestExchange().values, std::vector<int>{0x12});
    EXPECT_LE(CurrentTestExchange().handshakeCalls + CurrentTestExchange().dataCalls, 40);
}

// Waits for twenty ticks of the host's timer, leaving whatever the device sends unread.
void TickWaitStep(TCommLink& link, bool& done)
{
    done = false;
    ++waitingCalls;
    if (link.Step == 0) {
        TickCount = 0;
        StartTimer();
        link.Step = 1;
    } else if (TickCount >= 20) {
        StopTimer();
        UnhookStep();
        ExchangeOk = true;
        CloseExchangeHost();
    }
}

TEST_F(LinkTest, UnreadInputDoesNotWakeAStepThatWaitsForTicks)
{
    ASSERT_TRUE(OpenLink(link_));
    deviceSends("#?!");
    waitingCalls = 0;
    link_.Step = 0;
    HookStep(TickWaitStep, link_);
    RunExchangeHost();
    EXPECT_TRUE(ExchangeOk);
    // About one call per tick; a read notifier left on with unread input would spin.
    EXPECT_LE(waitingCalls, 3 * 20 + 10);
    EXPECT_EQ(BytesWaiting(link_), 3);
}

// Sends a block while the device holds the line, then waits for the queue to drain.
void DrainStep(TCommLink& link, bool& done)
{
    done = false;
    ++waitingCalls;
    static const std::string block(1500, 'z');
    if (link.Step == 0) {
        if (WriteBlock(link, reinterpret_cast<const uint8_t*>(block.data()), block.size()))
            link.Step = 1;
    } else if (FreeSpace(link) == kQueueSize) {
        UnhookStep();
        ExchangeOk = true;
        CloseExchangeHost();
    }
}

TEST_F(LinkTest, OutputHeldByXoffResumesAfterXon)
{
    ASSERT_TRUE(OpenLink(link_));
    SwitchToDataPhase(link_);
    deviceSaysXoff();
    std::string got;
    std::thread device([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        pty_.send("\x11");
        got = pty_.receive(1500);
    });
    waitingCalls = 0;
    link_.Step = 0;
    HookStep(DrainStep, link_);
    RunExchangeHost();
    device.join();
    EXPECT_TRUE(ExchangeOk);
    EXPECT_EQ(got, std::string(1500, 'z'));
    EXPECT_LE(waitingCalls, 60);
}

TEST_F(LinkTest, APortThatVanishesEndsTheExchangeAsFailed)
{
    ASSERT_TRUE(OpenLink(link_));
    std::thread device([&] {
        pty_.send("\r\n");
        pty_.receive(1);
        pty_.send("12");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        pty_.closeMaster();  // the adapter is pulled
    });
    const uint64_t callsBefore = Driver::instance().calls();
    const bool ok = RunOpenedTestExchange(link_);
    device.join();
    EXPECT_FALSE(ok);
    EXPECT_FALSE(ExchangeOk);
    EXPECT_EQ(HookedStep(), nullptr);
    EXPECT_FALSE(Driver::instance().hooked());
    EXPECT_FALSE(LinkInUse());
    EXPECT_EQ(CurrentTestExchange().values, std::vector<int>{0x12});
    EXPECT_LE(Driver::instance().calls() - callsBefore, 50u);
}

TEST_F(LinkTest, CtrlCCancelsTheConsoleExchange)
{
    ASSERT_TRUE(OpenLink(link_));
    std::thread device([&] {
        pty_.send("\r\n");
        pty_.receive(1);
    });
    QTimer::singleShot(150, [] { std::raise(SIGINT); });
    const bool ok = RunOpenedTestExchange(link_);
    device.join();
    EXPECT_FALSE(ok);
    EXPECT_EQ(HookedStep(), nullptr);
    EXPECT_EQ(pty_.receive(1), "!") << "a failed exchange says so to the device";
    struct sigaction now {};
    sigaction(SIGINT, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL) << "Ctrl-C is caught only while the host runs";
}

TEST_F(LinkTest, AStepThatLeavesDoneTrueWaitsForTheNextWakeUp)
{
    static int calls = 0;
    calls = 0;
    ASSERT_TRUE(OpenLink(link_));
    HookStep([](TCommLink&, bool&) { ++calls; }, link_);
    QTimer::singleShot(100, [] { TimerTick(); });
    QTimer::singleShot(200, [] {
        CancelExchange();
        CloseExchangeHost();
    });
    RunExchangeHost();
    EXPECT_EQ(calls, 2);  // once when hooked, once for the tick
}

}  // namespace
