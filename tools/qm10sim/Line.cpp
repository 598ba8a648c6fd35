#include "tools/qm10sim/Line.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace qm10sim {

namespace {

constexpr uint8_t kXon = 0x11, kXoff = 0x13;
// Bytes that would start within this much time are written together, so that a paced
// line does not need one wake-up per byte.
constexpr auto kSlack = std::chrono::milliseconds(2);
// Bytes already sent when the line is cut still reach the PC: closing the master at once
// would throw away what the PC has not read yet.
constexpr auto kCutGrace = std::chrono::milliseconds(200);
// How often a line that nobody has open is looked at again.
constexpr auto kIdleLook = std::chrono::milliseconds(10);

std::size_t allowance(std::chrono::nanoseconds byteTime, Clock::time_point& free, Clock::time_point now)
{
    if (byteTime.count() == 0)
        return static_cast<std::size_t>(-1);
    if (free < now)
        free = now;  // an idle line saves up no time
    const auto ahead = now + kSlack - free;
    return ahead.count() <= 0 ? 0 : static_cast<std::size_t>(ahead / byteTime);
}

}  // namespace

std::unique_ptr<Line> Line::create(const std::string& linkPath, std::string& error)
{
    std::unique_ptr<Line> line(new Line);
    line->master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char name[128] = {};
    if (line->master_ < 0 || ::grantpt(line->master_) != 0 || ::unlockpt(line->master_) != 0 ||
        ::ptsname_r(line->master_, name, sizeof name) != 0) {
        error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return nullptr;
    }
    line->slave_ = name;

    // Raw both ways: on a pseudo-terminal master these settings are the slave's, and the
    // master itself translates nothing.
    termios t{};
    if (::tcgetattr(line->master_, &t) == 0) {
        ::cfmakeraw(&t);
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        ::tcsetattr(line->master_, TCSANOW, &t);
    }
    // Until the slave has been open once, the master cannot tell that nobody is there.
    // Opening and closing it once makes "no PC" read as a hang-up from the start.
    int s = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (s >= 0)
        ::close(s);

    if (!linkPath.empty()) {
        struct stat st {};
        if (::lstat(linkPath.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                error = linkPath + ": exists and is not a symlink; not replacing it";
                return nullptr;
            }
            ::unlink(linkPath.c_str());  // left over from an earlier run
        }
        if (::symlink(name, linkPath.c_str()) != 0) {
            error = linkPath + ": cannot create the link: " + std::strerror(errno);
            return nullptr;
        }
        line->link_ = linkPath;
    }
    return line;
}

Line::~Line()
{
    if (master_ >= 0)
        ::close(master_);
    if (!link_.empty())
        ::unlink(link_.c_str());
}

void Line::setBaud(unsigned baud)
{
    byteTime_ = baud ? std::chrono::nanoseconds(10'000'000'000LL / baud) : std::chrono::nanoseconds(0);
}

void Line::setBudget(Budget counted, long bytes)
{
    budgetDir_ = counted;
    budget_ = bytes;
}

long Line::budgetLeft(Budget direction) const
{
    if (budgetDir_ != direction)
        return -1;
    return budget_ - (direction == Budget::Sent ? sent_ : received_);
}

bool Line::peerOpen()
{
    if (master_ < 0)
        return false;
    pollfd p{master_, POLLIN, 0};
    if (::poll(&p, 1, 0) < 0 || (p.revents & POLLHUP))
        return false;
    everOpen_ = true;
    return true;
}

bool Line::waitForPeer(int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!peerOpen()) {
        if (hungUp_ || (timeoutMs >= 0 && Clock::now() >= deadline))
            return false;
        std::this_thread::sleep_for(kIdleLook);
    }
    return true;
}

void Line::rearm()
{
    peerClosed_ = false;
    everOpen_ = false;
    held_ = false;
    flowControl_ = false;
    outbox_.clear();
    inbox_.clear();
}

void Line::hangUp()
{
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
    hungUp_ = true;
    outbox_.clear();
    if (!link_.empty())
        ::unlink(link_.c_str());
    link_.clear();
}

void Line::write(const std::string& text)
{
    if (!closed())
        outbox_ += text;
}

void Line::service(Clock::time_point until)
{
    for (;;) {
        if (master_ < 0)
            return;
        const auto now = Clock::now();
        if (cutAt_ && now >= *cutAt_)
            return hangUp();
        pollfd p{master_, POLLIN, 0};
        ::poll(&p, 1, 0);
        const bool open = !(p.revents & POLLHUP);
        if (open)
            everOpen_ = true;
        bool progressed = false;
        bool needRoom = false;

        if (open && !held_ && !outbox_.empty()) {
            std::size_t k = std::min(outbox_.size(), allowance(byteTime_, outFree_, now));
            if (const long left = budgetLeft(Budget::Sent); left >= 0)
                k = std::min(k, static_cast<std::size_t>(left));
            if (k > 0) {
                const ssize_t n = ::write(master_, outbox_.data(), k);
                if (n > 0) {
                    outbox_.erase(0, static_cast<std::size_t>(n));
                    sent_ += n;
                    outFree_ += byteTime_ * n;
                    progressed = true;
                    if (budgetLeft(Budget::Sent) == 0)
                        cutAt_ = now + kCutGrace;
                } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                    needRoom = true;
                }
            }
        }

        if (p.revents & (POLLIN | POLLHUP)) {
            std::size_t k = std::min<std::size_t>(256, allowance(byteTime_, inFree_, now));
            if (const long left = budgetLeft(Budget::Received); left >= 0)
                k = std::min(k, static_cast<std::size_t>(left));
            if (k > 0) {
                uint8_t buf[256];
                const ssize_t n = ::read(master_, buf, k);
                if (n > 0) {
                    received_ += n;
                    inFree_ += byteTime_ * n;
                    for (ssize_t i = 0; i < n; ++i) {
                        if (flowControl_ && (buf[i] == kXon || buf[i] == kXoff))
                            held_ = buf[i] == kXoff;
                        else
                            inbox_.push_back(buf[i]);
                    }
                    progressed = true;
                    if (budgetLeft(Budget::Received) == 0)
                        return hangUp();
                } else if (n < 0 && errno == EIO && everOpen_) {
                    peerClosed_ = true;  // the PC closed its side and nothing is left to read
                    outbox_.clear();
                    held_ = false;
                    return;
                }
            }
        }

        if (progressed || now >= until)
            return;

        // Sleep until something can happen: input, room for output, or the line's clock.
        auto wake = until;
        if (cutAt_)
            wake = std::min(wake, *cutAt_);
        if (!open) {
            std::this_thread::sleep_for(std::min<Clock::duration>(kIdleLook, wake - now));
            continue;
        }
        short events = static_cast<short>(POLLIN | (needRoom ? POLLOUT : 0));
        if (byteTime_.count()) {
            const bool outputWaitsForClock =
                !held_ && !outbox_.empty() && !needRoom && budgetLeft(Budget::Sent) != 0;
            if (outputWaitsForClock)
                wake = std::min(wake, outFree_ + byteTime_ - kSlack);
            if (allowance(byteTime_, inFree_, now) == 0) {
                wake = std::min(wake, inFree_ + byteTime_ - kSlack);
                events = static_cast<short>(events & ~POLLIN);
            }
        }
        pollfd w{master_, events, 0};
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(wake - now).count();
        ::poll(&w, 1, static_cast<int>(std::clamp<long long>(ms, 0, 1000)));
    }
}

bool Line::drain(int timeoutMs)
{
    const auto deadline = timeoutMs < 0 ? Clock::time_point::max() : Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!outbox_.empty() && !closed() && Clock::now() < deadline)
        service(std::min(deadline, Clock::now() + std::chrono::seconds(1)));
    return outbox_.empty() && !closed();
}

std::optional<uint8_t> Line::readByte(int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (!inbox_.empty()) {
            const uint8_t b = inbox_.front();
            inbox_.pop_front();
            return b;
        }
        if (closed())
            return std::nullopt;
        service(deadline);
        if (inbox_.empty() && Clock::now() >= deadline)
            return std::nullopt;
    }
}

void Line::pause(int ms)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < deadline) {
        if (closed()) {
            std::this_thread::sleep_until(deadline);
            return;
        }
        service(deadline);
    }
}

bool Line::peerUsesFlowControl() const
{
    termios t{};
    return master_ >= 0 && ::tcgetattr(master_, &t) == 0 && (t.c_iflag & IXON);
}

}  // namespace qm10sim
