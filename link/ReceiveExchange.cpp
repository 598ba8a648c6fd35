#include "link/ReceiveExchange.h"

#include "link/Comenote.h"
#include "link/ExchangeHost.h"
#include "link/ExchangeMessages.h"
#include "transfer/RecordReader.h"

#include <deque>

namespace {

constexpr uint8_t CR = 13;
constexpr uint8_t LF = 10;
constexpr uint8_t DC1 = 17;

// A "#" the port had no room for yet; it goes out before anything else is read, so the
// device never waits for an acknowledgement that we dropped.
int g_pendingAck = -1;

// Memos whose "#" has not left the program yet (the kernel refused it while the device held
// us with XOFF, or it waits in g_pendingAck), oldest first: the first block of the memo, and
// the count of bytes written once its "#" was. Until its "#" has gone the device has not been
// told that the memo arrived, and will send it again.
struct UnconfirmedMemo {
    MemoBlock* First;
    uint64_t AckWrittenBy;  // bytesWritten() after the "#"; 0 while the "#" waits to be queued
};
std::deque<UnconfirmedMemo> g_unconfirmed;

void queueAck(TCommLink& link, MemoBlock* first)
{
    if (WriteByte(link, '#')) {
        g_unconfirmed.push_back({first, link.Handle.bytesWritten()});
    } else {
        g_pendingAck = '#';
        g_unconfirmed.push_back({first, 0});
    }
}

// Forgets the memos whose "#" the kernel has taken.
void confirmSentAcks(TCommLink& link)
{
    while (!g_unconfirmed.empty() && g_unconfirmed.front().AckWrittenBy != 0
           && link.Handle.bytesSent() >= g_unconfirmed.front().AckWrittenBy)
        g_unconfirmed.pop_front();
}

// The tail of the list: where a memo that ends now began, when it had no other block.
MemoBlock* lastBlock(TCommLink& link)
{
    MemoBlock* node = link.Head.get();
    while (node && node->Next)
        node = node->Next.get();
    return node;
}

}  // namespace

void RecvHandshakeStep(TCommLink& link, bool& done)
{
    done = false;
    switch (link.Step) {
    case 0:
        if (ReadByte(link) == CR)
            link.Step = 1;
        break;
    case 1:
        if (ReadByte(link) == LF) {
            WriteByte(link, DC1);
            link.Step = 2;
        }
        break;
    case 2:
        if (BytesQueued(link) != 0)
            break;  // DC1 is still on its way
        ExchangeOk = true;
        SwitchToDataPhase(link);
        SetStatusText(QStringLiteral("受信中です"));
        link.Step = 0;
        HookStep(RecvDataStep, link);
        DispatchPendingMessages();
        break;
    default:
        break;
    }
}

void RecvDataStep(TCommLink& link, bool& done)
{
    done = false;
    if (g_pendingAck >= 0) {
        if (!WriteByte(link, static_cast<uint8_t>(g_pendingAck)))
            return;
        g_pendingAck = -1;
        for (UnconfirmedMemo& m : g_unconfirmed)
            if (m.AckWrittenBy == 0)
                m.AckWrittenBy = link.Handle.bytesWritten();
    }
    confirmSentAcks(link);
    const int value = RecvWantsHexPair(link) ? ReadHexByte(link) : ReadByte(link);
    if (value < 0)
        return;
    MemoBlock* const memoStart = link.MemoStart;
    switch (RecvRecordStep(link, static_cast<uint8_t>(value))) {
    case RecvEvent::None:
        break;
    case RecvEvent::MemoComplete:
        SetStatusText(QStringLiteral("受信中です:%1").arg(link.MemoCount));
        queueAck(link, memoStart ? memoStart : lastBlock(link));
        break;
    case RecvEvent::BadRecord:
        WriteByte(link, '?');
        break;
    case RecvEvent::ExchangeEnded:
        UnhookStep();
        ExchangeOk = true;
        CloseExchangeHost();
        break;
    }
}

// Drops what the device has not been told arrived: the memo in progress, and memos whose "#"
// never left the program (after the drain). What lies before them are memos the device knows
// it delivered.
static void dropUnacknowledged(TCommLink& link)
{
    confirmSentAcks(link);
    if (!g_unconfirmed.empty())
        FreeBlocks(link, g_unconfirmed.front().First);
    else if (link.MemoStart)
        FreeBlocks(link, link.MemoStart);
    link.MemoStart = nullptr;
    g_unconfirmed.clear();
}

MemoBlock* ReceiveExchange(TCommLink& link, ReceiveOutcome* outcome)
{
    auto tell = [outcome](ReceiveOutcome o) {
        if (outcome)
            *outcome = o;
    };
    tell(ReceiveOutcome::PortUnavailable);
    FreeBlocks(link, link.Head.get());
    if (!OpenLink(link))
        return nullptr;
    RecvStart(link);
    g_pendingAck = -1;
    g_unconfirmed.clear();
    SetStatusText(QStringLiteral("接続中です..."));
    HookStep(RecvHandshakeStep, link);
    RunExchangeHost();
    UnhookStep();
    if (!ExchangeOk) {
        WriteByte(link, '!');
        // The "!" and any "#" still held back by the device's XOFF get their chance to leave
        // before we judge which memos the device was told about.
        (void)DrainOutput(link);
        dropUnacknowledged(link);
        ClosePort(link);
        ExchangeMessage(ExchangeBox::Error, QString::fromUtf16(CancelledText));
        tell(ReceiveOutcome::Failed);
    } else {
        g_unconfirmed.clear();
        ClosePort(link);
        tell(ReceiveOutcome::Completed);
    }
    return link.Head.get();
}
