// The host of an exchange with the device: what the step handlers of the receive and send
// exchanges see of the window (or console) that runs them.
//
// A host shows one line of status text, owns the timer that paces the link in ticks of 5 ms
// (link.Ticks, link/TickCount.h), runs until it is closed, and can dispatch pending events once. The status dialog Connect1 is the host
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
//     const bool ok = RunExchangeHost();           // once a step or Cancel closed it
//     UnhookStep();  if (!ok) ...;  ClosePort(link);
// and a step ends the exchange with
//     EndExchange(true);
#pragma once

#include "link/CommLink.h"
#include "link/TickCount.h"

#include <QString>


// How the exchange that the host runs stands: succeeded or not. False whenever a host starts
// running, after Cancel and when the port fails; the exchanges set it (EndExchange). A host
// that closes returns it from RunExchangeHost.
void SetExchangeResult(bool ok);
bool ExchangeResult();

using TStepHandler = void (*)(TCommLink& link, bool& done);

class TExchangeHost {
public:
    virtual ~TExchangeHost() = default;

    virtual void SetStatusText(const QString& text) = 0;
    // The host's timer fires once, MS milliseconds from now, and calls TimerTick(); a later
    // call replaces an earlier one. A tick count arms it for the ticks that are waited for.
    virtual void StartTimer(int ms) = 0;
    virtual void StopTimer() = 0;
    virtual bool TimerActive() const = 0;  // armed
    // Clears the exchange's result, shows the host and handles events until Close(); then
    // returns.
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
// TICKS run (from their present value; the next tick 5 ms from now), or hold and the host's
// timer is stopped.
void StartTimer(TTickCount& ticks);
void StopTimer(TTickCount& ticks);
// Runs the host until it is closed; returns the exchange's result (false without a host).
bool RunExchangeHost();
void CloseExchangeHost();
// What a step does to end the exchange: the idle slot is emptied, the result set, the host
// closed.
void EndExchange(bool ok);
void DispatchPendingMessages();
void SetProgress(int done, int total);

// Puts HANDLER with LINK into the idle slot, replacing whatever was there. Should the port
// of LINK fail while a handler is hooked (hang-up, I/O error), the slot is emptied, the result
// becomes false and the host is closed: the exchange ends as failed.
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

// Why the exchange ended from outside its handlers: the user's Cancel (CancelExchange), a
// line that went away while a handler was hooked, or the port wanted elsewhere before the
// device called (WithdrawExchange). None otherwise (a handler ended it, or the window was
// closed). Cleared when a host starts running.
enum class ExchangeStop { None, Cancelled, LineGone, Withdrawn };
ExchangeStop HostStop();

// What a host's timer does when it fires: a tick that was waited for has come; the hooked
// handler looks at its ticks again.
void TimerTick();

// What Cancel does (the dialog's button, Escape, Ctrl-C on the console): the result false and
// the slot emptied. The host closes itself afterwards.
void CancelExchange();
// Ends an exchange before anything was said on the line (the receiver lends its port while it
// waits for the device's call): the result false, the slot emptied, nothing sent, nothing
// reported. The host closes itself afterwards.
void WithdrawExchange();
