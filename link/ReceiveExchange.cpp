#include "link/ReceiveExchange.h"

#include "link/Comenote.h"
#include "link/ExchangeHost.h"
#include "link/ExchangeMessages.h"
#include "transfer/RecordReader.h"

namespace {

constexpr uint8_t CR = 13;
constexpr uint8_t LF = 10;
constexpr uint8_t DC1 = 17;

// A "#" the port had no room for yet; it goes out before anything else is read, so the
// device never waits for an acknowledgement that we dropped.
int g_pendingAck = -1;

// The exchange was ended because a memo never ended (see MaxMemoRecords).
bool g_memoTooLong = false;

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
    }
    const int value = RecvWantsHexPair(link) ? ReadHexByte(link) : ReadByte(link);
    if (value < 0)
        return;
    switch (RecvRecordStep(link, static_cast<uint8_t>(value))) {
    case RecvEvent::None:
        break;
    case RecvEvent::MemoComplete:
        SetStatusText(QStringLiteral("受信中です:%1").arg(link.MemoCount));
        if (!WriteByte(link, '#'))
            g_pendingAck = '#';
        break;
    case RecvEvent::BadRecord:
        WriteByte(link, '?');
        break;
    case RecvEvent::ExchangeEnded:
        UnhookStep();
        ExchangeOk = true;
        CloseExchangeHost();
        break;
    case RecvEvent::MemoTooLong:
        UnhookStep();
        ExchangeOk = false;
        g_memoTooLong = true;
        CloseExchangeHost();
        break;
    }
}

// Drops the memo in progress: the blocks from its first stored record on. What lies before
// it are memos the device has been told arrived.
static void dropMemoInProgress(TCommLink& link)
{
    if (link.MemoStart)
        FreeBlocks(link, link.MemoStart);
    link.MemoStart = nullptr;
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
    g_memoTooLong = false;
    SetStatusText(QStringLiteral("接続中です..."));
    HookStep(RecvHandshakeStep, link);
    RunExchangeHost();
    UnhookStep();
    if (!ExchangeOk) {
        dropMemoInProgress(link);
        WriteByte(link, '!');
        ExchangeMessage(ExchangeBox::Error, g_memoTooLong ? MemoTooLongText().arg(MaxMemoRecords)
                                                          : QString::fromUtf16(CancelledText));
        tell(ReceiveOutcome::Failed);
    } else {
        tell(ReceiveOutcome::Completed);
    }
    ClosePort(link);
    return link.Head.get();
}
