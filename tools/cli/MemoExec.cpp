#include "tools/cli/MemoExec.h"

#include "tools/cli/CliCommon.h"
#include "tools/cli/ShellWords.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

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

TMemoExec::TMemoExec(const QString& command)
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

void TMemoExec::Run(const QString& path)
{
    pending_.push_back(path);
    if (!running_)
        startNext();
}

void TMemoExec::startNext()
{
    while (!running_ && !pending_.empty()) {
        runningPath_ = pending_.front();
        pending_.pop_front();
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
        running_->setProcessChannelMode(QProcess::ForwardedChannels);
        running_->setInputChannelMode(QProcess::ForwardedInputChannel);
        QObject::connect(running_.get(), &QProcess::finished, [this] { finished(); });
        QObject::connect(running_.get(), &QProcess::errorOccurred, [this](QProcess::ProcessError e) {
            if (e == QProcess::FailedToStart)
                finished();
        });
        cli::FlushStandardOutput();  // our lines before the command's
        running_->start(words_.first(), args);
    }
}

void TMemoExec::finished()
{
    if (!running_)
        return;
    std::unique_ptr<QProcess> done = std::move(running_);
    QObject::disconnect(done.get(), nullptr, nullptr, nullptr);
    QString why;
    if (done->error() == QProcess::FailedToStart)
        why = QStringLiteral("cannot start %1: %2").arg(words_.first(), done->errorString());
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

void TMemoExec::Finish()
{
    while (running_) {
        QProcess* process = running_.get();
        process->waitForFinished(-1);
        if (running_.get() == process)  // its signal did not come during the wait
            finished();
    }
}
