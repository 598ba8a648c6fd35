#include "platform/IdleDriver.h"

#include <QCoreApplication>

#include <algorithm>

namespace platform {

namespace {
constexpr int kBurst = 16;        // steps in a row before events are handled
constexpr int kLongestPoll = 16;  // ms; a queue of 2048 bytes takes over a second at 19200 bit/s
}

IdleDriver& IdleDriver::instance()
{
    static IdleDriver* driver = new IdleDriver;  // lives as long as the program
    return *driver;
}

IdleDriver::IdleDriver()
{
    runTimer_.setInterval(0);
    connect(&runTimer_, &QTimer::timeout, this, &IdleDriver::run);
    pollTimer_.setSingleShot(true);
    pollTimer_.setTimerType(Qt::PreciseTimer);
    connect(&pollTimer_, &QTimer::timeout, this, &IdleDriver::onPoll);
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
    pollInterval_ = 1;
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
    pollTimer_.stop();
    dropNotifiers();
}

void IdleDriver::wake()
{
    if (inRun_) {
        wokenInRun_ = true;
        return;
    }
    if (step_ && !runTimer_.isActive())
        runTimer_.start();
}

void IdleDriver::forgetPort(const SerialPort* port)
{
    if (port && port->fd() == watchedFd_)
        dropNotifiers();
    if (port == port_)
        pollTimer_.stop();
}

uint64_t IdleDriver::fingerprint() const
{
    // Mixed so that a read (activity) and a state change (probe) never cancel out.
    uint64_t a = port_ ? port_->activity() : 0;
    uint64_t p = probe_ ? probe_() : 0;
    return a * 0x9E3779B97F4A7C15ull ^ (p + 0x632BE59BD9B4E019ull + (a << 6) + (a >> 2));
}

// Steps that make progress are called back to back, a few at a time, before waiting events
// get their turn; a step that makes none puts the driver to sleep.
void IdleDriver::run()
{
    for (int burst = 0; burst < kBurst; ++burst)
        if (!runOnce())
            return;
}

bool IdleDriver::runOnce()
{
    if (inRun_)
        return false;
    if (!step_) {
        runTimer_.stop();
        return false;
    }
    inRun_ = true;
    wokenInRun_ = false;
    const uint64_t gen = generation_;
    const uint64_t before = fingerprint();
    // What the step is about to see of the port; anything different afterwards is news.
    const int seenWaiting = port_ ? port_->bytesWaiting() : 0;
    const int seenQueued = port_ ? port_->bytesQueued() : 0;
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
        pollInterval_ = 1;
        writeStale_ = false;
        readStale_ = false;
        if (port_ && port_->failed()) {  // a new step on a port that has gone
            fail();
            return false;
        }
        // The run timer stays on. A new step (or a host that closed meanwhile) waits for the
        // event loop; the same step goes on at once.
        return generation_ == gen;
    }
    if (wokenInRun_)
        return false;
    pollInterval_ = std::min(pollInterval_ * 2, kLongestPoll);
    sleep(seenWaiting, seenQueued);
    return false;
}

void IdleDriver::sleep(int seenWaiting, int seenQueued)
{
    if (!port_ || !port_->isOpen()) {
        runTimer_.stop();
        dropNotifiers();
        pollTimer_.stop();
        return;
    }
    port_->checkHangup();
    const int waiting = port_->bytesWaiting();
    const int queued = port_->bytesQueued();
    if (port_->failed()) {
        fail();
        return;
    }
    if (waiting != seenWaiting)
        return;  // input came while the step ran: the run timer calls it again
    runTimer_.stop();
    watch(port_);
    readNotifier_->setEnabled(waiting == 0 && !readStale_);
    writeNotifier_->setEnabled(port_->hasPending() && !writeStale_);
    // Compared with what the step saw, so that a queue that drained meanwhile wakes it.
    lastWaiting_ = waiting;
    lastQueued_ = seenQueued;
    if (waiting > 0 || queued > 0 || seenQueued > 0 || readStale_)
        pollTimer_.start(pollInterval_);
    else
        pollTimer_.stop();
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

void IdleDriver::onReadable()
{
    readNotifier_->setEnabled(false);
    if (port_)
        port_->checkHangup();  // a line that hangs up turns readable without data
    if (port_ && port_->bytesWaiting() == 0 && !port_->failed())
        readStale_ = true;  // readable without data: fall back on the poll timer
    wake();
}

void IdleDriver::onWritable()
{
    writeNotifier_->setEnabled(false);
    if (port_) {
        const std::size_t before = port_->pendingSize();
        port_->pump();
        if (port_->pendingSize() == before && !port_->failed())
            writeStale_ = true;  // writable but nothing taken: fall back on the poll timer
    }
    wake();
}

void IdleDriver::onPoll()
{
    if (inRun_) {
        wokenInRun_ = true;
        return;
    }
    if (!step_ || !port_)
        return;
    port_->checkHangup();
    const int waiting = port_->bytesWaiting();
    const int queued = port_->bytesQueued();
    if (port_->failed() || waiting != lastWaiting_ || queued != lastQueued_) {
        wake();
        return;
    }
    pollInterval_ = std::min(pollInterval_ * 2, kLongestPoll);
    pollTimer_.start(pollInterval_);
}

}  // namespace platform
