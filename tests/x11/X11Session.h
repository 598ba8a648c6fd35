// Drives the real program on the X server named by DISPLAY (test.sh starts a private Xvfb):
// starts it in a fresh configuration folder, finds its window, types keys with xdotool.
#pragma once

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <functional>
#include <iostream>
#include <string>

class X11Session {
public:
    X11Session()
    {
        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert(QStringLiteral("XDG_CONFIG_HOME"), config_.path());
        env_.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    }
    ~X11Session()
    {
        if (program_.state() != QProcess::NotRunning) {
            program_.kill();
            program_.waitForFinished(5000);
        }
    }

    static bool haveDisplay() { return !qEnvironmentVariableIsEmpty("DISPLAY"); }

    QString configDir() const { return config_.path(); }
    qint64 pid() const { return program_.processId(); }

    // NAME=VALUE in the program's environment; before start().
    void setEnv(const QString& name, const QString& value) { env_.insert(name, value); }

    bool start(const QStringList& args = {})
    {
        program_.setProcessEnvironment(env_);
        program_.setProgram(qEnvironmentVariable("VEXLO_BINARY_DIR") + QStringLiteral("/app/vexlo"));
        program_.setArguments(args);
        program_.start();
        return program_.waitForStarted(10000);
    }

    // A loaded X server may turn a connection away (its queue of clients waiting to be
    // accepted is full): the program then ends at once, before it did anything. It is started
    // again, up to twice; TRUE when it was.
    bool restartIfTurnedAway()
    {
        if (turnedAway_ >= 2 || (program_.state() != QProcess::NotRunning && !program_.waitForFinished(0)))
            return false;
        const QByteArray errors = program_.readAllStandardError();
        if (!errors.contains("could not connect to display"))
            return false;
        ++turnedAway_;
        std::cerr << "the X server turned the program away; started again" << std::endl;
        program_.start();
        return program_.waitForStarted(10000);
    }

    // The id of a window with TITLE, waiting up to MS (20 s) for it to appear.
    QString waitForWindow(const QString& title, int ms = 20000)
    {
        QString id;
        const auto shownOrEnded = [&] {
            id = windowNamed(title);
            return !id.isEmpty() || program_.waitForFinished(0);
        };
        do
            waitUntil(shownOrEnded, ms);
        while (id.isEmpty() && restartIfTurnedAway());
        // Say why: a program that ended tells more than a missing window. Its end is only
        // noticed when QProcess is given the chance to look.
        if (id.isEmpty() && !program_.waitForFinished(200) && program_.state() != QProcess::NotRunning)
            std::cerr << "no window \"" << title.toStdString() << "\": the program is running (pid "
                      << program_.processId() << ")";
        else if (id.isEmpty())
            std::cerr << "no window \"" << title.toStdString() << "\": the program ended "
                      << (program_.exitStatus() == QProcess::CrashExit ? "by a crash, status " : "with status ")
                      << program_.exitCode();
        if (id.isEmpty())
            std::cerr
                      << "; its windows: " << windowNames().toStdString()
                      << "; its errors: " << program_.readAllStandardError().toStdString() << std::endl;
        return id;
    }

    // Waits up to 20 s until no window with TITLE shows; false when one still does.
    bool waitForNoWindow(const QString& title)
    {
        return waitUntil([&] { return windowNamed(title).isEmpty(); });
    }

    // Waits up to 20 s until the program shows COUNT windows (a menu that opens is one more);
    // false when it does not.
    bool waitForWindowCount(int count)
    {
        return waitUntil([&] {
            return run({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                        QString::number(program_.processId())})
                       .split(QLatin1Char('\n'), Qt::SkipEmptyParts)
                       .size()
                   == count;
        });
    }

    QString xdotool(const QStringList& args) { return run(args); }

    // What the program wrote to its standard error so far.
    QString errorOutput()
    {
        program_.setReadChannel(QProcess::StandardError);
        while (program_.waitForReadyRead(200)) {
        }
        program_.setReadChannel(QProcess::StandardOutput);
        return QString::fromUtf8(program_.readAllStandardError());
    }

    bool waitForExit(int ms) { return program_.waitForFinished(ms); }
    int exitCode() const { return program_.exitCode(); }
    QProcess::ExitStatus exitStatus() const { return program_.exitStatus(); }

private:
    // The names of the program's windows, shown or not, one a line with their map state.
    QString windowNames()
    {
        QString names;
        const QStringList ids = run({QStringLiteral("search"), QStringLiteral("--pid"), QString::number(program_.processId())})
                                    .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (const QString& id : ids)
            names += QStringLiteral("[%1 \"%2\"] ").arg(id, run({QStringLiteral("getwindowname"), id}).trimmed());
        return names;
    }

    QString windowNamed(const QString& title)
    {
        return run({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                    QStringLiteral("^%1$").arg(title)})
            .section(QLatin1Char('\n'), 0, 0)
            .trimmed();
    }

    // Asks COND every 50 ms (each asking runs xdotool) until it holds; false after MS (20 s).
    static bool waitUntil(const std::function<bool()>& cond, int ms = 20000)
    {
        QDeadlineTimer deadline(ms);
        while (!cond()) {
            if (deadline.hasExpired())
                return false;
            QThread::msleep(50);
        }
        return true;
    }

    QString run(const QStringList& args)
    {
        QProcess p;
        p.start(QStringLiteral("xdotool"), args);
        p.waitForFinished(10000);
        return QString::fromUtf8(p.readAllStandardOutput());
    }

    QTemporaryDir config_;
    QProcessEnvironment env_;
    QProcess program_;
    int turnedAway_ = 0;  // times the X server turned the program away
};
