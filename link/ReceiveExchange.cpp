#include "link/ReceiveExchange.h"

#include "link/Comenote.h"
#include "link/ExchangeHost.h"
#include "link/ExchangeMessages.h"
#include "transfer/RecordReader.h"

#include <algorithm>
#include <cstddef>
#include <deque>
#include <optional>
#include <vector>

namespace {

constexpr uint8_t CR = 13;
constexpr uint8_t LF = 10;
constexpr uint8_t DC1 = 17;

// Memos whose "#" may wait to leave before the exchange reads on. A device waits for "#"
// before it sends the next memo, so one is the rule; a device that holds us with XOFF and
// sends on is held back by the kernel's input flow control once we stop reading.
constexpr std::size_t kMaxWaitingMemos = 4;

// A complete memo whose "#" has not left yet, oldest first.
struct WaitingMemo {
    uint64_t AckAt = 0;  // bytesWritten() once its "#" was queued; 0 while it waits for room
    std::vector<TReceivedMemo> Pictures;
};

enum class Failure { None, Cancelled, LineGone, MemoTooLong, NotStored, EndedMidMemo, AckNotSent, Undrawable };

const TReceiveSink* g_sink = nullptr;
std::deque<WaitingMemo> g_waiting;
Failure g_failure = Failure::None;
QString g_storeError;       // what sink.Arrived said
bool g_endedByDevice = false;
int g_refusedInRow = 0;     // undrawable memos since the last one taken

// Hands over the memos whose "#" has left the line.
void deliverGone(TCommLink& link)
{
    if (g_waiting.empty())
        return;
    const uint64_t gone = link.Handle.bytesGone();
    while (!g_waiting.empty() && g_waiting.front().AckAt != 0 && gone >= g_waiting.front().AckAt) {
        WaitingMemo memo = std::move(g_waiting.front());
        g_waiting.pop_front();
        if (g_sink && g_sink->Delivered)
            for (TReceivedMemo& picture : memo.Pictures)
                g_sink->Delivered(picture);
    }
}

enum class Taken { Kept, Undrawable, NotStored };

// The memo that ends with the last record kept (its end-of-memo record) and begins at FIRST:
// drawn, its records let go, and offered to the sink when every picture of it could be drawn.
Taken takeCompleteMemo(TRecordList& records, std::size_t first, WaitingMemo& out)
{
    WalkReceivedMemos(records, first, [&out](TReceivedMemo& memo) { out.Pictures.push_back(std::move(memo)); });
    records.erase(records.begin() + static_cast<std::ptrdiff_t>(first), records.end());
    for (const TReceivedMemo& picture : out.Pictures) {
        if (picture.Error.isEmpty())
            continue;
        if (g_sink && g_sink->Refused)
            g_sink->Refused(picture);
        return Taken::Undrawable;
    }
    if (g_sink && g_sink->Arrived)
        for (const TReceivedMemo& picture : out.Pictures)
            if (!g_sink->Arrived(picture, g_storeError))
                return Taken::NotStored;
    return Taken::Kept;
}

QString failureText(Failure failure)
{
    switch (failure) {
    case Failure::None: break;
    case Failure::Cancelled: return QString::fromUtf16(CancelledText);
    case Failure::LineGone: return QString::fromUtf16(LineGoneText);
    case Failure::MemoTooLong: return MemoTooLongText().arg(MaxMemoRecords);
    case Failure::NotStored: return g_storeError;
    case Failure::EndedMidMemo: return QString::fromUtf16(EndedMidMemoText);
    case Failure::AckNotSent: return QString::fromUtf16(AckNotSentText);
    case Failure::Undrawable: return QString::fromUtf16(RefusedMemosText).arg(MaxRefusedMemos);
    }
    return {};
}

}  // namespace

bool ReceiveAwaitingCall(const TCommLink& link)
{
    return link.Step == ExchangeStep::RecvAwaitCr || link.Step == ExchangeStep::RecvAwaitLf;
}

void RecvHandshakeStep(TCommLink& link, bool& done)
{
    done = false;
    switch (link.Step) {
    case ExchangeStep::RecvAwaitCr:
        if (ReadByte(link) == CR)
            link.Step = ExchangeStep::RecvAwaitLf;
        break;
    case ExchangeStep::RecvAwaitLf:
        if (ReadByte(link) == LF) {
            WriteByte(link, DC1);
            link.Step = ExchangeStep::RecvSendingDc1;
        }
        break;
    case ExchangeStep::RecvSendingDc1:
        if (BytesQueued(link) != 0)
            break;  // DC1 is still on its way
        SetExchangeResult(true);  // from here on, a window closed ends the exchange as it stands
        SwitchToDataPhase(link);
        SetStatusText(QStringLiteral("受信中です"));
        link.Step = ExchangeStep::RecvRecords;
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
    // A "#" the port had no room for goes out before anything else is read, so the device
    // never waits for an acknowledgement that we dropped.
    if (!g_waiting.empty() && g_waiting.back().AckAt == 0) {
        if (!WriteByte(link, '#'))
            return;
        g_waiting.back().AckAt = link.Handle.bytesWritten();
    }
    deliverGone(link);
    if (g_waiting.size() >= kMaxWaitingMemos)
        return;  // until their "#" leaves
    TRecordReader& reader = link.Received;
    // Everything that has come is read in one call, up to the next record that asks for an
    // answer or ends something; the call after it goes on from there.
    RecvEvent event = RecvEvent::None;
    std::optional<std::size_t> memoStart;
    while (event == RecvEvent::None) {
        const int value = RecvWantsHexPair(reader) ? ReadHexByte(link) : ReadByte(link);
        if (value < 0) {
            // In the middle of a record the rest follows at the line's speed: no need to look
            // before it can all be there.
            ExpectInput(RecordCharsLeft(reader));
            return;
        }
        memoStart = reader.MemoStart;
        const std::size_t kept = reader.Records.size();
        event = RecvRecordStep(reader, static_cast<uint8_t>(value));
        // A record that the device sends after a "#" says that "#" reached it.
        if ((event != RecvEvent::None || reader.Records.size() != kept) && g_sink && g_sink->Heard)
            g_sink->Heard();
    }
    switch (event) {
    case RecvEvent::None:
        break;
    case RecvEvent::MemoComplete: {
        // A memo of nothing but its end record began at that record, the last one kept.
        WaitingMemo memo;
        switch (takeCompleteMemo(reader.Records, memoStart.value_or(reader.Records.size() - 1), memo)) {
        case Taken::Kept:
            break;
        case Taken::NotStored:
            g_failure = Failure::NotStored;
            EndExchange(false);
            return;
        case Taken::Undrawable:
            // Never acknowledged: the device keeps it and may send it again.
            reader.MemoCount -= 1;
            if (++g_refusedInRow >= MaxRefusedMemos) {
                g_failure = Failure::Undrawable;
                EndExchange(false);
            } else {
                WriteByte(link, '?');
            }
            return;
        }
        g_refusedInRow = 0;
        SetStatusText(QStringLiteral("受信中です:%1").arg(reader.MemoCount));
        memo.AckAt = WriteByte(link, '#') ? link.Handle.bytesWritten() : 0;
        g_waiting.push_back(std::move(memo));
        deliverGone(link);
        break;
    }
    case RecvEvent::BadRecord:
        WriteByte(link, '?');
        break;
    case RecvEvent::ExchangeEnded:
        g_endedByDevice = true;
        if (memoStart)  // the end record came inside a memo: that memo never ended
            g_failure = Failure::EndedMidMemo;
        EndExchange(true);
        break;
    case RecvEvent::MemoTooLong:
        g_failure = Failure::MemoTooLong;
        EndExchange(false);
        break;
    }
}

ReceiveOutcome ReceiveExchange(TCommLink& link, const TReceiveSink& sink)
{
    RecvStart(link.Received);
    if (!OpenLink(link))
        return ReceiveOutcome::PortUnavailable;
    link.Step = ExchangeStep::RecvAwaitCr;
    g_sink = &sink;
    g_waiting.clear();
    g_failure = Failure::None;
    g_storeError.clear();
    g_endedByDevice = false;
    g_refusedInRow = 0;
    SetStatusText(QStringLiteral("接続中です..."));
    HookStep(RecvHandshakeStep, link);
    const bool ok = RunExchangeHost();
    UnhookStep();
    if (HostStop() == ExchangeStop::Withdrawn) {
        RecvStart(link.Received);
        g_sink = nullptr;
        ClosePort(link, 0);
        return ReceiveOutcome::Withdrawn;
    }

    Failure failure = g_failure;
    if (failure == Failure::None && !ok)
        failure = HostStop() == ExchangeStop::LineGone ? Failure::LineGone : Failure::Cancelled;
    else if (failure == Failure::None && !g_endedByDevice && link.Received.MemoStart)
        failure = Failure::EndedMidMemo;  // the window was closed in the middle of a memo
    if (failure != Failure::None)
        WriteByte(link, '!');
    // The "#" still held back by the device's XOFF (and the "!") get their chance to leave
    // before we judge which memos the device was told about.
    const bool drained = DrainOutput(link);
    deliverGone(link);
    if (!g_waiting.empty()) {
        g_waiting.clear();  // the device was never told: it will send them again
        if (failure == Failure::None) {
            failure = Failure::AckNotSent;
            WriteByte(link, '!');
        }
    }
    // What is left of the records is the memo in progress and end records: nothing to hand over.
    RecvStart(link.Received);
    g_sink = nullptr;
    ClosePort(link, drained ? 2000 : 200);
    if (failure == Failure::None)
        return ReceiveOutcome::Completed;
    ExchangeMessage(ExchangeBox::Error, failureText(failure));
    return ReceiveOutcome::Failed;
}
