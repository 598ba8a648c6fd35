// vexlo-cli send: an image to the device as a memo, over the serial line.
#include "tools/cli/CliCommon.h"
#include "tools/cli/MemoChain.h"

#include "link/Comenote.h"
#include "link/CommLink.h"
#include "link/Config.h"
#include "link/ConsoleHost.h"
#include "link/ExchangeMessages.h"
#include "link/SendExchange.h"

#include <QCoreApplication>

#include <cstdio>
#include <iostream>
#include <string>
#include <unistd.h>

namespace {

constexpr char Help[] =
    "Usage: vexlo-cli send --port NAME [--speed N] [--word-len 7|8] [--parity none|odd|even]\n"
    "                      [--stop-bits 1|1.5|2] IMAGE [--title TEXT] [--reading TEXT]\n"
    "                      [--zen-to-han] [--kata-to-hira] [--region L,T,R,B] [--crop] [--yes]\n"
    "\n"
    "Sends IMAGE to the device as one memo, as the Send command does: the same records as\n"
    "\"vexlo-cli encode\" prints, then the call, the records, the device's verdict and the\n"
    "end-of-exchange record. Status texts go to standard error (with the bytes sent so far\n"
    "when it is a terminal); Ctrl-C cancels (the device is told).\n"
    "\n"
    "  --yes             send without asking; otherwise \"送信を行いますか？ [y/N]\" is asked on\n"
    "                    the terminal, and without a terminal nothing is sent\n"
    "  --title, --reading, --zen-to-han, --kata-to-hira, --region, --crop: as for encode\n"
    "\n"
    "NAME is COM1..COM9 (mapped through the [Ports] section of VEXLO.INI, else /dev/ttyS0..)\n"
    "or a device path. Line settings and the two title switches not given default to those\n"
    "in VEXLO.INI.\n"
    "\n"
    "Exit status: 0 the device accepted the memo; 1 the port could not be opened, the device\n"
    "refused the memo, nobody answered, or the user cancelled; 2 bad arguments or an image\n"
    "that cannot be sent.\n";

constexpr int ExitFailed = 1;

// The confirmation on the terminal: y or yes (any case) is OK, anything else is not.
bool askOnTerminal(const QString& question)
{
    std::fprintf(stderr, "%s [y/N] ", question.toUtf8().constData());
    std::fflush(stderr);
    std::string answer;
    if (!std::getline(std::cin, answer))
        return false;
    const QString a = QString::fromStdString(answer).trimmed().toLower();
    return a == QLatin1String("y") || a == QLatin1String("yes");
}

}  // namespace

int RunSend(const std::vector<std::string>& args)
{
    std::set<std::string> flags = MemoChainFlags;
    flags.insert("--yes");
    std::set<std::string> valued = MemoChainValued;
    valued.insert(cli::LineOptions.begin(), cli::LineOptions.end());
    cli::ParsedArgs parsed;
    if (const auto done = cli::ParseCommandArgs(args, flags, valued, Help, parsed))
        return *done;
    if (parsed.Words.size() != 1)
        return cli::Fail(parsed.Words.empty() ? QStringLiteral("send: IMAGE is missing")
                                              : QStringLiteral("send: give one IMAGE"));
    const auto port = parsed.Values.find("--port");
    if (port == parsed.Values.end() || port->second.empty())
        return cli::Fail(QStringLiteral("send: --port NAME is missing"));
    const bool yes = parsed.Flags.count("--yes") > 0;
    if (!yes && !::isatty(STDIN_FILENO))
        return cli::Fail(QStringLiteral("send: no terminal to confirm the send on; give --yes"));

    cli::LoadSettings(CommLink);
    CommLink.PortName = port->second;
    QString error;
    if (!cli::ApplyLineSettings(parsed, CommLink, error))
        return cli::Fail(QStringLiteral("send: ") + error);
    if (!BuildChainFromImage("send", parsed.Words[0], parsed, CommLink))
        return cli::ExitError;

    cli::ConsoleApplication app;
    TConsoleHost host;
    SetExchangeMessenger([yes](ExchangeBox kind, const QString& text) {
        if (kind == ExchangeBox::Question)
            return yes || askOnTerminal(text);
        std::fprintf(stderr, "%s\n", text.toUtf8().constData());
        return true;
    });

    const SendOutcome outcome = SendExchange(CommLink);
    FreeBlocks(CommLink, CommLink.Head.get());
    SetExchangeMessenger(nullptr);
    switch (outcome) {
    case SendOutcome::Sent:
        return cli::ExitOk;
    case SendOutcome::PortUnavailable:
        cli::Fail(QStringLiteral("send: ") + cli::OpenFailureMessage(LastOpenFailure()));
        return ExitFailed;
    case SendOutcome::Declined:
        cli::Note(QStringLiteral("send: not confirmed; nothing was sent"));
        return ExitFailed;
    case SendOutcome::Failed:
        return ExitFailed;
    }
    return ExitFailed;
}
