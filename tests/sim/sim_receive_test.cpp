// qm10-sim receive: the scripted PC sends memos and the device takes them.
#include "SimHarness.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace simtest;

namespace {

const Bytes kTitle = {0x25, 0x3F, 0x25, 0x24, 0x25, 0x48, 0x25, 0x6B};  // タイトル
const Bytes kReading = {0xC0, 0xB2, 0xC4, 0xD9};                        // ﾀｲﾄﾙ

struct Device {
    QTemporaryDir dir;
    QString out = dir.filePath("out");
    Sim sim;
    Pc pc;
    explicit Device(std::vector<std::string> extra = {})
        : sim(dir, [&] {
              std::vector<std::string> a = {"receive", "--out", dir.filePath("out").toStdString()};
              a.insert(a.end(), extra.begin(), extra.end());
              return a;
          }())
    {
    }
    QStringList written() const { return QDir(out).entryList(QDir::Files, QDir::Name); }
    QJsonObject json(const QString& name) const
    {
        QFile f(QDir(out).filePath(name));
        return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object() : QJsonObject();
    }
};

// What the device makes of a title and a reading.
struct TitleCase {
    QSize size;
    Bytes title, reading;
    const char* titleText;
    const char* readingText;
};

void PrintTo(const TitleCase& c, std::ostream* os) { *os << c.size.width() << "x" << c.size.height() << " " << c.titleText; }

class SimReceiveMemo : public testing::TestWithParam<TitleCase> {};

TEST_P(SimReceiveMemo, IsWrittenAsBmpAndReadableJson)
{
    const TitleCase& c = GetParam();
    Device d;
    ASSERT_TRUE(d.pc.open(d.sim.link()));
    const QImage picture = pattern(c.size.width(), c.size.height(), 11);
    EXPECT_EQ(sendToDevice(d.pc, pcChain(picture, c.title, c.reading)), '#') << d.sim.log();
    ASSERT_TRUE(d.pc.send(":000000FF01"));
    EXPECT_EQ(d.sim.wait(), 0) << d.sim.log();
    ASSERT_EQ(d.written(), QStringList({"001.bmp", "001.json"}));
    const QImage bmp(QDir(d.out).filePath("001.bmp"));
    EXPECT_EQ(bmp.depth(), 1);
    EXPECT_TRUE(sameImage(bmp, picture));
    const QJsonObject j = d.json("001.json");
    EXPECT_EQ(j["title"].toString(), QString::fromUtf8(c.titleText));
    EXPECT_EQ(j["reading"].toString(), QString::fromUtf8(c.readingText));
    EXPECT_EQ(j["width"].toInt(), c.size.width());
}

INSTANTIATE_TEST_SUITE_P(
    Memos, SimReceiveMemo,
    testing::Values(TitleCase{{124, 121}, kTitle, kReading, "タイトル", "ﾀｲﾄﾙ"},
                    TitleCase{{16, 5}, {0x13, 0x41, 0x13, 0x62, 0x13, 0x31, 0x11, 0x21, 0x21, 0x21}, {'A', 'B', ' '},
                              "Ab1 　", "AB "},
                    TitleCase{{10, 3}, {0x34, 0x41, 0x3B, 0x7A, 0x15, 0x2C}, {0xB6, 0xDE, 0xAF, 0xBA, 0xB3}, "漢字ガ",
                              "ｶﾞｯｺｳ"},
                    TitleCase{{8, 117}, {}, {}, "", ""}));

TEST(SimReceive, DamagedRecordIsAskedForAgain)
{
    Device d;
    ASSERT_TRUE(d.pc.open(d.sim.link()));
    auto chain = pcChain(pattern(40, 30, 1), kTitle, kReading);
    const std::string good = chain[4];
    chain[4].replace(chain[4].size() - 2, 2, "00");  // a wrong checksum in the first image data record
    EXPECT_EQ(sendToDevice(d.pc, chain), '?') << d.sim.log();
    chain[4] = good;
    std::string all;
    for (const auto& r : chain)
        all += r;
    ASSERT_TRUE(d.pc.send(all));
    EXPECT_EQ(d.pc.get(5000), '#');
    ASSERT_TRUE(d.pc.send(":000000FF01"));
    EXPECT_EQ(d.sim.wait(), 0) << d.sim.log();
    EXPECT_EQ(d.written().size(), 2);
    EXPECT_NE(d.sim.log().find("checksum 00"), std::string::npos) << d.sim.log();
}

// Records out of order or malformed: the device answers "!" and says what was wrong.
struct OrderCase {
    const char* name;
    std::function<void(std::vector<std::string>&)> spoil;
    const char* complaint;
};

void PrintTo(const OrderCase& c, std::ostream* os) { *os << c.name; }

class SimReceiveOrder : public testing::TestWithParam<OrderCase> {};

TEST_P(SimReceiveOrder, IsRefusedWithExclamationMark)
{
    Device d;
    ASSERT_TRUE(d.pc.open(d.sim.link()));
    auto chain = pcChain(pattern(16, 60, 2), kTitle, kReading);  // rows of 2 bytes, 58 a record
    GetParam().spoil(chain);
    EXPECT_EQ(sendToDevice(d.pc, chain), '!') << d.sim.log();
    d.pc.close();
    EXPECT_EQ(d.sim.wait(), 1);
    EXPECT_NE(d.sim.log().find(GetParam().complaint), std::string::npos) << d.sim.log();
    EXPECT_TRUE(d.written().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SimReceiveOrder,
    testing::Values(
        OrderCase{"NoReading", [](auto& c) { c.erase(c.begin() + 2); }, "expected the reading record"},
        OrderCase{"SegmentNotFirst", [](auto& c) { std::swap(c[0], c[1]); }, "expected the segment record"},
        OrderCase{"RowGap", [](auto& c) { c.erase(c.begin() + 4); }, "rows start at 58, expected row 0"},
        OrderCase{"MissingRows", [](auto& c) { c.erase(c.end() - 2); }, "end of memo after 58 of 60 rows"},
        OrderCase{"EndOfExchangeMidMemo", [](auto& c) { c.back() = ":000000FF01"; }, "in the middle of memo 1"},
        // The device's own row layout (W div 8 + 1) is not what a PC may send.
        OrderCase{"DeviceRowLayout",
                  [](auto& c) {
                      c = {c[0], c[1], c[2], recText(0x80, 0xA000, {1, 'A', 'S', 0, 16, 0, 2, 0, 6}),
                           recText(0x00, 0xA000, {0, 0, 1, 2, 3, 4, 5, 6}), ":00000001FF"};
                  },
                  "byte total 6 does not match 2 rows of 2 bytes"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SimReceive, NakAsksAgainThatManyTimes)
{
    Device d({"--nak", "2"});
    ASSERT_TRUE(d.pc.open(d.sim.link()));
    const auto chain = pcChain(pattern(20, 10, 3), kTitle, kReading);
    EXPECT_EQ(sendToDevice(d.pc, chain), '?');
    std::string all;
    for (const auto& r : chain)
        all += r;
    ASSERT_TRUE(d.pc.send(all));
    EXPECT_EQ(d.pc.get(5000), '?');
    ASSERT_TRUE(d.pc.send(all));
    EXPECT_EQ(d.pc.get(5000), '#');
    ASSERT_TRUE(d.pc.send(":000000FF01"));
    EXPECT_EQ(d.sim.wait(), 0) << d.sim.log();
    EXPECT_EQ(d.written().size(), 2);
}

TEST(SimReceive, AbortAnswersExclamationMarkAndKeepsNothing)
{
    Device d({"--abort"});
    ASSERT_TRUE(d.pc.open(d.sim.link()));
    EXPECT_EQ(sendToDevice(d.pc, pcChain(pattern(20, 10, 3), kTitle, kReading)), '!');
    d.pc.send("!");
    d.pc.close();
    EXPECT_EQ(d.sim.wait(), 0) << d.sim.log();
    EXPECT_TRUE(d.written().isEmpty());
    EXPECT_NE(d.sim.log().find("the PC answered \"!\" as well"), std::string::npos) << d.sim.log();
}

TEST(SimReceive, SilentNeverAnswersTheCall)
{
    Device d({"--silent"});
    ASSERT_TRUE(d.pc.open(d.sim.link()));
    for (int call = 0; call < 3; ++call) {
        d.pc.send("\r\n");
        EXPECT_EQ(d.pc.get(150), -1);
    }
    d.pc.close();
    EXPECT_EQ(d.sim.wait(), 0) << d.sim.log();
    EXPECT_NE(d.sim.log().find("ignored 3 call(s)"), std::string::npos) << d.sim.log();
}

TEST(SimReceive, NoiseComesBeforeAnswersAndIsNeverAControlByte)
{
    Device d({"--noise"});
    ASSERT_TRUE(d.pc.open(d.sim.link()));
    std::string junk;
    EXPECT_EQ(sendToDevice(d.pc, pcChain(pattern(20, 10, 3), kTitle, kReading), &junk), '#');
    ASSERT_TRUE(d.pc.send(":000000FF01"));
    EXPECT_EQ(d.sim.wait(), 0) << d.sim.log();
    EXPECT_GE(junk.size(), 2u);  // before DC1 and before "#"
    EXPECT_EQ(junk.find_first_of(std::string("#?!\"\x11\x13", 6)), std::string::npos);
}

TEST(SimReceive, XoffHoldsThePcMidTransfer)
{
    Device d({"--xoff", "400"});
    ASSERT_TRUE(d.pc.open(d.sim.link()));
    // Records one at a time, so that the PC still has some to write when the device says XOFF.
    EXPECT_EQ(sendToDevice(d.pc, pcChain(pattern(124, 40, 3), kTitle, kReading), nullptr, 20), '#');
    ASSERT_TRUE(d.pc.send(":000000FF01"));
    EXPECT_EQ(d.sim.wait(), 0) << d.sim.log();
    EXPECT_GT(d.pc.longestStallMs, 200.0);
    EXPECT_EQ(d.written().size(), 2);
}

TEST(SimReceive, HangupAfterClosesTheLineMidTransfer)
{
    Device d({"--hangup-after", "100"});
    ASSERT_TRUE(d.pc.open(d.sim.link()));
    EXPECT_EQ(sendToDevice(d.pc, pcChain(pattern(124, 40, 3), kTitle, kReading)), -1);
    EXPECT_EQ(d.sim.wait(), 0) << d.sim.log();
    EXPECT_NE(d.sim.log().find("after 100 bytes"), std::string::npos) << d.sim.log();
    EXPECT_TRUE(d.written().isEmpty());
}

TEST(SimReceive, PcClosingMidMemoIsAFailure)
{
    Device d;
    ASSERT_TRUE(d.pc.open(d.sim.link()));
    ASSERT_TRUE(d.pc.send("\r\n"));
    ASSERT_EQ(d.pc.get(5000), 0x11);
    d.pc.flowControl(true);
    const auto chain = pcChain(pattern(20, 10, 3), kTitle, kReading);
    ASSERT_TRUE(d.pc.send(chain[0] + chain[1] + chain[2]));
    d.pc.close();
    EXPECT_EQ(d.sim.wait(), 1);
    EXPECT_NE(d.sim.log().find("closed the line in the middle of memo 1"), std::string::npos) << d.sim.log();
}

}  // namespace
