#include "session/ReceiverUnit.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>

namespace session {

namespace {

constexpr char kManagerService[] = "org.freedesktop.systemd1";
constexpr char kManagerPath[] = "/org/freedesktop/systemd1";
constexpr char kManagerInterface[] = "org.freedesktop.systemd1.Manager";
constexpr int kCallMs = 10000;

QDBusMessage ManagerCall(const char* method)
{
    return QDBusMessage::createMethodCall(kManagerService, kManagerPath, kManagerInterface, QString::fromLatin1(method));
}

// Calls the manager; on failure puts its reason into ERROR.
bool Call(QDBusConnection& bus, const QDBusMessage& call, QString* error)
{
    const QDBusMessage answer = bus.call(call, QDBus::Block, kCallMs);
    if (answer.type() == QDBusMessage::ReplyMessage)
        return true;
    if (error)
        *error = answer.errorMessage().isEmpty() ? answer.errorName() : answer.errorMessage();
    return false;
}

}  // namespace

ReceiverUnit::ReceiverUnit(QDBusConnection bus) : bus_(std::move(bus)) {}

QString ReceiverUnit::unitFileState() const
{
    QDBusMessage call = ManagerCall("GetUnitFileState");
    call << QString::fromLatin1(kReceiverUnit);
    const QDBusReply<QString> state = bus_.call(call, QDBus::Block, kCallMs);
    return state.isValid() ? state.value() : QString();
}

QString ReceiverUnit::Unavailable() const
{
    if (!bus_.isConnected() || !bus_.interface()->isServiceRegistered(kManagerService).value())
        return QStringLiteral("systemd のユーザーマネージャーがないため使えません。"
                              "vexlo-cli receiver を自分で起動すれば自動受信できます。");
    if (unitFileState().isEmpty())
        return QStringLiteral("vexlo-receiver.service がインストールされていないため使えません。");
    return {};
}

bool ReceiverUnit::Enabled() const
{
    return unitFileState() == QLatin1String("enabled");
}

bool ReceiverUnit::SetEnabled(bool on, QString* error)
{
    const QStringList units{QString::fromLatin1(kReceiverUnit)};
    if (on) {
        QDBusMessage enable = ManagerCall("EnableUnitFiles");
        enable << units << false << false;  // not only for this boot; no force
        // Restarted when it runs: it reads the port and line settings of VEXLO.INI anew.
        QDBusMessage start = ManagerCall("RestartUnit");
        start << units.first() << QStringLiteral("replace");
        return Call(bus_, enable, error) && Call(bus_, ManagerCall("Reload"), error) && Call(bus_, start, error);
    }
    QDBusMessage stop = ManagerCall("StopUnit");
    stop << units.first() << QStringLiteral("replace");
    QDBusMessage disable = ManagerCall("DisableUnitFiles");
    disable << units << false;
    return Call(bus_, stop, error) && Call(bus_, disable, error) && Call(bus_, ManagerCall("Reload"), error);
}

}  // namespace session
