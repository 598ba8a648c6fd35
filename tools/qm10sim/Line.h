// The serial line as the device sees it: the master side of a pseudo-terminal whose
// slave side the PC opens.
//
// - Nobody on the slave side reads as a hang-up on the master (POLLHUP, reads give EIO):
//   the line waits for the PC to open it and notices when the PC closes it.
// - With a line speed, bytes leave no faster than the line carries them (10 bits a byte)
//   and the PC's bytes are taken no faster either. Without one, as fast as possible.
// - Once flow control is on, XOFF (13 hex) from the PC holds the device's output until
//   XON (11 hex); neither reaches the reader.
// - A byte budget closes the line after that many bytes of one direction.
#pragma once

#include "tools/qm10sim/HexRecord.h"

#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <string>

namespace qm10sim {

using Clock = std::chrono::steady_clock;

class Line {
public:
    enum class Budget { None, Sent, Received };

    // Creates the pseudo-terminal in raw mode and, when linkPath is given, a symlink to
    // its slave side. A link that leads to a line that still exists (another simulator's) is
    // refused, a stale one replaced. Returns null with a message on failure. The link is
    // removed again only while it still leads to this line.
    static std::unique_ptr<Line> create(const std::string& linkPath, std::string& error);
    ~Line();
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    const std::string& slavePath() const { return slave_; }

    // For a signal handler: removes the link of the line created last, while it still leads to
    // that line. Async-signal-safe.
    static void removeLinkNow();

    void setBaud(unsigned baud);
    void setBudget(Budget counted, long bytes);
    void setFlowControl(bool on) { flowControl_ = on; held_ = false; }

    // The PC has the line open now (checked on every call).
    bool peerOpen();
    // Waits for the PC to open the line; false after timeoutMs (negative: for ever).
    bool waitForPeer(int timeoutMs);
    // The PC closed the line since it was last seen open, or the budget closed it.
    bool closed() const { return peerClosed_ || hungUp_; }
    bool hungUp() const { return hungUp_; }
    // Closes the line now, as a hang-up of the budget does.
    void dropLine() { hangUp(); }
    // Forget a close, so that the next waitForPeer waits for a new open. A PC that was killed
    // may have left the line exclusive, which only root could open again: that is cleared
    // where we may, and otherwise the line moves to a fresh pseudo-terminal (the link follows,
    // and slavePath() tells the new one).
    void rearm();

    void write(const std::string& text);
    void write(uint8_t byte) { write(std::string(1, static_cast<char>(byte))); }
    // Pushes out everything written; false when the line closed first.
    bool drain(int timeoutMs = -1);
    // The next byte from the PC, or none after timeoutMs (0: only what is there).
    std::optional<uint8_t> readByte(int timeoutMs);
    // Keeps the line going (output out, input in) for ms milliseconds.
    void pause(int ms);
    std::size_t inputWaiting() const { return inbox_.size(); }

    // The PC's own XON/XOFF setting on its side of the line.
    bool peerUsesFlowControl() const;

    long bytesSent() const { return sent_; }
    long bytesReceived() const { return received_; }

private:
    Line() = default;
    bool openPseudoTerminal(std::string& error);
    bool ownsLink() const;
    void freeStuckLine();
    void noteForSignals() const;
    void service(Clock::time_point until);
    void hangUp();
    long budgetLeft(Budget direction) const;

    int master_ = -1;
    std::string slave_;
    std::string link_;
    std::chrono::nanoseconds byteTime_{0};
    Clock::time_point outFree_{}, inFree_{};
    std::string outbox_;
    std::deque<uint8_t> inbox_;
    bool flowControl_ = false;
    bool held_ = false;
    bool everOpen_ = false;
    bool peerClosed_ = false;
    bool hungUp_ = false;
    Budget budgetDir_ = Budget::None;
    long budget_ = 0;
    std::optional<Clock::time_point> cutAt_;  // when the budget's line cut happens
    long sent_ = 0, received_ = 0;
};

}  // namespace qm10sim
