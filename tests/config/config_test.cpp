#include "link/Config.h"
#include "support/FileSizeLimit.h"
#include "support/TempConfigHome.h"

#include <gtest/gtest.h>

namespace {

struct IntCase {
    const char* name;
    const char* stored;  // nullptr: key missing
    uint32_t speed;      // Speed after reading
};

class ConfigSpeed : public testing::TestWithParam<IntCase> {};

TEST_P(ConfigSpeed, ReadsByTheValueRules)
{
    TempConfigHome home;
    const IntCase& c = GetParam();
    QByteArray file = "[Comm]\nPort=COM1\n";
    if (c.stored)
        file += QByteArray("Speed=") + c.stored + "\n";
    home.write(file);
    TCommLink link;
    ReadLinkLine(link);
    EXPECT_EQ(link.Speed, c.speed);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConfigSpeed,
    testing::Values(IntCase{"Decimal", "19200", 19200}, IntCase{"HexLower", "0x2580", 9600},
                    IntCase{"HexUpperX", "0X2580", 9600}, IntCase{"HexDigitsLowerCase", "0x4b0", 1200},
                    IntCase{"Above16BitsKeptWhole", "115200", 115200},
                    IntCase{"HexAbove16Bits", "0x12580", 75136},
                    IntCase{"NotANumber", "fast", 9600}, IntCase{"Empty", "", 9600},
                    IntCase{"Missing", nullptr, 9600}, IntCase{"BareZeroX", "0x", 9600},
                    IntCase{"HexWithoutPrefixIsNoNumber", "2580h", 9600},
                    IntCase{"TrailingGarbage", "9600baud", 9600}, IntCase{"BadHex", "0xZZ", 9600},
                    IntCase{"Negative", "-1", 9600}, IntCase{"Huge", "99999999999999999999999", 9600}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Config, EightBitKeysKeepTheirLowByte)
{
    TempConfigHome home;
    home.write("[Comm]\nPort=COM1\nWordLen=263\nPariry=0x102\nStopBits=abc\n");
    TCommLink link;
    ReadLinkLine(link);
    EXPECT_EQ(link.WordLen, 7);
    EXPECT_EQ(link.Parity, 2);
    EXPECT_EQ(link.StopBits, 0) << "no number gives the default";
}

struct SwitchCase {
    const char* name;
    const char* mode;  // the [Mode] section's body, or nullptr for none
    bool zenToHan;
    bool kataToHira;
};

class ConfigSwitches : public testing::TestWithParam<SwitchCase> {};

TEST_P(ConfigSwitches, TrueOnlyForUpperCaseTRUE)
{
    TempConfigHome home;
    const SwitchCase& c = GetParam();
    QByteArray file = "[Comm]\nPort=COM1\n";
    if (c.mode)
        file += QByteArray("[Mode]\n") + c.mode;
    home.write(file);
    TCommLink link;
    ReadLinkSwitches(link);
    EXPECT_EQ(link.ZenToHan, c.zenToHan);
    EXPECT_EQ(link.KataToHira, c.kataToHira);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConfigSwitches,
    testing::Values(SwitchCase{"MissingMeansOn", nullptr, true, true},
                    SwitchCase{"Upper", "ZenToHan=TRUE\nKataToHira=FALSE\n", true, false},
                    SwitchCase{"MixedCaseIsOff", "ZenToHan=True\nKataToHira=true\n", false, false},
                    SwitchCase{"OneMissing", "ZenToHan=FALSE\n", false, true},
                    SwitchCase{"Other", "ZenToHan=1\nKataToHira=yes\n", false, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct ProbeCase {
    const char* name;
    const char* file;  // nullptr: no file
    bool present;
};

class ConfigProbe : public testing::TestWithParam<ProbeCase> {};

TEST_P(ConfigProbe, FindsAConfiguration)
{
    TempConfigHome home;
    if (GetParam().file)
        home.write(GetParam().file);
    EXPECT_EQ(ConfigPresent(), GetParam().present);
}

INSTANTIATE_TEST_SUITE_P(Cases, ConfigProbe,
                         testing::Values(ProbeCase{"NoFile", nullptr, false},
                                         ProbeCase{"PortError", "[Comm]\nPort=ERROR\n", false},
                                         ProbeCase{"PortLowerError", "[Comm]\nPort=error\n", true},
                                         ProbeCase{"NoPortKey", "[Comm]\nSpeed=1200\n", false},
                                         ProbeCase{"Port", "[Comm]\nPort=COM3\n", true},
                                         ProbeCase{"EmptyPort", "[Comm]\nPort=\n", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Config, DefaultsPerKeyWhenOnlyPortIsThere)
{
    TempConfigHome home;
    home.write("[Comm]\nPort=COM3\n");
    TCommLink link;
    LoadLinkSettings(link);
    EXPECT_EQ(link.PortName, "COM3");
    EXPECT_EQ(link.Speed, 9600);
    EXPECT_EQ(link.WordLen, 8);
    EXPECT_TRUE(link.ZenToHan);
    EXPECT_TRUE(link.KataToHira);
    const FrameBounds b = ReadFrameBounds();
    EXPECT_EQ(b.width, 320);
    EXPECT_EQ(b.height, 240);
}

TEST(Config, NoFileGivesTheLinkDefaultsWithSwitchesOff)
{
    TempConfigHome home;
    TCommLink link;
    LoadLinkSettings(link);
    EXPECT_EQ(link.PortName, "COM1");
    EXPECT_EQ(link.Speed, 9600);
    EXPECT_FALSE(link.ZenToHan);
    EXPECT_FALSE(link.KataToHira);
    EXPECT_TRUE(link.Machine);
}

TEST(Config, ALongPortValueIsKeptWhole)
{
    TempConfigHome home;
    home.write("[Comm]\nPort=/dev/serial/by-id/usb-QM10-if00\n");
    TCommLink link;
    ReadLinkPort(link);
    EXPECT_EQ(link.PortName, "/dev/serial/by-id/usb-QM10-if00");
}

// The sample settings used by the save tests.
const TCommLink& sampleLink()
{
    static TCommLink link;
    SetLinkDefaults(link);
    link.PortName = "COM4";
    link.Speed = 19200;
    link.Parity = 2;
    link.ZenToHan = true;
    return link;
}

TEST(Config, StoreWritesTheTwelveKeysInOrder)
{
    TempConfigHome home;
    ASSERT_FALSE(StoreConfig(sampleLink(), {-5, 7, 520, 378}).has_value());
    EXPECT_EQ(home.read(),
              "[Machine]\r\nSender=QM10\r\n"
              "[Comm]\r\nPort=COM4\r\nSpeed=19200\r\nWordLen=8\r\nPariry=2\r\nStopBits=0\r\n"
              "[General]\r\nLeft=-5\r\nTop=7\r\nWidth=520\r\nHeight=378\r\n"
              "[Mode]\r\nZenToHan=TRUE\r\nKataToHira=FALSE\r\n");
}

TEST(Config, StoreWithoutMachineLeavesSenderOut)
{
    TempConfigHome home;
    TCommLink link;
    link.PortName = "COM4";
    link.Machine = false;
    ASSERT_FALSE(StoreConfig(link, {0, 0, 1, 1}).has_value());
    EXPECT_FALSE(home.read().contains("Sender"));
}

TEST(Config, StoreOverwritesEveryKeyAndKeepsOthers)
{
    TempConfigHome home;
    home.write("[Comm]\nPort=ERROR\nSpeed=0x10\n[Ports]\nCOM4=/dev/ttyUSB1\n[Mode]\nZenToHan=true\n");
    ASSERT_FALSE(StoreConfig(sampleLink(), {0, 0, 320, 240}).has_value());
    TCommLink back;
    LoadLinkSettings(back);
    EXPECT_EQ(back.PortName, "COM4");
    EXPECT_EQ(back.Speed, 19200);
    EXPECT_TRUE(back.ZenToHan);
    EXPECT_FALSE(back.KataToHira);
    EXPECT_TRUE(home.read().contains("[Ports]\nCOM4=/dev/ttyUSB1\n"));
}

TEST(Config, AFailingKeyStopsTheSaveAndKeepsTheKeysBeforeIt)
{
    TempConfigHome home;
    std::optional<std::string> failure;
    {
        // Room for the first keys only: the file outgrows the limit part way through.
        FileSizeLimit full(60);
        failure = StoreConfig(sampleLink(), {0, 0, 320, 240});
    }
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(*failure, "VEXLO.INI に書き込めません\nファイルが大きすぎます");
    const QByteArray text = home.read();
    EXPECT_TRUE(text.startsWith("[Machine]\r\nSender=QM10\r\n[Comm]\r\nPort=COM4\r\n")) << text.constData();
    EXPECT_FALSE(text.contains("[Mode]"));
    EXPECT_LE(text.size(), 60);
}

TEST(Config, AnUnwritableFolderFailsAtTheFirstKey)
{
    TempConfigHome home;
    home.write("x");
    const std::string below = home.iniPath().toStdString() + "/VEXLO.INI";  // under a plain file
    const auto failure = StoreConfig(sampleLink(), {0, 0, 320, 240}, below);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(*failure, below + " に書き込めません\nフォルダーがありません");
}

}  // namespace
