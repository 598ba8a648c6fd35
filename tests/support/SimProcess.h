// The device simulator in a child process on a pseudo-terminal linked at DIR/COM1, and a
// configuration that points "COM1" at it.
#pragma once

#include "support/WaitFor.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>

class SimProcess {
public:
    SimProcess(const QString& dir, const QStringList& args) : link_(dir + QStringLiteral("/COM1"))
    {
        process_.setProgram(qEnvironmentVariable("VEXLO_BINARY_DIR") + QStringLiteral("/tools/qm10sim/qm10-sim"));
        QStringList all = args;
        all.insert(1, QStringLiteral("--link"));
        all.insert(2, link_);
        process_.setArguments(all);
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.start();
        process_.waitForStarted(10000);
        eventually([this] { return QFile::exists(link_); });
    }
    ~SimProcess()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }

    const QString& link() const { return link_; }
    bool ready() const { return QFile::exists(link_); }
    // Exit status once it has ended (-1 when it did not end within MS).
    int wait(int ms = 20000)
    {
        if (process_.state() != QProcess::NotRunning && !process_.waitForFinished(ms))
            return -1;
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }
    QString log() { return QString::fromUtf8(process_.readAllStandardError()); }

    // "[Comm] Port=COM1" and "[Ports] COM1=<link>".
    QByteArray configuration() const
    {
        return "[Comm]\r\nPort=COM1\r\nSpeed=19200\r\n[Ports]\r\nCOM1=" + link_.toUtf8() + "\r\n";
    }

private:
    QString link_;
    QProcess process_;
};
