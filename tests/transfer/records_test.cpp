#include "TransferTestUtil.h"

#include <gtest/gtest.h>


#include <random>

namespace {

struct RecordCase {
    uint16_t address;
    uint8_t type;
    std::string data;
    std::string text;
};

class MakeHexRecordTest : public testing::TestWithParam<RecordCase> {};

TEST_P(MakeHexRecordTest, WritesTextAndLength)
{
    const RecordCase& c = GetParam();
    TRecord node;
    MakeHexRecord(c.address, c.type,
                  {reinterpret_cast<const uint8_t*>(c.data.data()), c.data.size()},
                  static_cast<uint16_t>(c.data.size()), node);
    EXPECT_EQ(RecordText(node), c.text);
    EXPECT_EQ(node.Count, 2 * c.data.size() + 11);
}

INSTANTIATE_TEST_SUITE_P(
    Records, MakeHexRecordTest,
    testing::Values(RecordCase{0x0000, 0x00, "", ":0000000000"},
                    RecordCase{0x0000, 0x01, "", ":00000001FF"},
                    RecordCase{0x0000, 0xFF, "", ":000000FF01"},
                    RecordCase{0x0000, 0x02, testutil::Bytes({0x9F, 0x20}), ":020000029F203D"},
                    RecordCase{0xA000, 0x80, testutil::Bytes({1, 0x41, 0x53, 0, 0x64, 0, 0x32, 2, 0x8A}),
                               ":09A0008001415300640032028A20"},
                    RecordCase{0x8000, 0x00, testutil::Bytes({0x0A}), ":018000000A75"}));

TEST(MakeHexRecord, RefusesDataThatDoesNotFitTheNode)
{
    TRecord node;
    const std::vector<uint8_t> data(MaxRecordData + 1, 0x55);
    EXPECT_NO_THROW(MakeHexRecord(0, 0, data, MaxRecordData, node));
    EXPECT_EQ(node.Count, TRecord::DataSize - 1);
    EXPECT_THROW(MakeHexRecord(0, 0, data, MaxRecordData + 1, node), std::length_error);
    EXPECT_THROW(MakeHexRecord(0, 0, std::span(data).first(3), 4, node), std::length_error);
}

TEST(SendChain, BuildersAppendInOrder)
{
    TRecordList link;
    AddSegRecord(link, 0x9F20);
    AddEndRecord(link);
    AddSegRecord(link, 0x0000);
    AddSegRecord(link, 0xFFFF);
    EXPECT_EQ(testutil::ChainTexts(link),
              (std::vector<std::string>{":020000029F203D", ":00000001FF", ":020000020000FC",
                                        ":02000002FFFFFE"}));
}

// Whatever record the builder writes, the receive side reads back the same fields and keeps it.
TEST(SendChain, EveryBuiltRecordReadsBackGood)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        std::vector<uint8_t> data(rng() % 256);
        for (auto& b : data)
            b = static_cast<uint8_t>(rng());
        const uint16_t address = static_cast<uint16_t>(rng());
        const uint8_t type = static_cast<uint8_t>(rng() % 255);  // 255 would end the exchange
        TRecordList send;
        AddHexRecord(send, address, type, data);

        TRecordReader recv;
        const std::string events = testutil::Receive(recv, RecordText(send.front()));
        EXPECT_EQ(events.find('?'), std::string::npos);
        ASSERT_FALSE(recv.Records.empty());
        EXPECT_EQ(recv.Records.front().Count, data.size());
        EXPECT_EQ(recv.Records.front().Address, address);
        EXPECT_EQ(recv.Records.front().RecType, type);
        EXPECT_TRUE(std::equal(data.begin(), data.end(), recv.Records.front().Data.begin()));
    }
}

}  // namespace
