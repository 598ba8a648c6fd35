// Small helpers the two exchanges share: status lines, junk bytes, exit statuses.
#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace qm10sim {

enum ExitStatus { kDone = 0, kFailed = 1, kBadCommandLine = 2, kSetupFailed = 3 };

// One short line on stderr, prefixed with the program's name.
void note(const std::string& text);

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
