#include "platform/SerialDeviceWatcher.h"

#include "platform/SerialDevices.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>

namespace platform {

SerialDeviceWatcher::SerialDeviceWatcher(QObject* parent) : QObject(parent)
{
    settle_.setSingleShot(true);
    settle_.setInterval(200);
    connect(&settle_, &QTimer::timeout, this, [this] {
        rewatch();
        emit changed();
    });
}

void SerialDeviceWatcher::start()
{
    stop();
    watcher_ = new QFileSystemWatcher(this);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, [this] {
        rewatch();  // a by-id folder that just appeared is watched before udev fills it
        settle_.start();
    });
    rewatch();
}

void SerialDeviceWatcher::stop()
{
    settle_.stop();
    delete watcher_;
    watcher_ = nullptr;
}

void SerialDeviceWatcher::rewatch()
{
    if (!watcher_)
        return;
    const SerialRoots roots = SerialDeviceRoots();
    const QString byId = QString::fromStdString(roots.ById);
    QStringList wanted;
    for (const QString& folder : {QString::fromStdString(roots.Dev), QFileInfo(byId).path(), byId})
        if (QFileInfo(folder).isDir() && !watcher_->directories().contains(folder))
            wanted << folder;
    if (!wanted.isEmpty())
        watcher_->addPaths(wanted);
}

}  // namespace platform
