// Small helpers the two exchanges share: status lines, junk bytes, exit statuses.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <string>

namespace qm10sim {

class Line;

enum ExitStatus { kDone = 0, kFailed = 1, kBadCommandLine = 2, kSetupFailed = 3 };

// One short line on stderr, prefixed with the program's name.
void note(const std::string& text);

// Serves exchanges on LINE: waits for the PC to open it and runs EXCHANGE; with LOOP, waits
// for the PC to close and open the line again and serves the next one. Returns the status of
// the last exchange.
int serveExchanges(Line& line, bool loop, const std::function<int()>& exchange);

// The verdict when the line went away at WHERE after BYTES: a hang-up that --hangup-after
// asked for is what was wanted (kDone); the PC closing it is a failure.
int lineGone(const Line& line, long bytes, const std::string& where);

// Junk for --noise: 1 to 6 bytes, never one of the bytes the PC must act on.
class Noise {
public:
    explicit Noise(std::string forbidden) : forbidden_(std::move(forbidden)) {}
    std::string junk();

private:
    std::string forbidden_;
    std::mt19937 rng_{20240607};
};

}  // namespace qm10sim
