// The signals that cancel an exchange: Ctrl-C (SIGINT), and SIGTERM and SIGHUP, with which a
// service manager stops the receiver and a closing terminal ends what runs in it. While an
// exchange runs, they act as the Cancel button does: the device is told "!", the line is left
// clean and closed, and the user is told "通信がキャンセルされました".
//
// While a TCancelSignals lives, the signals it was made for are caught: the handler only writes
// the signal's number into a pipe, and ON_SIGNAL is called from the event loop of the thread
// that made it (QSocketNotifier), never from the handler. Destroying it puts back what each
// signal did before. One lives at a time (an exchange's); a newer one takes over until it goes.
#pragma once

#include <QSocketNotifier>

#include <csignal>
#include <functional>
#include <memory>
#include <vector>

class TCancelSignals {
public:
    // SIGINT, SIGTERM and SIGHUP.
    static std::vector<int> All();

    TCancelSignals(const std::vector<int>& which, std::function<void(int signal)> onSignal);
    ~TCancelSignals();
    TCancelSignals(const TCancelSignals&) = delete;
    TCancelSignals& operator=(const TCancelSignals&) = delete;

    // False when the pipe could not be made: the signals then keep what they did.
    bool Active() const { return notifier_ != nullptr; }

private:
    void takeSignals();

    std::function<void(int)> onSignal_;
    int pipe_[2] = {-1, -1};
    int previousFd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::vector<std::pair<int, struct sigaction>> previous_;
};
