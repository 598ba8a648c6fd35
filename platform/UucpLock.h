// UucpLock — the conventional lock file of a serial line, as serial terminal programs on Linux
// keep it: "/run/lock/LCK..ttyUSB0" holding the owner's process id as ten ASCII digits and a
// line end.
//
// Contract
//   UucpLockDir   the lock folder: $VEXLO_LOCK_DIR when set (tests), else /run/lock.
//   UucpLockName  the lock file's name for DEVICE: links are followed to the real device, and
//                 its path below /dev with '/' as '_' follows "LCK.." ("LCK..ttyUSB0",
//                 "LCK..pts_3"); a device outside /dev gives its base name.
//   acquire()     takes the lock for DEVICE. Taken: the file now holds our pid. InUse: a live
//                 process holds it (owner() names it); nothing was changed. The file may hold
//                 the pid in either form of the convention: ten ASCII digits and a line end, or
//                 a binary int of 4 bytes. A file whose process is gone (or that names none) is
//                 stale and taken over. A file that cannot be read (another user's, mode 0600)
//                 is taken as held: InUse with owner() 0, and a note on standard error. Unavailable: the folder
//                 cannot be written (missing, read-only, no permission); nothing is held, and the
//                 caller goes on with the locks it can take. The first Unavailable of the run
//                 writes one note to standard error.
//   release()     removes the file we hold; harmless when none is held. The destructor releases.
//   While a lock is held, SIGINT, SIGTERM and SIGHUP at their default disposition remove it
//   before the process ends (a handler set by someone else is left alone).
#pragma once

#include <string>

namespace platform {

std::string UucpLockDir();
std::string UucpLockName(const std::string& device);

// The pid that the N bytes of a lock file name (0 for none), in either form.
long UucpLockPid(const char* bytes, long n);

class UucpLock {
public:
    enum class Result { Taken, InUse, Unavailable };

    UucpLock() = default;
    ~UucpLock() { release(); }
    UucpLock(const UucpLock&) = delete;
    UucpLock& operator=(const UucpLock&) = delete;

    Result acquire(const std::string& device);
    void release();
    bool held() const { return !path_.empty(); }
    long owner() const { return owner_; }

private:
    std::string path_;  // the file we hold, or empty
    long owner_ = 0;    // the live owner found by the last acquire() that gave InUse
};

}  // namespace platform
