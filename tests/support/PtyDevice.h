// A scripted device on a pseudo-terminal for what the simulator does not play: a device that
// never calls, or one that calls and sends a fixed byte stream.
#pragma once

#include <QString>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <string>

class PtyDevice {
public:
    PtyDevice()
    {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(master_);
        unlockpt(master_);
        path_ = QString::fromLocal8Bit(ptsname(master_));
        // Keep the line alive while the PC has not opened it yet.
        keeper_ = ::open(ptsname(master_), O_RDWR | O_NOCTTY);
        termios t{};
        tcgetattr(keeper_, &t);
        cfmakeraw(&t);
        tcsetattr(keeper_, TCSANOW, &t);
    }
    ~PtyDevice()
    {
        ::close(keeper_);
        ::close(master_);
    }

    const QString& path() const { return path_; }

    void send(const std::string& bytes) { (void)::write(master_, bytes.data(), bytes.size()); }

    // Waits up to MS for BYTE from the PC; true when it came.
    bool expect(unsigned char byte, int ms)
    {
        pollfd p{master_, POLLIN, 0};
        while (::poll(&p, 1, ms) > 0) {
            unsigned char c = 0;
            if (::read(master_, &c, 1) != 1)
                return false;
            if (c == byte)
                return true;
        }
        return false;
    }

    // The next byte from the PC within MS milliseconds, or -1.
    int nextByte(int ms)
    {
        pollfd p{master_, POLLIN, 0};
        unsigned char c = 0;
        if (::poll(&p, 1, ms) > 0 && ::read(master_, &c, 1) == 1)
            return c;
        return -1;
    }

    // Calls as the device does (CR, LF) until the PC answers DC1; false when it never does.
    bool answerCall(int attempts = 100)
    {
        for (int i = 0; i < attempts; ++i) {
            send("\r\n");
            if (expect(17, 100))
                return true;
        }
        return false;
    }

private:
    int master_ = -1;
    int keeper_ = -1;
    QString path_;
};
