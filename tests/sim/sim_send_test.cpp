// qm10-sim send: the device sends memos and the scripted PC receives them.
#include "SimHarness.h"
#include "support/WaitFor.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <unistd.h>

using namespace simtest;

namespace {

constexpr char kAccept = '#';
auto acceptAll = [](int, const DeviceMemo&) { return kAccept; };

std::string hexOf(const Bytes& b)
{
    std::string s;
    char buf[4];
    for (uint8_t x : b) {
        std::snprintf(buf, sizeof buf, "%02X ", x);
        s += buf;
    }
    return s;
}

TEST(SimSend, BuiltInSamplesArriveAsWellFormedMemos)
{
    QTemporaryDir dir;
    Sim sim(dir, {"send"});
    Pc pc;
    ASSERT_TRUE(pc.open(sim.link()));
    const Received got = receiveFromDevice(pc, acceptAll);
    EXPECT_TRUE(got.ended);
    ASSERT_GE(got.memos.size(), 2u);
    for (const DeviceMemo& m : got.memos) {
        EXPECT_EQ(m.fault, "") << sim.log();
        ASSERT_FALSE(m.image.isNull());
        int ink = 0;
        for (int y = 0; y < m.image.height(); ++y)
            for (int x = 0; x < m.image.width(); ++x)
                ink += black(m.image, x, y);
        const int pixels = m.image.width() * m.image.height();
        EXPECT_GT(ink, pixels / 50) << "a sample memo should carry writing";
        EXPECT_LT(ink, pixels / 2);
        EXPECT_FALSE(m.records[1].data.empty()) << "every sample has a title";
        for (uint8_t b : m.records[2].data)  // readings: upper-case ASCII and half-width katakana
            EXPECT_TRUE((b >= 0x20 && b < 0x7F && !(b >= 'a' && b <= 'z')) || (b >= 0xA1 && b <= 0xDF)) << int(b);
    }
    pc.close();
    EXPECT_EQ(sim.wait(), 0) << sim.log();
}

// A picture file crosses the line pixel for pixel, in rows of W div 8 + 1 bytes.
class SimSendPicture : public testing::TestWithParam<QSize> {};

TEST_P(SimSendPicture, ArrivesPixelForPixelWithItsName)
{
    QTemporaryDir dir;
    const QImage picture = pattern(GetParam().width(), GetParam().height(), 5);
    const QString file = dir.filePath("Note7.bmp");
    ASSERT_TRUE(picture.save(file, "BMP"));
    Sim sim(dir, {"send", file.toStdString()});
    Pc pc;
    ASSERT_TRUE(pc.open(sim.link()));
    const Received got = receiveFromDevice(pc, acceptAll);
    ASSERT_EQ(got.memos.size(), 1u) << sim.log();
    const DeviceMemo& m = got.memos[0];
    ASSERT_EQ(m.fault, "");
    EXPECT_TRUE(sameImage(m.image, picture));
    EXPECT_EQ(hexOf(m.records[1].data), "13 4E 13 6F 13 74 13 65 13 37 ");  // "Note7"
    EXPECT_EQ(hexOf(m.records[2].data), "4E 4F 54 45 37 ");                // "NOTE7"
    EXPECT_TRUE(got.ended);
    pc.close();
    EXPECT_EQ(sim.wait(), 0) << sim.log();
}

INSTANTIATE_TEST_SUITE_P(Sizes, SimSendPicture,
                         testing::Values(QSize(124, 121), QSize(16, 5), QSize(10, 3), QSize(1, 1), QSize(8, 117)));

TEST(SimSend, TooLargeOrUnreadablePictureIsRefusedBeforeTheLineOpens)
{
    QTemporaryDir dir;
    const QString big = dir.filePath("big.bmp"), junk = dir.filePath("junk.bmp");
    ASSERT_TRUE(pattern(125, 10, 1).save(big, "BMP"));
    QFile f(junk);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a picture");
    f.close();
    for (const QString& file : {big, junk}) {
        Sim sim(dir, {"send", file.toStdString()});
        EXPECT_EQ(sim.wait(), 3);
        EXPECT_NE(sim.log().find(file.toStdString()), std::string::npos) << sim.log();
    }
}

TEST(SimSend, CallsAgainAtAnIntervalUntilThePcAnswers)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("a.bmp");
    ASSERT_TRUE(pattern(20, 4, 2).save(file, "BMP"));
    Sim sim(dir, {"send", file.toStdString()});
    Pc pc;
    ASSERT_TRUE(pc.open(sim.link()));
    const auto start = std::chrono::steady_clock::now();
    const Received got = receiveFromDevice(pc, acceptAll, 2);  // the first two calls go unanswered
    EXPECT_EQ(got.calls, 3);
    // Three calls are two intervals apart: a device that floods the line would be quicker.
    EXPECT_GT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
    EXPECT_EQ(got.memos.size(), 1u);
    pc.close();
    EXPECT_EQ(sim.wait(), 0) << sim.log();
}

TEST(SimSend, QuestionMarkBringsTheSameMemoAgain)
{
    QTemporaryDir dir;
    Sim sim(dir, {"send"});
    Pc pc;
    ASSERT_TRUE(pc.open(sim.link()));
    const Received got = receiveFromDevice(pc, [](int n, const DeviceMemo&) { return n == 1 ? '?' : '#'; });
    ASSERT_GE(got.memos.size(), 3u);
    ASSERT_EQ(got.memos[1].records.size(), got.memos[2].records.size());
    for (std::size_t i = 0; i < got.memos[1].records.size(); ++i)
        EXPECT_EQ(got.memos[1].records[i].text, got.memos[2].records[i].text);
    EXPECT_NE(got.memos[0].records[1].text, got.memos[1].records[1].text);
    EXPECT_TRUE(got.ended);
    pc.close();
    EXPECT_EQ(sim.wait(), 0) << sim.log();
}

TEST(SimSend, ExclamationMarkEndsTheExchangeAsFailed)
{
    QTemporaryDir dir;
    Sim sim(dir, {"send"});
    Pc pc;
    ASSERT_TRUE(pc.open(sim.link()));
    const Received got = receiveFromDevice(pc, [](int, const DeviceMemo&) { return '!'; }, 0, 1500);
    EXPECT_EQ(got.memos.size(), 1u);
    EXPECT_FALSE(got.ended);
    EXPECT_EQ(sim.wait(), 1);
    EXPECT_NE(sim.log().find("aborted"), std::string::npos) << sim.log();
}

TEST(SimSend, WaitsThroughAPcThatOpensAndClosesBeforeAnswering)
{
    QTemporaryDir dir;
    Sim sim(dir, {"send"});
    {
        Pc early;
        ASSERT_TRUE(early.open(sim.link()));
        EXPECT_EQ(early.get(2000), '\r');
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // nobody on the line: reads give EIO
    Pc pc;
    ASSERT_TRUE(pc.open(sim.link()));
    const Received got = receiveFromDevice(pc, acceptAll);
    EXPECT_TRUE(got.ended);
    pc.close();
    EXPECT_EQ(sim.wait(), 0) << sim.log();
}

TEST(SimSend, PcClosingMidExchangeIsAFailure)
{
    QTemporaryDir dir;
    Sim sim(dir, {"send"});
    Pc pc;
    ASSERT_TRUE(pc.open(sim.link()));
    receiveFromDevice(pc, [&](int, const DeviceMemo&) {
        pc.close();
        return '#';
    }, 0, 1000);
    EXPECT_EQ(sim.wait(), 1);
    EXPECT_NE(sim.log().find("closed the line"), std::string::npos) << sim.log();
}

// Faults the device injects, and what the PC sees of them.
struct SendFault {
    const char* name;
    std::vector<std::string> args;
    std::function<void(const Received&, const Pc&, const std::string& log)> check;
};

void PrintTo(const SendFault& f, std::ostream* os) { *os << f.name; }

class SimSendFault : public testing::TestWithParam<SendFault> {};

TEST_P(SimSendFault, DoesWhatItSays)
{
    QTemporaryDir dir;
    const QString a = dir.filePath("a.bmp"), b = dir.filePath("b.bmp");
    ASSERT_TRUE(pattern(30, 20, 3).save(a, "BMP"));
    ASSERT_TRUE(pattern(12, 9, 4).save(b, "BMP"));
    std::vector<std::string> args = {"send"};
    args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
    args.insert(args.end(), {a.toStdString(), b.toStdString()});
    Sim sim(dir, args);
    Pc pc;
    ASSERT_TRUE(pc.open(sim.link()));
    const Received got = receiveFromDevice(pc, acceptAll, 0, 3000);
    pc.close();
    const int status = sim.wait();
    EXPECT_EQ(status, 0) << sim.log();
    GetParam().check(got, pc, sim.log());
}

void expectTwoGoodMemos(const Received& got)
{
    ASSERT_EQ(got.memos.size(), 2u);
    EXPECT_EQ(got.memos[0].fault, "");
    EXPECT_EQ(got.memos[1].fault, "");
    EXPECT_EQ(got.memos[0].image.size(), QSize(30, 20));
    EXPECT_TRUE(got.ended);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SimSendFault,
    testing::Values(
        // Record 2 is memo 1's title: the PC says "?" at once and the memo starts over.
        SendFault{"CorruptTitle", {"--corrupt", "2"},
                  [](const Received& got, const Pc&, const std::string&) {
                      EXPECT_EQ(got.badRecords, 1);
                      expectTwoGoodMemos(got);
                  }},
        // Each memo is six records: record 6 is memo 1's end-of-memo record.
        SendFault{"CorruptEndOfMemo", {"--corrupt", "6"},
                  [](const Received& got, const Pc&, const std::string&) {
                      EXPECT_EQ(got.badRecords, 1);
                      expectTwoGoodMemos(got);
                  }},
        // The last record of the exchange: 6 + 6 + 1.
        SendFault{"CorruptEndOfExchange", {"--corrupt", "13"},
                  [](const Received& got, const Pc&, const std::string&) {
                      EXPECT_EQ(got.badRecords, 1);
                      expectTwoGoodMemos(got);
                  }},
        SendFault{"Noise", {"--noise"},
                  [](const Received& got, const Pc&, const std::string&) {
                      expectTwoGoodMemos(got);
                      EXPECT_GE(got.junk.size(), 13u);  // before each of the 13 records
                      EXPECT_EQ(got.junk.find_first_of(std::string(":\x11\x13", 3)), std::string::npos);
                  }},
        // 200 bytes end inside memo 1's image data record.
        SendFault{"HangupAfter", {"--hangup-after", "200"},
                  [](const Received& got, const Pc& pc, const std::string& log) {
                      EXPECT_TRUE(pc.gone);
                      EXPECT_EQ(pc.received, 200);
                      EXPECT_TRUE(got.memos.empty());
                      EXPECT_NE(log.find("after 200 bytes"), std::string::npos) << log;
                  }},
        // The PC's "#" for memo 1 must wait until the device lets it go.
        SendFault{"Xoff", {"--xoff", "400"},
                  [](const Received& got, const Pc& pc, const std::string&) {
                      expectTwoGoodMemos(got);
                      EXPECT_GT(pc.longestStallMs, 200.0);
                  }},
        SendFault{"Together", {"--noise", "--corrupt", "3", "--xoff", "400"},
                  [](const Received& got, const Pc& pc, const std::string&) {
                      expectTwoGoodMemos(got);
                      EXPECT_EQ(got.badRecords, 1);
                      EXPECT_GE(got.junk.size(), 16u);  // 13 records and memo 1's first three again
                      EXPECT_GT(pc.longestStallMs, 200.0);
                  }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SimSend, PcXoffHoldsTheDeviceUntilXon)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("a.bmp");
    ASSERT_TRUE(pattern(124, 30, 6).save(file, "BMP"));
    Sim sim(dir, {"send", "--baud", "9600", file.toStdString()});  // paced, so the device cannot run ahead
    Pc pc;
    ASSERT_TRUE(pc.open(sim.link()));
    std::string line;
    auto pull = [&](int ms) {  // everything that arrives within ms
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < until)
            if (const int c = pc.get(5); c >= 0)
                line += static_cast<char>(c);
    };
    auto pullUntil = [&](const std::string& text) {
        for (int i = 0; i < 100 && line.find(text) == std::string::npos; ++i)
            pull(100);
        return line.find(text) != std::string::npos;
    };
    ASSERT_TRUE(pullUntil("\r\n"));
    ASSERT_TRUE(pc.send("\x11"));
    ASSERT_TRUE(pullUntil(":020000029F203D"));
    ASSERT_TRUE(pc.send("\x13"));
    pull(200);  // what was already on its way
    const std::size_t held = line.size();
    pull(400);
    EXPECT_EQ(line.size(), held) << "the device went on sending after XOFF";
    ASSERT_TRUE(pc.send("\x11"));
    ASSERT_TRUE(pullUntil(":00000001FF"));
    ASSERT_TRUE(pc.send("#"));
    EXPECT_TRUE(pullUntil(":000000FF01"));
    pc.close();
    EXPECT_EQ(sim.wait(), 0) << sim.log();
}

struct PaceCase {
    unsigned baud;
    int width, height;
};

class SimSendPace : public testing::TestWithParam<PaceCase> {};

TEST_P(SimSendPace, BaudPacesTheLine)
{
    const PaceCase& c = GetParam();
    QTemporaryDir dir;
    const QString file = dir.filePath("memo.bmp");
    ASSERT_TRUE(pattern(c.width, c.height, 9).save(file, "BMP"));
    Sim sim(dir, {"send", "--baud", std::to_string(c.baud), file.toStdString()});
    Pc pc;
    ASSERT_TRUE(pc.open(sim.link()));
    const auto start = std::chrono::steady_clock::now();
    const Received got = receiveFromDevice(pc, acceptAll);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(got.memos.size(), 1u);
    const double lineTime = pc.received * 10.0 / c.baud;
    EXPECT_GT(seconds, 0.8 * lineTime) << "took " << seconds << " s for " << pc.received << " bytes";
    pc.close();
    EXPECT_EQ(sim.wait(), 0) << sim.log();
}

// A byte that takes longer than the simulator's slack still goes out (below about 5000 bit/s).
INSTANTIATE_TEST_SUITE_P(Speeds, SimSendPace, testing::Values(PaceCase{9600, 124, 121}, PaceCase{1200, 8, 4}),
                         [](const auto& info) { return std::to_string(info.param.baud); });

TEST(SimSend, ASecondSimulatorLeavesTheLinkOfTheFirstAlone)
{
    QTemporaryDir dir;
    Sim first(dir, {"send"});
    char target[256] = {};
    eventually([&] { return ::readlink(first.link().c_str(), target, sizeof target - 1) > 0; });
    ASSERT_NE(target[0], 0) << first.log();
    Sim second(dir, {"send"});
    EXPECT_EQ(second.wait(5000), 3) << "refuses to take the link over";
    EXPECT_NE(second.log().find("in use"), std::string::npos) << second.log();
    char now[256] = {};
    ASSERT_GT(::readlink(first.link().c_str(), now, sizeof now - 1), 0) << "the second one's exit leaves the link";
    EXPECT_STREQ(now, target);
}

}  // namespace
