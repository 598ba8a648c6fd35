// The receiver's systemd user unit, switched on and off through the user's service manager on
// the session bus (org.freedesktop.systemd1), as `systemctl --user enable --now
// vexlo-receiver` and `disable --now` would.
//
// Where no service manager answers on the bus (a container, another init) or the unit is not
// installed, Unavailable() says why and nothing is switched.
#pragma once

#include <QDBusConnection>
#include <QString>

namespace session {

inline constexpr char kReceiverUnit[] = "vexlo-receiver.service";

class ReceiverUnit {
public:
    explicit ReceiverUnit(QDBusConnection bus = QDBusConnection::sessionBus());

    // Empty when the switch can be used; otherwise why not, in Japanese, for the options
    // dialog.
    QString Unavailable() const;
    // True when the unit is enabled (it starts with the session).
    bool Enabled() const;
    // Enables and (re)starts the unit, or stops and disables it. False, with the manager's reason
    // in ERROR, when that fails; what did happen stays (a unit enabled but not started).
    bool SetEnabled(bool on, QString* error = nullptr);

private:
    QString unitFileState() const;

    QDBusConnection bus_;
};

}  // namespace session
