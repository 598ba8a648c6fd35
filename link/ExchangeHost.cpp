#include "link/ExchangeHost.h"

#include "platform/IdleDriver.h"

#include <QTimer>

#include <algorithm>

bool ExchangeOk = false;
int32_t TickCount = 0;

namespace {

TExchangeHost* installedHost = nullptr;
TStepHandler hookedHandler = nullptr;
ExchangeStop hostStop = ExchangeStop::None;

QTimer& wakeTimer()
{
    static QTimer* timer = [] {
        auto* t = new QTimer;  // lives as long as the program, like the idle driver
        t->setSingleShot(true);
        t->setTimerType(Qt::PreciseTimer);
        QObject::connect(t, &QTimer::timeout, [] { platform::IdleDriver::instance().wake(); });
        return t;
    }();
    return *timer;
}

}  // namespace

void SetExchangeHost(TExchangeHost* host) { installedHost = host; }

TExchangeHost* ExchangeHost() { return installedHost; }

void SetStatusText(const QString& text)
{
    if (installedHost)
        installedHost->SetStatusText(text);
}

void StartTimer()
{
    if (installedHost)
        installedHost->StartTimer();
}

void StopTimer()
{
    if (installedHost)
        installedHost->StopTimer();
}

void RunExchangeHost()
{
    hostStop = ExchangeStop::None;
    if (installedHost)
        installedHost->Run();
}

void CloseExchangeHost()
{
    if (installedHost)
        installedHost->Close();
}

void DispatchPendingMessages()
{
    if (installedHost)
        installedHost->DispatchPending();
}

void SetProgress(int done, int total)
{
    if (installedHost)
        installedHost->SetProgress(done, total);
}

void HookStep(TStepHandler handler, TCommLink& link)
{
    if (!handler) {
        UnhookStep();
        return;
    }
    hookedHandler = handler;
    // The state number and the attempt count tell the driver that a handler moved on even
    // when it did not touch the line.
    auto probe = [&link] {
        return static_cast<uint64_t>(static_cast<uint32_t>(link.Step))
               | static_cast<uint64_t>(static_cast<uint32_t>(link.Retries)) << 32;
    };
    auto onFailure = [] {
        hookedHandler = nullptr;
        hostStop = ExchangeStop::LineGone;
        ExchangeOk = false;
        CloseExchangeHost();
    };
    platform::IdleDriver::instance().hook([handler, &link](bool& done) { handler(link, done); },
                                          &link.Handle, probe, onFailure);
}

void UnhookStep()
{
    hookedHandler = nullptr;
    wakeTimer().stop();
    platform::IdleDriver::instance().unhook();
}

TStepHandler HookedStep() { return hookedHandler; }

void TimerTick()
{
    ++TickCount;
    platform::IdleDriver::instance().wake();
}

void WakeStepAfter(int ms)
{
    wakeTimer().start(std::max(0, ms));
}

ExchangeStop HostStop() { return hostStop; }

void CancelExchange()
{
    hostStop = ExchangeStop::Cancelled;
    ExchangeOk = false;
    UnhookStep();
}
