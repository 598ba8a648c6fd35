// A session bus of the test's own: a dbus-daemon started for the test binary, its address put
// into DBUS_SESSION_BUS_ADDRESS before anything connects, and ended with the binary. Tests
// that register services on it never meet the desktop's, and nothing is started on demand.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>

#include <stdexcept>

class PrivateSessionBus {
public:
    PrivateSessionBus()
    {
        daemon_.setProgram(QStringLiteral("dbus-daemon"));
        // The tests' own configuration: no service is started on demand.
        daemon_.setArguments({QStringLiteral("--config-file=") + qEnvironmentVariable("VEXLO_SOURCE_DIR") +
                                  QStringLiteral("/tests/support/session-bus.conf"),
                              QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        daemon_.start();
        if (!daemon_.waitForStarted())
            throw std::runtime_error("dbus-daemon cannot be started (package dbus-daemon)");
        QByteArray address;
        while (!address.contains('\n') && daemon_.waitForReadyRead(10000))
            address += daemon_.readAllStandardOutput();
        address = address.trimmed();
        if (address.isEmpty())
            throw std::runtime_error("dbus-daemon gave no address");
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    }
    ~PrivateSessionBus()
    {
        daemon_.terminate();
        daemon_.waitForFinished();
    }
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

private:
    QProcess daemon_;
};

// The core application and the private bus of a test binary, made once however many test files
// ask (one bus: every connection and every program the tests start meets on it).
#include <QCoreApplication>

inline void SessionTestApp()
{
    static int argc = 1;
    static char name[] = "session-tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static PrivateSessionBus bus;
}
