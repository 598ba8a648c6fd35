#include "platform/UucpLock.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// The files this process holds, in fixed storage the signal handler can read.
constexpr int kSlots = 8;
constexpr std::size_t kPathMax = 512;
std::array<char[kPathMax], kSlots> g_held{};

extern "C" void removeHeldAndDie(int sig)
{
    for (auto& path : g_held)
        if (path[0] != '\0')
            ::unlink(path);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

void remember(const std::string& path)
{
    static bool handlersSet = false;
    if (!handlersSet) {
        handlersSet = true;
        for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
            struct sigaction old{};
            if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_DFL)
                std::signal(sig, removeHeldAndDie);
        }
    }
    if (path.size() >= kPathMax)
        return;
    for (auto& slot : g_held)
        if (slot[0] == '\0') {
            std::memcpy(slot, path.c_str(), path.size() + 1);
            return;
        }
}

void forget(const std::string& path)
{
    for (auto& slot : g_held)
        if (path == slot)
            slot[0] = '\0';
}

// What a lock file says: the pid it names (0 for none), or that it could not be read.
struct LockOwner {
    long pid = 0;
    int unreadable = 0;  // errno of the open or read that failed; 0 when read
};

// The pid of a lock file's bytes. The convention allows two forms: ten ASCII digits (blanks
// before them) and a line end, and the older binary int of the machine (4 bytes). Four bytes
// that read as a short ASCII number with its line end ("123\n") are taken as that number.
long lockPid(const char* bytes, ssize_t n)
{
    auto ascii = [&] {
        ssize_t i = 0;
        while (i < n && bytes[i] == ' ')
            ++i;
        long pid = 0;
        ssize_t digits = 0;
        for (; i < n && bytes[i] >= '0' && bytes[i] <= '9' && digits < 10; ++i, ++digits)
            pid = pid * 10 + (bytes[i] - '0');
        const bool ended = i == n || bytes[i] == '\n' || bytes[i] == '\0';
        return digits > 0 && ended ? pid : -1;
    };
    if (n == ssize_t(sizeof(int))) {
        const long text = ascii();
        if (text > 0 && bytes[n - 1] == '\n')
            return text;
        int pid = 0;
        std::memcpy(&pid, bytes, sizeof pid);
        return pid > 0 ? pid : 0;
    }
    const long text = ascii();
    return text > 0 ? text : 0;
}

LockOwner readOwner(const std::string& path)
{
    // A link planted under the lock's name is not followed (O_NOFOLLOW) and a FIFO does not
    // block the read (O_NONBLOCK); either reads as a lock that names nobody.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ELOOP || errno == ENOENT)
            return {};
        return {0, errno};
    }
    char buf[32] = {};
    const ssize_t n = ::read(fd, buf, sizeof buf - 1);
    const int error = errno;
    ::close(fd);
    if (n < 0)
        return {0, error != 0 ? error : EIO};
    return {lockPid(buf, n), 0};
}

// A lock that cannot be read may well be held: say so once a file, as the line is then
// reported in use by another program.
void noteUnreadable(const std::string& path, int error)
{
    static std::string said;
    if (said == path)
        return;
    said = path;
    std::fprintf(stderr, "vexlo: the lock file %s cannot be read (%s); the line is taken to be in use\n",
                 path.c_str(), std::strerror(error));
}

bool alive(long pid)
{
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

void noteUnavailable(const std::string& dir, int error)
{
    static bool said = false;
    if (said)
        return;
    said = true;
    std::fprintf(stderr, "vexlo: cannot create lock files in %s (%s); the line is locked without them\n",
                 dir.c_str(), std::strerror(error));
}

}  // namespace

long UucpLockPid(const char* bytes, long n)
{
    return lockPid(bytes, ssize_t(n));
}

std::string UucpLockDir()
{
    const char* dir = std::getenv("VEXLO_LOCK_DIR");
    return dir && *dir ? dir : "/run/lock";
}

std::string UucpLockName(const std::string& device)
{
    std::string real = device;
    if (char* resolved = ::realpath(device.c_str(), nullptr)) {
        real = resolved;
        std::free(resolved);
    }
    std::string name;
    if (real.rfind("/dev/", 0) == 0)
        name = real.substr(5);
    else
        name = real.substr(real.find_last_of('/') + 1);
    for (char& c : name)
        if (c == '/')
            c = '_';
    return "LCK.." + name;
}

UucpLock::Result UucpLock::acquire(const std::string& device)
{
    release();
    owner_ = 0;
    const std::string dir = UucpLockDir();
    const std::string path = dir + "/" + UucpLockName(device);
    // The folder is shared with every user: the temporary file gets a fresh name that nobody
    // can have planted (mkstemp creates it exclusively and follows no link).
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        noteUnavailable(dir, errno);
        return Result::Unavailable;
    }
    char text[16];
    const int len = std::snprintf(text, sizeof text, "%10ld\n", long(::getpid()));
    const bool written = ::fchmod(fd, 0644) == 0 && ::write(fd, text, size_t(len)) == len;
    ::close(fd);
    if (!written) {
        ::unlink(temp.c_str());
        noteUnavailable(dir, ENOSPC);
        return Result::Unavailable;
    }
    // link() is atomic: of two programs that try at once, one gets the name.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (::link(temp.c_str(), path.c_str()) == 0) {
            ::unlink(temp.c_str());
            path_ = path;
            remember(path_);
            return Result::Taken;
        }
        if (errno != EEXIST)
            break;
        const LockOwner owner = readOwner(path);
        if (owner.unreadable != 0 || alive(owner.pid)) {
            ::unlink(temp.c_str());
            if (owner.unreadable != 0)
                noteUnreadable(path, owner.unreadable);
            owner_ = owner.pid;
            return Result::InUse;
        }
        ::unlink(path.c_str());  // stale: its owner is gone
    }
    const int error = errno;
    ::unlink(temp.c_str());
    if (error == EEXIST) {  // another program took the name between our two tries
        owner_ = readOwner(path).pid;
        return Result::InUse;
    }
    noteUnavailable(dir, error);
    return Result::Unavailable;
}

void UucpLock::release()
{
    if (path_.empty())
        return;
    forget(path_);
    ::unlink(path_.c_str());
    path_.clear();
}

}  // namespace platform
