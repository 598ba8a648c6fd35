// IdleDriver — the application's idle hook, without busy polling.
//
// One slot holds at most one step function. The step is called from the event loop whenever
// no other event is waiting, one call at a time, so painting, buttons and timers are handled
// between calls. A step that made progress is called again at once. A step that could not
// move on costs nothing: the driver stops calling it and sleeps until something happens that
// may let it move on, and nothing else wakes the program meanwhile:
//   - the watched port has new input (a socket notifier on its descriptor, armed only while
//     the kernel holds no input, so unread bytes never make it fire over and over). A step
//     that said how much input it still needs (expectInput) is not woken for every piece of
//     it: the driver sleeps for the time those bytes take at the line's speed, and listens
//     for input again only if that time brought none;
//   - the time the step asked for (wakeAt) has come;
//   - the kernel takes bytes again that it refused before (a write notifier), the kernel's
//     output queue will have emptied at the line's speed, or the port has handed the kernel
//     another share of what it held back to pace the line (the driver hands it over piece by
//     piece, as SerialPort::nextPump says, and then calls the step, which may add to it);
//   - input that arrived while the step ran: it is called again at once;
//   - wake() is called (a tick of the host's timer, a new step hooked).
// Whatever woke the driver, the step is simply called again: it looks at the line and the
// clock itself.
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

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace platform {

class IdleDriver : public QObject {
    Q_OBJECT
public:
    using Clock = std::chrono::steady_clock;
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

    // What a step that cannot move on says during its call; it holds for that call's sleep
    // only, so a step that still waits says it again the next time.
    //   wakeAt: it waits for the clock: call it again at WHEN at the latest (the earliest of
    //           several such times counts).
    //   expectInput: it needs BYTES more bytes of input before it can move on, counted from
    //           what it has read (bytes the port holds unread count as arrived).
    void wakeAt(Clock::time_point when);
    void expectInput(int bytes);

    // PORT is about to close: stop watching its descriptor.
    void forgetPort(const SerialPort* port);

    // Calls of the hooked steps so far; lets a benchmark see how often the driver woke.
    uint64_t calls() const { return calls_; }

private:
    IdleDriver();
    void run();
    bool runOnce();
    void callAgain();
    void sleep();
    void armPumpTimer();
    void onPump();
    void fail();
    void watch(SerialPort* port);
    void dropNotifiers();
    void forgetWaits();
    uint64_t fingerprint() const;
    void onReadable();
    void onWritable();

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
    // What the step said in its last call (wakeAt, expectInput).
    std::optional<Clock::time_point> wakeAt_;
    int expected_ = 0;
    // The driver slept for expected input; if that brought nothing, it listens next time.
    bool sleptForInput_ = false;
    bool inputLate_ = false;
    // An output queue that does not drain (held by the other side) is looked at less and less.
    int lastKernelOut_ = -1;
    Clock::duration drainNap_{};
    QTimer runTimer_;   // zero interval: fires once the event loop has nothing else to do
    QTimer wakeTimer_;  // single shot, for the earliest time something may have changed
    QTimer pumpTimer_;  // single shot, for handing the kernel more of the paced output
    int watchedFd_ = -1;
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
};

}  // namespace platform
