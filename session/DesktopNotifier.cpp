#include "session/DesktopNotifier.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace session {

namespace {

constexpr char kInterface[] = "org.freedesktop.Notifications";
// A service that has not answered within this time is given up on; the exchange never waits.
constexpr int kCallTimeoutMs = 5000;
constexpr size_t kMaxOpenable = 64;  // notifications whose 開く still opens their memos
constexpr int kImageSide = 256;

// The hint "image-data": (iiibiiay) width, height, row stride, alpha, bits a sample, channels,
// the pixels.
QDBusArgument ImageHint(const QImage& rgb)
{
    QDBusArgument arg;
    arg.beginStructure();
    arg << rgb.width() << rgb.height() << int(rgb.bytesPerLine()) << false << 8 << 3
        << QByteArray(reinterpret_cast<const char*>(rgb.constBits()), int(rgb.sizeInBytes()));
    arg.endStructure();
    return arg;
}

}  // namespace

DesktopNotifier::DesktopNotifier(QObject* parent) : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    connected_ = true;
    bus.connect(kNotificationsService, kNotificationsPath, kInterface, "ActionInvoked", this,
                SLOT(actionInvoked(uint, QString)));
    bus.connect(kNotificationsService, kNotificationsPath, kInterface, "NotificationClosed", this,
                SLOT(notificationClosed(uint, uint)));
}

bool DesktopNotifier::Available() const
{
    return connected_;
}

QString DesktopNotifier::ReceivedSummary(const ArrivalNotice&)
{
    return QStringLiteral("メモを受信しました");
}

QString DesktopNotifier::ReceivedBody(const ArrivalNotice& notice)
{
    QStringList titles;
    for (const QString& title : notice.titles)
        titles << (title.isEmpty() ? QStringLiteral("(タイトルなし)") : title);
    return QStringLiteral("%1 件のメモ: %2").arg(notice.files.size()).arg(titles.join(QStringLiteral("、")));
}

QImage DesktopNotifier::NotificationImage(const QImage& picture)
{
    if (picture.isNull())
        return {};
    const int longest = std::max(picture.width(), picture.height());
    const int factor = std::max(1, kImageSide / std::max(1, longest));
    // Nearest pixel: a memo's strokes stay sharp instead of turning grey at their edges.
    return picture.convertToFormat(QImage::Format_RGB888)
        .scaled(picture.size() * factor, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

void DesktopNotifier::NotifyReceived(const ArrivalNotice& notice)
{
    if (notice.files.isEmpty())
        return;
    send(ReceivedSummary(notice), ReceivedBody(notice).toHtmlEscaped(), NotificationImage(notice.firstPicture),
         notice.files);
}

void DesktopNotifier::NotifyFailed(const QString& cause, const QString& stillOnDevice)
{
    QString body = cause;
    if (!stillOnDevice.isEmpty())
        body += QLatin1Char('\n') + stillOnDevice;
    send(QStringLiteral("メモを受信できませんでした"), body.toHtmlEscaped(), QImage(), {});
}

void DesktopNotifier::send(const QString& summary, const QString& body, const QImage& image,
                           const QStringList& files)
{
    if (!connected_)
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(kNotificationsService, kNotificationsPath, kInterface,
                                                       QStringLiteral("Notify"));
    QStringList actions;
    if (!files.isEmpty())
        actions << QStringLiteral("default") << QStringLiteral("開く") << kOpenAction << QStringLiteral("開く");
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("vexlo"));
    hints.insert(QStringLiteral("category"),
                 files.isEmpty() ? QStringLiteral("transfer.error") : QStringLiteral("transfer.complete"));
    if (!image.isNull())
        hints.insert(QStringLiteral("image-data"), QVariant::fromValue(ImageHint(image)));
    call << QStringLiteral("VEXLO") << uint(0) << QStringLiteral("vexlo") << summary << body << actions << hints
         << int(-1);
    ++pendingCalls_;
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, files](QDBusPendingCallWatcher* w) { answered(w, files); });
}

void DesktopNotifier::answered(QDBusPendingCallWatcher* call, const QStringList& files)
{
    --pendingCalls_;
    call->deleteLater();
    const QDBusPendingReply<uint> reply = *call;
    if (reply.isError())
        return;  // no service, or one that refused: the memos are stored all the same
    const uint id = reply.value();
    if (!files.isEmpty()) {
        openable_[id] = files;
        // A service that never says a notification was closed must not grow a receiver that
        // runs for months: the oldest notifications stop opening their memos.
        while (openable_.size() > kMaxOpenable)
            openable_.erase(openable_.begin());
    }
    emit Shown(id);
}

void DesktopNotifier::actionInvoked(uint id, const QString& actionKey)
{
    const auto it = openable_.find(id);
    if (it == openable_.end())
        return;  // another program's notification
    if (actionKey == QLatin1String(kOpenAction) || actionKey == QLatin1String("default"))
        emit OpenRequested(it->second);
}

void DesktopNotifier::notificationClosed(uint id, uint)
{
    openable_.erase(id);
}

}  // namespace session
