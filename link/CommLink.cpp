#include "link/CommLink.h"


TCommLink CommLink;

MemoBlock::~MemoBlock()
{
    // Unlink the successors one by one so a long list never recurses.
    std::unique_ptr<MemoBlock> next = std::move(Next);
    while (next)
        next = std::move(next->Next);
}

platform::LineSettings ChosenLineSettings(const TCommLink& link, platform::FlowControl flow)
{
    platform::LineSettings s;
    s.baud = link.Speed;
    s.dataBits = link.WordLen;
    s.parity = link.Parity == 1 ? platform::Parity::Odd : link.Parity == 2 ? platform::Parity::Even : platform::Parity::None;
    s.stopBits = link.StopBits == 0 ? platform::StopBits::One
                 : link.StopBits == 1 ? platform::StopBits::OneAndHalf
                                      : platform::StopBits::Two;
    s.flow = flow;
    return s;
}

void SetLinkDefaults(TCommLink& link)
{
    link.Machine = true;
    link.PortName = "COM1";
    link.Speed = 9600;
    link.WordLen = 8;
    link.Parity = 0;
    link.StopBits = 0;
}

void FreeBlocks(TCommLink& link, MemoBlock* node)
{
    if (!node)
        return;
    std::unique_ptr<MemoBlock>* slot = &link.Head;
    MemoBlock* before = nullptr;
    while (*slot && slot->get() != node) {
        before = slot->get();
        slot = &(*slot)->Next;
    }
    if (!*slot)
        return;  // not in the list
    for (MemoBlock* p = slot->get(); p; p = p->Next.get()) {
        if (p == link.MemoStart) {
            link.MemoStart = nullptr;
            break;
        }
    }
    slot->reset();
    link.Tail = before;
}

MemoBlock* AppendBlock(TCommLink& link, std::unique_ptr<MemoBlock> node)
{
    node->Next.reset();
    if (!link.Head) {
        link.Head = std::move(node);
        link.Tail = link.Head.get();
        return link.Tail;
    }
    // Tail is right unless nodes were linked by hand since; then walk on to the real end.
    MemoBlock* last = link.Tail ? link.Tail : link.Head.get();
    while (last->Next)
        last = last->Next.get();
    last->Next = std::move(node);
    link.Tail = last->Next.get();
    return link.Tail;
}

