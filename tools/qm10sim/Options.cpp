#include "tools/qm10sim/Options.h"

#include <charconv>
#include <cstring>

namespace qm10sim {

const char* const kUsage =
    "usage: qm10-sim send    [--link PATH] [--baud N] [--loop] [faults] [MEMO...]\n"
    "       qm10-sim receive [--link PATH] [--baud N] [--loop] [faults] --out DIR\n"
    "       qm10-sim --help | --version\n"
    "\n"
    "Plays a QM-10 memo device on a pseudo-terminal for VEXLO.\n"
    "  send       the device sends memos to the PC (the PC receives). MEMO is an image\n"
    "             file (at most 124 x 121; title from its name) or a directory of them;\n"
    "             without MEMO the device sends its built-in sample memos.\n"
    "  receive    the device takes memos from the PC and writes each as NNN.bmp plus\n"
    "             NNN.json (title and reading as text) into DIR.\n"
    "\n"
    "  --link PATH        make PATH a symlink to the line the PC opens (else the\n"
    "                     pseudo-terminal's own path is printed)\n"
    "  --baud N           pace the line at N bit/s, 10 bits a byte (default: no pacing)\n"
    "  --loop             after an exchange, wait for the next one instead of ending\n"
    "\n"
    "faults (any together):\n"
    "  --noise            junk bytes the PC must skip (between records; before answers)\n"
    "  --hangup-after N   close the line after N bytes of the transfer\n"
    "  --xoff MS          hold the PC with XOFF for MS milliseconds mid-transfer\n"
    "  --corrupt K        send: record K of the exchange goes out once with a bad checksum\n"
    "  --lose-ack K       send: the \"#\" for memo K never reaches the device, and the line\n"
    "                     drops there (the device still has the memo and sends it again)\n"
    "  --nak K            receive: answer \"?\" K times before \"#\"\n"
    "  --abort            receive: answer \"!\" instead of \"#\"\n"
    "  --silent           receive: never answer the PC's call\n"
    "\n"
    "exit status: 0 the exchange went as asked, 1 it failed (the PC closed the line, gave\n"
    "up, or broke the protocol), 2 bad command line, 3 the line or a file could not be set up\n";

namespace {

template <typename T>
bool number(const char* text, T min, T max, T& out)
{
    const char* end = text + std::strlen(text);
    auto [p, ec] = std::from_chars(text, end, out);
    return ec == std::errc() && p == end && out >= min && out <= max;
}

}  // namespace

std::optional<Options> parseOptions(int argc, char** argv, std::string& error, bool& help)
{
    help = false;
    Options o;
    if (argc < 2) {
        error = "say send or receive";
        return std::nullopt;
    }
    const std::string mode = argv[1];
    if (mode == "--help" || mode == "-h") {
        help = true;
        return std::nullopt;
    }
    if (mode == "send")
        o.mode = Options::Mode::Send;
    else if (mode == "receive")
        o.mode = Options::Mode::Receive;
    else {
        error = "unknown mode '" + mode + "' (use send or receive)";
        return std::nullopt;
    }

    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](const char*& v) {
            if (i + 1 >= argc) {
                error = a + " needs a value";
                return false;
            }
            v = argv[++i];
            return true;
        };
        const char* v = nullptr;
        if (a == "--help" || a == "-h") {
            help = true;
            return std::nullopt;
        } else if (a == "--link") {
            if (!value(v))
                return std::nullopt;
            o.link = v;
        } else if (a == "--out") {
            if (!value(v))
                return std::nullopt;
            o.outDir = v;
        } else if (a == "--baud") {
            if (!value(v))
                return std::nullopt;
            if (!number<unsigned>(v, 50, 4'000'000, o.baud)) {
                error = std::string("--baud: '") + v + "' is not a line speed (50 to 4000000)";
                return std::nullopt;
            }
        } else if (a == "--corrupt" || a == "--hangup-after" || a == "--lose-ack") {
            if (!value(v))
                return std::nullopt;
            long& dst = a == "--corrupt" ? o.corrupt : a == "--lose-ack" ? o.loseAck : o.hangupAfter;
            if (!number<long>(v, 1, 100'000'000, dst)) {
                error = a + ": '" + v + "' is not a positive count";
                return std::nullopt;
            }
        } else if (a == "--nak" || a == "--xoff") {
            if (!value(v))
                return std::nullopt;
            int& dst = a == "--nak" ? o.nak : o.xoffMs;
            if (!number<int>(v, 1, 1'000'000, dst)) {
                error = a + ": '" + v + "' is not a positive number";
                return std::nullopt;
            }
        } else if (a == "--noise") {
            o.noise = true;
        } else if (a == "--abort") {
            o.abort = true;
        } else if (a == "--silent") {
            o.silent = true;
        } else if (a == "--loop") {
            o.loop = true;
        } else if (a.size() > 1 && a[0] == '-') {
            error = "unknown option " + a;
            return std::nullopt;
        } else if (o.mode == Options::Mode::Send) {
            o.memos << QString::fromLocal8Bit(argv[i]);
        } else {
            error = "receive takes no MEMO arguments (got '" + a + "')";
            return std::nullopt;
        }
    }

    const bool send = o.mode == Options::Mode::Send;
    if (send && (o.nak || o.abort || o.silent || !o.outDir.empty())) {
        error = "--nak, --abort, --silent and --out belong to receive";
        return std::nullopt;
    }
    if (!send && (o.corrupt || o.loseAck)) {
        error = "--corrupt and --lose-ack belong to send";
        return std::nullopt;
    }
    if (!send && o.outDir.empty()) {
        error = "receive needs --out DIR";
        return std::nullopt;
    }
    return o;
}

}  // namespace qm10sim
