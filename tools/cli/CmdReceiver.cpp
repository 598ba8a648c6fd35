// vexlo-cli receiver: the always-on collector that the user service runs. It waits for the
// device on the port of VEXLO.INI, takes every memo into the memo library (each on disk before
// its "#"), tells the desktop what arrived, and lends the port to VEXLO and vexlo-cli over the
// session bus when they send or receive themselves.
#include "tools/cli/CliCommon.h"
#include "tools/cli/MemoCollector.h"
#include "tools/cli/MemoExec.h"

#include "link/CancelSignals.h"
#include "link/Comenote.h"
#include "link/CommLink.h"
#include "link/ConsoleHost.h"
#include "link/ExchangeHost.h"
#include "link/ExchangeMessages.h"
#include "link/ReceiveExchange.h"
#include "session/DesktopNotifier.h"
#include "session/ReceiverBus.h"
#include "store/MemoStore.h"
#include "transfer/DeviceText.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <cerrno>
#include <functional>
#include <optional>

namespace {

constexpr char Help[] =
    "Usage: vexlo-cli receiver [--port NAME] [--speed N] [--word-len 7|8]\n"
    "                          [--parity none|odd|even] [--stop-bits 1|1.5|2]\n"
    "                          [--exec CMD] [--exec-timeout SECONDS]\n"
    "\n"
    "The receiver that the user service vexlo-receiver runs (systemctl --user enable --now\n"
    "vexlo-receiver): receives memos for ever, as receive --loop does, into the memo library,\n"
    "with the port and line settings of VEXLO.INI unless given here. After each exchange it\n"
    "sends one desktop notification (メモを受信しました, or what went wrong; 開く opens the\n"
    "memos in VEXLO). On the session bus it is org.example.vexlo.Receiver: while it waits,\n"
    "VEXLO's 送信 and 受信 and vexlo-cli send and receive borrow the port from it; an exchange\n"
    "in progress is never cut. A missing adapter is waited for until its device appears.\n"
    "SIGTERM (systemctl stop), SIGHUP and Ctrl-C end it; an exchange in progress is cancelled\n"
    "as Ctrl-C cancels it (the device is told).\n"
    "\n"
    "--exec CMD            as for receive; the command also finds VEXLO_FILE, VEXLO_TITLE,\n"
    "                      VEXLO_READING and VEXLO_ARRIVED in its environment.\n"
    "--exec-timeout SECONDS  a command still running after this long is ended (default 60).\n"
    "\n"
    "Exit status: 0 ended by a signal, 1 another receiver runs in this session, 2 bad arguments\n"
    "or a library folder that cannot be used.\n";

constexpr int ExitFailed = 1;
constexpr int kBusyRetryMs = 2000;
constexpr int kRestMs = 200;

// What the device still holds after an exchange that failed.
const QString kStillOnDevice = QStringLiteral("受信できなかったメモは QM-10 に残っています。");

// The nearest folder that exists on the way to PATH: where a device node that is missing will
// appear (a USB adapter's /dev/ttyUSB0, or its /dev/serial/by-id name).
QString NearestFolder(const QString& path)
{
    QString folder = QFileInfo(path).absolutePath();
    while (!QFileInfo(folder).isDir() && folder != QLatin1String("/"))
        folder = QFileInfo(folder).absolutePath();
    return folder;
}

// Handles events until DONE holds. DONE is made true by slots of the loop's own events (a
// signal's pipe, a bus call): it is looked at after each batch of events, just before the loop
// would sleep again. (Looked at on waking, it would be seen only at the next event; and
// processEvents(WaitForMoreEvents) sleeps again after the batch that made it true.)
void WaitUntil(const std::function<bool()>& done)
{
    QEventLoop loop;
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, &loop, [&] {
        if (done())
            loop.quit();
    });
    if (!done())
        loop.exec();
}

// Waits, handling events, until the device node of the port may have come (its folder
// changed) or STOP says to (a signal came, the port is asked for). MISSING: the node was not
// there when the port was opened.
void WaitForDevice(const QString& path, bool missing, const std::function<bool()>& stop)
{
    QFileSystemWatcher watcher;
    watcher.addPath(NearestFolder(path));
    if (QFileInfo::exists(path)) {
        // Come between the failed open and the watch (udev makes a folder and the link in it
        // moments apart): no change of the folder will tell of it any more.
        if (missing)
            return;
        watcher.addPath(path);
    }
    QEventLoop loop;
    QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, &loop, &QEventLoop::quit);
    QObject::connect(&watcher, &QFileSystemWatcher::fileChanged, &loop, &QEventLoop::quit);
    // STOP is looked at as WaitUntil looks at its condition.
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, &loop, [&] {
        if (stop())
            loop.quit();
    });
    if (!stop())
        loop.exec();
}

// Handles events for MS milliseconds, or until STOP says to end.
void Rest(int ms, const std::function<bool()>& stop)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, &loop, [&] {
        if (stop())
            loop.quit();
    });
    if (!stop())
        loop.exec();
}

// Opens FILES in VEXLO (a running VEXLO takes them). Started by the user service, a VEXLO
// would belong to the service and end with it (systemctl stop, or 自動受信 switched off): it is
// given a scope of its own in the user's session instead.
void OpenInVexlo(const QStringList& files)
{
    const QString vexlo = QStringLiteral("vexlo");
    const QString scope = QStandardPaths::findExecutable(QStringLiteral("systemd-run"));
    if (qEnvironmentVariableIsSet("INVOCATION_ID") && !scope.isEmpty())
        QProcess::startDetached(scope, QStringList{QStringLiteral("--user"), QStringLiteral("--scope"),
                                                   QStringLiteral("--quiet"), QStringLiteral("--collect"),
                                                   QStringLiteral("--"), vexlo} + files);
    else
        QProcess::startDetached(vexlo, files);
}

}  // namespace

int RunReceiver(const std::vector<std::string>& args)
{
    cli::ParsedArgs parsed;
    if (const auto done = cli::ParseCommandArgs(
            args, {}, {"--port", "--speed", "--word-len", "--parity", "--stop-bits", "--exec", "--exec-timeout"}, Help,
            parsed))
        return *done;
    QString error;
    if (!parsed.Words.empty())
        return cli::Fail(QStringLiteral("receiver: unexpected argument \"%1\"")
                             .arg(QString::fromStdString(parsed.Words.front())));
    cli::LoadSettings(CommLink);
    if (const auto port = parsed.Values.find("--port"); port != parsed.Values.end() && !port->second.empty())
        CommLink.PortName = port->second;
    if (!cli::ApplyLineSettings(parsed, CommLink, error))
        return cli::Fail(QStringLiteral("receiver: ") + error);
    int timeout = TMemoExec::kDefaultTimeoutSeconds;
    if (const auto value = parsed.Values.find("--exec-timeout"); value != parsed.Values.end()) {
        bool ok = false;
        timeout = QString::fromStdString(value->second).toInt(&ok);
        if (!ok || timeout < 1 || timeout > 86400)
            return cli::Fail(QStringLiteral("receiver: --exec-timeout takes 1 to 86400 seconds"));
    }
    const TLibrarySettings settings = ReadLibrarySettings();
    if (!settings.AutoSave)
        return cli::Fail(QStringLiteral("receiver: the memo library is off ([Library] AutoSave=FALSE in VEXLO.INI)"));
    TMemoStore library(LibraryFolder(settings), settings.Synced);
    if (const auto failure = library.Open())
        return cli::Fail(QStringLiteral("receiver: cannot store memos in %1: %2")
                             .arg(library.Folder(), failure->englishText()));
    std::optional<TMemoExec> exec;
    if (const auto command = parsed.Values.find("--exec"); command != parsed.Values.end()) {
        QString text;
        if (!cli::Utf8Arg(command->second, text, error))
            return cli::Fail(QStringLiteral("receiver: --exec: ") + error);
        exec.emplace(text, timeout);
        if (!exec->Valid())
            return cli::Fail(QStringLiteral("receiver: --exec: ") + exec->Error());
    }

    cli::ConsoleApplication app;
    TConsoleHost host;
    bool stop = false;  // a signal between exchanges
    const TCancelSignals catcher(TCancelSignals::All(), [&](int) {
        stop = true;
        host.Interrupt();  // inside an exchange, or one being set up: cancelled as Ctrl-C cancels it
    });

    session::ReceiverService service;
    const QString portLabel = QString::fromStdString(CommLink.PortName);
    service.SetPort(portLabel);
    if (!service.Register(&error)) {
        if (QDBusConnection::sessionBus().isConnected()) {
            cli::Fail(QStringLiteral("receiver: ") + error);
            return ExitFailed;
        }
        cli::Note(QStringLiteral("receiver: no session bus: no notifications, and the port is not lent"));
    }
    session::DesktopNotifier notifier;
    QObject::connect(&notifier, &session::DesktopNotifier::OpenRequested, [](const QStringList& files) {
        OpenInVexlo(files);
    });

    // What this exchange brought, for its notification.
    session::ArrivalNotice notice;
    std::optional<TMemoStore> store(std::move(library));
    Collector collector(std::move(store), std::nullopt, exec ? &*exec : nullptr);
    collector.Stored = [&](const TReceivedMemo& memo, const QString& path) {
        const QString title = DeviceCodesToText(memo.TitleCodes);
        if (notice.files.isEmpty())
            notice.firstPicture = memo.Picture.Image;
        notice.files << path;
        notice.titles << title;
        service.SetState(QStringLiteral("receiving"));
        service.AnnounceStored(path, title);
    };
    QString lastError;
    SetExchangeMessenger([&](ExchangeBox kind, const QString& text) {
        if (kind == ExchangeBox::Error)
            lastError = text;
        std::fprintf(stderr, "%s\n", text.toUtf8().constData());
        return true;
    });

    bool lendWanted = false, lent = false, inExchange = false;
    // A lend asked for while an exchange waits for the device's call withdraws it (the device
    // notices nothing); once the device has called, the exchange runs to its end first. The
    // look is made again while the lend waits, as the exchange may still be opening the port.
    QTimer withdraw;
    withdraw.setInterval(50);
    QObject::connect(&withdraw, &QTimer::timeout, [&] {
        if (!inExchange || !lendWanted) {
            withdraw.stop();
            return;
        }
        if (ReceiveAwaitingCall(CommLink)) {
            WithdrawExchange();
            host.Close();
        }
    });
    QObject::connect(&service, &session::ReceiverService::LendRequested, [&] {
        lendWanted = true;
        if (inExchange)
            withdraw.start();
    });
    QObject::connect(&service, &session::ReceiverService::PortReturned, [&] { lent = false; });

    const TReceiveSink sink = collector.Sink();
    QString lastPortFailure;
    while (!stop) {
        if (lendWanted) {
            lendWanted = false;
            lent = service.PortReleased();
            WaitUntil([&] { return !lent || stop; });
            continue;
        }
        service.SetState(QStringLiteral("waiting"));
        notice = {};
        lastError.clear();
        CommLink.Step = ExchangeStep::RecvAwaitCr;  // nobody has called while the port opens
        inExchange = true;
        const ReceiveOutcome outcome = ReceiveExchange(CommLink, sink);
        inExchange = false;
        collector.ExchangeEnded(outcome);
        // The line went away before the device called (an adapter pulled while all was quiet):
        // no memo was on its way, so there is nothing to tell the desktop.
        const bool deviceCalled = !ReceiveAwaitingCall(CommLink);
        switch (outcome) {
        case ReceiveOutcome::PortUnavailable: {
            const TOpenFailure& failure = LastOpenFailure();
            const QString message = QStringLiteral("receiver: ") + cli::OpenFailureMessage(failure);
            const bool missing = failure.Error == ENOENT || failure.Error == ENODEV || failure.Error == ENXIO;
            if (message != lastPortFailure)
                cli::Fail(message + (missing ? QStringLiteral("; waiting for the device to appear")
                                             : QStringLiteral("; trying again every 2 seconds")));
            lastPortFailure = message;
            service.SetState(missing ? QStringLiteral("absent") : QStringLiteral("waiting"));
            const auto interrupted = [&] { return stop || lendWanted; };
            if (missing)
                WaitForDevice(QString::fromStdString(failure.Path.empty() ? CommLink.PortName : failure.Path),
                              failure.Error == ENOENT, interrupted);
            else
                Rest(kBusyRetryMs, interrupted);
            continue;
        }
        case ReceiveOutcome::Withdrawn:
            continue;
        case ReceiveOutcome::Completed:
            notifier.NotifyReceived(notice);
            break;
        case ReceiveOutcome::Failed:
            if (stop || host.Interrupted())
                break;
            if (!notice.files.isEmpty())
                notifier.NotifyReceived(notice);
            if (deviceCalled)
                notifier.NotifyFailed(lastError, kStillOnDevice);
            break;
        }
        lastPortFailure.clear();
        if (stop || host.Interrupted())
            break;
        Rest(kRestMs, [&] { return stop || lendWanted; });  // the line rests a moment closed, as between two exchanges a person starts
    }
    service.SetState(QStringLiteral("stopped"));
    if (exec)
        exec->Finish();
    // Notifications still on their way get a moment to leave.
    for (int i = 0; i < 20 && notifier.PendingCalls() > 0; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return cli::ExitOk;
}
