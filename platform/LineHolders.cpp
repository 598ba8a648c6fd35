#include "platform/LineHolders.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace platform {

namespace {

// The number N of /dev/pts/N, or -1 for any other path.
long ptyIndex(const std::string& realPath)
{
    constexpr const char prefix[] = "/dev/pts/";
    if (realPath.rfind(prefix, 0) != 0)
        return -1;
    const std::string number = realPath.substr(sizeof prefix - 1);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    return std::strtol(number.c_str(), nullptr, 10);
}

// The "tty-index" that /proc/PID/fdinfo/FD gives for a pseudo-terminal master, or -1.
long masterIndex(const std::string& fdinfo)
{
    std::ifstream in(fdinfo);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("tty-index:", 0) == 0)
            return std::strtol(line.c_str() + 10, nullptr, 10);
    return -1;
}

bool isNumber(const char* s)
{
    return *s && std::strspn(s, "0123456789") == std::strlen(s);
}

}  // namespace

std::string ProcessName(long pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

long FindProcess(const std::string& name)
{
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return 0;
    const long self = long(::getpid());
    long found = 0;
    while (const dirent* p = ::readdir(proc)) {
        if (!isNumber(p->d_name))
            continue;
        const long pid = std::strtol(p->d_name, nullptr, 10);
        if (pid != self && (found == 0 || pid < found) && ProcessName(pid) == name)
            found = pid;
    }
    ::closedir(proc);
    return found;
}

std::vector<LineHolder> FindLineHolders(const std::string& device)
{
    std::vector<LineHolder> holders;
    struct stat target {};
    if (::stat(device.c_str(), &target) != 0 || !S_ISCHR(target.st_mode))
        return holders;
    long index = -1;
    if (char* real = ::realpath(device.c_str(), nullptr)) {
        index = ptyIndex(real);
        std::free(real);
    }

    DIR* proc = ::opendir("/proc");
    if (!proc)
        return holders;
    const long self = long(::getpid());
    while (const dirent* p = ::readdir(proc)) {
        if (!isNumber(p->d_name))
            continue;
        const long pid = std::strtol(p->d_name, nullptr, 10);
        if (pid == self)
            continue;
        const std::string base = std::string("/proc/") + p->d_name;
        DIR* fds = ::opendir((base + "/fd").c_str());
        if (!fds)
            continue;  // not ours to look at, or gone
        bool holds = false, otherEnd = false;
        while (const dirent* f = ::readdir(fds)) {
            if (!isNumber(f->d_name))
                continue;
            struct stat st {};
            if (::stat((base + "/fd/" + f->d_name).c_str(), &st) != 0 || !S_ISCHR(st.st_mode))
                continue;
            if (st.st_rdev == target.st_rdev) {
                holds = true;
                break;
            }
            // A master side is a descriptor of the multiplexer (5:2) that tells the slave's number.
            if (index >= 0 && !otherEnd && major(st.st_rdev) == 5 && minor(st.st_rdev) == 2
                && masterIndex(base + "/fdinfo/" + f->d_name) == index)
                otherEnd = true;
        }
        ::closedir(fds);
        if (holds || otherEnd)
            holders.push_back({pid, ProcessName(pid), !holds});
    }
    ::closedir(proc);
    std::sort(holders.begin(), holders.end(), [](const LineHolder& a, const LineHolder& b) { return a.Pid < b.Pid; });
    return holders;
}

}  // namespace platform
