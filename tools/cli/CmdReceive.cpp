// vexlo-cli receive: memos from the device over the serial line, stored as image files before
// the device is told they arrived.
#include "tools/cli/CliCommon.h"
#include "tools/cli/MemoCollector.h"
#include "tools/cli/MemoExec.h"
#include "tools/cli/MemoOutput.h"

#include "link/Comenote.h"
#include "link/CommLink.h"
#include "link/Config.h"
#include "link/ConsoleHost.h"
#include "link/ExchangeHost.h"
#include "link/ReceiveExchange.h"
#include "store/Inbox.h"
#include "store/MemoStore.h"
#include "transfer/DeviceText.h"
#include "transfer/ReceivedMemos.h"
#include "session/ReceiverBus.h"

#include <QCoreApplication>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <iterator>
#include <optional>

namespace {

constexpr char Help[] =
    "Usage: vexlo-cli receive --port NAME [--speed N] [--word-len 7|8]\n"
    "                         [--parity none|odd|even] [--stop-bits 1|1.5|2]\n"
    "                         [--out DIR [--format bmp|png]] [--exec CMD] [--loop]\n"
    "\n"
    "Receives memos from the device as the Receive command does: waits for the device's\n"
    "call, answers it, reads the records, acknowledges every memo and asks for a damaged one\n"
    "again, until the device ends the exchange. Status texts go to standard error; Ctrl-C,\n"
    "SIGTERM and SIGHUP cancel (the device is told).\n"
    "\n"
    "Every memo is stored before the device is told it arrived: a memo that cannot be stored\n"
    "(disk full, folder gone) is not acknowledged; the exchange ends there with \"!\", and the\n"
    "device still has it. A memo whose picture cannot be drawn (larger than 4096x4096) is\n"
    "answered as a damaged one (\"?\"): it is not taken, and the device still has it.\n"
    "Without --out the memos go into the memo library, the folder of\n"
    "[Library] Folder= in VEXLO.INI (default $XDG_DATA_HOME/vexlo/memos), as\n"
    "\"YYYY-MM-DD HH.MM.SS title.png\" (one bit per pixel, with the title, reading, device\n"
    "codes and time of arrival in the file). With --out each memo is written to\n"
    "DIR/memo-001.bmp, ... (one bit per pixel) or .png, the numbers going on after the highest\n"
    "memo-N.bmp or memo-N.png there. Nothing is ever written over. Each memo gives one line on\n"
    "standard output once its file is on disk: the file, WIDTHxHEIGHT, title and reading.\n"
    "\n"
    "--exec CMD   runs CMD for each memo once it is stored, with the file's path as its last\n"
    "             argument (or in place of a word \"{}\"). CMD is split into words as a POSIX\n"
    "             shell splits them (quotes, backslashes; nothing expanded), but no shell runs\n"
    "             it: nothing in a memo's title can become a command. A program that cannot\n"
    "             run is refused at once. The commands run one after another beside the\n"
    "             exchange; one that fails is reported, receiving goes on, and the exit\n"
    "             status is 2.\n"
    "--loop       after an exchange, waits for the device's next one, until Ctrl-C (a port\n"
    "             that is missing is tried again every 2 seconds).\n"
    "\n"
    "NAME is COM1..COM9 (mapped through the [Ports] section of VEXLO.INI, else /dev/ttyS0..)\n"
    "or a device path. The line settings not given default to those in VEXLO.INI. With\n"
    "[Library] AutoSave=FALSE in VEXLO.INI, --out DIR must be given.\n"
    "\n"
    "Exit status: 0 the device ended the exchange and every memo it sent was stored (with\n"
    "--loop: stopped by Ctrl-C), 1 the port could not be opened, or the exchange failed or was\n"
    "cancelled (the line went away, a memo was cut off, ...; standard error says what\n"
    "happened), 2 bad arguments or a memo that could not be stored.\n";

constexpr int ExitFailed = 1;
constexpr int kRetryMs = 2000;
constexpr int kRestMs = 200;

// Ctrl-C, SIGTERM and SIGHUP between the exchanges of --loop (inside one, the console host
// cancels it).
volatile std::sig_atomic_t interrupted = 0;
void onInterrupt(int) { interrupted = 1; }

class CatchInterrupt {
public:
    CatchInterrupt()
    {
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        for (size_t i = 0; i < std::size(kSignals); ++i)
            ::sigaction(kSignals[i], &action, &previous_[i]);
    }
    ~CatchInterrupt()
    {
        for (size_t i = 0; i < std::size(kSignals); ++i)
            ::sigaction(kSignals[i], &previous_[i], nullptr);
    }
    CatchInterrupt(const CatchInterrupt&) = delete;
    CatchInterrupt& operator=(const CatchInterrupt&) = delete;

private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction previous_[std::size(kSignals)] {};
};

// Sleeps MS milliseconds, handling events; false when Ctrl-C came meanwhile (or came at the
// end of the last exchange and is only seen now).
bool pause(int ms, const TConsoleHost& host)
{
    for (int waited = 0; waited < ms && !interrupted && !host.Interrupted(); waited += 50) {
        QCoreApplication::processEvents();
        QThread::msleep(50);
    }
    return !interrupted && !host.Interrupted();
}

}  // namespace

int RunReceive(const std::vector<std::string>& args)
{
    cli::ParsedArgs parsed;
    if (const auto done = cli::ParseCommandArgs(args, {"--loop"},
                                                {"--port", "--speed", "--word-len", "--parity", "--stop-bits", "--out",
                                                 "--format", "--exec"},
                                                Help, parsed))
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
    const std::string* formatArg = format == parsed.Values.end() ? nullptr : &format->second;
    std::optional<TMemoStore> library;
    std::optional<TMemoOutput> numbered;
    if (out != parsed.Values.end()) {
        QString dir, formatName;
        if (!PrepareMemoOutput(out->second, formatArg, dir, formatName, error))
            return cli::Fail(QStringLiteral("receive: ") + error);
        numbered.emplace(dir, formatName);
    } else {
        const TLibrarySettings settings = ReadLibrarySettings();
        if (!settings.AutoSave)
            return cli::Fail(QStringLiteral("receive: --out DIR is missing (the memo library is off: "
                                            "[Library] AutoSave=FALSE in VEXLO.INI)"));
        QString formatName;
        if (!CheckMemoFormat(formatArg, formatName, error))
            return cli::Fail(QStringLiteral("receive: ") + error);
        if (formatName != QLatin1String("png") && formatArg)
            return cli::Fail(QStringLiteral("receive: the memo library holds PNG files; --format bmp needs --out DIR"));
        library.emplace(LibraryFolder(settings), settings.Synced);
        if (const auto failure = library->Open())
            return cli::Fail(QStringLiteral("receive: cannot store memos in %1: %2")
                                 .arg(library->Folder(), failure->englishText()));
    }
    std::optional<TMemoExec> exec;
    if (const auto command = parsed.Values.find("--exec"); command != parsed.Values.end()) {
        QString text;
        if (!cli::Utf8Arg(command->second, text, error))
            return cli::Fail(QStringLiteral("receive: --exec: ") + error);
        exec.emplace(text);
        if (!exec->Valid())
            return cli::Fail(QStringLiteral("receive: --exec: ") + exec->Error());
    }
    const bool loop = parsed.Flags.count("--loop") > 0;

    cli::ConsoleApplication app;
    TConsoleHost host;

    Collector collector(std::move(library), std::move(numbered), exec ? &*exec : nullptr);
    const TReceiveSink sink = collector.Sink();
    int status = cli::ExitOk;
    bool portFailed = false;
    QString lastPortFailure;
    std::optional<CatchInterrupt> catcher;
    if (loop)
        catcher.emplace();
    while (!interrupted) {
        const auto lease = session::PortLease::BorrowFor(CommLink);  // from the receiver, if it holds the line
        const ReceiveOutcome outcome = ReceiveExchange(CommLink, sink);
        collector.ExchangeEnded(outcome);
        if (outcome == ReceiveOutcome::PortUnavailable) {
            const QString message = QStringLiteral("receive: ") + cli::OpenFailureMessage(LastOpenFailure());
            if (!loop) {
                cli::Fail(message);
                status = ExitFailed;
                portFailed = true;
                break;
            }
            if (message != lastPortFailure)
                cli::Fail(message + QStringLiteral("; trying again every 2 seconds"));
            lastPortFailure = message;
            if (!pause(kRetryMs, host))
                break;
            continue;
        }
        lastPortFailure.clear();
        if (!loop) {
            status = outcome == ReceiveOutcome::Completed ? cli::ExitOk : ExitFailed;
            break;
        }
        if (HostStop() == ExchangeStop::Cancelled || host.Interrupted())
            break;  // Ctrl-C, SIGTERM or SIGHUP: the collector stops
        // The line rests a moment closed, as between two exchanges a person starts; the device
        // calls again anyway.
        if (!pause(kRestMs, host))
            break;
    }
    if (exec)
        exec->Finish();
    if (!portFailed && !collector.AllStored())
        status = cli::ExitError;
    if (exec && exec->Failures() > 0 && status == cli::ExitOk)
        status = cli::ExitError;  // each failure was reported as it came
    return status;
}
