#include "link/SendExchange.h"

#include "link/Comenote.h"
#include "link/ExchangeHost.h"
#include "link/ExchangeMessages.h"

#include <algorithm>
#include <chrono>

int SendVerdictWaitMs = 30000;

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint8_t CR = 13;
constexpr uint8_t LF = 10;
constexpr uint8_t DC1 = 17;
constexpr int kCallTicks = 10;  // more than this many ticks without DC1: call again
constexpr int kMaxRetries = 16; // the 17th unanswered call ends the exchange
constexpr int kMaxResends = 17; // the 17th "?" for the memo ends the exchange
// How much of the chain the port may hold back beyond what it has handed the kernel (which it
// keeps about 150 ms ahead of the line, platform/SerialPort.h): what the progress does not
// count yet, and what Cancel drops without the device hearing it. A record is never split, so
// the next one is written while the port holds less than this, and may go over it.
constexpr auto kMaxHeld = std::chrono::milliseconds(100);

enum class Failure { None, Cancelled, LineGone, Refused, NoAnswer, NoVerdict, TooManyResends, EndNotSent, Empty };

// Bytes of the chain written in this pass (a "?" starts a new pass) and of the whole chain.
int g_written = 0;
int g_total = 0;
// One byte's time on the line; zero when the speed is unknown.
Clock::duration g_byteTime{};
// The last sign of life of the exchange: a record written, or a "?" from the device.
Clock::time_point g_lastProgress;
int g_resends = 0;
Failure g_failure = Failure::None;
// The chain of the exchange that runs.
const TRecordList* g_chain = nullptr;

void startPass()
{
    g_written = 0;
    g_lastProgress = Clock::now();
}

// The time a character takes with the line settings of LINK: start bit, data bits, parity bit
// and stop bits (one and a half counted as two).
Clock::duration byteTime(const TCommLink& link)
{
    if (link.Speed == 0)
        return {};
    const int bits = 1 + (link.WordLen ? link.WordLen : 8) + (link.Parity ? 1 : 0) + (link.StopBits ? 2 : 1);
    return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(1'000'000'000LL * bits / link.Speed));
}

int chainLength(const TRecordList& chain)
{
    int total = 0;
    for (const TRecord& r : chain)
        total += r.Count;
    return total;
}

void endExchange(bool ok, Failure failure = Failure::None)
{
    g_failure = failure;
    EndExchange(ok);
}

// What has left: the bytes written in this pass less those still queued. The port is paced
// (platform/SerialPort.h), so a line that buffers beyond what it reports, such as a
// pseudo-terminal, does not seem to take a whole memo at once.
void reportProgress(TCommLink& link)
{
    SetProgress(std::max(0, g_written - BytesQueued(link)), g_total);
}

// True when the next record may be written now. Otherwise the step is called again once the
// port has handed the kernel its next share of what it holds (platform/IdleDriver.h), which is
// when the line has carried about 100 ms more: one wake-up serves both.
bool roomAhead(TCommLink& link)
{
    return g_byteTime.count() == 0 || static_cast<int64_t>(link.Handle.pendingSize()) * g_byteTime < kMaxHeld;
}

// The device has not said anything for longer than the exchange waits: ends the exchange and
// returns true. Otherwise has the step called again when that time is up.
bool gaveUpWaiting()
{
    const auto waited = Clock::now() - g_lastProgress;
    const auto limit = std::chrono::milliseconds(SendVerdictWaitMs);
    if (waited > limit) {
        endExchange(false, Failure::NoVerdict);
        return true;
    }
    WakeStepAfter(int(std::chrono::ceil<std::chrono::milliseconds>(limit - waited).count()) + 1);
    return false;
}

QString failureText(Failure failure)
{
    switch (failure) {
    case Failure::None:
    case Failure::Cancelled: break;
    case Failure::LineGone: return QString::fromUtf16(LineGoneText);
    case Failure::Refused: return QString::fromUtf16(RefusedText);
    case Failure::NoAnswer: return QString::fromUtf16(NoAnswerText);
    case Failure::NoVerdict: return QString::fromUtf16(NoVerdictText).arg((SendVerdictWaitMs + 999) / 1000);
    case Failure::TooManyResends: return QString::fromUtf16(TooManyResendsText).arg(kMaxResends);
    case Failure::EndNotSent: return QString::fromUtf16(EndNotSentText);
    case Failure::Empty: return QStringLiteral("送信するレコードがありません");
    }
    return QString::fromUtf16(CancelledText);
}

}  // namespace

void SendHandshakeStep(TCommLink& link, bool& done)
{
    done = false;
    switch (link.Step) {
    case ExchangeStep::SendCallCr:
    case ExchangeStep::SendCallLf: {
        const bool cr = link.Step == ExchangeStep::SendCallCr;
        if (!cr && link.Ticks <= 0)
            break;  // at least one tick between CR and LF
        if (FreeSpace(link) > 3) {
            link.Ticks = 0;
            StartTimer(link.Ticks);
            WriteByte(link, cr ? CR : LF);
            link.Step = cr ? ExchangeStep::SendCallLf : ExchangeStep::SendAwaitDc1;
        }
        break;
    }
    case ExchangeStep::SendAwaitDc1:
        if (ReadByte(link) == DC1) {
            SwitchToDataPhase(link);
            PurgeLink(link);
            link.Step = ExchangeStep::SendBegin;
        } else if (link.Ticks > kCallTicks) {
            ++link.Retries;
            link.Step = ExchangeStep::SendCallCr;
        }
        break;
    case ExchangeStep::SendBegin:
        // Nothing counts ticks from here on.
        StopTimer(link.Ticks);
        SetStatusText(QStringLiteral("転送中です"));
        link.Step = ExchangeStep::SendRecords;
        link.NextRecord = 0;
        startPass();
        g_total = chainLength(*g_chain);
        SetProgress(0, g_total);
        HookStep(SendDataStep, link);
        DispatchPendingMessages();
        break;
    default:
        break;
    }
    if (link.Retries > kMaxRetries)
        endExchange(false, Failure::NoAnswer);
}

void SendDataStep(TCommLink& link, bool& done)
{
    done = false;
    const TRecordList& chain = *g_chain;
    if (link.Step == ExchangeStep::SendRecords) {
        if (link.NextRecord < 0 || std::size_t(link.NextRecord) >= chain.size()) {
            endExchange(false, Failure::Empty);  // nothing the device could accept
            return;
        }
        const TRecord& record = chain[std::size_t(link.NextRecord)];
        // A device that holds us with XOFF for ever is given up like a silent one.
        if (!roomAhead(link) || !WriteBlock(link, record.Data.data(), record.Count)) {
            if (gaveUpWaiting())
                return;
        } else {
            g_written += record.Count;
            g_lastProgress = Clock::now();
            if (std::size_t(++link.NextRecord) == chain.size())
                link.Step = ExchangeStep::SendAwaitVerdict;
        }
    } else if (link.Step == ExchangeStep::SendAwaitVerdict) {
        switch (ReadByte(link)) {
        case '!':
        case '"':
            endExchange(false, Failure::Refused);
            return;
        case '#':
            link.Step = ExchangeStep::SendEndRecord;
            SetProgress(g_total, g_total);  // the device has judged the whole chain
            return;
        case '?':
            while (ReadByte(link) >= 0) {
            }
            if (++g_resends >= kMaxResends) {
                endExchange(false, Failure::TooManyResends);
                return;
            }
            link.Step = ExchangeStep::SendRecords;
            link.NextRecord = 0;
            startPass();
            break;
        default:  // nothing yet, or a byte that means nothing here
            if (gaveUpWaiting())
                return;
            break;
        }
    } else if (link.Step == ExchangeStep::SendEndRecord) {
        if (WriteEndRecord(link)) {
            endExchange(true);
            return;
        }
    }
    reportProgress(link);
}

SendOutcome SendExchange(TCommLink& link, const TRecordList& chain, SendTelling telling)
{
    if (!OpenLink(link))
        return SendOutcome::PortUnavailable;
    link.Handle.setPaced(true);
    if (telling.confirm && !ExchangeMessage(ExchangeBox::Question, QString::fromUtf16(ConfirmSendText))) {
        ClosePort(link);
        UnhookStep();
        return SendOutcome::Declined;
    }
    SetStatusText(QStringLiteral("接続中です"));
    link.Step = ExchangeStep::SendCallCr;
    link.NextRecord = 0;
    link.Retries = 0;
    g_chain = &chain;
    g_byteTime = byteTime(link);
    g_resends = 0;
    g_failure = Failure::None;
    HookStep(SendHandshakeStep, link);
    // The progress is refreshed whenever the step runs: while what was written is still on its
    // way, the driver wakes it to hand the line more (platform/IdleDriver.h), so no timer of
    // its own is needed.
    const bool ok = RunExchangeHost();
    UnhookStep();
    StopTimer(link.Ticks);
    SetProgress(0, 0);
    g_chain = nullptr;

    Failure failure = g_failure;
    if (failure == Failure::None && !ok)
        failure = HostStop() == ExchangeStop::LineGone ? Failure::LineGone : Failure::Cancelled;
    // The device has the memo only once the end record has really left the queue.
    if (failure == Failure::None && !DrainOutput(link))
        failure = Failure::EndNotSent;
    if (failure != Failure::None) {
        // What has not left yet never will: a device that keeps the line open must not get
        // the rest of the memo after we gave up on it, only our "!".
        DiscardOutput(link);
        WriteByte(link, '!');
    }
    // The port is free again (and the "!" on its way) before the user reads the verdict.
    ClosePort(link);
    UnhookStep();
    if (failure == Failure::None) {
        if (telling.tellSuccess)
            ExchangeMessage(ExchangeBox::Information, QString::fromUtf16(SentText));
        return SendOutcome::Sent;
    }
    ExchangeMessage(ExchangeBox::Error, failureText(failure));
    return SendOutcome::Failed;
}
