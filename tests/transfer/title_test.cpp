#include "TransferTestUtil.h"
#include "platform/Cp932.h"
#include "transfer/DeviceText.h"
#include "transfer/TitleConv.h"

#include <gtest/gtest.h>

#include <iconv.h>

namespace {

std::string Sjis(const QString& text)
{
    std::string out;
    QString error;
    EXPECT_TRUE(platform::ToCp932(text, out, error)) << error.toStdString();
    return out;
}

std::string Hex(const std::string& bytes)
{
    std::string s;
    for (char b : bytes)
        s += (s.empty() ? "" : " ") + ByteToHex(static_cast<uint8_t>(b));
    return s;
}

struct TitleCase {
    const char* text;  // UTF-8
    bool kataToHira, zenToHan;
    const char* codes;
};

class ConvTitleTest : public testing::TestWithParam<TitleCase> {};

TEST_P(ConvTitleTest, GivesTheDeviceCodes)
{
    const TitleCase& c = GetParam();
    EXPECT_EQ(Hex(ConvTitle(Sjis(QString::fromUtf8(c.text)), TitleLimit, c.kataToHira, c.zenToHan)),
              c.codes)
        << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ConvTitleTest,
    testing::Values(TitleCase{"タイトル", false, true, "15 3F 15 24 15 48 15 6B"},
                    TitleCase{"タイトル", false, false, "25 3F 25 24 25 48 25 6B"},
                    TitleCase{"ＡＢＣ１", false, true, "13 41 13 42 13 43 13 31"},
                    TitleCase{"ABC1", false, true, "13 41 13 42 13 43 13 31"},
                    TitleCase{"abc", false, false, "13 61 13 62 13 63"},
                    TitleCase{"（＾", false, true, "11 4A"},
                    TitleCase{"（＾", false, false, "21 4A 21 30"},
                    TitleCase{"　 ", false, true, "21 21 11 21"},
                    TitleCase{"ｶﾞｲﾄﾞ", true, false, "14 2C 14 24 14 49"},
                    TitleCase{"ｶﾞｲﾄﾞ", false, true, "15 2C 15 24 15 49"},
                    TitleCase{"ﾊﾟﾝ", false, false, "15 51 15 73"},
                    TitleCase{"ﾊﾞﾋﾎﾟ", true, false, "14 50 14 52 14 5D"},
                    TitleCase{"ｳﾞ", false, false, "15 26"},
                    TitleCase{"ﾞｱﾟ", false, false, "15 22"},
                    TitleCase{"漢字", false, true, "34 41 3B 7A"},
                    TitleCase{"□◆", false, true, "12 21"},
                    TitleCase{"□◆", false, false, "22 22 22 21"},
                    TitleCase{"a.bmp", false, false, "13 61 11 25 13 62 13 6D 13 70"},
                    TitleCase{"^_`~|", false, false, "11 41 11 21"},
                    TitleCase{"ｰ｡･", false, false, "11 3C 11 23 11 25"},
                    TitleCase{"", false, false, ""}));

TEST(ConvTitle, DropsBrokenDoubleByteCharacters)
{
    // A lead byte before a byte that cannot follow it goes alone; the next byte still counts.
    EXPECT_EQ(Hex(ConvTitle("\x82" "1", TitleLimit, false, false)), "13 31");
    EXPECT_EQ(Hex(ConvTitle("\x82" "A", TitleLimit, false, false)), "23 22");  // "A" can follow
    EXPECT_EQ(Hex(ConvTitle("A\x82", TitleLimit, false, false)), "13 41");
    EXPECT_EQ(Hex(ConvTitle("\x80\xA0\xFD\x7F\x01", TitleLimit, false, false)), "");
}

TEST(ConvTitle, StopsAfterFiftyOneCodes)
{
    const std::string sixty(60, 'x');
    EXPECT_EQ(ConvTitle(sixty, TitleLimit, false, false).size(), 102u);
    // Characters without a code do not count against the limit.
    EXPECT_EQ(ConvTitle(std::string(100, '^') + sixty, TitleLimit, false, false).size(), 102u);
    EXPECT_EQ(ConvTitle(Sjis(QString(60, QChar(0x6F22))), TitleLimit, false, false).size(), 102u);
    TRecordList link;
    AddTitleRecord(link, sixty, {});
    EXPECT_EQ(link.front().Count, 2 * 102 + 11);
}

// Half-width symbols of row 1 and 2 go half-width only where the device has the form; the
// lists name the characters, the conversion works on cells.
TEST(ConvTitle, HalfWidthAvailabilityFollowsTheCharacterLists)
{
    const QString with = QString::fromUtf8("・：；？！々〆ー―／～‥’”（）〈〉「」【】＋－±×÷＝￥＄％＃＆＊＠○●◇◆△▲※〒→←↑↓");
    const QString without = QString::fromUtf8(
        "゛゜´｀¨＾￣＿ヽヾゝゞ〃仝〇‐＼∥｜…‘“〔〕［］｛｝《》『』≠＜＞≦≧∞∴♂♀°′″℃￠￡§☆★◎□■▽▼");
    for (const QChar ch : with) {
        const std::string s = Sjis(ch);
        const JisCode jis = SjisToJis(static_cast<uint8_t>(s[0]), static_cast<uint8_t>(s[1]));
        EXPECT_EQ(ConvTitle(s, TitleLimit, false, true), testutil::Bytes({jis.Row - 0x10, jis.Cell}))
            << QString(ch).toStdString();
    }
    for (const QChar ch : without)
        EXPECT_EQ(ConvTitle(Sjis(ch), TitleLimit, false, true), "") << QString(ch).toStdString();
    EXPECT_EQ(with.size() + without.size(), (0x7E - 0x26 + 1) + 13);
}

// Typed half-width katakana, alone and with their marks, give the cell of the full-width
// katakana that Unicode composes them to.
TEST(ConvTitle, HalfWidthKanaMatchTheirFullWidthCells)
{
    for (int b = 0xA6; b <= 0xDD; ++b) {
        if (b == 0xB0)
            continue;  // ｰ is a symbol
        for (const char* mark : {"", "\xDE", "\xDF"}) {
            const std::string typed = std::string(1, static_cast<char>(b)) + mark;
            if (typed == "\xB3\xDE")
                continue;  // the device has no ｳﾞ: ｳ goes alone and the mark is dropped
            QString text, error;
            ASSERT_TRUE(platform::FromCp932(typed, text, error));
            const QString full = text.normalized(QString::NormalizationForm_KC);
            std::string s;
            if (full.size() != 1 || !platform::ToCp932(full, s, error))
                continue;  // the mark does not combine with this letter (or not in JIS)
            const JisCode jis = SjisToJis(static_cast<uint8_t>(s[0]), static_cast<uint8_t>(s[1]));
            ASSERT_EQ(jis.Row, 0x25);
            EXPECT_EQ(ConvTitle(typed, TitleLimit, false, false), testutil::Bytes({0x15, jis.Cell}))
                << full.toStdString();
            EXPECT_EQ(ConvTitle(typed, TitleLimit, true, false), testutil::Bytes({0x14, jis.Cell}));
        }
    }
}

// SjisToJis agrees with glibc (CP932 -> EUC-JP) on every code of the JIS X 0208 rows.
TEST(SjisToJis, AgreesWithIconvOnEveryJisCode)
{
    iconv_t cd = iconv_open("EUC-JP", "CP932");
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    int checked = 0;
    for (int lead = 0x81; lead <= 0xEA; ++lead) {
        if ((lead > 0x84 && lead < 0x88) || (lead > 0x9F && lead < 0xE0))
            continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F)
                continue;
            char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            char out[8];
            char* src = in;
            char* dst = out;
            size_t srcLeft = 2, dstLeft = sizeof out;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1) ||
                dst - out != 2)
                continue;  // not mapped, or outside JIS X 0208
            const JisCode jis = SjisToJis(static_cast<uint8_t>(lead), static_cast<uint8_t>(trail));
            ASSERT_EQ(jis.Row, static_cast<uint8_t>(out[0]) - 0x80) << std::hex << lead << trail;
            ASSERT_EQ(jis.Cell, static_cast<uint8_t>(out[1]) - 0x80) << std::hex << lead << trail;
            ++checked;
        }
    }
    iconv_close(cd);
    EXPECT_GT(checked, 6800);
}

struct ReadingCase {
    const char* text;
    const char* bytes;
};

class ConvTitleReaderTest : public testing::TestWithParam<ReadingCase> {};

TEST_P(ConvTitleReaderTest, GivesTheReadingBytes)
{
    const ReadingCase& c = GetParam();
    EXPECT_EQ(Hex(ConvTitleReader(Sjis(QString::fromUtf8(c.text)))), c.bytes) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ConvTitleReaderTest,
    testing::Values(ReadingCase{"たいとる", "C0 B2 C4 D9"},
                    ReadingCase{"がっこう", "B6 DE AF BA B3"},
                    ReadingCase{"ＡＢＣ", "41 42 43"}, ReadingCase{"abc", "41 42 43"},
                    ReadingCase{"（注）", "28 29"}, ReadingCase{"漢字", ""},
                    ReadingCase{"ぱヴゎヶ", "CA DF B3 DE DC B9"},
                    ReadingCase{"「ー」・〜　", "A2 B0 A3 A5 20 20"},
                    ReadingCase{"ｶﾞ0９z", "B6 DE 30 39 5A"}));

TEST(ReadingRecord, IsCutAt84Bytes)
{
    // 41 voiced kana (82 bytes), then あ and ぱ: the cut parts ﾊ from its mark.
    TRecordList link;
    AddReaderRecord(link, Sjis(QString::fromUtf8("ぢ").repeated(41) + QString::fromUtf8("あぱ")));
    const std::string text = RecordText(link.front());
    EXPECT_EQ(link.front().Count, 2 * 84 + 11);
    EXPECT_EQ(text.substr(1, 8), "54800000");
    EXPECT_EQ(text.substr(text.size() - 6, 4), "B1CA");
    EXPECT_EQ(ConvTitleReader(Sjis(QString::fromUtf8("ぢ").repeated(41) + QString::fromUtf8("あぱ"))).size(), 85u);
}

struct BackCase {
    const char* typed;
    bool zenToHan;
    const char* readable;
};

class DeviceTextTest : public testing::TestWithParam<BackCase> {};

TEST_P(DeviceTextTest, TitleCodesReadBack)
{
    const BackCase& c = GetParam();
    EXPECT_EQ(DeviceCodesToText(ConvTitle(Sjis(QString::fromUtf8(c.typed)), TitleLimit, false,
                                          c.zenToHan))
                  .toStdString(),
              c.readable);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, DeviceTextTest,
    testing::Values(BackCase{"a.bmp", false, "a.bmp"}, BackCase{"漢字メモ", false, "漢字メモ"},
                    BackCase{"タイトル", true, "ﾀｲﾄﾙ"}, BackCase{"ガイド", true, "ｶﾞｲﾄﾞ"},
                    BackCase{"ひらがな", true, "ひらがな"}, BackCase{"ヶ々", true, "ヶ々"},
                    BackCase{"ＡＢ１（", true, "AB1("}, BackCase{"→", true, "→"},
                    BackCase{"ｶﾞ ﾊﾟ", false, "ｶﾞ ﾊﾟ"}));

TEST(DeviceText, UnknownCodesAndBytesShowAsReplacement)
{
    EXPECT_EQ(DeviceCodesToText(testutil::Bytes({0x16, 0x21, 0x22, 0x2F, 0x21})).toStdString(),
              "\uFFFD\uFFFD");
    EXPECT_EQ(ReadingBytesToText("A\xB1\x01\xE0").toStdString(), "Aｱ\uFFFD\uFFFD");
}

}  // namespace
