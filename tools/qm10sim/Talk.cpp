#include "tools/qm10sim/Talk.h"

#include <cstdio>

namespace qm10sim {

void note(const std::string& text)
{
    std::fprintf(stderr, "qm10-sim: %s\n", text.c_str());
    std::fflush(stderr);
}

std::string Noise::junk()
{
    std::string out;
    const int n = std::uniform_int_distribution<int>(1, 6)(rng_);
    while (static_cast<int>(out.size()) < n) {
        const char c = static_cast<char>(std::uniform_int_distribution<int>(0, 255)(rng_));
        if (forbidden_.find(c) == std::string::npos)
            out += c;
    }
    return out;
}

}  // namespace qm10sim
