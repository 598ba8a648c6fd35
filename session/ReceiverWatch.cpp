#include "session/ReceiverWatch.h"

#include "session/ReceiverBus.h"

#include <QDBusServiceWatcher>

namespace session {

ReceiverWatch::ReceiverWatch(QDBusConnection bus, QObject* parent) : QObject(parent), bus_(std::move(bus))
{
    if (!bus_.isConnected())
        return;
    watcher_ = new QDBusServiceWatcher(QString::fromLatin1(kReceiverService), bus_,
                                       QDBusServiceWatcher::WatchForRegistration |
                                           QDBusServiceWatcher::WatchForUnregistration,
                                       this);
    connect(watcher_, &QDBusServiceWatcher::serviceRegistered, this, [this] { emit Changed(Line()); });
    connect(watcher_, &QDBusServiceWatcher::serviceUnregistered, this, [this] { emit Changed(QString()); });
}

QString ReceiverWatch::Line() const
{
    return bus_.isConnected() ? ReceiverStatusLine(bus_) : QString();
}

}  // namespace session
