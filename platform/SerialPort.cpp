#include "platform/SerialPort.h"

#include "platform/LineHolders.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace platform {

namespace {

// How far the kernel may run ahead of the line while paced: what Cancel cannot take back, and
// the time the caller has to come back for the next pump before the line runs dry. Every
// share handed over costs the program a wake-up, so the shares are large: an image record of
// a send (239 characters, 125 ms at 19200 bit/s) goes over in one piece, about as far ahead as
// the send lets its records run anyway.
constexpr auto kPaceAhead = std::chrono::milliseconds(150);
// The most that one read takes from the kernel into the layer: a line's input buffer.
constexpr std::size_t kInputChunk = 4096;

speed_t speedCode(uint32_t baud)
{
    switch (baud) {
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B0;
    }
}

}  // namespace

bool SpeedSupported(uint32_t baud)
{
    return speedCode(baud) != B0;
}

SerialPort::~SerialPort() { close(); }

bool SerialPort::open(const std::string& path)
{
    close();
    lockOwner_ = 0;
    ownerName_.clear();
    leftExclusive_ = false;
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == EBUSY)  // another program has set the line exclusive
            findHolder(path);
        errno = error;
        return false;
    }
    auto refuse = [&](int error) {
        lock_.release();
        ::close(fd);
        errno = error;
        return false;
    };
    if (!::isatty(fd))
        return refuse(ENOTTY);
    // Most terminal programs mark a line with a lock file; root passes TIOCEXCL, so an advisory
    // lock also keeps a second VEXLO (or the simulator's peer check) from sharing the line.
    if (lock_.acquire(path) == UucpLock::Result::InUse) {
        lockOwner_ = lock_.owner();
        ownerName_ = ProcessName(lockOwner_);
        return refuse(EBUSY);
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        findHolder(path);
        return refuse(EBUSY);
    }
    // Exclusive only now that the line is ours: set earlier, a refusal would leave the holder
    // of the line unable to open it again.
    if (::ioctl(fd, TIOCEXCL) != 0)
        return refuse(errno);
    termios found{};
    found_.reset();
    if (::tcgetattr(fd, &found) == 0)
        found_ = found;
    fd_ = fd;
    failed_ = false;
    paced_ = refused_ = false;
    byteTime_ = {};
    pending_.clear();
    inputAt_ = inputEnd_ = 0;
    shortOfInput_ = batch_ = drained_ = gotInput_ = false;
    written_ = sent_ = gone_ = 0;
    return true;
}

void SerialPort::findHolder(const std::string& path)
{
    const std::vector<LineHolder> holders = FindLineHolders(path);
    for (const LineHolder& h : holders)
        if (!h.OtherEnd) {
            lockOwner_ = h.Pid;
            ownerName_ = h.Name;
            return;
        }
    // Nobody has the line itself open, yet it refuses us: a program that ended without closing
    // it properly left it exclusive, and it stays so while the other end (a pseudo-terminal's
    // master) is held.
    if (!holders.empty()) {
        lockOwner_ = holders.front().Pid;
        ownerName_ = holders.front().Name;
        leftExclusive_ = true;
    }
}

void SerialPort::close()
{
    if (fd_ >= 0) {
        if (found_)
            (void)::tcsetattr(fd_, TCSANOW, &*found_);  // a line that refuses keeps ours
        found_.reset();
        ::ioctl(fd_, TIOCNXCL);
        ::close(fd_);
    }
    fd_ = -1;
    pending_.clear();
    inputAt_ = inputEnd_ = 0;
    refused_ = paced_ = false;
    lock_.release();
}

void MakeRawTermios(termios& t, const LineSettings& s)
{
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    switch (s.dataBits) {
    case 5: t.c_cflag |= CS5; break;
    case 6: t.c_cflag |= CS6; break;
    case 7: t.c_cflag |= CS7; break;
    default: t.c_cflag |= CS8; break;
    }
    if (s.parity == Parity::Odd)
        t.c_cflag |= PARENB | PARODD;
    else if (s.parity == Parity::Even)
        t.c_cflag |= PARENB;
    if (s.stopBits != StopBits::One)  // termios knows no 1.5 stop bits; two is the closest that still frames
        t.c_cflag |= CSTOPB;
    t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    if (s.flow == FlowControl::XonXoff)
        t.c_iflag |= IXON | IXOFF;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    t.c_cc[VSTART] = 0x11;
    t.c_cc[VSTOP] = 0x13;
    if (speed_t code = speedCode(s.baud); code != B0) {
        ::cfsetispeed(&t, code);
        ::cfsetospeed(&t, code);
    }
}

bool SerialPort::configure(const LineSettings& s)
{
    if (fd_ < 0)
        return false;
    const int bits = 1 + (s.dataBits >= 5 && s.dataBits <= 8 ? s.dataBits : 8) + (s.parity != Parity::None ? 1 : 0)
                     + (s.stopBits != StopBits::One ? 2 : 1);
    if (speedCode(s.baud) != B0)
        byteTime_ = std::chrono::nanoseconds(1'000'000'000LL * bits / s.baud);
    termios t{};
    if (::tcgetattr(fd_, &t) != 0)
        return false;
    MakeRawTermios(t, s);
    return ::tcsetattr(fd_, TCSANOW, &t) == 0;
}

void SerialPort::purge()
{
    discardOutput();
    inputAt_ = inputEnd_ = 0;
    if (fd_ >= 0)
        ::tcflush(fd_, TCIFLUSH);
}

void SerialPort::discardOutput()
{
    ++activity_;
    pending_.clear();
    refused_ = false;
    if (fd_ >= 0)
        ::tcflush(fd_, TCOFLUSH);
    // What was dropped never leaves: count it as gone, so bytesGone() goes on matching
    // bytesWritten() for what is written next.
    gone_ = written_;
    sent_ = written_;
    lineFree_ = std::chrono::steady_clock::now();
}

uint64_t SerialPort::bytesGone()
{
    if (fd_ < 0)
        return written_;
    pump();
    (void)kernelQueued();
    return gone_;
}

int SerialPort::kernelQueued()
{
    // Everything the kernel took has left already (or was dropped): nothing to ask. A line
    // that never reports a queue (a pseudo-terminal) is so asked once after each write.
    if (sent_ == gone_)
        return 0;
    int n = 0;
    if (::ioctl(fd_, TIOCOUTQ, &n) != 0) {
        if (errno == EIO || errno == EBADF || errno == ENODEV)
            failed_ = true;
        n = 0;
    }
    const uint64_t inKernel = std::min<uint64_t>(uint64_t(std::max(n, 0)), sent_ - gone_);
    // Bytes never come back into the queue: keep the highest count seen.
    gone_ = std::max(gone_, sent_ - inKernel);
    return static_cast<int>(inKernel);
}

void SerialPort::setDtr(bool on)
{
    if (fd_ < 0)
        return;
    int bit = TIOCM_DTR;
    (void)::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit);
}

void SerialPort::setRts(bool on)
{
    if (fd_ < 0)
        return;
    int bit = TIOCM_RTS;
    (void)::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit);
}

void SerialPort::checkHangup()
{
    if (fd_ < 0 || failed_ || (batch_ && gotInput_))
        return;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)))
        failed_ = true;
}

int SerialPort::bytesWaiting()
{
    if (fd_ < 0)
        return 0;
    const int held = static_cast<int>(inputEnd_ - inputAt_);
    int n = 0;
    if (::ioctl(fd_, FIONREAD, &n) != 0) {
        failed_ = true;
        return held;
    }
    return held + (n > 0 ? n : 0);
}

int SerialPort::ready(int n)
{
    if (fd_ < 0)
        return 0;
    std::size_t held = inputEnd_ - inputAt_;
    if (held >= std::size_t(std::max(n, 0)))
        return static_cast<int>(held);
    if (batch_ && drained_) {
        shortOfInput_ = true;
        return static_cast<int>(held);
    }
    // Keep what is left at the front, then one read for whatever the kernel has. The buffer
    // only grows (to what was held at once plus a chunk) and is never cleared for a read.
    if (inputAt_ > 0 && held > 0)
        std::memmove(input_.data(), input_.data() + inputAt_, held);
    inputAt_ = 0;
    inputEnd_ = held;
    if (input_.size() < held + kInputChunk)
        input_.resize(held + kInputChunk);
    ssize_t got;
    do
        got = ::read(fd_, input_.data() + held, kInputChunk);
    while (got < 0 && errno == EINTR);
    if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
        failed_ = true;
    drained_ = got < static_cast<ssize_t>(kInputChunk);
    gotInput_ = gotInput_ || got > 0;
    held += got > 0 ? std::size_t(got) : 0;
    inputEnd_ = held;
    if (held < std::size_t(n))
        shortOfInput_ = true;
    return static_cast<int>(held);
}

int SerialPort::bytesQueued()
{
    if (fd_ < 0)
        return 0;
    pump();
    return kernelQueued() + static_cast<int>(pending_.size());
}

int SerialPort::read(uint8_t* buf, int max)
{
    if (fd_ < 0 || max <= 0)
        return 0;
    const int n = std::min(ready(max), max);
    std::copy_n(input_.begin() + std::ptrdiff_t(inputAt_), n, buf);
    inputAt_ += std::size_t(n);
    if (inputAt_ == inputEnd_)
        inputAt_ = inputEnd_ = 0;
    activity_ += static_cast<uint64_t>(n);
    return n;
}

void SerialPort::write(const uint8_t* data, std::size_t n)
{
    if (fd_ < 0 || n == 0)
        return;
    activity_ += n;
    written_ += n;
    pending_.insert(pending_.end(), data, data + n);
    pump();
}

void SerialPort::setPaced(bool on)
{
    paced_ = on;
    lineFree_ = std::chrono::steady_clock::now();
}

// While paced, the kernel gets bytes in shares, not byte by byte: once two thirds of its
// allowance can go (or a byte, when a byte takes longer), so it still has a third to carry
// while the caller comes back for the next share.
std::chrono::nanoseconds SerialPort::paceShare() const
{
    return std::max<std::chrono::nanoseconds>(std::min<std::chrono::nanoseconds>(byteTime_, kPaceAhead), kPaceAhead * 2 / 3);
}

std::optional<std::chrono::steady_clock::time_point> SerialPort::nextPump() const
{
    if (fd_ < 0 || !paced_ || byteTime_.count() == 0 || pending_.empty() || refused_)
        return std::nullopt;
    return lineFree_ - kPaceAhead + paceShare();
}

void SerialPort::pump()
{
    using Clock = std::chrono::steady_clock;
    while (fd_ >= 0 && !pending_.empty()) {
        std::size_t n = pending_.size();
        const bool paced = paced_ && byteTime_.count() > 0;
        if (paced) {
            const Clock::time_point now = Clock::now();
            if (lineFree_ < now)
                lineFree_ = now;  // an idle line saves up no time
            const auto room = now + kPaceAhead - lineFree_;
            if (room < paceShare() && room < byteTime_ * std::ptrdiff_t(n))
                return;  // a share at a time, or the rest when it fits
            n = std::min<std::size_t>(n, std::max<std::size_t>(std::size_t(room / byteTime_), 1));
        }
        ssize_t put = ::write(fd_, pending_.data(), n);
        if (put > 0) {
            refused_ = false;
            sent_ += uint64_t(put);
            lineFree_ += byteTime_ * put;
            pending_.erase(pending_.begin(), pending_.begin() + put);
            if (paced)
                return;  // one share a call
            continue;
        }
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            refused_ = true;
        else if (put < 0)
            failed_ = true;
        return;
    }
}

bool SerialPort::drain(int ms)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (fd_ < 0)
            return true;
        if (bytesQueued() == 0)
            return true;
        if (failed_)
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        // Bytes the kernel refused (a line held by XOFF): sleep until it takes some again.
        // Otherwise only the kernel's queue is left, which empties at line speed.
        pollfd p{fd_, POLLOUT, 0};
        const int nap = hasPending() ? int(std::min<long long>(left, 50)) : int(std::min<long long>(left, 5));
        if (hasPending())
            (void)::poll(&p, 1, nap);
        else
            (void)::poll(nullptr, 0, nap);
        checkHangup();
    }
}

}  // namespace platform
