// The host of an exchange with the device: what the step handlers of the receive and send
// exchanges see of the window (or console) that runs them.
//
// A host shows one line of status text, owns the 5 ms timer that counts TickCount, runs until
// it is closed, and can dispatch pending events once. The status dialog Connect1 is the host
// of the desktop program; the console host is that of the command-line tool. Exactly one host
// is installed at a time; the functions below act on it.
//
// Step handlers have the shape
//     void Handler(TCommLink& link, bool& done);
// The driver calls a handler with done set true; every handler first sets it false and then
// takes at most one step, never waiting on the line. While handlers make progress they are
// called again at once, between pending events; when none can, the driver sleeps until the
// port has input, output room may have appeared, or the timer ticks (platform/IdleDriver.h).
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

#include <cstdint>

// The exchange that the host runs has succeeded. Cleared whenever a host starts running, by
// Cancel and when the port fails; set by the exchanges.
extern bool ExchangeOk;

// Ticks of the host's timer since a user last set it to 0.
extern int32_t TickCount;

using TStepHandler = void (*)(TCommLink& link, bool& done);

class TExchangeHost {
public:
    virtual ~TExchangeHost() = default;

    virtual void SetStatusText(const QString& text) = 0;
    virtual void StartTimer() = 0;  // 5 ms ticks, each adding 1 to TickCount
    virtual void StopTimer() = 0;
    virtual bool TimerActive() const = 0;
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
};

// Installs HOST (null: none). Connect1 and the console host install themselves when created
// and step down when destroyed.
void SetExchangeHost(TExchangeHost* host);
TExchangeHost* ExchangeHost();

// The operations of the installed host; harmless no-ops while none is installed.
void SetStatusText(const QString& text);
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

// Has the hooked handler called again after MS milliseconds (sooner if anything else wakes it):
// for a handler that waits for the clock rather than for the line. A later call replaces an
// earlier one that has not fired yet.
void WakeStepAfter(int ms);

// Why the exchange ended from outside its handlers: the user's Cancel (CancelExchange), or a
// line that went away while a handler was hooked. None otherwise (a handler ended it, or the
// window was closed). Cleared when a host starts running.
enum class ExchangeStop { None, Cancelled, LineGone };
ExchangeStop HostStop();

// What a host's timer does on every tick: adds 1 to TickCount and lets the hooked handler
// look at it.
void TimerTick();

// What Cancel does (the dialog's button, Escape, Ctrl-C on the console): ExchangeOk false
// and the slot emptied. The host closes itself afterwards.
void CancelExchange();
