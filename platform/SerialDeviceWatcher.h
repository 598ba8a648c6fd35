// SerialDeviceWatcher — tells when serial devices come and go, so a list of them can follow.
//
// Contract
//   start()    watches the device folders of SerialDeviceRoots() (/dev, /dev/serial and
//              /dev/serial/by-id, those that exist) through the kernel's file notifications
//              (inotify): nothing is read while nothing changes. A folder that appears later
//              (/dev/serial comes with the first USB adapter) is watched from then on.
//   stop()     ends the watch; no changed() follows. start() again picks up the roots anew.
//   changed()  emitted once, 200 ms after the last of a burst of changes: the kernel makes a
//              new adapter's node first, and udev its by-id name and its description a moment
//              later. An adapter plugged in or pulled out thus shows well within a second.
#pragma once

#include <QObject>
#include <QTimer>

class QFileSystemWatcher;

namespace platform {

class SerialDeviceWatcher : public QObject {
    Q_OBJECT
public:
    explicit SerialDeviceWatcher(QObject* parent = nullptr);

    void start();
    void stop();
    bool active() const { return watcher_ != nullptr; }

signals:
    void changed();

private:
    void rewatch();

    QFileSystemWatcher* watcher_ = nullptr;
    QTimer settle_;
};

}  // namespace platform
