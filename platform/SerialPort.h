// SerialPort — a serial line on POSIX termios that never waits.
//
// Contract
//   open()        opens PATH read/write, non-blocking, without becoming its controlling
//                 terminal, and takes it exclusively: first the line's UUCP lock file
//                 (platform/UucpLock.h) and an advisory flock, and only once both are ours
//                 TIOCEXCL, so a refused open never leaves the line exclusive for the program that
//                 holds it. A second open of the same line fails while this one holds it.
//                 Returns false on failure with errno kept; the port is then closed and nothing
//                 of ours stays on the line. EBUSY: another program holds the line; lockOwner()
//                 and ownerName() name it when its lock file or /proc does (platform/
//                 LineHolders.h); leftExclusive(): nobody has the line itself open, but a program
//                 that ended left it exclusive, and lockOwner() is the process holding its other
//                 end (a pseudo-terminal's master), which keeps it so. close() removes the lock
//                 file. The line's settings as open() found them are put back by close(), as
//                 terminal programs do, so a line is never left raw at our speed.
//   configure()   raw mode with the given speed, data bits, parity and stop bits; XON/XOFF
//                 on output (the line pauses sending while the other side says XOFF) and on
//                 input (the kernel says XOFF when its input buffer runs full) as asked.
//                 A speed the layer does not know (SpeedSupported) keeps the line's speed.
//                 Returns false when the line refuses the settings.
//   purge()       drops everything not yet sent (the layer's and the kernel's) and every
//                 byte received but not yet read (the layer's and the kernel's).
//   discardOutput() drops everything not yet sent (the layer's and the kernel's output queue;
//                 on a pseudo-terminal also what the other side has not read yet); input stays.
//   setDtr/Rts    modem lines; a line that has none (a pseudo-terminal) ignores the request.
//   bytesWaiting  bytes that a read can take now: those the layer has taken from the line
//                 already (ready()) plus those the kernel holds (FIONREAD).
//   ready(n)      at least N bytes to take without asking the kernel? When the layer holds
//                 fewer, one read takes everything the kernel has into the layer first.
//                 Returns how many the layer holds then. A caller that takes its bytes in
//                 small pieces so costs one system call per batch, not two per piece, and the
//                 kernel is left empty, so the descriptor turns readable only on new input.
//                 The layer holds at most what the kernel held at one time; a caller that
//                 stops taking bytes leaves the rest in the kernel, whose flow control then
//                 holds the other side back as before.
//   bytesQueued   bytes written but not yet gone: the kernel's output queue (TIOCOUTQ) plus
//                 what the layer holds because the kernel did not take it yet. The kernel is
//                 asked only while bytes it took may not have left yet: once it reported them
//                 gone, the queue is empty until the next write.
//   read()        takes up to MAX waiting bytes, oldest first; returns how many (0 when none).
//                 Never blocks.
//   shortOfInput() a ready() since the last clearShortOfInput() found fewer bytes than asked
//                 for, so the kernel was empty at that moment: input it holds now is new.
//   batchReads(on) while on, a ready() that has once found the kernel empty (a read that took
//                 less than it could) asks it no more and reports that (shortOfInput()): what
//                 comes later waits for the next batch. For a caller that wakes, takes what
//                 has come and sleeps again. Each call starts a new batch; off after open().
//   write()       accepts every byte. What the kernel does not take at once is kept, in order,
//                 and pushed by later calls of pump(), write() or bytesQueued(); nothing is
//                 lost, reordered or split.
//   setPaced(on)  while on, bytes go to the kernel no faster than the line's speed (from the last
//                 configure(); start, data, parity and stop bits a byte) and at most about 150 ms
//                 ahead of it, in shares of about 100 ms (or the rest, when it fits), one share
//                 a pump(); the rest waits in the layer (queued, and dropped by purge() and
//                 discardOutput()). A line that buffers beyond what it reports (a pseudo-terminal)
//                 then holds no more than a real one would, so what has not left can still be
//                 taken back. Off after open(); no effect while the speed is unknown.
//   drain(ms)     waits until bytesQueued() is 0 or MS milliseconds have passed, sleeping on
//                 the descriptor (writable) or in short naps while the kernel's queue empties at
//                 line speed; never spins. True when everything has left; false on time-out or
//                 when the line has gone. True at once on a closed port.
//   hasPending()  the layer holds bytes the kernel has refused so far (not those held back by
//                 setPaced); the descriptor turns writable when it takes bytes again.
//   nextPump()    while setPaced holds bytes back: when the line has carried enough of what the
//                 kernel has that a pump() can hand it a good share of the rest (two thirds of
//                 its allowance). Otherwise none.
//   byteTime()    a byte's time on the line from the last configure(); 0 while unknown.
//   activity()    a counter that moves whenever bytes are read, written or purged, so that a
//                 caller can tell whether a piece of code touched the line.
//   failed()      the line has gone: hang-up, an I/O error, or a descriptor that no longer
//                 answers. Reads then give 0. Cleared by the next successful open(). A
//                 hang-up shows only to checkHangup(), which a caller about to wait asks (in
//                 a batch of reads that brought bytes, at the next that brings none).
//
// Every call on a closed port is harmless: reads give 0, writes are dropped.
#pragma once

#include "platform/UucpLock.h"

#include <termios.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

enum class Parity : uint8_t { None, Odd, Even };
enum class StopBits : uint8_t { One, OneAndHalf, Two };  // one and a half is sent as two
enum class FlowControl : uint8_t {
    None,
    XonXoff,  // both ways: pause sending while the other side says XOFF, and say XOFF when
              // the input buffer runs full
};

// What configure() puts on the line.
struct LineSettings {
    uint32_t baud = 9600;
    uint8_t dataBits = 8;  // 5..8
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;
    FlowControl flow = FlowControl::None;

    friend bool operator==(const LineSettings&, const LineSettings&) = default;
};

// The speeds configure() sets: 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200.
inline constexpr uint32_t kLineSpeeds[] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
bool SpeedSupported(uint32_t baud);

// What configure() makes of T: raw mode, no modem control, reads that never wait, and the
// settings of S. A pseudo-terminal keeps only some of it (always eight data bits, no
// parity), which is why this is open to callers.
void MakeRawTermios(termios& t, const LineSettings& s);

class SerialPort {
public:
    SerialPort() = default;
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    bool open(const std::string& path);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    // The process that holds the line, and its command name, after open() failed with EBUSY;
    // else 0 and empty. See leftExclusive() in the contract above.
    long lockOwner() const { return lockOwner_; }
    const std::string& ownerName() const { return ownerName_; }
    bool leftExclusive() const { return leftExclusive_; }
    int fd() const { return fd_; }

    bool configure(const LineSettings& settings);
    void purge();
    void discardOutput();
    void setDtr(bool on);
    void setRts(bool on);

    int bytesWaiting();
    int bytesQueued();
    int ready(int n);
    int read(uint8_t* buf, int max);
    bool shortOfInput() const { return shortOfInput_; }
    void batchReads(bool on)
    {
        batch_ = on;
        drained_ = gotInput_ = false;
    }
    void clearShortOfInput() { shortOfInput_ = false; }
    void write(const uint8_t* data, std::size_t n);
    void pump();
    bool drain(int ms);
    bool hasPending() const { return !pending_.empty() && refused_; }
    void setPaced(bool on);
    std::optional<std::chrono::steady_clock::time_point> nextPump() const;
    std::chrono::nanoseconds byteTime() const { return byteTime_; }
    // Bytes accepted by write() since open, and of those the bytes that have left the layer for
    // the kernel: a byte written when bytesWritten() was N has left once bytesSent() >= N + 1.
    uint64_t bytesWritten() const { return written_; }
    uint64_t bytesSent() const { return sent_; }
    // Of those, the bytes that have left the kernel's output queue too, so are on the line
    // (a pseudo-terminal reports no queue: there it is bytesSent()). Asks the kernel.
    uint64_t bytesGone();
    std::size_t pendingSize() const { return pending_.size(); }
    uint64_t activity() const { return activity_; }
    bool failed() const { return failed_; }

    // Looks for a hang-up or an error on the line (poll) and marks the port failed. Reads see
    // a hang-up only as "nothing waiting", so whoever waits for input asks this before sleeping.
    // Within a batch whose reads brought bytes the line was there a moment ago: it is asked at
    // the next wake-up that brings none, which saves a system call at every busy one.
    void checkHangup();

private:
    void findHolder(const std::string& path);
    std::chrono::nanoseconds paceShare() const;
    // Of the bytes the kernel took, those still in its output queue (TIOCOUTQ); keeps gone_.
    int kernelQueued();

    int fd_ = -1;
    bool failed_ = false;
    uint64_t activity_ = 0;
    std::vector<uint8_t> pending_;  // bytes the kernel has not taken yet, oldest first
    std::vector<uint8_t> input_;    // bytes taken from the kernel, not yet read: inputAt_ to inputEnd_
    std::size_t inputAt_ = 0;
    std::size_t inputEnd_ = 0;
    bool shortOfInput_ = false;
    bool batch_ = false;            // batchReads
    bool drained_ = false;          // in this batch a read found the kernel empty
    bool gotInput_ = false;         // in this batch a read brought bytes
    bool refused_ = false;          // the kernel refused the last bytes offered
    bool paced_ = false;
    std::chrono::nanoseconds byteTime_{0};       // a byte's time on the line; 0: unknown
    std::chrono::steady_clock::time_point lineFree_{};  // when the line has carried what went to the kernel
    uint64_t written_ = 0;          // bytes accepted by write() since open
    uint64_t sent_ = 0;             // of those, bytes the kernel has taken
    uint64_t gone_ = 0;             // of those, bytes that have left the kernel's queue as well
    long lockOwner_ = 0;
    std::string ownerName_;
    bool leftExclusive_ = false;
    UucpLock lock_;
    std::optional<termios> found_;  // the line's settings at open(), put back by close()
};

}  // namespace platform
