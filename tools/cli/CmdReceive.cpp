// vexlo-cli receive: memos from the device over the serial line, written as image files.
#include "tools/cli/CliCommon.h"
#include "tools/cli/MemoOutput.h"

#include "link/Comenote.h"
#include "link/CommLink.h"
#include "link/Config.h"
#include "link/ConsoleHost.h"
#include "link/ReceiveExchange.h"
#include "transfer/ReceivedMemos.h"

#include <QCoreApplication>

namespace {

constexpr char Help[] =
    "Usage: vexlo-cli receive --port NAME [--speed N] [--word-len 7|8]\n"
    "                         [--parity none|odd|even] [--stop-bits 1|1.5|2]\n"
    "                         --out DIR [--format bmp|png]\n"
    "\n"
    "Receives memos from the device as the Receive command does: waits for the device's\n"
    "call, answers it, reads the records, acknowledges every memo and asks for a damaged one\n"
    "again, until the device ends the exchange. Status texts go to standard error; Ctrl-C\n"
    "cancels (the device is told). A memo is written once the device has been told it\n"
    "arrived; the memo in progress when the exchange ends is not.\n"
    "\n"
    "NAME is COM1..COM9 (mapped through the [Ports] section of VEXLO.INI, else /dev/ttyS0..)\n"
    "or a device path. The line settings not given default to those in VEXLO.INI.\n"
    "Each memo is written to DIR/memo-001.bmp, ... (one bit per pixel) or .png, with one line\n"
    "on standard output: file name, WIDTHxHEIGHT, title and reading. Nothing in DIR is\n"
    "replaced: the numbers go on after the highest memo-N.bmp or memo-N.png there.\n"
    "\n"
    "Exit status: 0 the device ended the exchange and every memo it sent was written, 1 the\n"
    "port could not be opened, or the exchange failed or was cancelled (the line went away, a\n"
    "memo was cut off, ...; standard error says what happened), 2 bad arguments or a memo\n"
    "that could not be written.\n";

constexpr int ExitFailed = 1;

}  // namespace

int RunReceive(const std::vector<std::string>& args)
{
    cli::ParsedArgs parsed;
    if (const auto done = cli::ParseCommandArgs(args, {}, {"--port", "--speed", "--word-len", "--parity", "--stop-bits", "--out", "--format"}, Help, parsed))
        return *done;
    QString error;
    if (!parsed.Words.empty())
        return cli::Fail(QStringLiteral("receive: unexpected argument \"%1\"")
                             .arg(QString::fromStdString(parsed.Words.front())));
    const auto port = parsed.Values.find("--port");
    if (port == parsed.Values.end() || port->second.empty())
        return cli::Fail(QStringLiteral("receive: --port NAME is missing"));

    cli::LoadSettings(CommLink);
    CommLink.PortName = port->second;
    if (!cli::ApplyLineSettings(parsed, CommLink, error))
        return cli::Fail(QStringLiteral("receive: ") + error);
    const auto out = parsed.Values.find("--out");
    const auto format = parsed.Values.find("--format");
    QString dir, formatName;
    if (!PrepareMemoOutput(out == parsed.Values.end() ? std::string() : out->second,
                           format == parsed.Values.end() ? nullptr : &format->second, dir, formatName, error))
        return cli::Fail(QStringLiteral("receive: ") + error);

    cli::ConsoleApplication app;
    TConsoleHost host;

    // Each memo is written as soon as the device has been told it arrived.
    TMemoOutput output(dir, formatName);
    bool written = true;
    TReceiveSink sink;
    sink.Delivered = [&](TReceivedMemo& memo) { written = output.Write(memo) && written; };
    const ReceiveOutcome outcome = ReceiveExchange(CommLink, sink);
    if (outcome == ReceiveOutcome::PortUnavailable) {
        cli::Fail(QStringLiteral("receive: ") + cli::OpenFailureMessage(LastOpenFailure()));
        return ExitFailed;
    }
    if (outcome != ReceiveOutcome::Completed)
        return ExitFailed;
    return written ? cli::ExitOk : cli::ExitError;
}
