// The host of an exchange with the device: what the step handlers of the receive and send
// exchanges see of the window (or console) that runs them.
//
// A host shows one line of status text, owns the timer that paces the link in ticks of 5 ms
// (TickCount), runs until it is closed, and can dispatch pending events once. The status dialog Connect1 is the host
// of the desktop program; the console host is that of the command-line tool. Exactly one host
// is installed at a time; the functions below act on it.
//
// Step handlers have the shape
//     void Handler(TCommLink& link, bool& done);
// The driver calls a handler with done set true; every handler first sets it false and then
// takes at most one step, never waiting on the line. While handlers make progress they are
// called again at once, between pending events; when none can, the driver sleeps until the
// port has input, output room may have appeared, or a tick that a handler waits for has come
// (platform/IdleDriver.h).
//
// How an exchange uses it:
//     if (!OpenLink(link)) return;                 // link/Comenote.h
//     SetStatusText(u"...");  HookStep(FirstStep, link);
//     RunExchangeHost();                           // returns once a step or Cancel closed it
//     UnhookStep();  if (!ExchangeOk) ...;  ClosePort(link);
// and a step ends the exchange with
//     UnhookStep();  ExchangeOk = true;  CloseExchangeHost();
#pragma once

#include "link/CommLink.h"

#include <QString>

#include <chrono>
#include <concepts>
#include <cstdint>

// The exchange that the host runs has succeeded. Cleared whenever a host starts running, by
// Cancel and when the port fails; set by the exchanges.
extern bool ExchangeOk;

// Ticks of the host's timer since a user last set the count: while the timer runs
// (StartTimer), one tick for every 5 ms of the monotonic clock since then; stopped, the count
// holds. It reads, is set and compares like an integer:
//     TickCount = 0;  StartTimer();  ...  if (TickCount > 10) ...
// The host's timer does not tick every 5 ms. A comparison made while the timer runs tells it
// the tick at which its answer can change, and the timer fires then, once (TimerTick), so
// whoever compared looks again exactly when it matters and the program sleeps in between.
class TTickCount {
public:
    static constexpr std::chrono::milliseconds Tick{5};

    operator int32_t() const { return Now(); }
    TTickCount& operator=(int32_t value);

    // The count runs from its present value on (the next tick 5 ms from now), or holds.
    void Start();
    void Stop();
    bool Running() const { return running_; }

    template <std::integral T> friend bool operator<(const TTickCount& t, T n) { return t.Changes(n) < n; }
    template <std::integral T> friend bool operator>=(const TTickCount& t, T n) { return t.Changes(n) >= n; }
    template <std::integral T> friend bool operator>(const TTickCount& t, T n) { return t.Changes(n + 1LL) > n; }
    template <std::integral T> friend bool operator<=(const TTickCount& t, T n) { return t.Changes(n + 1LL) <= n; }
    template <std::integral T> friend bool operator==(const TTickCount& t, T n) { return t.ChangesAround(n) == n; }
    template <std::integral T> friend bool operator<(T n, const TTickCount& t) { return t > n; }
    template <std::integral T> friend bool operator>=(T n, const TTickCount& t) { return t <= n; }
    template <std::integral T> friend bool operator>(T n, const TTickCount& t) { return t < n; }
    template <std::integral T> friend bool operator<=(T n, const TTickCount& t) { return t >= n; }

private:
    int32_t Now() const;
    // Has the host's timer fire at tick TICK (if it lies ahead); returns the count now.
    int64_t Changes(int64_t tick) const;
    // For an equality with N: the answer changes at N and again at N + 1.
    int64_t ChangesAround(int64_t n) const;

    int32_t base_ = 0;
    std::chrono::steady_clock::time_point origin_{};
    bool running_ = false;
};

extern TTickCount TickCount;

using TStepHandler = void (*)(TCommLink& link, bool& done);

class TExchangeHost {
public:
    virtual ~TExchangeHost() = default;

    virtual void SetStatusText(const QString& text) = 0;
    // The host's timer fires once, MS milliseconds from now, and calls TimerTick(); a later
    // call replaces an earlier one. TickCount arms it for the ticks that are waited for.
    virtual void StartTimer(int ms) = 0;
    virtual void StopTimer() = 0;
    virtual bool TimerActive() const = 0;  // armed
    // Clears ExchangeOk, shows the host and handles events until Close(); then returns.
    virtual void Run() = 0;
    virtual void Close() = 0;
    // Handles the events that are waiting and returns; never sleeps.
    virtual void DispatchPending() = 0;
    // Handles events, sleeping until at least one has come.
    virtual void WaitForEvents() = 0;
    // DONE of TOTAL bytes of a send have left; TOTAL 0 ends the display. A host that shows
    // no progress ignores it.
    virtual void SetProgress(int done, int total)
    {
        (void)done;
        (void)total;
    }
    // The exchange has closed its port: the device has been told how it ended and the line
    // is as it was found.
    virtual void PortClosed() {}
};

// Installs HOST (null: none). Connect1 and the console host install themselves when created
// and step down when destroyed.
void SetExchangeHost(TExchangeHost* host);
TExchangeHost* ExchangeHost();

// The operations of the installed host; harmless no-ops while none is installed.
void SetStatusText(const QString& text);
// TickCount runs (from its present value; the next tick 5 ms from now), or holds and the
// host's timer is stopped.
void StartTimer();
void StopTimer();
void RunExchangeHost();
void CloseExchangeHost();
void DispatchPendingMessages();
void SetProgress(int done, int total);

// Puts HANDLER with LINK into the idle slot, replacing whatever was there. Should the port
// of LINK fail while a handler is hooked (hang-up, I/O error), the slot is emptied,
// ExchangeOk becomes false and the host is closed: the exchange ends as failed.
void HookStep(TStepHandler handler, TCommLink& link);

// Empties the idle slot; no handler is called after it.
void UnhookStep();

// The handler in the slot, or null.
TStepHandler HookedStep();

// What a hooked handler that cannot move on says during its call, so that the driver sleeps
// for as long as it may (platform/IdleDriver.h); it holds for that call's wait only, so a
// handler that still waits says it again whenever it is called:
//   WakeStepAfter: it waits for the clock: call it again after MS milliseconds at the latest
//                  (sooner if anything else wakes it; the earliest of several times counts).
//   ExpectInput:   it needs CHARS more characters of input before it can move on (the rest of
//                  a record): the driver need not look before they can have come at the line's
//                  speed.
void WakeStepAfter(int ms);
void ExpectInput(int chars);

// Why the exchange ended from outside its handlers: the user's Cancel (CancelExchange), or a
// line that went away while a handler was hooked. None otherwise (a handler ended it, or the
// window was closed). Cleared when a host starts running.
enum class ExchangeStop { None, Cancelled, LineGone };
ExchangeStop HostStop();

// What a host's timer does when it fires: a tick that was waited for has come; the hooked
// handler looks at TickCount again.
void TimerTick();

// What Cancel does (the dialog's button, Escape, Ctrl-C on the console): ExchangeOk false
// and the slot emptied. The host closes itself afterwards.
void CancelExchange();
