// The idle driver and the console host running exchanges over a pseudo-terminal pair.
#include "ConsoleFixture.h"

#include "link/ExchangeMessages.h"
#include "link/ReceiveExchange.h"
#include "platform/IdleDriver.h"
#include "transfer/HexRecord.h"

#include <QDeadlineTimer>
#include <QTimer>

#include <csignal>

namespace {

TEST_F(LinkTest, ConsoleHostRunsAWholeExchange)
{
    ASSERT_TRUE(OpenLink(link_));
    std::string answer;
    std::thread device([&] {
        pty_.send("xx\r?\r\n");  // noise before and between the opening bytes
        answer = pty_.receive(1);
        pty_.send("\r\n:0a1B\nc3ff");
    });
    EXPECT_TRUE(RunOpenedTestExchange(link_));
    device.join();
    EXPECT_EQ(answer, "\x11");
    // Read in pairs once the data phase has started: "\r\n", ":0", "a1", "B\n", "c3".
    EXPECT_EQ(pairsRead, (std::vector<int>{0, 0, 0xA1, 0xB0, 0xC3}));
    EXPECT_EQ(statusOutput(), "接続中です...\n受信中です\n");
    EXPECT_FALSE(LinkInUse());
}

int calls = 0;

void WaitForPairStep(TCommLink& link, bool& done)
{
    done = false;
    ++calls;
    (void)ReadHexByte(link);
}

// Waits for twenty ticks, leaving whatever the device sends unread.
void WaitForTicksStep(TCommLink& link, bool& done)
{
    done = false;
    ++calls;
    if (link.NextRecord == 0) {  // the handler's own state: started or not
        link.Ticks = 0;
        StartTimer(link.Ticks);
        link.NextRecord = 1;
    } else if (link.Ticks >= 20) {
        UnhookStep();
        CloseExchangeHost();
    }
}

struct IdleCase {
    const char* name;
    const char* input;
    TStepHandler step;
    int cancelAfterMs;  // 0: the step ends itself
    int maxCalls;       // busy polling would make hundreds of thousands
};

class IdleTest : public LinkTest, public ::testing::WithParamInterface<IdleCase> {};

TEST_P(IdleTest, AStepThatCannotMoveOnIsNotCalledOverAndOver)
{
    const IdleCase& c = GetParam();
    ASSERT_TRUE(OpenLink(link_));
    deviceSends(c.input);
    calls = 0;
    link_.NextRecord = 0;
    HookStep(c.step, link_);
    if (c.cancelAfterMs)
        QTimer::singleShot(c.cancelAfterMs, [] {
            CancelExchange();
            CloseExchangeHost();
        });
    RunExchangeHost();
    EXPECT_LE(calls, c.maxCalls);
    EXPECT_EQ(BytesWaiting(link_), int(std::strlen(c.input)));
}

INSTANTIATE_TEST_SUITE_P(
    Waits, IdleTest,
    ::testing::Values(IdleCase{"SilentLine", "", WaitForPairStep, 300, 5},
                      IdleCase{"HalfAPair", "7", WaitForPairStep, 300, 10},
                      // The timer fires at the tick waited for, not on every tick.
                      IdleCase{"UnreadInputWhileTicking", "#?!", WaitForTicksStep, 0, 4}),
    [](const auto& info) { return std::string(info.param.name); });

PtyPair* device = nullptr;
int byteSeen = -1;

// The first call looks at an empty line, and the byte arrives just before the call returns.
void LateByteStep(TCommLink& link, bool& done)
{
    done = false;
    if (++calls == 1) {
        EXPECT_EQ(ReadByte(link), -1);
        device->send("Z");
        ASSERT_TRUE(eventually([&] { return BytesWaiting(link) == 1; }));
    } else if ((byteSeen = ReadByte(link)) >= 0) {
        UnhookStep();
        CloseExchangeHost();
    }
}

TEST_F(LinkTest, InputThatArrivesWhileAStepRunsIsNotMissed)
{
    ASSERT_TRUE(OpenLink(link_));
    device = &pty_;
    calls = 0;
    byteSeen = -1;
    HookStep(LateByteStep, link_);
    const CloseHostAfter missed(1000);  // only if it was missed
    RunExchangeHost();
    EXPECT_EQ(byteSeen, 'Z');
}

constexpr int kRecordPairs = 60;
int pairsGot = 0;
int emptyCalls = 0;

// Reads the pairs of one record, saying how many characters of it are still to come.
void RecordStep(TCommLink& link, bool& done)
{
    done = false;
    if (ReadHexByte(link) < 0) {
        ++emptyCalls;
        ExpectInput(2 * (kRecordPairs - pairsGot));
        return;
    }
    if (++pairsGot == kRecordPairs) {
        UnhookStep();
        CloseExchangeHost();
    }
}

TEST_F(LinkTest, ARecordTricklingInAtLineSpeedWakesTheStepAFewTimesNotForEveryCharacter)
{
    ASSERT_TRUE(OpenLink(link_));  // 9600 bit/s: a character every 1.04 ms
    pairsGot = emptyCalls = 0;
    std::thread device([&] {
        auto next = std::chrono::steady_clock::now();
        for (int i = 0; i < 2 * kRecordPairs; ++i) {
            pty_.send("A");
            next += std::chrono::microseconds(1042);
            std::this_thread::sleep_until(next);
        }
    });
    const CloseHostAfter stalled(5000);  // only if it stalls
    HookStep(RecordStep, link_);
    RunExchangeHost();
    device.join();
    EXPECT_EQ(pairsGot, kRecordPairs);
    EXPECT_LE(emptyCalls, 15) << "woken for every character or two instead of sleeping through the record";
}

// Sends a block while the device holds the line, then waits for the queue to drain.
void DrainStep(TCommLink& link, bool& done)
{
    done = false;
    ++calls;
    static const std::string block(1500, 'z');
    if (link.NextRecord == 0 && WriteBlock(link, reinterpret_cast<const uint8_t*>(block.data()), block.size())) {
        link.NextRecord = 1;
    } else if (link.NextRecord == 1 && FreeSpace(link) == kQueueSize) {
        EndExchange(true);
    }
}

TEST_F(LinkTest, OutputHeldByXoffGoesOnAfterXonWithoutPolling)
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
    calls = 0;
    link_.NextRecord = 0;
    HookStep(DrainStep, link_);
    const bool ok = RunExchangeHost();
    device.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(got, std::string(1500, 'z'));
    EXPECT_LE(calls, 60);
}

TEST_F(LinkTest, APortThatVanishesEndsTheExchangeAsFailed)
{
    ASSERT_TRUE(OpenLink(link_));
    std::thread device([&] {
        pty_.send("\r\n");
        pty_.receive(1);
        pty_.send("12");
        eventually([] { return pairsTaken > 0; });  // the program has the pair
        pty_.closeMaster();  // the adapter is pulled
    });
    const uint64_t callsBefore = platform::IdleDriver::instance().calls();
    EXPECT_FALSE(RunOpenedTestExchange(link_));
    device.join();
    EXPECT_EQ(HookedStep(), nullptr);
    EXPECT_FALSE(LinkInUse());
    EXPECT_EQ(pairsRead, std::vector<int>{0x12});
    EXPECT_LE(platform::IdleDriver::instance().calls() - callsBefore, 50u);
}

TEST_F(LinkTest, CtrlCCancelsTheConsoleExchangeOnlyWhileItRuns)
{
    ASSERT_TRUE(OpenLink(link_));
    struct sigaction before {};
    sigaction(SIGINT, nullptr, &before);
    std::thread device([&] {
        pty_.send("\r\n");
        pty_.receive(1);
    });
    QTimer::singleShot(150, [] { std::raise(SIGINT); });
    EXPECT_FALSE(RunOpenedTestExchange(link_));
    device.join();
    EXPECT_EQ(HookedStep(), nullptr);
    EXPECT_EQ(pty_.receive(1), "!") << "a failed exchange says so to the device";
    struct sigaction now {};
    sigaction(SIGINT, nullptr, &now);
    EXPECT_EQ(now.sa_handler, before.sa_handler) << "outside the exchange Ctrl-C does what it did before";
}


// The receiver catches SIGTERM itself between exchanges; one that it takes while the next
// exchange is being set up still cancels that exchange, which would otherwise wait for ever
// for a device that does not call.
TEST_F(LinkTest, ASignalTakenBeforeTheExchangeRunsCancelsItAtOnce)
{
    host_->Interrupt();
    CloseHostAfter guard(20000);  // only a broken host waits this long
    EXPECT_EQ(ReceiveExchange(link_, TReceiveSink{}), ReceiveOutcome::Failed);
    EXPECT_EQ(HostStop(), ExchangeStop::Cancelled);
    EXPECT_TRUE(host_->Interrupted());
}

// The record text of a memo of one black pixel; without its end-of-memo record when CUT.
std::string OnePixelMemo(bool cut = false)
{
    TRecordList records;
    AddHexRecord(records, 0xA000, 0x80, std::vector<uint8_t>{0x01, 0x41, 0x53, 0, 1, 0, 1, 0, 1});
    AddHexRecord(records, 0xA000, 0x00, std::vector<uint8_t>{0, 0, 0x80});
    if (!cut)
        AddEndRecord(records);
    std::string text;
    for (const TRecord& b : records)
        text += RecordText(b);
    return text;
}

// How the device ends an exchange, and which memos the program may hand over: only those whose
// "#" the device could have heard, and never the part of a memo.
struct EndCase {
    const char* name;
    std::string stream;  // after the call has been answered
    ReceiveOutcome outcome;
    int delivered;
    const char16_t* message;  // or null
};

class DeviceEndsTest : public LinkTest, public ::testing::WithParamInterface<EndCase> {};

TEST_P(DeviceEndsTest, OnlyMemosWhoseAcknowledgementLeftAreHandedOver)
{
    const EndCase& c = GetParam();
    QStringList messages;
    SetExchangeMessenger([&messages](ExchangeBox, const QString& text) {
        messages << text;
        return true;
    });
    std::thread device([&] {
        for (int call = 0; call < 50 && pty_.receive(1, 100) != "\x11"; ++call)
            pty_.send("\r\n");
        eventually([&] { return pty_.flowControlOn(); });  // the PC switches to XON/XOFF
        pty_.send(c.stream);
    });
    int delivered = 0;
    int mostBlocksHeld = 0;
    TReceiveSink sink;
    sink.Delivered = [&](TReceivedMemo& memo) {
        delivered += memo.Picture.Image.pixel(0, 0) == qRgb(0, 0, 0);
        const int blocks = int(link_.Received.Records.size());
        mostBlocksHeld = std::max(mostBlocksHeld, blocks);
    };
    QTimer guard;  // a hang guard: the test fails instead of waiting forever
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [this] { host_->Cancel(); });
    guard.start(20000);
    const ReceiveOutcome outcome = ReceiveExchange(link_, sink);
    device.join();
    SetExchangeMessenger(nullptr);
    EXPECT_EQ(outcome, c.outcome);
    EXPECT_EQ(delivered, c.delivered);
    EXPECT_EQ(mostBlocksHeld, 0) << "a memo handed over holds nothing of the record list";
    EXPECT_EQ(messages, c.message ? QStringList{QString::fromUtf16(c.message)} : QStringList{});
    EXPECT_TRUE(link_.Received.Records.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Ends, DeviceEndsTest,
    ::testing::Values(
        EndCase{"Normally", OnePixelMemo() + OnePixelMemo() + OnePixelMemo() + ":000000FF01", ReceiveOutcome::Completed, 3,
                nullptr},
        EndCase{"InsideAMemo", OnePixelMemo() + OnePixelMemo(true) + ":000000FF01", ReceiveOutcome::Failed, 1,
                EndedMidMemoText},
        EndCase{"HoldingTheAcknowledgementBack", "\x13" + OnePixelMemo() + ":000000FF01", ReceiveOutcome::Failed, 0,
                AckNotSentText}),
    [](const auto& info) { return std::string(info.param.name); });

// A memo ends while the device holds us with XOFF, so its "#" cannot leave; then the user
// cancels. The memo counts as delivered only if its "#" really reached the device during the
// drain before the port closes — otherwise the device sends it again and it would be stored
// twice.
class HeldAckTest : public LinkTest, public ::testing::WithParamInterface<bool> {};

TEST_P(HeldAckTest, AMemoIsKeptOnlyWhenItsAcknowledgementLeft)
{
    const bool xonDuringDrain = GetParam();
    TRecordList records;  // a memo of one black pixel
    AddHexRecord(records, 0xA000, 0x80, std::vector<uint8_t>{0x01, 0x41, 0x53, 0, 1, 0, 1, 0, 1});
    AddHexRecord(records, 0xA000, 0x00, std::vector<uint8_t>{0, 0, 0x80});
    AddEndRecord(records);
    std::string memo;
    for (const TRecord& b : records)
        memo += RecordText(b);
    std::string heard;
    std::thread device([&] {
        // Call until answered: a call made before the PC has opened the line is purged.
        for (int call = 0; call < 50 && pty_.receive(1, 100) != "\x11"; ++call)
            pty_.send("\r\n");
        eventually([&] { return pty_.flowControlOn(); });  // the PC switches to XON/XOFF
        pty_.send("\x13" + memo);
        if (xonDuringDrain) {
            std::this_thread::sleep_for(std::chrono::milliseconds(600));
            pty_.send("\x11");
        }
        heard = pty_.receive(2, 3000);
    });
    auto* poll = new QTimer;
    QDeadlineTimer guard(20000);  // a hang guard: the test fails instead of waiting forever
    QObject::connect(poll, &QTimer::timeout, [&] {
        if (statusOutput().find("受信中です:1") != std::string::npos || guard.hasExpired()) {
            poll->stop();
            host_->Cancel();
        }
    });
    poll->start(1);
    int delivered = 0;
    TReceiveSink sink;
    sink.Delivered = [&delivered](TReceivedMemo& m) { delivered += m.Picture.Image.pixel(0, 0) == qRgb(0, 0, 0); };
    const ReceiveOutcome outcome = ReceiveExchange(link_, sink);
    device.join();
    delete poll;
    EXPECT_EQ(outcome, ReceiveOutcome::Failed);
    if (xonDuringDrain) {
        EXPECT_EQ(heard, "#!");
        EXPECT_EQ(delivered, 1) << "the delivered memo is kept";
    } else {
        EXPECT_EQ(heard, "") << "held back by XOFF to the end";
        EXPECT_EQ(delivered, 0) << "the device was never told; it will send the memo again";
    }
    EXPECT_TRUE(link_.Received.Records.empty());
}

INSTANTIATE_TEST_SUITE_P(Xon, HeldAckTest, ::testing::Values(false, true),
                         [](const auto& info) { return std::string(info.param ? "XonDuringDrain" : "XoffToTheEnd"); });

}  // namespace
