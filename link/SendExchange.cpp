#include "link/SendExchange.h"

#include "link/Comenote.h"
#include "link/ExchangeHost.h"
#include "link/ExchangeMessages.h"

#include <QTimer>

#include <algorithm>
#include <chrono>

namespace {

constexpr uint8_t CR = 13;
constexpr uint8_t LF = 10;
constexpr uint8_t DC1 = 17;
constexpr int kCallTicks = 10;  // more than this many ticks without DC1: call again
constexpr int kMaxRetries = 16; // the 17th unanswered call ends the exchange

// Bytes of the chain written in this pass (a "?" starts a new pass) and of the whole chain,
// and when the pass began.
int g_written = 0;
int g_total = 0;
std::chrono::steady_clock::time_point g_passStart;

void startPass()
{
    g_written = 0;
    g_passStart = std::chrono::steady_clock::now();
}

int chainLength(const TCommLink& link)
{
    int total = 0;
    for (const SendRecord* r = link.Head.get(); r; r = r->Next.get())
        total += r->Count;
    return total;
}

const SendRecord* recordAt(const TCommLink& link, int index)
{
    const SendRecord* r = link.Head.get();
    for (int i = 0; r && i < index; ++i)
        r = r->Next.get();
    return r;
}

void endExchange(bool ok)
{
    UnhookStep();
    ExchangeOk = ok;
    CloseExchangeHost();
}

// What has left: the bytes written in this pass less those still queued, and never more than
// the line can have carried since the pass began (ten bits a byte) -- a line that buffers
// beyond what it reports, such as a pseudo-terminal, would otherwise run ahead.
void reportProgress(TCommLink& link)
{
    int left = std::max(0, g_written - BytesQueued(link));
    if (link.Speed > 0) {
        const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now() - g_passStart);
        left = static_cast<int>(std::min<int64_t>(left, elapsed.count() * link.Speed / 10'000'000));
    }
    SetProgress(left, g_total);
}

}  // namespace

void SendHandshakeStep(TCommLink& link, bool& done)
{
    done = false;
    switch (link.Step) {
    case 0:
    case 1:
        if (link.Step == 1 && TickCount <= 0)
            break;  // at least one tick between CR and LF
        if (FreeSpace(link) > 3) {
            const uint8_t byte = link.Step == 0 ? CR : LF;
            TickCount = 0;
            StartTimer();
            WriteByte(link, byte);
            ++link.Step;
        }
        break;
    case 2:
        if (ReadByte(link) == DC1) {
            SwitchToDataPhase(link);
            PurgeLink(link);
            link.Step = 3;
        } else if (TickCount > kCallTicks) {
            ++link.Retries;
            link.Step = 0;
        }
        break;
    case 3:
        // Nothing counts ticks from here on; a 5 ms timer would only cost wake-ups.
        StopTimer();
        SetStatusText(QStringLiteral("転送中です"));
        link.Step = 0;
        startPass();
        g_total = chainLength(link);
        SetProgress(0, g_total);
        HookStep(SendDataStep, link);
        DispatchPendingMessages();
        break;
    default:
        break;
    }
    if (link.Retries > kMaxRetries)
        endExchange(false);
}

void SendDataStep(TCommLink& link, bool& done)
{
    done = false;
    if (link.Step >= 0) {
        const SendRecord* record = recordAt(link, link.Step);
        if (!record) {
            endExchange(false);  // an empty chain: nothing the device could accept
            return;
        }
        if (WriteBlock(link, record->Data.data(), record->Count)) {
            g_written += record->Count;
            link.Step = record->Next ? link.Step + 1 : -1;
        }
    } else if (link.Step == -1) {
        switch (ReadByte(link)) {
        case '!':
        case '"':
            endExchange(false);
            return;
        case '#':
            link.Step = -2;
            SetProgress(g_total, g_total);  // the device has judged the whole chain
            return;
        case '?':
            while (ReadByte(link) >= 0) {
            }
            link.Step = 0;
            startPass();
            break;
        default:
            break;  // nothing yet, or a byte that means nothing here
        }
    } else if (link.Step == -2) {
        if (WriteEndRecord(link)) {
            endExchange(true);
            return;
        }
    }
    reportProgress(link);
}

SendOutcome SendExchange(TCommLink& link, SendTelling telling)
{
    if (!OpenLink(link))
        return SendOutcome::PortUnavailable;
    if (telling.confirm && !ExchangeMessage(ExchangeBox::Question, QString::fromUtf16(ConfirmSendText))) {
        ClosePort(link);
        UnhookStep();
        return SendOutcome::Declined;
    }
    SetStatusText(QStringLiteral("接続中です"));
    link.Step = 0;
    link.Retries = 0;
    HookStep(SendHandshakeStep, link);
    // The line may take bytes faster than it carries them (a pseudo-terminal buffers a whole
    // memo), so the progress is refreshed on its own pace too, not only when a step runs.
    QTimer progressTimer;
    progressTimer.setInterval(100);
    QObject::connect(&progressTimer, &QTimer::timeout, [&link] {
        if (HookedStep() == SendDataStep && link.Step >= -1)
            reportProgress(link);
    });
    progressTimer.start();
    RunExchangeHost();
    progressTimer.stop();
    UnhookStep();
    StopTimer();
    SetProgress(0, 0);

    // The device has the memo only once the end record has really left the queue.
    const bool ok = ExchangeOk && DrainOutput(link);
    if (!ok)
        WriteByte(link, '!');
    // The port is free again (and the "!" on its way) before the user reads the verdict.
    ClosePort(link);
    UnhookStep();
    if (ok) {
        if (telling.tellSuccess)
            ExchangeMessage(ExchangeBox::Information, QString::fromUtf16(SentText));
    } else {
        ExchangeMessage(ExchangeBox::Error, QString::fromUtf16(CancelledText));
    }
    return ok ? SendOutcome::Sent : SendOutcome::Failed;
}
