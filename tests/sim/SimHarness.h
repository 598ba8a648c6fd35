// Runs the real qm10-sim on a pseudo-terminal and plays the PC's side against it with a
// small scripted PC. Records are built and read here with the tests' own code.
#pragma once

#include <QImage>
#include <QTemporaryDir>

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace simtest {

using Bytes = std::vector<uint8_t>;

// qm10-sim started with ARGS plus --link DIR/COM1; its stderr is kept.
class Sim {
public:
    Sim(const QTemporaryDir& dir, const std::vector<std::string>& args);
    ~Sim();
    // Exit status, or -1 when it had not ended within timeoutMs (it is then killed).
    int wait(int timeoutMs = 20000);
    std::string log() const;
    const std::string& link() const { return link_; }

private:
    pid_t pid_ = -1;
    std::string link_, errPath_;
    int status_ = -1;
};

// The PC's end: opens the line as VEXLO does (exclusive, locked, raw, non-blocking).
class Pc {
public:
    ~Pc() { close(); }
    bool open(const std::string& path, int timeoutMs = 5000);
    void close();
    void flowControl(bool on);
    // Writes everything, waiting out a held line; false when the line went away.
    bool send(const std::string& bytes, int timeoutMs = 5000);
    // The next byte; -1 after timeoutMs, -2 when the line went away.
    int get(int timeoutMs);

    bool gone = false;
    long received = 0;
    double longestStallMs = 0;  // longest time a write was held back (XOFF)

private:
    int fd_ = -1;
};

struct Rec {
    uint8_t type = 0;
    uint16_t address = 0;
    Bytes data;
    bool good = false;
    std::string text;
};

std::string recText(uint8_t type, uint16_t address, const Bytes& data, bool damage = false);

// Reads records from the line, skipping bytes before each ":" (kept in junk).
struct RecReader {
    std::optional<Rec> next(Pc& pc, int timeoutMs = 5000);
    std::string junk;
};

// The PC's records for one memo: rows of W div 8 (+1 when W is not a multiple of 8) bytes.
std::vector<std::string> pcChain(const QImage& image, const Bytes& title, const Bytes& reading);

QImage pattern(int width, int height, unsigned seed);  // Format_Mono, index 1 black
bool black(const QImage& image, int x, int y);
bool sameImage(const QImage& a, const QImage& b);

// One memo as the device sent it.
struct DeviceMemo {
    std::vector<Rec> records;
    QImage image;
    std::string fault;  // what is wrong with its records, empty when nothing
};

// The PC's receive: answers a call (after ignoring ignoreCalls of them), reads memos and
// answers each with verdict(memo number from 0, memo). A bad record is answered with "?"
// at once, as VEXLO does.
struct Received {
    std::vector<DeviceMemo> memos;
    int calls = 0;
    int badRecords = 0;
    std::string junk;
    bool ended = false;  // the end-of-exchange record came
};
Received receiveFromDevice(Pc& pc, const std::function<char(int, const DeviceMemo&)>& verdict, int ignoreCalls = 0,
                           int timeoutMs = 10000);

// The PC's send of one chain: call, DC1, records, then the verdict byte (-1: none came).
// gapMs > 0 writes the records one at a time with that pause between them.
int sendToDevice(Pc& pc, const std::vector<std::string>& chain, std::string* junk = nullptr, int gapMs = 0);

}  // namespace simtest
