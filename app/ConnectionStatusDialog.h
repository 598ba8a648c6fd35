// The connection status dialog Connect1: one line of status text, a Cancel button and the
// timer whose ticks of 5 ms pace the link. It hosts every exchange of the desktop program
// (link/ExchangeHost.h): an exchange hooks its first step handler and runs the dialog
// modally; the handlers run in the idle time of the dialog's event loop.
//
//   FormShow       (every showing) the exchange's result becomes false.
//   BitBtn1Click   the Cancel button, also pressed by Escape: the result false, the idle
//                  slot emptied, and the dialog closes. Enter and Space do not press it.
//   Timer1Timer    a tick that was waited for has come (the ticks count by the clock; the
//                  timer fires only at the ticks somebody waits for, link/TickCount.h).
// Closing the dialog from its title bar touches neither the result nor the idle slot.
// SIGTERM, SIGHUP and SIGINT while the dialog runs press Cancel (link/CancelSignals.h); once the
// exchange has told the device and closed its port, the program ends by that signal.
//
// While a send's records go out, a progress bar (ProgressBar1) under the Cancel button shows
// the bytes of the chain that have left; the dialog grows by the bar's height for that time
// and is otherwise laid out as above.
//
// Creating the dialog installs it as the exchange host unless another host is installed.
#pragma once

#include "gui/LazyForm.h"
#include "link/ExchangeHost.h"

#include <QDialog>

class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

class ConnectionStatusDialog : public QDialog, public TExchangeHost {
    Q_OBJECT
public:
    explicit ConnectionStatusDialog(QWidget* parent = nullptr);
    ~ConnectionStatusDialog() override;

    // TExchangeHost
    void SetStatusText(const QString& text) override;
    void StartTimer(int ms) override;
    void StopTimer() override;
    bool TimerActive() const override;
    void Run() override;  // exec(): shows the dialog modally until it closes
    void Close() override;
    void DispatchPending() override;
    void WaitForEvents() override;
    void SetProgress(int done, int total) override;
    void PortClosed() override;

    QFrame* Panel1;
    QLabel* Label1;
    QPushButton* BitBtn1;
    QTimer* Timer1;
    QProgressBar* ProgressBar1;

public slots:
    void FormShow();
    void BitBtn1Click();
    void Timer1Timer();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int endingSignal_ = 0;  // the signal that cancelled the exchange, to end the program by
};

// Built on first use (gui/LazyForm.h); Receive and Send build it before their exchange starts,
// so that it hosts the exchange.
extern LazyForm<ConnectionStatusDialog> Connect1;
