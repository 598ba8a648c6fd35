// The exchange host of the command-line tool: no window, status texts on standard error,
// Ctrl-C acting as the Cancel button.
//
// Needs a QCoreApplication. Creating the host installs it (SetExchangeHost) unless another
// host is installed; destroying it steps it down. While Run() is active, SIGINT, SIGTERM and
// SIGHUP are caught (link/CancelSignals.h): the first one cancels the exchange as Ctrl-C
// does (the result false, hook emptied, Run() returns); outside Run() each signal does what
// it did before.
//
// Progress of a send is shown on OUT only when it is a terminal: one line, rewritten as the
// whole percentage grows.
#pragma once

#include "link/ExchangeHost.h"

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <cstdio>

class TConsoleHost : public QObject, public TExchangeHost {
    Q_OBJECT
public:
    // Status texts go to OUT (standard error when null).
    explicit TConsoleHost(std::FILE* out = nullptr, QObject* parent = nullptr);
    ~TConsoleHost() override;

    void SetStatusText(const QString& text) override;
    void StartTimer(int ms) override;
    void StopTimer() override;
    bool TimerActive() const override;
    void Run() override;
    void Close() override;  // ends Run(); nothing while it is not running
    void DispatchPending() override;
    void WaitForEvents() override;
    void SetProgress(int done, int total) override;

    // What Ctrl-C (or SIGTERM, SIGHUP) does while Run() is active.
    void Cancel();
    // A signal that a caller caught itself (between exchanges, or while one is being set up):
    // Interrupted() from now on, the exchange running is cancelled, and one that has yet to
    // Run() is cancelled as soon as it does.
    void Interrupt() { onInterrupt(); }
    // Ctrl-C (or SIGTERM, SIGHUP) came while Run() was active, also when the exchange was ending just then and the
    // key was only seen after it (a caller that runs exchange after exchange stops then).
    bool Interrupted() const { return interrupted_; }

    // The last status text set.
    const QString& StatusText() const { return status_; }

private:
    void onInterrupt();

    std::FILE* out_;
    bool outIsTerminal_;
    QString status_;
    int shownPercent_ = -1;  // -1: no progress line on the terminal
    bool interrupted_ = false;
    QTimer timer_;
    QEventLoop* loop_ = nullptr;
};
