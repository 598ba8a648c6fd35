// LineHolders — which processes hold a serial line open, so that a line we cannot open can be
// reported with the program that keeps it.
//
// Contract
//   FindLineHolders  the processes other than this one that have DEVICE (a character device,
//                    links followed) open, from /proc/<pid>/fd; for a pseudo-terminal's slave
//                    side also the processes that hold its master side (OtherEnd true), found by
//                    the "tty-index" of their /dev/ptmx descriptors. Only processes whose
//                    descriptors this user may read are seen (all of them for root). Lowest
//                    process id first; empty when none is seen or DEVICE is no character device.
//   ProcessName      the command name of process PID (/proc/<pid>/comm), or empty.
//   FindProcess      the lowest process id other than this one whose command name is NAME,
//                    or 0. Every user sees every process's name, also where its descriptors
//                    are hidden (ModemManager runs as root), so a line held by a process we may
//                    not look at can still be put down to a likely holder.
#pragma once

#include <string>
#include <vector>

namespace platform {

struct LineHolder {
    long Pid = 0;
    std::string Name;
    bool OtherEnd = false;  // holds the master side of the pseudo-terminal, not the line itself
};

std::vector<LineHolder> FindLineHolders(const std::string& device);

std::string ProcessName(long pid);

long FindProcess(const std::string& name);

}  // namespace platform
