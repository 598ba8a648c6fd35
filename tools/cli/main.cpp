// vexlo-cli: the transfer encoding without a display. One command per file; see
// its manual page, docs/man/vexlo-cli.1.scd.
#include "tools/cli/CliCommon.h"
#include "resources/Version.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char Usage[] =
    "Usage: vexlo-cli COMMAND [ARGS]\n"
    "\n"
    "Commands:\n"
    "  title    device codes of a memo title\n"
    "  reading  bytes of a title reading\n"
    "  encode   the records that sending an image would put on the line\n"
    "  convert  an image prepared for the device (scaled, turned, black and white), as a file\n"
    "  decode   memos of a received record stream, as images\n"
    "  receive  memos from the device over the serial line, into the memo library\n"
    "  receiver the user service's receiver: memos for ever, the desktop told, the port lent\n"
    "  export   memo files as PNG, SVG or PDF\n"
    "  send     an image to the device as a memo, over the serial line\n"
    "  library  the memos of the library listed and searched; their tags, note and star\n"
    "\n"
    "\"vexlo-cli COMMAND --help\" describes a command, \"vexlo-cli --version\" prints the\n"
    "version.\n";

struct Command {
    const char* Name;
    int (*Run)(const std::vector<std::string>&);
};

constexpr Command Commands[] = {
    {"title", RunTitle},
    {"reading", RunReading},
    {"encode", RunEncode},
    {"convert", RunConvert},
    {"decode", RunDecode},
    {"receive", RunReceive},
    {"receiver", RunReceiver},
    {"export", RunExport},
    {"send", RunSend},
    {"library", RunLibrary},
};

}  // namespace

namespace {

int run(int argc, char** argv)
{
    if (argc < 2) {
        cli::PrintHelp(Usage);
        return cli::ExitError;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        cli::PrintHelp(Usage);
        return cli::ExitOk;
    }
    if (name == "--version") {
        std::fputs("vexlo-cli " VEXLO_VERSION "\n", stdout);
        return cli::ExitOk;
    }
    const std::vector<std::string> args(argv + 2, argv + argc);
    for (const Command& c : Commands)
        if (name == c.Name)
            return c.Run(args);
    return cli::Fail(QStringLiteral("unknown command \"%1\"; try vexlo-cli --help")
                         .arg(QString::fromLocal8Bit(argv[1])));
}

}  // namespace

int main(int argc, char** argv)
{
    return cli::EndProgram(cli::FinishStandardOutput(run(argc, argv)));
}
