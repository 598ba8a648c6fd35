#include "link/ExchangeHost.h"

#include "platform/IdleDriver.h"

bool ExchangeOk = false;
int32_t TickCount = 0;

namespace {

TExchangeHost* installedHost = nullptr;
TStepHandler hookedHandler = nullptr;

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
        ExchangeOk = false;
        CloseExchangeHost();
    };
    platform::IdleDriver::instance().hook([handler, &link](bool& done) { handler(link, done); },
                                          &link.Handle, probe, onFailure);
}

void UnhookStep()
{
    hookedHandler = nullptr;
    platform::IdleDriver::instance().unhook();
}

TStepHandler HookedStep() { return hookedHandler; }

void TimerTick()
{
    ++TickCount;
    platform::IdleDriver::instance().wake();
}

void CancelExchange()
{
    ExchangeOk = false;
    UnhookStep();
}
