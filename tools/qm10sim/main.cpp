// qm10-sim: a QM-10 memo device on a pseudo-terminal, for trying and testing VEXLO
// without the real device.
#include "tools/qm10sim/Line.h"
#include "tools/qm10sim/Memo.h"
#include "tools/qm10sim/MemoWriter.h"
#include "tools/qm10sim/Options.h"
#include "tools/qm10sim/ReceiveSession.h"
#include "tools/qm10sim/Samples.h"
#include "tools/qm10sim/SendSession.h"
#include "tools/qm10sim/Talk.h"
#include "resources/Version.h"

#include <QGuiApplication>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {


// Qt's complaint about a missing XDG_RUNTIME_DIR means nothing to a program without windows.
void quietQt(QtMsgType type, const QMessageLogContext&, const QString& msg)
{
    if (!msg.startsWith(QLatin1String("QStandardPaths:")))
        std::fprintf(stderr, "%s%s\n", type == QtDebugMsg ? "" : "qt: ", msg.toLocal8Bit().constData());
}

void onSignal(int sig)
{
    qm10sim::Line::removeLinkNow();
    ::_exit(128 + sig);
}

}  // namespace

int main(int argc, char** argv)
{
    using namespace qm10sim;
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("qm10-sim " VEXLO_VERSION);
        return kDone;
    }
    std::string error;
    bool help = false;
    const auto options = parseOptions(argc, argv, error, help);
    if (help) {
        std::fputs(kUsage, stdout);
        return kDone;
    }
    if (!options) {
        note(error);
        std::fputs("try 'qm10-sim --help'\n", stderr);
        return kBadCommandLine;
    }

    // Fonts for the sample memos need a GUI application, but never a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietQt);
    QGuiApplication app(argc, argv);

    std::vector<Memo> memos;
    if (options->mode == Options::Mode::Send) {
        QString loadError;
        if (options->memos.isEmpty())
            memos = sampleMemos();
        else if (!loadMemos(options->memos, memos, loadError)) {
            note(loadError.toStdString());
            return kSetupFailed;
        }
        if (options->corrupt) {
            long records = 1;  // the end-of-exchange record
            for (const Memo& m : memos)
                records += static_cast<long>(memoRecords(m).size());
            if (options->corrupt > records) {
                note("--corrupt " + std::to_string(options->corrupt) + ": the exchange has only " +
                     std::to_string(records) + " records");
                return kBadCommandLine;
            }
        }
    }

    if (options->mode == Options::Mode::Receive) {
        QString dirError;  // find out before the PC is invited onto the line
        if (!MemoWriter(QString::fromLocal8Bit(options->outDir.c_str())).prepare(dirError)) {
            note(dirError.toStdString());
            return kSetupFailed;
        }
    }

    auto line = Line::create(options->link, error);
    if (!line) {
        note(error);
        return kSetupFailed;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGHUP, onSignal);

    line->setBaud(options->baud);
    const bool send = options->mode == Options::Mode::Send;
    if (options->hangupAfter)
        line->setBudget(send ? Line::Budget::Sent : Line::Budget::Received, options->hangupAfter);
    std::printf("%s\n", options->link.empty() ? line->slavePath().c_str() : options->link.c_str());
    std::fflush(stdout);
    note("line " + line->slavePath() + (options->link.empty() ? "" : " linked as " + options->link));

    if (send)
        return SendSession(*line, *options, std::move(memos)).run();
    return ReceiveSession(*line, *options).run();
}
