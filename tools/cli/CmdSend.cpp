// vexlo-cli send: images to the device as memos, one exchange each, over the serial line.
#include "tools/cli/CliCommon.h"
#include "tools/cli/MemoChain.h"

#include "link/Comenote.h"
#include "link/CommLink.h"
#include "link/Config.h"
#include "link/ConsoleHost.h"
#include "link/ExchangeMessages.h"
#include "link/SendExchange.h"
#include "session/ReceiverBus.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdio>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr char Help[] =
    "Usage: vexlo-cli send --port NAME [--speed N] [--word-len 7|8] [--parity none|odd|even]\n"
    "                      [--stop-bits 1|1.5|2] IMAGE... [--title TEXT] [--reading TEXT]\n"
    "                      [--zen-to-han] [--kata-to-hira] [--region L,T,R,B] [--crop]\n"
    "                      [--fit|--fill] [--size WxH] [--rotate DEGREES] [--flip]\n"
    "                      [--brightness N] [--contrast N] [--gamma X] [--invert]\n"
    "                      [--dither WAY] [--yes]\n"
    "\n"
    "Sends each IMAGE to the device as one memo, as the Send command does: the same records as\n"
    "\"vexlo-cli encode\" prints, then the call, the records, the device's verdict and the\n"
    "end-of-exchange record. Several images go one exchange each, in order, after one\n"
    "confirmation; all are read first, and the first exchange that fails ends the command.\n"
    "Status texts go to standard error (with the bytes sent so far when it is a terminal);\n"
    "Ctrl-C, SIGTERM and SIGHUP cancel (the device is told).\n"
    "\n"
    "  --yes             send without asking; otherwise \"送信を行いますか？ [y/N]\" is asked on\n"
    "                    the terminal, and without a terminal nothing is sent\n"
    "  --title, --reading, --zen-to-han, --kata-to-hira, --region, --crop and the options\n"
    "                    that prepare the picture: as for encode, for every IMAGE\n"
    "\n"
    "NAME is COM1..COM9 (mapped through the [Ports] section of VEXLO.INI, else /dev/ttyS0..)\n"
    "or a device path. Line settings and the two title switches not given default to those\n"
    "in VEXLO.INI.\n"
    "\n"
    "Exit status: 0 the device accepted every memo; 1 the port could not be opened, the device\n"
    "refused a memo, nobody answered, or the user cancelled; 2 bad arguments or an image\n"
    "that cannot be sent (then nothing is sent).\n";

constexpr int ExitFailed = 1;
constexpr unsigned long kBetweenMemosMs = 300;

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

int exitStatusOf(SendOutcome outcome)
{
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

}  // namespace

int RunSend(const std::vector<std::string>& args)
{
    std::set<std::string> flags = MemoChainFlags;
    flags.insert("--yes");
    std::set<std::string> valued = MemoChainValued;
    valued.insert(cli::LineOptions.begin(), cli::LineOptions.end());
    static const std::string help = std::string(Help) + "\n" + PrepareOptionsHelp;
    cli::ParsedArgs parsed;
    if (const auto done = cli::ParseCommandArgs(args, flags, valued, help.c_str(), parsed))
        return *done;
    if (parsed.Words.empty())
        return cli::Fail(QStringLiteral("send: IMAGE is missing"));
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
    // Every image is read and made into its memo before anything goes out: a file that cannot
    // be sent ends the command before the question.
    std::vector<TRecordList> chains;
    for (const std::string& image : parsed.Words) {
        if (!BuildChainFromImage("send", image, parsed, CommLink, chains.emplace_back()))
            return cli::ExitError;
    }

    cli::ConsoleApplication app;
    TConsoleHost host;
    // One confirmation for all the memos: the first exchange asks, the others go ahead.
    const size_t count = chains.size();
    bool confirmed = false;
    SetExchangeMessenger([yes, count, &confirmed](ExchangeBox kind, const QString& text) {
        if (kind == ExchangeBox::Question) {
            if (!confirmed)
                confirmed = yes || askOnTerminal(count > 1 ? QStringLiteral("%1 (%2 件)").arg(text).arg(count) : text);
            return confirmed;
        }
        std::fprintf(stderr, "%s\n", text.toUtf8().constData());
        return true;
    });

    int status = cli::ExitOk;
    for (size_t i = 0; i < count && status == cli::ExitOk; ++i) {
        // The device notices that the line was closed after a memo before it takes the next call.
        if (i > 0)
            QThread::msleep(kBetweenMemosMs);
        if (count > 1)
            cli::Note(QStringLiteral("send: memo %1 of %2: %3").arg(i + 1).arg(count).arg(QString::fromStdString(parsed.Words[i])));
        const auto lease = session::PortLease::BorrowFor(CommLink);  // from the receiver, if it holds the line
        status = exitStatusOf(SendExchange(CommLink, chains[i]));
    }
    SetExchangeMessenger(nullptr);
    return status;
}
