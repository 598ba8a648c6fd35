#include "TransferTestUtil.h"
#include "transfer/MemoImage.h"
#include "transfer/SendAssembly.h"

#include <gtest/gtest.h>

namespace {

TTransferBitmap Bitmap(int w, int h)
{
    TTransferBitmap b;
    b.Width = static_cast<uint16_t>(w);
    b.Height = static_cast<uint16_t>(h);
    b.Bits.assign(RowByteCount(w) * h, 0x5A);
    return b;
}

struct FallbackCase {
    const char* title;
    const char* reading;
    const char* fileName;
    const char* titleCodes;  // data of the title record
    const char* readingBytes;
};

class FileNameFallbackTest : public testing::TestWithParam<FallbackCase> {};

TEST_P(FileNameFallbackTest, EmptyReadingTakesTheFileName)
{
    const FallbackCase& c = GetParam();
    TSendText text;
    QString error;
    ASSERT_TRUE(MakeSendText(QString::fromUtf8(c.title), QString::fromUtf8(c.reading),
                             QString::fromUtf8(c.fileName), text, error));
    const auto texts = testutil::ChainTexts(BuildSendChain(Bitmap(1, 1), text, {}));
    auto data = [](const std::string& t) { return t.substr(9, t.size() - 11); };
    EXPECT_EQ(data(texts[1]), c.titleCodes);
    EXPECT_EQ(data(texts[2]), c.readingBytes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileNameFallbackTest,
    testing::Values(
        FallbackCase{"", "", "/memo/a.bmp", "136111251362136D1370", "2F4D454D4F2F412E424D50"},
        FallbackCase{"typed", "", "/memo/a.bmp", "136111251362136D1370", "2F4D454D4F2F412E424D50"},
        FallbackCase{"t", "r", "/memo/a.bmp", "1374", "52"},
        FallbackCase{"", "", "", "", ""}));

TEST(SendText, TypedCharacterWithoutShiftJisIsAnErrorAndTheFileNameLeavesItOut)
{
    TSendText text;
    QString error;
    EXPECT_TRUE(MakeSendText(QString(), QString(), QString::fromUtf8("/tmp/x\xF0\x9F\x98\x80y.bmp"),
                             text, error));
    EXPECT_EQ(text.Title, "xy.bmp");
    EXPECT_EQ(text.Reading, "/tmp/xy.bmp");
    EXPECT_FALSE(MakeSendText(QString::fromUtf8("\xC3\xA9"), QStringLiteral("r"), QString(), text, error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("title"))) << error.toStdString();
}

}  // namespace
