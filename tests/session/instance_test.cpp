// One VEXLO a session: a second start hands its files to the first, over the session bus or,
// without one, over the local socket; a first that is gone never keeps a start from running.
#include "session/SingleInstance.h"

#include "support/PrivateSessionBus.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtConcurrent/QtConcurrentRun>

#include <gtest/gtest.h>

#include <atomic>

namespace {


QDBusConnection Bus(const QString& name)
{
    SessionTestApp();
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
}

QDBusConnection NoBus()
{
    SessionTestApp();
    return QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), "no-bus");
}

// Starts a second VEXLO on another thread (its call is answered by this thread's event loop)
// and returns its role.
session::SingleInstance::Role SecondStart(const QString& connection, const QString& socket, const QStringList& files)
{
    auto role = QtConcurrent::run([=] {
        QDBusConnection bus = connection.isEmpty() ? NoBus() : Bus(connection);
        session::SingleInstance second(bus, socket);
        return second.Start(files);
    });
    QDeadlineTimer deadline(20000);
    while (!role.isFinished() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return role.result();
}

}  // namespace

TEST(SingleInstance, ASecondStartHandsItsFilesToTheFirst)
{
    QTemporaryDir folder;
    const QString socket = folder.filePath("vexlo.socket");
    struct Case {
        const char* meeting;
        QString first, second;  // bus connections; empty: no bus, the socket
    } const cases[] = {{"session bus", "first", "second"}, {"local socket", "", ""}};
    for (const Case& c : cases) {
        session::SingleInstance first(c.first.isEmpty() ? NoBus() : Bus(c.first), socket);
        QSignalSpy opened(&first, &session::SingleInstance::OpenFiles);
        ASSERT_EQ(first.Start({}), session::SingleInstance::Role::First) << c.meeting;

        EXPECT_EQ(SecondStart(c.second, socket, {"memo.bmp", "/tmp/a b.png"}), session::SingleInstance::Role::Handed)
            << c.meeting;
        QCoreApplication::processEvents();
        ASSERT_EQ(opened.count(), 1) << c.meeting;
        EXPECT_EQ(opened.at(0).at(0).toStringList(), (QStringList{QDir::current().absoluteFilePath("memo.bmp"), "/tmp/a b.png"}))
            << c.meeting << ": relative names are made absolute where they were given";

        EXPECT_EQ(SecondStart(c.second, socket, {}), session::SingleInstance::Role::Handed) << c.meeting;
        QCoreApplication::processEvents();
        ASSERT_EQ(opened.count(), 2) << c.meeting << ": a start without files brings the first forward";
    }
}

TEST(SingleInstance, ASocketThatAKilledVexloLeftIsTakenOver)
{
    QTemporaryDir folder;
    const QString socket = folder.filePath("vexlo.socket");
    {
        // A VEXLO that ended without closing its socket (killed) left the file behind.
        QLocalServer dead;
        ASSERT_TRUE(dead.listen(socket));
        dead.setSocketOptions(QLocalServer::UserAccessOption);
        ::close(int(dead.socketDescriptor()));  // the file stays, nobody listens
    }
    EXPECT_EQ(SecondStart("", socket, {"a.bmp"}), session::SingleInstance::Role::First) << "socket left by a killed VEXLO";
    // And the next start finds this one.
    session::SingleInstance first(NoBus(), socket);
    ASSERT_EQ(first.Start({}), session::SingleInstance::Role::First);
    EXPECT_EQ(SecondStart("", socket, {"a.bmp"}), session::SingleInstance::Role::Handed);
}

namespace {

// Each configuration folder is its own VEXLO (a test, or a user running a second profile), but
// one folder spelled two ways is one VEXLO, and every name is one the bus accepts.
TEST(SingleInstance, OneBusNamePerConfigurationFolder)
{
    const QString home = QDir::homePath();
    const QString plain = session::SingleInstance::ServiceFor(home + "/.config");
    struct Case {
        QString folder;
        bool samePlainName;
    };
    const Case cases[] = {
        {home + "/.config/", true},
        {home + "/./.config", true},
        {home + "/x/../.config", true},
        {home + "/other-config", false},
        {"/tmp/0123", false},
    };
    for (const Case& c : cases) {
        const QString name = session::SingleInstance::ServiceFor(c.folder);
        EXPECT_EQ(name == plain, c.samePlainName) << c.folder.toStdString() << " -> " << name.toStdString();
        for (const QString& element : name.split('.'))
            EXPECT_TRUE(!element.isEmpty() && !element.front().isDigit()) << name.toStdString();
        EXPECT_LE(name.size(), 255);
    }
    EXPECT_EQ(session::SingleInstance::ServiceFor(home + "/other-config"),
              session::SingleInstance::ServiceFor(home + "/other-config/"));
}

}  // namespace
