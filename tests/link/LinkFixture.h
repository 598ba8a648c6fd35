// Shared by the link tests: a pseudo-terminal pair whose slave the test opens through the
// port layer while it plays the device on the master, and a small exchange in the shape of
// the receive exchange (CR, LF, answer DC1, data phase, hexadecimal pairs until "FF").
#pragma once

#include "link/Comenote.h"
#include "link/ExchangeHost.h"
#include "support/WaitFor.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class PtyPair {
public:
    PtyPair() : master_(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC))
    {
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0)
            slavePath = ::ptsname(master_);
    }
    ~PtyPair() { closeMaster(); }

    void send(std::string_view bytes) const { (void)!::write(master_, bytes.data(), bytes.size()); }

    // What the program sent: until COUNT bytes came or nothing came for QUIETMS.
    std::string receive(std::size_t count, int quietMs = 2000) const
    {
        std::string got;
        pollfd p{master_, POLLIN, 0};
        char buf[4096];
        while (got.size() < count && ::poll(&p, 1, quietMs) > 0 && (p.revents & POLLIN)) {
            const ssize_t n = ::read(master_, buf, std::min(sizeof buf, count - got.size()));
            if (n <= 0)
                break;
            got.append(buf, std::size_t(n));
        }
        return got;
    }

    // True once the program has switched its end of the line to XON/XOFF flow control (the
    // master sees the line's settings as the program set them).
    bool flowControlOn() const
    {
        termios t{};
        return ::tcgetattr(master_, &t) == 0 && (t.c_iflag & IXON);
    }

    void closeMaster()
    {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }

    std::string slavePath;

private:
    int master_;
};

inline void SetLine(TCommLink& link, const std::string& port)
{
    link.PortName = port;
    link.Speed = 9600;
    link.WordLen = 8;
    link.Parity = 0;
    link.StopBits = 0;
}

// ---- the test exchange ----

inline std::vector<int> pairsRead;  // the pairs before "FF"
inline std::atomic<int> pairsTaken = 0;  // how many there are, for a device thread to watch

inline void TestPairStep(TCommLink& link, bool& done)
{
    done = false;
    const int value = ReadHexByte(link);
    if (value == 255) {
        EndExchange(true);
    } else if (value >= 0) {
        pairsRead.push_back(value);
        ++pairsTaken;
    }
}

inline void TestHandshakeStep(TCommLink& link, bool& done)
{
    done = false;
    if (link.Step == ExchangeStep::RecvAwaitCr && ReadByte(link) == 13) {
        link.Step = ExchangeStep::RecvAwaitLf;
    } else if (link.Step == ExchangeStep::RecvAwaitLf && ReadByte(link) == 10) {
        WriteByte(link, 17);
        link.Step = ExchangeStep::RecvSendingDc1;
    } else if (link.Step == ExchangeStep::RecvSendingDc1 && BytesQueued(link) == 0) {
        SetExchangeResult(true);
        SwitchToDataPhase(link);
        SetStatusText(QStringLiteral("受信中です"));
        HookStep(TestPairStep, link);
        DispatchPendingMessages();
    }
}

// The exchange on a port that OpenLink has opened (a device that talks at once must not
// lose its first bytes to the purge of OpenLink). Returns the exchange's result.
inline bool RunOpenedTestExchange(TCommLink& link)
{
    pairsRead.clear();
    pairsTaken = 0;
    link.Step = ExchangeStep::RecvAwaitCr;
    SetStatusText(QStringLiteral("接続中です..."));
    HookStep(TestHandshakeStep, link);
    const bool ok = RunExchangeHost();
    UnhookStep();
    if (!ok)
        WriteByte(link, '!');
    ClosePort(link);
    return ok;
}
