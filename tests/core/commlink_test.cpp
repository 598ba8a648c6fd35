#include "link/CommLink.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(CommLink, DefaultsLeaveSwitchesAndOtherFields)
{
    TCommLink link;
    link.Retries = 7;
    SetLinkDefaults(link);
    EXPECT_TRUE(link.Machine);
    EXPECT_EQ(link.PortName, "COM1");
    EXPECT_EQ(link.Speed, 9600);
    EXPECT_EQ(link.WordLen, 8);
    EXPECT_EQ(link.Parity, 0);
    EXPECT_EQ(link.StopBits, 0);
    EXPECT_FALSE(link.KataToHira);
    EXPECT_FALSE(link.ZenToHan);
    EXPECT_EQ(link.Retries, 7);

    link.ZenToHan = true;
    SetLinkDefaults(link);
    EXPECT_TRUE(link.ZenToHan) << "defaults must not touch the conversion switches";
}

// The stored codes become the line's settings; a code the line has no name for is the
// nearest setting that still frames (no parity, two stop bits).
struct LineCase {
    const char* name;
    uint8_t parity, stopBits;
    platform::Parity wantParity;
    platform::StopBits wantStopBits;
};

class ChosenLine : public testing::TestWithParam<LineCase> {};

TEST_P(ChosenLine, StoredCodesBecomeTheLineSettings)
{
    const LineCase& c = GetParam();
    TCommLink link;
    SetLinkDefaults(link);
    link.Speed = 19200;
    link.WordLen = 7;
    link.Parity = c.parity;
    link.StopBits = c.stopBits;
    const platform::LineSettings s = ChosenLineSettings(link, platform::FlowControl::XonXoff);
    EXPECT_EQ(s, (platform::LineSettings{19200, 7, c.wantParity, c.wantStopBits, platform::FlowControl::XonXoff}));
    EXPECT_EQ(ChosenLineSettings(link).flow, platform::FlowControl::None);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ChosenLine,
    testing::Values(LineCase{"NoneOne", 0, 0, platform::Parity::None, platform::StopBits::One},
                    LineCase{"OddOneAndAHalf", 1, 1, platform::Parity::Odd, platform::StopBits::OneAndHalf},
                    LineCase{"EvenTwo", 2, 2, platform::Parity::Even, platform::StopBits::Two},
                    LineCase{"UnknownCodes", 7, 9, platform::Parity::None, platform::StopBits::Two}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
