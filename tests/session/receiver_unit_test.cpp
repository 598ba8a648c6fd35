// The 自動受信 switch against a service manager of the test's own on the private bus: the calls
// systemctl --user enable --now / disable --now make, in their order, and what the switch says
// where there is no manager or no unit.
#include "session/ReceiverUnit.h"

#include "support/PrivateSessionBus.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <gtest/gtest.h>

namespace {

class FakeManager : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.systemd1.Manager")
public:
    explicit FakeManager(QDBusConnection bus) : bus_(bus)
    {
        bus_.registerObject("/org/freedesktop/systemd1", this, QDBusConnection::ExportAllSlots);
        bus_.registerService("org.freedesktop.systemd1");
    }
    ~FakeManager() override
    {
        bus_.unregisterService("org.freedesktop.systemd1");
        bus_.unregisterObject("/org/freedesktop/systemd1");
    }
    QStringList calls;
    QString state = "disabled";  // empty: no such unit
    QString failStart;

public slots:
    QString GetUnitFileState(const QString& unit)
    {
        if (state.isEmpty() || unit != "vexlo-receiver.service")
            sendErrorReply("org.freedesktop.systemd1.NoSuchUnit", "No such file or directory");
        return state;
    }
    void EnableUnitFiles(const QStringList& units, bool runtime, bool force)
    {
        calls << QString("enable %1 %2 %3").arg(units.join(',')).arg(runtime).arg(force);
        state = "enabled";
    }
    void DisableUnitFiles(const QStringList& units, bool runtime)
    {
        calls << QString("disable %1 %2").arg(units.join(',')).arg(runtime);
        state = "disabled";
    }
    void Reload() { calls << "reload"; }
    QDBusObjectPath RestartUnit(const QString& unit, const QString& mode)
    {
        calls << "restart " + unit + " " + mode;
        if (!failStart.isEmpty())
            sendErrorReply("org.freedesktop.systemd1.UnitMasked", failStart);
        return QDBusObjectPath("/org/freedesktop/systemd1/job/1");
    }
    QDBusObjectPath StopUnit(const QString& unit, const QString& mode)
    {
        calls << "stop " + unit + " " + mode;
        return QDBusObjectPath("/org/freedesktop/systemd1/job/2");
    }

private:
    QDBusConnection bus_;
};

// Runs F on another thread with a connection of its own, while this thread answers as the
// manager.
template <class F>
auto AsClient(const char* name, F f)
{
    auto result = QtConcurrent::run([=] {
        return f(session::ReceiverUnit(QDBusConnection::connectToBus(QDBusConnection::SessionBus, name)));
    });
    QDeadlineTimer deadline(20000);
    while (!result.isFinished() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return result.result();
}

QDBusConnection Manager()
{
    SessionTestApp();
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, "fake-systemd");
}

}  // namespace

TEST(ReceiverUnit, TheSwitchEnablesAndStartsThenStopsAndDisables)
{
    FakeManager manager(Manager());
    EXPECT_EQ(AsClient("unit-1", [](session::ReceiverUnit unit) { return unit.Unavailable(); }), "");
    EXPECT_FALSE(AsClient("unit-2", [](session::ReceiverUnit unit) { return unit.Enabled(); }));

    EXPECT_TRUE(AsClient("unit-3", [](session::ReceiverUnit unit) { return unit.SetEnabled(true); }));
    EXPECT_EQ(manager.calls, (QStringList{"enable vexlo-receiver.service 0 0", "reload",
                                          "restart vexlo-receiver.service replace"}));
    EXPECT_TRUE(AsClient("unit-4", [](session::ReceiverUnit unit) { return unit.Enabled(); }));

    manager.calls.clear();
    EXPECT_TRUE(AsClient("unit-5", [](session::ReceiverUnit unit) { return unit.SetEnabled(false); }));
    EXPECT_EQ(manager.calls, (QStringList{"stop vexlo-receiver.service replace", "disable vexlo-receiver.service 0",
                                          "reload"}));

    manager.failStart = "Unit vexlo-receiver.service is masked.";
    const QString why = AsClient("unit-6", [](session::ReceiverUnit unit) {
        QString error;
        return unit.SetEnabled(true, &error) ? QString() : error;
    });
    EXPECT_EQ(why, "Unit vexlo-receiver.service is masked.") << "the manager's reason is passed on";
}

TEST(ReceiverUnit, WithoutAManagerOrAUnitTheSwitchSaysWhy)
{
    {
        FakeManager manager(Manager());
        manager.state.clear();
        EXPECT_TRUE(AsClient("unit-7", [](session::ReceiverUnit unit) { return unit.Unavailable(); })
                        .contains("インストールされていない"));
    }
    EXPECT_TRUE(AsClient("unit-8", [](session::ReceiverUnit unit) { return unit.Unavailable(); })
                    .contains("ユーザーマネージャーがない"));
}

#include "receiver_unit_test.moc"
