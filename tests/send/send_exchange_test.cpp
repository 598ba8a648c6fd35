// The send exchange against a scripted device on a pseudo-terminal: the parts of the
// dialogue the simulator does not play.
#include "link/ConsoleFixture.h"

#include "link/ExchangeMessages.h"
#include "link/SendExchange.h"
#include "transfer/HexRecord.h"

namespace {

const std::string kChain = ":020000029F203D:00000001FF";
const std::string kEnd = ":000000FF01";

class SendExchangeTest : public LinkTest {
protected:
    void SetUp() override
    {
        LinkTest::SetUp();
        AddSegRecord(link_, 0x9F20);
        AddEndRecord(link_);
        SetExchangeMessenger([this](ExchangeBox, const QString& text) {
            messages << text;
            return confirm;
        });
    }
    void TearDown() override
    {
        SetExchangeMessenger(nullptr);
        FreeBlocks(link_, link_.Head.get());
        LinkTest::TearDown();
    }

    // Plays the device in a thread while the exchange runs; returns what the PC wrote.
    SendOutcome run(const std::function<void(std::string& heard)>& device)
    {
        heard.clear();
        std::thread t([&] { device(heard); });
        const SendOutcome outcome = SendExchange(link_);
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
