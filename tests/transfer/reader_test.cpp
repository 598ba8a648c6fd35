#include "TransferTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

namespace {

std::string Rec(uint16_t address, uint8_t type, const std::string& data)
{
    TRecord node;
    MakeHexRecord(address, type, {reinterpret_cast<const uint8_t*>(data.data()), data.size()},
                  static_cast<uint16_t>(data.size()), node);
    return RecordText(node);
}

// The same record with its checksum spoilt.
std::string Damaged(std::string record)
{
    char& last = record.back();
    last = last == '0' ? '1' : '0';
    return record;
}

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

const std::string Seg = ":020000029F203D";
const std::string Title = Rec(0x0000, 0x00, testutil::Bytes({0x13, 0x41}));
const std::string Header = Rec(0xA000, 0x80, testutil::Bytes({1, 0x41, 0x53, 0, 8, 0, 1, 0, 1}));
const std::string Row = Rec(0xA000, 0x00, testutil::Bytes({0, 0, 0xA5, 0}));
const std::string EndMemo = ":00000001FF";
const std::string EndAll = ":000000FF01";
const std::string Memo = Seg + Title + Header + Row + EndMemo;

// "type/address/count" of every stored block.
std::string Shape(const TRecordReader& link)
{
    std::string s;
    for (const TRecord& n : link.Records) {
        if (!s.empty())
            s += ' ';
        s += ByteToHex(n.RecType) + "/" + ByteToHex(n.Address >> 8) + ByteToHex(n.Address & 0xFF) + "/" +
             std::to_string(n.Count);
    }
    return s;
}

const std::string MemoShape = "02/0000/2 00/0000/2 80/A000/9 00/A000/4 01/0000/0";

struct StreamCase {
    const char* name;
    std::string stream;
    std::string events;  // # memo complete, ? bad record, E exchange ended
    std::string shape;
    int memos;
};

class ReceiveStreamTest : public testing::TestWithParam<StreamCase> {};

TEST_P(ReceiveStreamTest, KeepsAndDropsRecordsAsTheExchangeDoes)
{
    const StreamCase& c = GetParam();
    TRecordReader link;
    EXPECT_EQ(testutil::Receive(link, c.stream), c.events);
    EXPECT_EQ(Shape(link), c.shape);
    EXPECT_EQ(link.MemoCount, c.memos);
    EXPECT_TRUE(link.BetweenRecords());
}

INSTANTIATE_TEST_SUITE_P(
    Streams, ReceiveStreamTest,
    testing::Values(
        StreamCase{"EndRecordAlone", EndAll, "E", "FF/0000/0", 0},
        StreamCase{"OneMemo", Memo + EndAll, "#E", MemoShape + " FF/0000/0", 1},
        StreamCase{"LineEndsJunkAndLowerCase",
                   "\r\n\x11junk " + Lower(Seg) + "\r\n" + Title + "\n\n" + Lower(Header) + "zz" +
                       Row + "\r\n" + EndMemo + "\r\n" + EndAll + "\r\n",
                   "#E", MemoShape + " FF/0000/0", 1},
        StreamCase{"BadFirstRecordFreesNothing", Damaged(Seg) + Memo + EndAll, "?#E",
                   MemoShape + " FF/0000/0", 1},
        StreamCase{"BadRecordInSecondMemoDropsOnlyThatMemo",
                   Memo + Seg + Title + Damaged(Header) + Memo + EndAll, "#?#E",
                   MemoShape + " " + MemoShape + " FF/0000/0", 2},
        StreamCase{"NonDigitInsideRecordSpoilsIt", Seg + Title + ":09A00080014153000800010001ZZ" + Memo,
                   "?#", MemoShape, 1},
        StreamCase{"ColonInsideRecordIsAPairCharacter", ":0:0000FF01", "E", "FF/0000/0", 0},
        StreamCase{"TypeOneWithDataDoesNotEndAMemo", Seg + ":0100000100FE" + EndMemo, "#",
                   "02/0000/2 01/0000/1 01/0000/0", 1},
        StreamCase{"CountZeroRecordStartsAMemo", ":0000000000" + Damaged(Seg), "?", "", 0},
        StreamCase{"EndOfExchangeInsideAMemoKeepsIt", Seg + Header + Row + EndAll, "E",
                   "02/0000/2 80/A000/9 00/A000/4 FF/0000/0", 0},
        StreamCase{"ThreeMemos", Memo + Memo + Memo, "###",
                   MemoShape + " " + MemoShape + " " + MemoShape, 3}),
    [](const testing::TestParamInfo<StreamCase>& info) { return std::string(info.param.name); });

// A device that never ends its memo: the memo is dropped at the bound, the acknowledged memo
// before it stays, and the reader takes the next memo as usual.
TEST(ReceiveStream, AMemoPastTheRecordBoundIsDropped)
{
    const struct { int rows; std::string events; int memos; } cases[] = {
        {MaxMemoRecords - 2, "###", 3},  // segment, header and rows: exactly at the bound
        {MaxMemoRecords - 1, "#L##", 3},  // its end record then counts as an empty memo
    };
    for (const auto& c : cases) {
        std::string rows;
        for (int i = 0; i < c.rows; ++i)
            rows += Row;
        TRecordReader link;
        EXPECT_EQ(testutil::Receive(link, Memo + Seg + Header + rows + EndMemo + Memo), c.events) << c.rows;
        EXPECT_EQ(link.MemoCount, c.memos);
        if (c.events == "#L##") {
            EXPECT_EQ(Shape(link), MemoShape + " 01/0000/0 " + MemoShape) << "only the end record is left of it";
        }
    }
}

// The exchange lets the line rest for as many characters as the record still needs: never more
// than are left of it (it would sleep past the record's end), and all of them once the count
// is known.
TEST(ReceiveStream, CharactersLeftAreThoseOfTheRecordNotYetRead)
{
    for (const std::string& record : {EndAll, Row, Header, Rec(0xA000, 0x00, std::string(255, 'x'))}) {
        TRecordReader link;
        RecvStart(link);
        TRecordStreamReader reader(link);
        EXPECT_EQ(RecordCharsLeft(link), 0) << "between records";
        for (size_t at = 0; at < record.size(); ++at) {
            reader.Put(uint8_t(record[at]));
            const int left = int(record.size() - at - 1);
            if (at == 0) {  // after the colon the count is not known yet: the least a record has
                EXPECT_EQ(RecordCharsLeft(link), std::min(left, 10)) << record;
            } else if (at % 2 == 0) {  // after every whole pair
                EXPECT_EQ(RecordCharsLeft(link), left) << record << " at " << at;
            }
        }
        EXPECT_EQ(link.Records.size(), 1u) << record;
    }
}

}  // namespace
