// The send exchange against a scripted device on a pseudo-terminal: the parts of the
// dialogue the simulator does not play.
#include "link/ConsoleFixture.h"

#include "link/ExchangeMessages.h"
#include "link/SendExchange.h"
#include "transfer/HexRecord.h"

#include <QTimer>

namespace {

const std::string kChain = ":020000029F203D:00000001FF";
const std::string kEnd = ":000000FF01";

class SendExchangeTest : public LinkTest {
protected:
    TRecordList chain_;  // what the exchange sends

    void SetUp() override
    {
        LinkTest::SetUp();
        AddSegRecord(chain_, 0x9F20);
        AddEndRecord(chain_);
        SetExchangeMessenger([this](ExchangeBox, const QString& text) {
            messages << text;
            return confirm;
        });
    }
    void TearDown() override
    {
        SetExchangeMessenger(nullptr);
        LinkTest::TearDown();
    }

    // Plays the device in a thread while the exchange runs; returns what the PC wrote.
    SendOutcome run(const std::function<void(std::string& heard)>& device)
    {
        heard.clear();
        std::thread t([&] { device(heard); });
        const SendOutcome outcome = SendExchange(link_, chain_);
        t.join();
        heard += pty_.receive(64, 300);
        return outcome;
    }

    // Waits for the call and answers DC1.
    void answerCall(std::string& heard)
    {
        heard += pty_.receive(2);
        pty_.send("\x11");
    }

    QStringList messages;
    bool confirm = true;
    std::string heard;  // what the PC wrote
};

TEST_F(SendExchangeTest, AQuotationMarkAbortsAndIsAnsweredWithAbort)
{
    const SendOutcome outcome = run([&](std::string& heard) {
        answerCall(heard);
        heard += pty_.receive(kChain.size());
        pty_.send("\"");
    });
    EXPECT_EQ(outcome, SendOutcome::Failed);
    EXPECT_EQ(messages, QStringList({QStringLiteral("送信を行いますか？"), QStringLiteral("デバイスが受け取りを拒否しました")}));
    EXPECT_EQ(heard, "\r\n" + kChain + "!");
}

TEST_F(SendExchangeTest, AResendRequestDropsWhatWaitedAndSendsTheChainFromItsFirstRecord)
{
    const SendOutcome outcome = run([&](std::string& heard) {
        answerCall(heard);
        heard += pty_.receive(kChain.size());
        pty_.send("?!");  // the "!" was waiting when "?" was read: dropped
        heard += pty_.receive(kChain.size());
        pty_.send("#");
    });
    EXPECT_EQ(outcome, SendOutcome::Sent);
    EXPECT_EQ(messages.last(), QStringLiteral("正常に送信されました"));
    EXPECT_EQ(heard, "\r\n" + kChain + kChain + kEnd);
    EXPECT_EQ(statusOutput(), "接続中です\n転送中です\n");
}

TEST_F(SendExchangeTest, TheEndRecordHeldByXoffStillLeavesBeforeSuccessIsReported)
{
    std::string afterXon;
    const SendOutcome outcome = run([&](std::string& heard) {
        answerCall(heard);
        heard += pty_.receive(kChain.size());
        pty_.send("\x13#");  // XOFF, then the verdict: the end record must wait
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        pty_.send("\x11");
        afterXon = pty_.receive(kEnd.size());
    });
    EXPECT_EQ(outcome, SendOutcome::Sent);
    EXPECT_EQ(afterXon, kEnd);
    EXPECT_EQ(messages.last(), QStringLiteral("正常に送信されました"));
}

// A device that keeps the line open after the user cancelled hears the program's "!" next and
// nothing more of the memo, even when it held the line with XOFF at that moment: what had not
// left when Cancel came is dropped, and little waits to leave at any time.
TEST_F(SendExchangeTest, CancelDropsWhatHasNotLeft)
{
    chain_.clear();
    AddSegRecord(chain_, 0x9F20);
    for (int i = 0; i < 30; ++i)  // about 6.5 s of line at 9600 bit/s
        AddHexRecord(chain_, 0xA000, 0x00, std::vector<uint8_t>(100, uint8_t(i)));
    AddEndRecord(chain_);
    QTimer::singleShot(1000, [this] { host_->Cancel(); });
    // Everything the PC sends for MS milliseconds.
    auto listen = [this](int ms) {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end)
            got += pty_.receive(1, 10);
        return got;
    };
    std::string afterXon;
    const SendOutcome outcome = run([&](std::string& heard) {
        answerCall(heard);
        heard += listen(800);
        pty_.send("\x13");
        heard += listen(400);  // what was on its way; Cancel comes meanwhile
        pty_.send("\x11");
        afterXon = listen(500);
    });
    EXPECT_EQ(outcome, SendOutcome::Failed);
    EXPECT_EQ(messages.last(), QStringLiteral("通信がキャンセルされました"));
    EXPECT_EQ((heard + afterXon).find(":00000001FF"), std::string::npos);
    EXPECT_EQ(afterXon, "!");
}

// A device that never judges the memo, or keeps asking for it again, does not keep the send
// going for ever.
struct GiveUpCase {
    const char* name;
    const char* answer;  // to every whole chain it hears, or null for silence
    QString message;
    int chainsHeard;
};

class SendGivesUpTest : public SendExchangeTest, public ::testing::WithParamInterface<GiveUpCase> {};

TEST_P(SendGivesUpTest, EndsAsFailedAndSaysWhy)
{
    const GiveUpCase& c = GetParam();
    const int waitBefore = SendVerdictWaitMs;
    SendVerdictWaitMs = 300;
    QTimer guard;  // a hang guard: the test fails instead of waiting forever
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [this] { host_->Cancel(); });
    guard.start(20000);
    int chains = 0;
    const SendOutcome outcome = run([&](std::string& heard) {
        answerCall(heard);
        for (;;) {
            const std::string chain = pty_.receive(kChain.size(), 1000);
            if (chain != kChain)
                break;
            ++chains;
            if (c.answer)
                pty_.send(c.answer);
        }
    });
    SendVerdictWaitMs = waitBefore;
    EXPECT_EQ(outcome, SendOutcome::Failed);
    EXPECT_EQ(messages.last(), c.message);
    EXPECT_EQ(chains, c.chainsHeard);
}

INSTANTIATE_TEST_SUITE_P(
    Devices, SendGivesUpTest,
    ::testing::Values(GiveUpCase{"Silent", nullptr, QStringLiteral("QM-10 から 1 秒間返事がないため、送信を中止しました"), 1},
                      GiveUpCase{"AlwaysAsksAgain", "?",
                                 QStringLiteral("QM-10 がメモを 17 回続けて受け取れなかったため、送信を中止しました"), 17}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SendExchangeTest, DecliningSendsNothing)
{
    confirm = false;
    const SendOutcome outcome = run([](std::string&) {});
    EXPECT_EQ(outcome, SendOutcome::Declined);
    EXPECT_EQ(messages, QStringList{QStringLiteral("送信を行いますか？")});
    EXPECT_EQ(heard, "");
    EXPECT_FALSE(LinkInUse());
}

}  // namespace
