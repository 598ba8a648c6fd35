// A notification service of the test's own (org.freedesktop.Notifications on the private
// bus): records what it is asked to show, answers with ids 1, 2, ..., and clicks an action.
#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QSize>
#include <QStringList>
#include <QVariantMap>

#include <vector>

struct Shown {
    QString summary, body;
    QStringList actions;
    QSize image;
    int channels = 0;
    QByteArray pixels;
};

// The notification service: records what it is asked to show, answers with ids 1, 2, ...
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    explicit FakeNotifications(QDBusConnection bus) : bus_(bus)
    {
        bus_.registerObject("/org/freedesktop/Notifications", this, QDBusConnection::ExportAllSlots);
        bus_.registerService("org.freedesktop.Notifications");
    }
    ~FakeNotifications() override
    {
        bus_.unregisterService("org.freedesktop.Notifications");
        bus_.unregisterObject("/org/freedesktop/Notifications");
    }
    std::vector<Shown> shown;

    void Click(uint id, const QString& key)
    {
        QDBusMessage signal = QDBusMessage::createSignal("/org/freedesktop/Notifications",
                                                         "org.freedesktop.Notifications", "ActionInvoked");
        signal << id << key;
        bus_.send(signal);
    }

public slots:
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
                const QStringList& actions, const QVariantMap& hints, int)
    {
        Shown s{summary, body, actions, {}, 0, {}};
        if (hints.contains("image-data")) {
            const QDBusArgument arg = hints.value("image-data").value<QDBusArgument>();
            int w = 0, h = 0, stride = 0, bits = 0;
            bool alpha = true;
            arg.beginStructure();
            arg >> w >> h >> stride >> alpha >> bits >> s.channels >> s.pixels;
            arg.endStructure();
            s.image = QSize(w, h);
        }
        shown.push_back(s);
        return uint(shown.size());
    }

private:
    QDBusConnection bus_;
};

