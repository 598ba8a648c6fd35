// Desktop notifications through the freedesktop notification service on the session bus
// (org.freedesktop.Notifications), for memos that arrived while nobody watched.
//
// Every call returns at once: the message is queued on the bus and its answer is read when it
// comes, so a notification service that is missing, slow or broken never delays an exchange.
// Without a session bus the notifier does nothing (Available() is false). A click on a
// notification's 開く action emits OpenRequested with the files that notification named.
#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>

#include <map>

class QDBusPendingCallWatcher;

namespace session {

inline constexpr char kNotificationsService[] = "org.freedesktop.Notifications";
inline constexpr char kNotificationsPath[] = "/org/freedesktop/Notifications";
// The action key of 開く, as the notification carries it.
inline constexpr char kOpenAction[] = "open";

// What one exchange brought: the stored files, their titles as the device gave them (empty
// for a memo without one), and the first memo's picture.
struct ArrivalNotice {
    QStringList files;
    QStringList titles;
    QImage firstPicture;
};

class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    explicit DesktopNotifier(QObject* parent = nullptr);

    // False when there is no session bus to send to.
    bool Available() const;

    // メモを受信しました: the count and the titles, the first picture as the notification's
    // image (enlarged with sharp pixels), and the action 開く. Nothing for an empty notice.
    void NotifyReceived(const ArrivalNotice& notice);
    // An exchange that failed: CAUSE in the body, and STILLONDEVICE (what the device still
    // holds) after it.
    void NotifyFailed(const QString& cause, const QString& stillOnDevice);

    // The summary and body NotifyReceived sends for NOTICE (so that tests and the man page see
    // the same text).
    static QString ReceivedSummary(const ArrivalNotice& notice);
    static QString ReceivedBody(const ArrivalNotice& notice);
    // PICTURE enlarged by a whole factor (nearest pixel) to about 256 pixels across, as
    // 32-bit RGB: what the notification shows.
    static QImage NotificationImage(const QImage& picture);

    // Notifications sent whose answer has not come yet (tests wait for 0).
    int PendingCalls() const { return pendingCalls_; }

signals:
    void OpenRequested(const QStringList& files);
    // The service answered a notification with its id (tests; the man page's example).
    void Shown(uint id);

private slots:
    void actionInvoked(uint id, const QString& actionKey);
    void notificationClosed(uint id, uint reason);

private:
    void send(const QString& summary, const QString& body, const QImage& image, const QStringList& files);
    void answered(QDBusPendingCallWatcher* call, const QStringList& files);

    bool connected_ = false;
    int pendingCalls_ = 0;
    std::map<uint, QStringList> openable_;  // notification id -> the files 開く opens
};

}  // namespace session
