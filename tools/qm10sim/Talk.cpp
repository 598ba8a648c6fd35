#include "tools/qm10sim/Talk.h"

#include "tools/qm10sim/Line.h"

#include <cstdio>

namespace qm10sim {

void note(const std::string& text)
{
    std::fprintf(stderr, "qm10-sim: %s\n", text.c_str());
    std::fflush(stderr);
}

int serveExchanges(Line& line, bool loop, const std::function<int()>& exchange)
{
    for (;;) {
        note("waiting for the PC to open the line");
        if (!line.waitForPeer(-1))
            return kFailed;
        const int status = exchange();
        if (!loop || line.hungUp())
            return status;
        while (!line.closed() && line.peerOpen())
            line.pause(50);
        line.rearm();
    }
}

int lineGone(const Line& line, long bytes, const std::string& where)
{
    if (line.hungUp()) {
        note("closed the line after " + std::to_string(bytes) + " bytes, as asked (" + where + ")");
        return kDone;
    }
    note("the PC closed the line " + where);
    return kFailed;
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
