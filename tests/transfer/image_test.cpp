#include "TransferTestUtil.h"
#include "transfer/MemoImage.h"
#include "transfer/ReceivedMemos.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// Field values of a record text.
struct Parsed {
    int count, address, type;
    std::vector<uint8_t> data;
};

Parsed Parse(const std::string& text)
{
    auto byteAt = [&](size_t pos) { return HexPairValue(text[pos], text[pos + 1]); };
    Parsed p{byteAt(1), byteAt(3) * 256 + byteAt(5), byteAt(7), {}};
    for (int i = 0; i < p.count; ++i)
        p.data.push_back(static_cast<uint8_t>(byteAt(9 + 2 * i)));
    return p;
}

QImage WhiteImage(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    return img;
}

TMemoPicture Picture(const QImage& img)
{
    TMemoPicture pic;
    pic.Image = img;
    pic.ImageWidth = static_cast<uint16_t>(img.width());
    pic.ImageHeight = static_cast<uint16_t>(img.height());
    return pic;
}

struct ChainCase {
    int width, height;
    std::vector<uint8_t> header;
    std::vector<int> firstRows;
    std::vector<int> counts;
};

class ImageRecordsTest : public testing::TestWithParam<ChainCase> {};

TEST_P(ImageRecordsTest, CutsRowsIntoRecords)
{
    const ChainCase& c = GetParam();
    const int rowBytes = RowByteCount(c.width);
    std::vector<uint8_t> bits(rowBytes * c.height);
    for (size_t i = 0; i < bits.size(); ++i)
        bits[i] = static_cast<uint8_t>(i * 7);
    TRecordList link;
    AddImageRecords(link, static_cast<uint16_t>(c.height), static_cast<uint16_t>(c.width),
                    static_cast<uint16_t>(bits.size()), bits);
    const auto texts = testutil::ChainTexts(link);
    ASSERT_EQ(texts.size(), c.firstRows.size() + 1);
    const Parsed header = Parse(texts[0]);
    EXPECT_EQ(header.address, 0xA000);
    EXPECT_EQ(header.type, 0x80);
    EXPECT_EQ(header.data, c.header);
    size_t at = 0;
    for (size_t i = 0; i < c.firstRows.size(); ++i) {
        const Parsed rec = Parse(texts[i + 1]);
        EXPECT_EQ(rec.address, 0xA000);
        EXPECT_EQ(rec.type, 0);
        EXPECT_EQ(rec.count, c.counts[i]) << "record " << i;
        EXPECT_EQ(rec.data[0] * 256 + rec.data[1], c.firstRows[i]);
        EXPECT_TRUE(std::equal(rec.data.begin() + 2, rec.data.end(), bits.begin() + at));
        at += rec.data.size() - 2;
    }
    EXPECT_EQ(at, bits.size());
}

std::vector<int> Steps(int from, int step, int n)
{
    std::vector<int> v;
    for (int i = 0; i < n; ++i)
        v.push_back(from + i * step);
    return v;
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ImageRecordsTest,
    testing::Values(
        ChainCase{100, 50, {1, 0x41, 0x53, 0, 100, 0, 50, 0x02, 0x8A}, Steps(0, 8, 7),
                  {106, 106, 106, 106, 106, 106, 28}},
        ChainCase{124, 121, {1, 0x41, 0x53, 0, 124, 0, 121, 0x07, 0x90},
                  [] { auto v = Steps(0, 7, 17); v.push_back(119); return v; }(),
                  [] { std::vector<int> v(17, 114); v.push_back(34); return v; }()},
        ChainCase{8, 121, {1, 0x41, 0x53, 0, 8, 0, 121, 0, 121}, {0, 116}, {118, 7}},
        ChainCase{10, 3, {1, 0x41, 0x53, 0, 10, 0, 3, 0, 6}, {0}, {8}},
        ChainCase{1, 1, {1, 0x41, 0x53, 0, 1, 0, 1, 0, 1}, {0}, {3}}));

class ConvTest : public testing::Test {
protected:
    void SetUp() override { SkipSizeCheck = false; }
    void TearDown() override { SkipSizeCheck = false; }
};

TEST_F(ConvTest, PacksBitsExactWhiteOnlyAndZeroPadding)
{
    QImage img = WhiteImage(10, 2);
    img.setPixel(0, 0, qRgb(0, 0, 0));
    img.setPixel(9, 0, qRgb(254, 255, 255));  // light, but not exactly white
    img.setPixel(8, 1, qRgb(0, 0, 255));
    TTransferBitmap out;
    ASSERT_EQ(ConvPixToBitmap(Picture(img), out), ConvResult::Converted);
    EXPECT_EQ(out.Width, 10);
    EXPECT_EQ(out.Height, 2);
    EXPECT_EQ(out.Bits, (std::vector<uint8_t>{0x80, 0x40, 0x00, 0x80}));
}

struct CropCase {
    int width, height;
    int left, top;  // the source pixel that lands at (0, 0)
    int outW, outH;
};

class CropTest : public ConvTest, public testing::WithParamInterface<CropCase> {};

TEST_P(CropTest, CutsAroundTheMiddle)
{
    const CropCase& c = GetParam();
    QImage img = WhiteImage(c.width, c.height);
    img.setPixel(c.left, c.top, qRgb(0, 0, 0));                          // first kept pixel
    if (c.left > 0)
        img.setPixel(c.left - 1, c.top, qRgb(0, 0, 0));                  // dropped on the left
    img.setPixel(c.left + c.outW - 1, c.top + c.outH - 1, qRgb(0, 0, 0));  // last kept pixel
    SkipSizeCheck = true;
    TTransferBitmap out;
    ASSERT_EQ(ConvPixToBitmap(Picture(img), out), ConvResult::Converted);
    EXPECT_FALSE(SkipSizeCheck);
    EXPECT_EQ(out.Width, c.outW);
    EXPECT_EQ(out.Height, c.outH);
    const int rowBytes = RowByteCount(c.outW);
    EXPECT_EQ(out.Bits[0], 0x80);
    const int lastX = c.outW - 1;
    EXPECT_EQ(out.Bits[(c.outH - 1) * rowBytes + lastX / 8], 0x80 >> (lastX % 8));
    int black = 0;
    for (uint8_t b : out.Bits)
        black += std::popcount(b);
    EXPECT_EQ(black, 2);
}

INSTANTIATE_TEST_SUITE_P(Sizes, CropTest,
                         testing::Values(CropCase{125, 10, 0, 0, 124, 10},
                                         CropCase{127, 10, 1, 0, 124, 10},
                                         CropCase{20, 122, 0, 0, 20, 121},
                                         CropCase{300, 200, 88, 39, 124, 121}));

TEST_F(ConvTest, TooLargeIsRefusedOnceThenConverted)
{
    TMemoPicture pic = Picture(WhiteImage(125, 5));
    int refusals = 0;
    TConvHooks hooks;
    hooks.Refused = [&] { ++refusals; };
    TTransferBitmap out;
    out.Width = 7;
    // Send after Send: refused, converted, refused again.
    EXPECT_EQ(ConvertForSend(pic, out, hooks), ConvResult::TooLarge);
    EXPECT_EQ(out.Width, 7);
    EXPECT_TRUE(SkipSizeCheck);
    EXPECT_EQ(ConvertForSend(pic, out, hooks), ConvResult::Converted);
    EXPECT_FALSE(SkipSizeCheck);
    EXPECT_EQ(ConvertForSend(pic, out, hooks), ConvResult::TooLarge);
    EXPECT_EQ(refusals, 2);
}

TEST_F(ConvTest, RegionOutsideTheImageReadsBlack)
{
    QImage img = WhiteImage(4, 4);
    img.setPixel(3, 3, qRgb(0, 0, 0));
    TMemoPicture pic = Picture(img);
    pic.SelLeft = 2;
    pic.SelTop = 3;
    pic.SelRight = 6;
    pic.SelBottom = 4;
    TTransferBitmap out;
    ASSERT_EQ(ConvPixToBitmap(pic, out), ConvResult::Converted);
    // row 3: x 2 white, 3 black, 4-6 outside; row 4 outside altogether
    EXPECT_EQ(out.Bits, (std::vector<uint8_t>{0x78, 0xF8}));
}

TEST_F(ConvTest, NoImageIsRefusedWithoutTouchingTheFlag)
{
    TTransferBitmap out;
    EXPECT_EQ(ConvertForSend(TMemoPicture{}, out), ConvResult::NoImage);
    EXPECT_FALSE(SkipSizeCheck);
    TMemoPicture pic = Picture(WhiteImage(5, 5));
    pic.SelLeft = 3;
    pic.SelRight = 2;
    pic.SelTop = 0;
    pic.SelBottom = 0;
    EXPECT_EQ(ConvPixToBitmap(pic, out), ConvResult::NoImage);
}

// Builds the received list for a chain of image records.
void ReceiveChain(const TRecordList& sent, TRecordReader& received)
{
    std::string stream;
    for (const auto& t : testutil::ChainTexts(sent))
        stream += t;
    testutil::Receive(received, stream);
}

// Every width the device takes: what we send is drawn back the same wherever both sides use
// the same row length; at multiples of 8 the drawing reads one byte more a row than we send,
// so row y is drawn from the bytes that start at y * (W/8 + 1).
TEST(RoundTrip, EveryWidthDrawsBackAsSentOrWithTheKnownShift)
{
    std::mt19937 rng(11);
    for (int w = 1; w <= MaxSendWidth; ++w) {
        const int h = 1 + static_cast<int>(rng() % MaxSendHeight);
        QImage img(w, h, QImage::Format_RGB32);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                img.setPixel(x, y, rng() % 2 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
        TTransferBitmap bits;
        SkipSizeCheck = false;
        ASSERT_EQ(ConvPixToBitmap(Picture(img), bits), ConvResult::Converted);
        TRecordList sent;
        TRecordReader received;
        AddImageRecords(sent, bits.Height, bits.Width,
                        static_cast<uint16_t>(bits.Bits.size()), bits.Bits);
        ReceiveChain(sent, received);
        TMemoPicture drawn;
        QString error;
        int refreshed = 0;
        const std::size_t stop = DispGraphMemo(drawn, received.Records, 0, error, {[&] { ++refreshed; }});
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
        EXPECT_EQ(stop, received.Records.size() - 1);
        EXPECT_EQ(refreshed, static_cast<int>(testutil::ChainTexts(sent).size()) - 1);
        ASSERT_EQ(drawn.ImageWidth, w);
        ASSERT_EQ(drawn.ImageHeight, h);

        const int sentRow = RowByteCount(w);
        const int readRow = w / 8 + 1;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                bool expectBlack;
                if (sentRow == readRow) {
                    expectBlack = img.pixel(x, y) != qRgb(255, 255, 255);
                } else {
                    // Rows run across record boundaries only within one record.
                    const int perRecord = 116 / sentRow;
                    const int first = (y / perRecord) * perRecord;
                    const size_t byteIndex = static_cast<size_t>(first) * sentRow +
                                             static_cast<size_t>(y - first) * readRow + x / 8;
                    const size_t recordEnd = static_cast<size_t>(std::min(first + perRecord, h)) * sentRow;
                    expectBlack = byteIndex < recordEnd
                                      ? (bits.Bits[byteIndex] >> (7 - x % 8)) & 1
                                      : false;  // past the record's bytes: never drawn, white
                }
                ASSERT_EQ(drawn.Image.pixel(x, y) == qRgb(0, 0, 0), expectBlack)
                    << "width " << w << " at " << x << "," << y;
            }
        }
    }
}

TEST(DispGraphMemo, RefusesSizesItCannotDrawAndStillWalks)
{
    const struct { std::vector<uint8_t> header; const char* says; } cases[] = {
        {{1, 0x41, 0x53, 0x10, 0x01, 0, 10, 0, 0}, "4097x10"},
        {{1, 0x41, 0x53, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0}, "65535x65535"},
        {{1, 0x41, 0x53, 0, 0, 0, 10, 0, 0}, "0x10"},
        {{1, 0x41, 0x53, 0, 8}, "too short"},
    };
    for (const auto& c : cases) {
        TRecordList sent;
        TRecordReader received;
        AddHexRecord(sent, 0xA000, 0x80, c.header);
        AddHexRecord(sent, 0xA000, 0x00, std::vector<uint8_t>{0, 0, 0xFF});
        AddEndRecord(sent);
        ReceiveChain(sent, received);
        TMemoPicture pic;
        QString error;
        const std::size_t stop = DispGraphMemo(pic, received.Records, 0, error);
        EXPECT_TRUE(error.contains(QString::fromLatin1(c.says))) << error.toStdString();
        EXPECT_TRUE(pic.Image.isNull());
        EXPECT_EQ(received.Records[stop].RecType, 1);  // walked past the data record to the end of the memo
    }
}

// What the device may send beyond the rows of a well-formed memo: set bits past the width, a
// record that ends inside a row, rows below the picture. Only columns 0..W-1 of rows 0..H-1
// are drawn, each from its own bit; the rest of a picture stays white.
TEST(DispGraphMemo, DrawsOnlyThePixelsTheRowsHold)
{
    const struct {
        int width, height;
        std::vector<uint8_t> data;        // row number, then row bytes
        std::vector<std::string> rows;    // '#' black, '.' white
    } cases[] = {
        // A row of W + 1 bits: the bits after column W in its last byte belong to no pixel.
        {3, 2, {0, 0, 0xBF, 0x7F}, {"#.#", ".##"}},
        {8, 2, {0, 0, 0x81, 0xFF, 0x42, 0x00}, {"#......#", ".#....#."}},
        {9, 1, {0, 0, 0x00, 0xFF}, {"........#"}},
        {13, 1, {0, 0, 0xF0, 0xAF}, {"####....#.#.#"}},
        // A record that ends inside a row leaves the rest of that row white.
        {17, 2, {0, 0, 0xFF, 0xFF, 0xFF, 0xAA}, {"#################", "#.#.#.#.........."}},
        // Rows below the picture are not drawn; a first row number past it draws nothing.
        {4, 2, {0, 1, 0x90, 0xF0, 0xF0}, {"....", "#..#"}},
        {4, 2, {0x01, 0x00, 0xF0}, {"....", "...."}},
        // Only the row number: nothing to draw.
        {4, 1, {0, 0}, {"...."}},
    };
    for (const auto& c : cases) {
        TRecordList sent;
        TRecordReader received;
        const auto w = static_cast<uint8_t>(c.width);
        const auto h = static_cast<uint8_t>(c.height);
        AddHexRecord(sent, 0xA000, 0x80, std::vector<uint8_t>{1, 0x41, 0x53, 0, w, 0, h, 0, 0});
        AddHexRecord(sent, 0xA000, 0x00, c.data);
        AddEndRecord(sent);
        ReceiveChain(sent, received);
        TMemoPicture pic;
        QString error;
        DispGraphMemo(pic, received.Records, 0, error);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
        std::vector<std::string> rows;
        for (int y = 0; y < pic.Image.height(); ++y) {
            std::string row;
            for (int x = 0; x < pic.Image.width(); ++x)
                row += pic.Image.pixel(x, y) == qRgb(0, 0, 0) ? '#' : '.';
            rows.push_back(row);
        }
        EXPECT_EQ(rows, c.rows) << "width " << c.width;
    }
}

// An end-of-memo record ends the drawing whatever its address: the next memo's header and
// rows are not drawn into the memo before it.
TEST(ReceivedMemos, AnEndOfMemoRecordAtTheImageAddressEndsTheMemo)
{
    TRecordList sent;
    TRecordReader received;
    for (const uint8_t pixels : {0x80, 0x20}) {
        AddHexRecord(sent, 0xA000, 0x80, std::vector<uint8_t>{1, 0x41, 0x53, 0, 3, 0, 1, 0, 1});
        AddHexRecord(sent, 0xA000, 0x00, std::vector<uint8_t>{0, 0, pixels});
        AddHexRecord(sent, 0xA000, 0x01, std::vector<uint8_t>{});
    }
    ReceiveChain(sent, received);
    std::vector<QRgb> firstRow;
    const int n = WalkReceivedMemos(received.Records, [&](TReceivedMemo& m) {
        for (int x = 0; x < 3; ++x)
            firstRow.push_back(m.Picture.Image.pixel(x, 0) & 0xFFFFFF);
    });
    EXPECT_EQ(n, 2);
    EXPECT_EQ(firstRow, (std::vector<QRgb>{0, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0}));
}

TEST(ReceivedMemos, EachMemoGetsItsOwnTitleAndReading)
{
    TRecordList sent;
    TRecordReader received;
    auto memo = [&](std::vector<uint8_t> title, std::vector<uint8_t> reading) {
        AddSegRecord(sent, 0x9F20);
        if (!title.empty())
            AddHexRecord(sent, 0x0000, 0x00, title);
        if (!reading.empty())
            AddHexRecord(sent, 0x8000, 0x00, reading);
        AddHexRecord(sent, 0xA000, 0x80, std::vector<uint8_t>{1, 0x41, 0x53, 0, 3, 0, 1, 0, 1});
        AddHexRecord(sent, 0xA000, 0x00, std::vector<uint8_t>{0, 0, 0xA0});
        AddEndRecord(sent);
    };
    memo({0x13, 0x41}, {'A'});
    memo({}, {});
    memo({0x25, 0x3F}, {0xC0});
    ReceiveChain(sent, received);
    std::vector<std::string> seen;
    const int n = WalkReceivedMemos(received.Records, [&](TReceivedMemo& m) {
        EXPECT_TRUE(m.Error.isEmpty());
        EXPECT_EQ(m.Picture.Image.pixel(0, 0), qRgb(0, 0, 0));
        EXPECT_EQ(m.Picture.Image.pixel(1, 0), qRgb(255, 255, 255));
        seen.push_back(m.TitleCodes + "|" + m.ReadingBytes);
    });
    EXPECT_EQ(n, 3);
    EXPECT_EQ(seen, (std::vector<std::string>{"\x13\x41|A", "|", "\x25\x3F|\xC0"}));
}

}  // namespace
