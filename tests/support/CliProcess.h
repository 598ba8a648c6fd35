// vexlo-cli in a child process for a test fixture: started with a configuration folder of the
// test's (XDG_CONFIG_HOME), its standard error gathered as it comes, Ctrl-C sent once it shows
// a status line.
#pragma once

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <csignal>

class CliFixture : public testing::Test {
protected:
    // Starts vexlo-cli ARGS with XDG_CONFIG_HOME at CONFIGHOME.
    void startCliIn(const QString& configHome, const QStringList& args)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
        cli.setProcessEnvironment(env);
        cli.start(qEnvironmentVariable("VEXLO_BINARY_DIR") + QStringLiteral("/tools/cli/vexlo-cli"), args);
        ASSERT_TRUE(cli.waitForStarted(10000));
    }

    // The exit status once the tool has ended; -1 when it crashed or did not end in a minute.
    int finish()
    {
        if (!cli.waitForFinished(60000))
            return -1;
        stderrText += QString::fromUtf8(cli.readAllStandardError());
        stdoutText = QString::fromUtf8(cli.readAllStandardOutput());
        return cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
    }

    // Waits until the tool has written TEXT as a status line, then sends it Ctrl-C (or SIGNAL).
    void interruptWhenStatus(const QString& text, int signal = SIGINT)
    {
        QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired()) {
            cli.waitForReadyRead(20);
            stderrText += QString::fromUtf8(cli.readAllStandardError());
            if (stderrText.split(QLatin1Char('\n')).contains(text)) {
                ::kill(pid_t(cli.processId()), signal);
                return;
            }
        }
        ADD_FAILURE() << "no status " << text.toStdString() << " in " << stderrText.toStdString();
    }

    QProcess cli;
    QString stderrText;
    QString stdoutText;
};
