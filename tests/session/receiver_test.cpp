// vexlo-cli receiver as the user service runs it: memos from the simulator into the library,
// one notification an exchange (開く opens them in VEXLO), the port lent and taken back when
// its borrower goes away, an adapter that goes and comes back, and SIGTERM ending it.
#include "support/FakeNotifications.h"
#include "support/PrivateSessionBus.h"
#include "support/SimProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>

namespace {

bool Eventually(const std::function<bool()>& done, int ms = 30000)
{
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

QString Call(const QString& method)
{
    QProcess send;
    send.start("dbus-send", {"--session", "--print-reply", "--dest=org.example.vexlo.Receiver",
                             "/org/example/vexlo/Receiver", "org.example.vexlo.Receiver1." + method});
    Eventually([&] { return send.state() == QProcess::NotRunning; });
    return QString::fromUtf8(send.readAllStandardOutput() + send.readAllStandardError());
}

// True when process PID has the line that the device link LINK points at open.
bool HasOpen(qint64 pid, const QString& link)
{
    const QString line = QFileInfo(link).canonicalFilePath();
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot))
        if (!line.isEmpty() && fd.symLinkTarget() == line)
            return true;
    return false;
}

// The configuration folder DIR/config with a VEXLO.INI whose COM1 is the simulator's line, the
// library in DIR/data, and the environment a program started for the test runs in.
QProcessEnvironment Configured(const QTemporaryDir& dir, const SimProcess& sim)
{
    QDir(dir.path()).mkpath("config");
    QFile ini(dir.filePath("config/VEXLO.INI"));
    if (ini.open(QIODevice::WriteOnly))
        ini.write(sim.configuration());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    env.insert("XDG_DATA_HOME", dir.filePath("data"));
    return env;
}

const QString& Cli()
{
    static const QString path = qEnvironmentVariable("VEXLO_BINARY_DIR") + "/tools/cli/vexlo-cli";
    return path;
}

}  // namespace

TEST(Receiver, TakesMemosTellsTheDesktopAndLendsThePort)
{
    SessionTestApp();
    QTemporaryDir dir;
    FakeNotifications notifications(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "notifications"));
    auto sim = std::make_unique<SimProcess>(dir.path(), QStringList{"send"});
    QProcessEnvironment env = Configured(dir, *sim);
    // VEXLO as 開く starts it: a stand-in that writes down what it was given.
    QFile vexlo(dir.filePath("vexlo"));
    ASSERT_TRUE(vexlo.open(QIODevice::WriteOnly));
    vexlo.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/opened\"\n");
    vexlo.close();
    vexlo.setPermissions(vexlo.permissions() | QFileDevice::ExeOwner);

    QProcess receiver;
    env.insert("PATH", dir.path() + ":" + env.value("PATH"));
    receiver.setProcessEnvironment(env);
    receiver.start(Cli(), {"receiver"});
    ASSERT_TRUE(receiver.waitForStarted());

    // The simulator's three sample memos: in the library, and one notification for them.
    ASSERT_TRUE(Eventually([&] { return notifications.shown.size() == 1; }))
        << receiver.readAllStandardError().toStdString();
    const QDir memos(dir.filePath("data/vexlo/memos"));
    EXPECT_EQ(memos.entryList({"*.png"}, QDir::Files).size(), 3);
    const Shown& first = notifications.shown.front();
    EXPECT_EQ(first.summary, "メモを受信しました");
    EXPECT_EQ(first.body, "3 件のメモ: 買い物メモ、会議 15時、地図");
    EXPECT_EQ(first.image, QSize(248, 242)) << "the first memo, 124 × 121, twice as large";
    notifications.Click(1, "open");
    const auto openedFiles = [&] {
        QFile opened(dir.filePath("opened"));
        return opened.open(QIODevice::ReadOnly) ? opened.readAll().count('\n') : 0;
    };
    EXPECT_TRUE(Eventually([&] { return openedFiles() == 3; })) << "開く hands VEXLO the three files";

    // The simulator ended: its line is gone, as an unplugged adapter's. A borrower asks for
    // the port (answered at once: nothing is held) and goes away without giving it back.
    ASSERT_EQ(sim->wait(), 0);
    sim.reset();
    EXPECT_TRUE(Call("Lend").contains("string \"COM1\"")) << "the port of VEXLO.INI";
    ASSERT_TRUE(Eventually([] { return !Call("State").contains("\"lent\""); })) << "taken back";

    // The adapter comes back with three more memos.
    sim = std::make_unique<SimProcess>(dir.path(), QStringList{"send"});
    ASSERT_TRUE(Eventually([&] { return notifications.shown.size() == 2; }))
        << receiver.readAllStandardError().toStdString();
    EXPECT_EQ(memos.entryList({"*.png"}, QDir::Files).size(), 6);
    // The device ends by itself once its exchange is over (never killed as it exits).
    EXPECT_EQ(sim->wait(), 0) << sim->log().toStdString();

    ::kill(pid_t(receiver.processId()), SIGTERM);
    ASSERT_TRUE(receiver.waitForFinished(20000)) << receiver.readAllStandardError().toStdString();
    EXPECT_EQ(receiver.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(receiver.exitCode(), 0);
}

TEST(Receiver, LendsThePortToASendAndTakesItBack)
{
    SessionTestApp();
    QTemporaryDir dir;
    SimProcess sim(dir.path(), {"receive", "--out", dir.filePath("device")});
    const QProcessEnvironment env = Configured(dir, sim);
    const QString& cli = Cli();
    QProcess receiver;
    receiver.setProcessEnvironment(env);
    receiver.start(cli, {"receiver"});
    ASSERT_TRUE(receiver.waitForStarted());
    ASSERT_TRUE(Eventually([] { return Call("State").contains("\"waiting\""); }));

    // The receiver holds the line and waits for the device's call; a send borrows it.
    QImage memo(124, 121, QImage::Format_Mono);
    memo.fill(1);
    memo.setPixel(10, 10, 0);
    ASSERT_TRUE(memo.save(dir.filePath("memo.bmp"), "BMP"));
    QProcess send;
    send.setProcessEnvironment(env);
    send.start(cli, {"send", "--port", "COM1", dir.filePath("memo.bmp"), "--title", "t", "--reading", "t", "--yes"});
    ASSERT_TRUE(Eventually([&] { return send.state() == QProcess::NotRunning; }, 60000));
    EXPECT_EQ(send.exitCode(), 0) << send.readAllStandardError().toStdString()
                                  << receiver.readAllStandardError().toStdString();
    // (The simulator's own end is not waited for: it waits to see the line closed, which the
    // receiver, taking the port back at once, may never let it see.)
    EXPECT_EQ(QDir(dir.filePath("device")).entryList({"*.bmp"}, QDir::Files).size(), 1)
        << "the device has the memo" << sim.log().toStdString();
    EXPECT_TRUE(Eventually([] { return !Call("State").contains("\"lent\""); })) << "given back";

    ::kill(pid_t(receiver.processId()), SIGTERM);
    ASSERT_TRUE(receiver.waitForFinished(20000)) << receiver.readAllStandardError().toStdString();
    EXPECT_EQ(receiver.exitCode(), 0);
}

// The adapter pulled out while the device sends: the exchange ends as failed and the desktop is
// told so, the memos acknowledged before are whole in the library, and when the adapter is
// plugged in again the receiver takes the next memos as if nothing had happened.
TEST(Receiver, AnAdapterPulledMidExchangeFailsThatExchangeOnly)
{
    SessionTestApp();
    QTemporaryDir dir;
    FakeNotifications notifications(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "notifications-2"));
    // Paced at 4800 bit/s, a memo takes about two seconds: long enough to pull the plug between.
    auto sim = std::make_unique<SimProcess>(dir.path(), QStringList{"send", "--baud", "4800"});
    QProcess receiver;
    receiver.setProcessEnvironment(Configured(dir, *sim));
    receiver.start(Cli(), {"receiver"});
    ASSERT_TRUE(receiver.waitForStarted());

    const QDir memos(dir.filePath("data/vexlo/memos"));
    const auto stored = [&] { return memos.entryList({"*.png"}, QDir::Files); };
    ASSERT_TRUE(Eventually([&] { return stored().size() == 1; })) << receiver.readAllStandardError().toStdString();
    // Unplugged: the line hangs up and the device node goes away.
    const QString node = sim->link();
    sim.reset();
    QFile::remove(node);

    ASSERT_TRUE(Eventually([&] { return notifications.shown.size() == 2; }))
        << receiver.readAllStandardError().toStdString();
    EXPECT_EQ(notifications.shown[0].summary, "メモを受信しました");
    EXPECT_EQ(notifications.shown[1].summary, "メモを受信できませんでした");
    EXPECT_TRUE(notifications.shown[1].body.contains("QM-10 に残っています")) << notifications.shown[1].body.toStdString();
    const QStringList before = stored();
    ASSERT_GE(before.size(), 1);
    ASSERT_LE(before.size(), 2) << "the third memo cannot have come";
    for (const QString& name : before)
        EXPECT_FALSE(QImage(memos.filePath(name)).isNull()) << name.toStdString();
    EXPECT_TRUE(memos.entryList({".*.part"}, QDir::Files | QDir::Hidden).isEmpty()) << "no piece of a memo left";
    ASSERT_TRUE(Eventually([] { return Call("State").contains("\"absent\""); })) << "waiting for the adapter";
    // Asked for the port meanwhile, it answers at once (nothing is held), and takes it back.
    EXPECT_TRUE(Call("Lend").contains("string \"COM1\"")) << "answered while the adapter is away";

    // Plugged in and pulled again while the device is quiet: no memo was on its way, so the
    // desktop hears nothing.
    sim = std::make_unique<SimProcess>(dir.path(), QStringList{"receive", "--out", dir.filePath("unused")});
    ASSERT_TRUE(Eventually([&] { return HasOpen(receiver.processId(), sim->link()); }))
        << receiver.readAllStandardError().toStdString() << Call("State").toStdString();
    sim.reset();
    QFile::remove(node);
    ASSERT_TRUE(Eventually([] { return Call("State").contains("\"absent\""); }));
    EXPECT_EQ(notifications.shown.size(), 2u);

    sim = std::make_unique<SimProcess>(dir.path(), QStringList{"send"});
    ASSERT_TRUE(Eventually([&] { return notifications.shown.size() == 3; }))
        << receiver.readAllStandardError().toStdString();
    // The device starts again from its first sample. When that was the only memo stored before
    // the plug was pulled, nothing came from the device after its "#": it may never have heard
    // it, and the same memo coming first is taken for the one sent again (not stored twice).
    const bool sentAgain = before.size() == 1;
    EXPECT_EQ(notifications.shown[2].body,
              sentAgain ? "2 件のメモ: 会議 15時、地図" : "3 件のメモ: 買い物メモ、会議 15時、地図");
    EXPECT_EQ(stored().size(), before.size() + (sentAgain ? 2 : 3));
    EXPECT_EQ(sim->wait(), 0) << sim->log().toStdString();

    ::kill(pid_t(receiver.processId()), SIGTERM);
    ASSERT_TRUE(receiver.waitForFinished(20000)) << receiver.readAllStandardError().toStdString();
    EXPECT_EQ(receiver.exitCode(), 0);
}

// A borrower killed in the middle of its exchange (kill -9: no Return, its lock file left
// behind): the receiver sees its bus name go, takes the port back and holds the line again.
TEST(Receiver, TakesThePortBackFromABorrowerKilledMidExchange)
{
    SessionTestApp();
    QTemporaryDir dir;
    // A device that never answers the PC's call: the send that borrowed the port waits on it.
    SimProcess sim(dir.path(), {"receive", "--loop", "--silent", "--out", dir.filePath("device")});
    const QProcessEnvironment env = Configured(dir, sim);
    const QString& cli = Cli();
    QProcess receiver;
    receiver.setProcessEnvironment(env);
    receiver.start(cli, {"receiver"});
    ASSERT_TRUE(receiver.waitForStarted());
    ASSERT_TRUE(Eventually([&] { return HasOpen(receiver.processId(), sim.link()); }));

    QImage memo(16, 16, QImage::Format_Mono);
    memo.fill(1);
    ASSERT_TRUE(memo.save(dir.filePath("memo.bmp"), "BMP"));
    QProcess send;
    send.setProcessEnvironment(env);
    send.start(cli, {"send", "--port", "COM1", dir.filePath("memo.bmp"), "--title", "t", "--reading", "t", "--yes"});
    ASSERT_TRUE(Eventually([&] { return HasOpen(send.processId(), sim.link()); }))
        << send.readAllStandardError().toStdString() << receiver.readAllStandardError().toStdString();
    EXPECT_TRUE(Call("State").contains("\"lent\""));
    ::kill(pid_t(send.processId()), SIGKILL);
    ASSERT_TRUE(send.waitForFinished(20000));

    EXPECT_TRUE(Eventually([] { return !Call("State").contains("\"lent\""); })) << "taken back";
    EXPECT_TRUE(Eventually([&] { return HasOpen(receiver.processId(), sim.link()); }))
        << "the receiver holds the line again\n" << receiver.readAllStandardError().toStdString();

    ::kill(pid_t(receiver.processId()), SIGTERM);
    ASSERT_TRUE(receiver.waitForFinished(20000)) << receiver.readAllStandardError().toStdString();
    EXPECT_EQ(receiver.exitCode(), 0);
}
