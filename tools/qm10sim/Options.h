// The command line of qm10-sim.
#pragma once

#include <QStringList>

#include <optional>
#include <string>

namespace qm10sim {

struct Options {
    enum class Mode { Send, Receive };
    Mode mode = Mode::Send;
    std::string link;           // --link PATH
    unsigned baud = 0;          // --baud N; 0: as fast as possible
    bool loop = false;          // --loop: serve one exchange after another
    QStringList memos;          // send: image files or directories
    std::string outDir;         // receive: --out DIR
    // Faults
    long corrupt = 0;           // --corrupt K (send): record K goes out once damaged
    bool noise = false;         // --noise: junk bytes the PC must skip
    int nak = 0;                // --nak K (receive): "?" K times before "#"
    bool abort = false;         // --abort (receive): answer "!"
    bool silent = false;        // --silent (receive): never answer the call
    long hangupAfter = 0;       // --hangup-after N: close the line after N bytes
    long loseAck = 0;           // --lose-ack K (send): the "#" for memo K is lost, the line drops
    int xoffMs = 0;             // --xoff MS: hold the PC that long mid-transfer
};

extern const char* const kUsage;

// Parses argv; on failure returns nothing and sets error. help is set for --help.
std::optional<Options> parseOptions(int argc, char** argv, std::string& error, bool& help);

}  // namespace qm10sim
