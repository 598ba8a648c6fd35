// Follows the receiver from another program (VEXLO's status bar): Changed(line) whenever a
// receiver starts or ends in the session, with "自動受信中 (COM1)" while one runs and an empty
// line when none does. Nothing is polled: the bus reports names that come and go.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

class QDBusServiceWatcher;

namespace session {

class ReceiverWatch : public QObject {
    Q_OBJECT
public:
    explicit ReceiverWatch(QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);

    // The line as it stands now (asks the receiver once).
    QString Line() const;

signals:
    void Changed(const QString& line);

private:
    QDBusConnection bus_;
    QDBusServiceWatcher* watcher_ = nullptr;
};

}  // namespace session
