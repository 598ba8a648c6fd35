// IdleDriver — the application's idle hook, without busy polling.
//
// One slot holds at most one step function. The step is called from the event loop whenever
// no other event is waiting, one call at a time, so painting, buttons and timers are handled
// between calls. A step that made progress is called again at once. A step that could not
// move on costs nothing: the driver stops calling it and sleeps until something happens that
// may let it move on:
//   - the watched port has input (a socket notifier on its descriptor, armed only while no
//     input is waiting, so unread bytes never make it fire over and over);
//   - the kernel takes bytes again that it refused before (a write notifier, armed only while
//     the port holds such bytes);
//   - bytes wait unread or sit in an output queue: a short poll timer that backs off from
//     1 ms to 16 ms while the step makes no progress and nothing changes, so a half-arrived
//     pair or a draining queue is noticed at line speed without spinning;
//   - input that arrived while the step ran: it is called again at once;
//   - wake() is called (a timer tick, a new step hooked).
//
// "Progress" is judged after each call: the port's activity() counter moved (a byte read,
// written or purged), the probe's value changed (the step's state number, say), a new step
// was hooked, or the slot was emptied. A step that leaves its done flag true is not called
// again until the next wake-up either.
//
// A port that fails while hooked (hang-up, I/O error) empties the slot and calls the failure
// function once, so a vanished line ends the work instead of waking the driver forever.
//
// Everything runs on the thread of the event loop; a QCoreApplication must exist before the
// driver is first used.
#pragma once

#include "platform/SerialPort.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

class IdleDriver : public QObject {
    Q_OBJECT
public:
    using Step = std::function<void(bool& done)>;
    using Probe = std::function<uint64_t()>;
    using Failure = std::function<void()>;

    // The one driver of the program, created on first use.
    static IdleDriver& instance();

    // Puts STEP into the slot, replacing whatever was there, and has it called soon. PORT
    // (may be null) is watched for input, output room and failure. PROBE (may be empty)
    // returns a value that changes whenever the step moved on in a way the port cannot
    // show. ONFAILURE (may be empty) is called once if PORT fails while this step or one
    // that replaces it with the same port is hooked.
    void hook(Step step, SerialPort* port, Probe probe = {}, Failure onFailure = {});

    // Empties the slot; the step is not called again. Harmless when it is empty.
    void unhook();

    bool hooked() const { return static_cast<bool>(step_); }

    // Something outside the port changed (a timer tick): call the step again soon.
    void wake();

    // PORT is about to close: stop watching its descriptor.
    void forgetPort(const SerialPort* port);

    // Calls of the hooked steps so far; lets a benchmark see how often the driver woke.
    uint64_t calls() const { return calls_; }

private:
    IdleDriver();
    void run();
    bool runOnce();
    void sleep(int seenWaiting, int seenQueued);
    void fail();
    void watch(SerialPort* port);
    void dropNotifiers();
    uint64_t fingerprint() const;
    void onReadable();
    void onWritable();
    void onPoll();

    Step step_;
    Probe probe_;
    Failure onFailure_;
    SerialPort* port_ = nullptr;
    uint64_t generation_ = 0;  // moves with every hook() and unhook()
    uint64_t calls_ = 0;
    bool inRun_ = false;
    bool wokenInRun_ = false;
    bool readStale_ = false;   // the read notifier fired but nothing was there to read
    bool writeStale_ = false;  // the write notifier fired but the kernel took nothing
    int pollInterval_ = 1;
    int lastWaiting_ = 0;
    int lastQueued_ = 0;
    QTimer runTimer_;   // zero interval: fires once the event loop has nothing else to do
    QTimer pollTimer_;  // single shot, backing off while nothing changes
    int watchedFd_ = -1;
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
};

}  // namespace platform
