// The simulator's title and reading codes, against codes worked out by hand from the
// device's code table.
#include "tools/qm10sim/TitleCode.h"

#include <gtest/gtest.h>

using namespace qm10sim;

namespace {

struct TitleCase {
    const char* text;
    Bytes codes;
    const char* back;  // what the codes read as again
};

void PrintTo(const TitleCase& c, std::ostream* os) { *os << c.text; }

class SimTitleCode : public testing::TestWithParam<TitleCase> {};

TEST_P(SimTitleCode, EncodesAndReadsBack)
{
    const TitleCase& c = GetParam();
    EXPECT_EQ(encodeTitle(QString::fromUtf8(c.text)), c.codes);
    int unknown = -1;
    EXPECT_EQ(decodeTitle(c.codes, &unknown), QString::fromUtf8(c.back));
    EXPECT_EQ(unknown, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, SimTitleCode,
    testing::Values(TitleCase{"タイトル", {0x25, 0x3F, 0x25, 0x24, 0x25, 0x48, 0x25, 0x6B}, "タイトル"},
                    TitleCase{"漢字", {0x34, 0x41, 0x3B, 0x7A}, "漢字"},
                    TitleCase{"aZ9", {0x13, 0x61, 0x13, 0x5A, 0x13, 0x39}, "aZ9"},
                    TitleCase{"a.bmp", {0x13, 0x61, 0x11, 0x25, 0x13, 0x62, 0x13, 0x6D, 0x13, 0x70}, "a.bmp"},
                    TitleCase{" 　", {0x11, 0x21, 0x21, 0x21}, " 　"},
                    // Half-width katakana: voiced and semi-voiced pairs become one code.
                    TitleCase{"ｶﾞｲﾄﾞ", {0x15, 0x2C, 0x15, 0x24, 0x15, 0x49}, "ガイド"},
                    TitleCase{"ﾊﾟﾝ", {0x15, 0x51, 0x15, 0x73}, "パン"},
                    TitleCase{"ﾂﾞ", {0x15, 0x45}, "ヅ"},
                    TitleCase{"ｰ｡", {0x11, 0x3C, 0x11, 0x23}, "ー。"},
                    TitleCase{"😀", {}, ""}));  // nothing the device can show

TEST(SimTitleCode, StopsAtFiftyOneCodes)
{
    EXPECT_EQ(encodeTitle(QString(60, QChar('x'))).size(), 102u);
}

TEST(SimTitleCode, UnknownCodesAreMarked)
{
    int unknown = 0;
    EXPECT_EQ(decodeTitle({0x13, 0x41, 0x7F, 0x7F, 0x10, 0x21}, &unknown), QStringLiteral("A\uFFFD\uFFFD"));
    EXPECT_EQ(unknown, 2);
}

TEST(SimReadingCode, UpperCaseAsciiAndHalfWidthKatakanaOnly)
{
    EXPECT_EQ(encodeReading(QStringLiteral("abc ＡＢ1ｶﾞｯｺｳ漢")),
              (Bytes{'A', 'B', 'C', ' ', 'A', 'B', '1', 0xB6, 0xDE, 0xAF, 0xBA, 0xB3}));
    EXPECT_EQ(encodeReading(QString(100, QChar('a'))).size(), 84u);
    EXPECT_EQ(decodeReading({'A', 0xB6, 0xDE, 0x07}), QStringLiteral("Aｶﾞ\uFFFD"));
}

}  // namespace
