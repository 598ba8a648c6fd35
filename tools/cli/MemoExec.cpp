#include "tools/cli/MemoExec.h"

#include "tools/cli/CliCommon.h"
#include "tools/cli/ShellWords.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

// Why the program PROGRAM (a path, or a name looked for in PATH) cannot be run; empty when it can.
QString cannotRun(const QString& program)
{
    QString path = program;
    if (!program.contains(u'/')) {
        path = QStandardPaths::findExecutable(program);
        if (path.isEmpty())
            return QStringLiteral("cannot run %1: no such program in PATH").arg(program);
    }
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("cannot run %1: no such file").arg(program);
    if (info.isDir() || ::access(QFile::encodeName(path).constData(), X_OK) != 0)
        return QStringLiteral("cannot run %1: not an executable program").arg(program);
    return {};
}

}  // namespace

TMemoExec::TMemoExec(const QString& command, int timeoutSeconds) : timeoutMs_(timeoutSeconds * 1000)
{
    if (const std::optional<QStringList> words = SplitShellWords(command, &error_))
        words_ = *words;
    else
        return;
    if (words_.isEmpty())
        error_ = QStringLiteral("CMD is empty");
    else
        error_ = cannotRun(words_.first());
}

TMemoExec::~TMemoExec()
{
    Finish();
}

void TMemoExec::Run(const TExecMemo& memo)
{
    if (int(pending_.size()) >= kMaxWaiting) {
        ++failures_;
        cli::Note(QStringLiteral("--exec for %1: not run, %2 commands are still waiting").arg(memo.Path).arg(kMaxWaiting));
        return;
    }
    pending_.push_back(memo);
    if (!running_)
        startNext();
}

void TMemoExec::startNext()
{
    while (!running_ && !pending_.empty()) {
        const TExecMemo memo = pending_.front();
        pending_.pop_front();
        runningPath_ = memo.Path;
        QStringList args = words_.mid(1);
        bool placed = false;
        for (QString& word : args)
            if (word == QLatin1String("{}")) {
                word = runningPath_;
                placed = true;
            }
        if (!placed)
            args << runningPath_;
        running_ = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("VEXLO_FILE"), memo.Path);
        environment.insert(QStringLiteral("VEXLO_TITLE"), memo.Title);
        environment.insert(QStringLiteral("VEXLO_READING"), memo.Reading);
        environment.insert(QStringLiteral("VEXLO_ARRIVED"),
                           memo.Arrived.isValid() ? memo.Arrived.toOffsetFromUtc(memo.Arrived.offsetFromUtc())
                                                        .toString(Qt::ISODate)
                                                  : QString());
        running_->setProcessEnvironment(environment);
        running_->setProcessChannelMode(QProcess::ForwardedChannels);
        running_->setInputChannelMode(QProcess::ForwardedInputChannel);
        // A group of its own, so that ending it ends what it started too (a shell's sleep
        // would otherwise live on, holding our output open).
        running_->setChildProcessModifier([] { ::setpgid(0, 0); });
        QObject::connect(running_.get(), &QProcess::finished, [this] { finished(); });
        QObject::connect(running_.get(), &QProcess::errorOccurred, [this](QProcess::ProcessError e) {
            if (e == QProcess::FailedToStart)
                finished();
        });
        cli::FlushStandardOutput();  // our lines before the command's
        ended_ = false;
        limit_ = std::make_unique<QTimer>();
        limit_->setSingleShot(true);
        QObject::connect(limit_.get(), &QTimer::timeout, [this] { timedOut(); });
        limit_->start(timeoutMs_);
        running_->start(words_.first(), args);
    }
}

// Sends SIGNAL to the command's process group: the command and whatever it started.
void TMemoExec::SignalGroup(const QProcess& process, int signal)
{
    if (const qint64 pid = process.processId(); pid > 0)
        ::kill(-pid_t(pid), signal);
}

void TMemoExec::finished()
{
    if (!running_)
        return;
    std::unique_ptr<QProcess> done = std::move(running_);
    limit_.reset();
    QObject::disconnect(done.get(), nullptr, nullptr, nullptr);
    QString why;
    if (done->error() == QProcess::FailedToStart)
        why = QStringLiteral("cannot start %1: %2").arg(words_.first(), done->errorString());
    else if (ended_)
        why = QStringLiteral("%1 did not end within %2 s and was ended").arg(words_.first()).arg(timeoutMs_ / 1000);
    else if (done->exitStatus() != QProcess::NormalExit)
        why = QStringLiteral("%1 was killed").arg(words_.first());
    else if (done->exitCode() != 0)
        why = QStringLiteral("%1 ended with status %2").arg(words_.first()).arg(done->exitCode());
    if (!why.isEmpty()) {
        ++failures_;
        cli::Note(QStringLiteral("--exec for %1: %2").arg(runningPath_, why));
    }
    retired_ = std::move(done);  // not inside its own signal: it goes with the next one
    startNext();
}

void TMemoExec::timedOut()
{
    if (!running_)
        return;
    ended_ = true;
    SignalGroup(*running_, SIGTERM);
    // One that ignores SIGTERM is killed a little later.
    QTimer::singleShot(2000, running_.get(), [process = running_.get()] { SignalGroup(*process, SIGKILL); });
}

void TMemoExec::Finish()
{
    while (running_) {
        QProcess* process = running_.get();
        // Waits no longer than the command may take; then it is ended.
        if (!process->waitForFinished(limit_ ? std::max(1, limit_->remainingTime()) : -1) && running_.get() == process) {
            timedOut();
            process->waitForFinished(3000);
            if (process->state() != QProcess::NotRunning) {
                SignalGroup(*process, SIGKILL);
                process->waitForFinished(-1);
            }
        }
        if (running_.get() == process)  // its signal did not come during the wait
            finished();
    }
}
