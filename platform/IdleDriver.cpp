#include "platform/IdleDriver.h"

#include <QCoreApplication>

#include <algorithm>

namespace platform {

namespace {

using namespace std::chrono_literals;

constexpr int kBurst = 64;  // steps in a row before events are handled
// A descriptor that reports readiness but has nothing to give is looked at on this clock.
constexpr auto kStaleLook = 16ms;
// Input and output on the line come a little late now and then (a UART's FIFO, the
// scheduler): what is due at a moment is looked for this much after it.
constexpr auto kLate = 1ms;
// The longest nap while an output queue does not drain (the other side holds it with XOFF).
constexpr auto kLongestDrainNap = 1000ms;

}  // namespace

IdleDriver& IdleDriver::instance()
{
    static IdleDriver* driver = new IdleDriver;  // lives as long as the program
    return *driver;
}

IdleDriver::IdleDriver()
{
    runTimer_.setInterval(0);
    connect(&runTimer_, &QTimer::timeout, this, &IdleDriver::run);
    wakeTimer_.setSingleShot(true);
    wakeTimer_.setTimerType(Qt::PreciseTimer);
    connect(&wakeTimer_, &QTimer::timeout, this, &IdleDriver::run);
    pumpTimer_.setSingleShot(true);
    pumpTimer_.setTimerType(Qt::PreciseTimer);
    connect(&pumpTimer_, &QTimer::timeout, this, &IdleDriver::onPump);
}

void IdleDriver::hook(Step step, SerialPort* port, Probe probe, Failure onFailure)
{
    step_ = std::move(step);
    probe_ = std::move(probe);
    onFailure_ = std::move(onFailure);
    if (port != port_)
        dropNotifiers();
    port_ = port;
    ++generation_;
    forgetWaits();
    if (step_)
        wake();
}

void IdleDriver::unhook()
{
    step_ = {};
    probe_ = {};
    onFailure_ = {};
    port_ = nullptr;
    ++generation_;
    runTimer_.stop();
    wakeTimer_.stop();
    pumpTimer_.stop();
    dropNotifiers();
    forgetWaits();
}

void IdleDriver::forgetWaits()
{
    wakeAt_.reset();
    expected_ = 0;
    sleptForInput_ = inputLate_ = false;
    lastKernelOut_ = -1;
}

void IdleDriver::wake()
{
    if (inRun_) {
        wokenInRun_ = true;
        return;
    }
    callAgain();
}

void IdleDriver::callAgain()
{
    if (step_ && !runTimer_.isActive())
        runTimer_.start();
}

void IdleDriver::wakeAt(Clock::time_point when)
{
    if (!wakeAt_ || when < *wakeAt_)
        wakeAt_ = when;
}

void IdleDriver::expectInput(int bytes)
{
    expected_ = std::max(expected_, bytes);
}

void IdleDriver::forgetPort(const SerialPort* port)
{
    if (port && port->fd() == watchedFd_)
        dropNotifiers();
    if (port == port_) {
        wakeTimer_.stop();
        pumpTimer_.stop();
    }
}

uint64_t IdleDriver::fingerprint() const
{
    // Mixed so that a read (activity) and a state change (probe) never cancel out.
    uint64_t a = port_ ? port_->activity() : 0;
    uint64_t p = probe_ ? probe_() : 0;
    return a * 0x9E3779B97F4A7C15ull ^ (p + 0x632BE59BD9B4E019ull + (a << 6) + (a >> 2));
}

// Steps that make progress are called back to back, a few at a time, before waiting events
// get their turn; a step that makes none puts the driver to sleep. Whatever woke the driver
// calls this directly; the run timer carries on a burst that was cut short.
void IdleDriver::run()
{
    // In one wake-up the port's input is read until the kernel is found empty, not again: what
    // comes later is taken at the next one (the read notifier or the step's wait calls it).
    SerialPort* const port = port_;
    if (port)
        port->batchReads(true);
    bool more = true;
    for (int burst = 0; burst < kBurst && more; ++burst)
        more = runOnce();
    if (port)
        port->batchReads(false);
    if (more)
        callAgain();
}

bool IdleDriver::runOnce()
{
    if (inRun_) {  // woken from inside the step (it dispatched events)
        wokenInRun_ = true;
        return false;
    }
    if (!step_) {
        runTimer_.stop();
        return false;
    }
    inRun_ = true;
    wokenInRun_ = false;
    const uint64_t gen = generation_;
    const uint64_t before = fingerprint();
    // What the step says about its waits holds for this call only.
    wakeAt_.reset();
    expected_ = 0;
    if (port_)
        port_->clearShortOfInput();
    bool done = true;
    Step step = step_;  // the step may replace itself while it runs
    step(done);
    ++calls_;
    inRun_ = false;

    if (port_ && port_->failed() && generation_ == gen) {
        fail();
        return false;
    }
    if (!step_) {
        runTimer_.stop();
        return false;
    }
    const bool progressed = generation_ != gen || (!done && fingerprint() != before);
    if (progressed) {
        writeStale_ = false;
        readStale_ = false;
        inputLate_ = false;
        sleptForInput_ = false;
        if (port_ && port_->failed()) {  // a new step on a port that has gone
            fail();
            return false;
        }
        // A new step waits for the event loop; the same step goes on at once.
        if (generation_ != gen) {
            callAgain();
            return false;
        }
        return true;
    }
    // Slept for input that did not come: the other side is slower than the line, or paused.
    if (sleptForInput_)
        inputLate_ = true;
    sleptForInput_ = false;
    if (wokenInRun_) {
        callAgain();
        return false;
    }
    sleep();
    return false;
}

void IdleDriver::sleep()
{
    wakeTimer_.stop();
    const Clock::time_point now = Clock::now();
    std::optional<Clock::time_point> due = wakeAt_;
    auto noLaterThan = [&due](Clock::time_point t) {
        if (!due || t < *due)
            due = t;
    };
    auto armWakeTimer = [&] {
        if (due)
            wakeTimer_.start(int(std::clamp<int64_t>(std::chrono::ceil<std::chrono::milliseconds>(*due - now).count(), 0, INT32_MAX)));
    };

    if (!port_ || !port_->isOpen()) {
        runTimer_.stop();
        dropNotifiers();
        armWakeTimer();  // a step without a line may still wait for the clock
        return;
    }
    port_->checkHangup();
    const int held = port_->ready(0);
    // The step found the kernel empty when it tried to read: whatever it holds now came since,
    // and the read notifier, armed below, fires for it at once. Otherwise the step left input
    // there, which must not make the notifier fire over and over.
    const int inKernel = port_->shortOfInput() ? 0 : port_->bytesWaiting() - held;
    const int queued = port_->bytesQueued();
    if (port_->failed()) {
        fail();
        return;
    }
    runTimer_.stop();
    watch(port_);

    const auto byteTime = port_->byteTime();
    const bool knowsSpeed = byteTime.count() > 0;

    // Input. A step that said how much it needs sleeps for the time that takes on the line,
    // deaf to the pieces in between; once that brought nothing, the next byte wakes it.
    bool listen = inKernel == 0 && !readStale_;
    if (port_->shortOfInput() && expected_ > held && knowsSpeed && !inputLate_) {
        noLaterThan(now + (expected_ - held) * byteTime + kLate);
        listen = false;
        sleptForInput_ = true;
    }
    readNotifier_->setEnabled(listen);
    if (readStale_)
        noLaterThan(now + kStaleLook);

    // Output: bytes the kernel refused wait for the descriptor to turn writable; bytes held
    // back to pace the line are handed over when the line has carried enough, without the
    // step (it is woken once they have all gone); the kernel's queue empties at the line's
    // speed.
    writeNotifier_->setEnabled(port_->hasPending() && !writeStale_);
    if (port_->hasPending() && writeStale_)
        noLaterThan(now + kStaleLook);
    armPumpTimer();
    const int kernelOut = queued - static_cast<int>(port_->pendingSize());
    if (kernelOut > 0) {
        Clock::duration nap = knowsSpeed ? kernelOut * byteTime + kLate : Clock::duration(kStaleLook);
        if (kernelOut == lastKernelOut_)  // nothing left since last time: held by the other side
            nap = std::min<Clock::duration>(std::max(nap, drainNap_ * 2), kLongestDrainNap);
        drainNap_ = nap;
        noLaterThan(now + nap);
    }
    lastKernelOut_ = kernelOut;
    armWakeTimer();
}

void IdleDriver::fail()
{
    Failure onFailure = std::move(onFailure_);
    unhook();
    if (onFailure)
        onFailure();
}

void IdleDriver::watch(SerialPort* port)
{
    if (readNotifier_ && port->fd() == watchedFd_)
        return;
    dropNotifiers();
    watchedFd_ = port->fd();
    readNotifier_ = std::make_unique<QSocketNotifier>(watchedFd_, QSocketNotifier::Read);
    readNotifier_->setEnabled(false);
    connect(readNotifier_.get(), &QSocketNotifier::activated, this, &IdleDriver::onReadable);
    writeNotifier_ = std::make_unique<QSocketNotifier>(watchedFd_, QSocketNotifier::Write);
    writeNotifier_->setEnabled(false);
    connect(writeNotifier_.get(), &QSocketNotifier::activated, this, &IdleDriver::onWritable);
}

void IdleDriver::dropNotifiers()
{
    readNotifier_.reset();
    writeNotifier_.reset();
    watchedFd_ = -1;
    readStale_ = false;
    writeStale_ = false;
}

void IdleDriver::armPumpTimer()
{
    const auto pump = port_ ? port_->nextPump() : std::nullopt;
    if (!pump) {
        pumpTimer_.stop();
        return;
    }
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(*pump - Clock::now()).count();
    pumpTimer_.start(int(std::clamp<int64_t>(ms, 0, INT32_MAX)));
}

void IdleDriver::onPump()
{
    if (!port_)
        return;
    const std::size_t before = port_->pendingSize();
    port_->pump();
    // The step may add to what the port holds back, or wait for all of it to have gone; a
    // kernel that refused the share (the other side said XOFF) is waited for by sleep().
    if (port_->failed() || port_->pendingSize() != before || port_->hasPending()) {
        run();
        return;
    }
    armPumpTimer();
}

void IdleDriver::onReadable()
{
    readNotifier_->setEnabled(false);
    if (port_)
        port_->checkHangup();  // a line that hangs up turns readable without data
    if (port_ && port_->bytesWaiting() == 0 && !port_->failed())
        readStale_ = true;  // readable without data: fall back on the clock
    run();
}

void IdleDriver::onWritable()
{
    writeNotifier_->setEnabled(false);
    if (port_) {
        const std::size_t before = port_->pendingSize();
        port_->pump();
        if (port_->pendingSize() == before && !port_->failed())
            writeStale_ = true;  // writable but nothing taken: fall back on the clock
    }
    run();
}

}  // namespace platform
