#include "link/CommLink.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Builds a list of N nodes tagged 0..N-1 in Address and returns the node pointers.
std::vector<MemoBlock*> buildList(TCommLink& link, int n)
{
    std::vector<MemoBlock*> nodes;
    for (int i = 0; i < n; ++i) {
        auto node = std::make_unique<MemoBlock>();
        node->Address = static_cast<uint16_t>(i);
        nodes.push_back(AppendBlock(link, std::move(node)));
    }
    return nodes;
}

std::vector<int> tags(const TCommLink& link)
{
    std::vector<int> out;
    for (const MemoBlock* p = link.Head.get(); p; p = p->Next.get())
        out.push_back(p->Address);
    return out;
}

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

struct CutCase {
    const char* name;
    int listLength;
    int cutAt;  // index of the node handed to FreeBlocks; -1 none, -2 a node outside the list
    std::vector<int> remaining;
};

class FreeBlocksCut : public testing::TestWithParam<CutCase> {};

TEST_P(FreeBlocksCut, CutsBeforeTheNode)
{
    const CutCase& c = GetParam();
    TCommLink link;
    auto nodes = buildList(link, c.listLength);
    MemoBlock outsider;
    MemoBlock* node = c.cutAt == -1 ? nullptr : c.cutAt == -2 ? &outsider : nodes[c.cutAt];
    FreeBlocks(link, node);
    EXPECT_EQ(tags(link), c.remaining);
    if (c.remaining.empty()) {
        EXPECT_EQ(link.Head, nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FreeBlocksCut,
    testing::Values(CutCase{"AtHead", 5, 0, {}},
                    CutCase{"AtThird", 5, 2, {0, 1}},
                    CutCase{"AtLast", 5, 4, {0, 1, 2, 3}},
                    CutCase{"None", 5, -1, {0, 1, 2, 3, 4}},
                    CutCase{"NotInList", 5, -2, {0, 1, 2, 3, 4}},
                    CutCase{"SingleAtHead", 1, 0, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CommLink, FreeBlocksClearsMemoStartInsideTheFreedPart)
{
    TCommLink link;
    auto nodes = buildList(link, 6);
    link.MemoStart = nodes[4];
    FreeBlocks(link, nodes[3]);
    EXPECT_EQ(link.MemoStart, nullptr);

    link.MemoStart = nodes[1];
    FreeBlocks(link, nodes[2]);
    EXPECT_EQ(link.MemoStart, nodes[1]) << "a MemoStart before the cut stays";
}

TEST(CommLink, AppendAlwaysGoesToTheTail)
{
    TCommLink link;
    buildList(link, 3);
    auto extra = std::make_unique<MemoBlock>();
    extra->Address = 9;
    extra->Next = std::make_unique<MemoBlock>();  // a stale link is dropped on append
    AppendBlock(link, std::move(extra));
    EXPECT_EQ(tags(link), (std::vector<int>{0, 1, 2, 9}));
}

TEST(CommLink, AVeryLongListIsFreedWithoutDeepRecursion)
{
    // Recursive destruction would overflow the stack long before a million nodes.
    TCommLink link;
    MemoBlock* tail = nullptr;
    link.Head = std::make_unique<MemoBlock>();
    tail = link.Head.get();
    for (int i = 0; i < 1'000'000; ++i) {
        tail->Next = std::make_unique<MemoBlock>();
        tail = tail->Next.get();
    }
    FreeBlocks(link, link.Head.get());
    EXPECT_EQ(link.Head, nullptr);
}

}  // namespace
