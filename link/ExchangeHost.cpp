#include "link/ExchangeHost.h"

#include "platform/IdleDriver.h"

#include <algorithm>
#include <optional>

namespace {

using Clock = std::chrono::steady_clock;

TExchangeHost* installedHost = nullptr;
bool exchangeOk = false;
TStepHandler hookedHandler = nullptr;
ExchangeStop hostStop = ExchangeStop::None;
// When the host's timer is armed to fire, if it is.
std::optional<Clock::time_point> tickAlarm;

// Has the host's timer fire at WHEN, unless it fires sooner already.
void armTickAlarm(Clock::time_point when)
{
    const Clock::time_point now = Clock::now();
    if (!installedHost || (tickAlarm && *tickAlarm >= now && *tickAlarm <= when && installedHost->TimerActive()))
        return;
    tickAlarm = when;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(when - now).count();
    installedHost->StartTimer(int(std::clamp<int64_t>(ms, 0, INT32_MAX)));
}

}  // namespace

TTickCount& TTickCount::operator=(int32_t value)
{
    base_ = value;
    origin_ = Clock::now();
    return *this;
}

int32_t TTickCount::Now() const
{
    if (!running_)
        return base_;
    return base_ + static_cast<int32_t>((Clock::now() - origin_) / Tick);
}

void TTickCount::Start()
{
    *this = Now();
    running_ = true;
}

void TTickCount::Stop()
{
    *this = Now();
    running_ = false;
}

int64_t TTickCount::Changes(int64_t tick) const
{
    const int64_t now = Now();
    if (running_ && tick > now)
        armTickAlarm(origin_ + (tick - base_) * Tick);
    return now;
}

int64_t TTickCount::ChangesAround(int64_t n) const
{
    const int64_t now = Now();
    return Changes(now < n ? n : n + 1);
}

void SetExchangeResult(bool ok) { exchangeOk = ok; }

bool ExchangeResult() { return exchangeOk; }

void SetExchangeHost(TExchangeHost* host) { installedHost = host; }

TExchangeHost* ExchangeHost() { return installedHost; }

void SetStatusText(const QString& text)
{
    if (installedHost)
        installedHost->SetStatusText(text);
}

void StartTimer(TTickCount& ticks)
{
    ticks.Start();
}

void StopTimer(TTickCount& ticks)
{
    ticks.Stop();
    tickAlarm.reset();
    if (installedHost)
        installedHost->StopTimer();
}

bool RunExchangeHost()
{
    hostStop = ExchangeStop::None;
    if (!installedHost)
        return false;
    installedHost->Run();
    return exchangeOk;
}

void EndExchange(bool ok)
{
    UnhookStep();
    exchangeOk = ok;
    CloseExchangeHost();
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
    // The step, the next record and the attempt count tell the driver that a handler moved
    // on even when it did not touch the line.
    auto probe = [&link] {
        return static_cast<uint64_t>(link.Step) | static_cast<uint64_t>(static_cast<uint32_t>(link.NextRecord)) << 8
               | static_cast<uint64_t>(static_cast<uint32_t>(link.Retries)) << 40;
    };
    auto onFailure = [] {
        hookedHandler = nullptr;
        hostStop = ExchangeStop::LineGone;
        exchangeOk = false;
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
    tickAlarm.reset();
    platform::IdleDriver::instance().wake();
}

void WakeStepAfter(int ms)
{
    platform::IdleDriver::instance().wakeAt(Clock::now() + std::chrono::milliseconds(std::max(0, ms)));
}

void ExpectInput(int chars)
{
    platform::IdleDriver::instance().expectInput(chars);
}

ExchangeStop HostStop() { return hostStop; }

void CancelExchange()
{
    hostStop = ExchangeStop::Cancelled;
    exchangeOk = false;
    UnhookStep();
}

void WithdrawExchange()
{
    hostStop = ExchangeStop::Withdrawn;
    exchangeOk = false;
    UnhookStep();
}
