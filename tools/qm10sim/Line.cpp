#include "tools/qm10sim/Line.h"

#include "tools/qm10sim/Talk.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
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

// How many bytes may go now: those whose turn on the line (FREE is when the next one may
// start, one BYTETIME after another) comes within kSlack. A byte longer than kSlack (below
// about 5000 bit/s) still goes once its turn has come.
std::size_t allowance(std::chrono::nanoseconds byteTime, Clock::time_point& free, Clock::time_point now)
{
    if (byteTime.count() == 0)
        return static_cast<std::size_t>(-1);
    if (free < now)
        free = now;  // an idle line saves up no time
    const auto ahead = now + kSlack - free;
    return ahead.count() < 0 ? 0 : static_cast<std::size_t>(ahead / byteTime) + 1;
}

}  // namespace

namespace {

// The link and the line it should lead to, in fixed storage a signal handler can read.
char g_signalLink[4096];
char g_signalSlave[128];

}  // namespace

void Line::noteForSignals() const
{
    g_signalLink[0] = g_signalSlave[0] = '\0';
    if (link_.size() < sizeof g_signalLink && slave_.size() < sizeof g_signalSlave) {
        std::memcpy(g_signalSlave, slave_.c_str(), slave_.size() + 1);
        std::memcpy(g_signalLink, link_.c_str(), link_.size() + 1);
    }
}

void Line::removeLinkNow()
{
    char target[sizeof g_signalSlave];
    const ssize_t n = g_signalLink[0] ? ::readlink(g_signalLink, target, sizeof target) : -1;
    if (n > 0 && std::size_t(n) == std::strlen(g_signalSlave) && std::memcmp(target, g_signalSlave, std::size_t(n)) == 0)
        ::unlink(g_signalLink);
}

bool Line::openPseudoTerminal(std::string& error)
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char name[128] = {};
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0) {
        error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    slave_ = name;

    // Raw both ways: on a pseudo-terminal master these settings are the slave's, and the
    // master itself translates nothing.
    termios t{};
    if (::tcgetattr(master_, &t) == 0) {
        ::cfmakeraw(&t);
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        ::tcsetattr(master_, TCSANOW, &t);
    }
    // Until the slave has been open once, the master cannot tell that nobody is there.
    // Opening and closing it once makes "no PC" read as a hang-up from the start.
    int s = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (s >= 0)
        ::close(s);
    return true;
}

bool Line::ownsLink() const
{
    if (link_.empty())
        return false;
    char target[4096];
    const ssize_t n = ::readlink(link_.c_str(), target, sizeof target - 1);
    return n > 0 && std::string(target, std::size_t(n)) == slave_;
}

std::unique_ptr<Line> Line::create(const std::string& linkPath, std::string& error)
{
    std::unique_ptr<Line> line(new Line);
    if (!line->openPseudoTerminal(error))
        return nullptr;

    if (!linkPath.empty()) {
        struct stat st {};
        if (::lstat(linkPath.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                error = linkPath + ": exists and is not a symlink; not replacing it";
                return nullptr;
            }
            // A link to a line that still exists belongs to a simulator that still runs.
            char target[4096];
            const ssize_t n = ::readlink(linkPath.c_str(), target, sizeof target - 1);
            struct stat led {};
            if (n > 0 && ::stat(linkPath.c_str(), &led) == 0 && S_ISCHR(led.st_mode)) {
                error = linkPath + ": in use: it leads to " + std::string(target, std::size_t(n)) +
                        ", a line another simulator holds; not taking it over";
                return nullptr;
            }
            ::unlink(linkPath.c_str());  // left over from an earlier run
        }
        if (::symlink(line->slave_.c_str(), linkPath.c_str()) != 0) {
            error = linkPath + ": cannot create the link: " + std::strerror(errno);
            return nullptr;
        }
        line->link_ = linkPath;
    }
    line->noteForSignals();
    return line;
}

Line::~Line()
{
    if (master_ >= 0)
        ::close(master_);
    if (ownsLink())
        ::unlink(link_.c_str());
}

void Line::freeStuckLine()
{
    if (master_ < 0)
        return;
    pollfd p{master_, POLLIN, 0};
    if (::poll(&p, 1, 0) < 0 || !(p.revents & POLLHUP))
        return;  // the PC has it open (again)
    const int s = ::open(slave_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (s >= 0) {
        ::ioctl(s, TIOCNXCL);  // we may open it anyway (root): clear what the PC left
        ::close(s);
        return;
    }
    if (errno != EBUSY)
        return;
    // Only root could open it again: start over on a fresh pseudo-terminal.
    const int oldMaster = master_;
    const std::string oldSlave = slave_;
    std::string error;
    if (!openPseudoTerminal(error)) {
        if (master_ >= 0)
            ::close(master_);
        master_ = oldMaster;
        slave_ = oldSlave;
        note(error);
        return;
    }
    ::close(oldMaster);
    if (!link_.empty()) {
        // The link moves to the new line in one step (rename), through a fresh temporary name.
        for (int i = 0; i < 100; ++i) {
            const std::string temp = link_ + ".new" + std::to_string(::getpid()) + "." + std::to_string(i);
            if (::symlink(slave_.c_str(), temp.c_str()) != 0) {
                if (errno == EEXIST)
                    continue;
                break;
            }
            if (::rename(temp.c_str(), link_.c_str()) != 0)
                ::unlink(temp.c_str());
            break;
        }
    }
    noteForSignals();
    note("the PC left " + oldSlave + " exclusive when it ended; the line is now " + slave_ +
         (link_.empty() ? "" : " (" + link_ + " follows it)"));
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
    freeStuckLine();
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
    if (ownsLink())
        ::unlink(link_.c_str());
    link_.clear();
    noteForSignals();
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
                wake = std::min(wake, outFree_ - kSlack);
            if (allowance(byteTime_, inFree_, now) == 0) {
                wake = std::min(wake, inFree_ - kSlack);
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
