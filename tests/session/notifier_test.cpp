// Desktop notifications against a notification service of the test's own on a private bus:
// what the service is sent (summary, body, actions, the picture), what 開く does, and that a
// missing service costs nothing.
#include "session/DesktopNotifier.h"

#include "support/FakeNotifications.h"
#include "support/PrivateSessionBus.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QVariantMap>

#include <gtest/gtest.h>

#include <functional>

namespace {


bool WaitFor(const std::function<bool()>& done)
{
    QDeadlineTimer deadline(20000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return done();
}

QDBusConnection ServiceConnection()
{
    SessionTestApp();
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, "fake-notifications");
}

QImage Memo(int width, int height)
{
    QImage memo(width, height, QImage::Format_Mono);
    memo.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    memo.fill(0);
    memo.setPixel(0, 0, 1);
    return memo;
}

}  // namespace

TEST(DesktopNotifier, TellsTheServiceWhatArrivedAndItsPicture)
{
    FakeNotifications service(ServiceConnection());
    session::DesktopNotifier notifier;
    ASSERT_TRUE(notifier.Available());

    struct Case {
        QStringList titles;
        QSize memo, image;
        QString body;
    } const cases[] = {
        {{"買い物メモ"}, {124, 121}, {248, 242}, "1 件のメモ: 買い物メモ"},
        {{"会議 <15時>", ""}, {124, 93}, {248, 186}, "2 件のメモ: 会議 &lt;15時&gt;、(タイトルなし)"},
        {{"a"}, {16, 300}, {16, 300}, "1 件のメモ: a"},
    };
    for (const Case& c : cases) {
        session::ArrivalNotice notice;
        for (int i = 0; i < c.titles.size(); ++i)
            notice.files << QStringLiteral("/memos/%1.png").arg(i);
        notice.titles = c.titles;
        notice.firstPicture = Memo(c.memo.width(), c.memo.height());
        const size_t before = service.shown.size();
        notifier.NotifyReceived(notice);
        ASSERT_TRUE(WaitFor([&] { return service.shown.size() == before + 1; })) << c.body.toStdString();
        const Shown& s = service.shown.back();
        EXPECT_EQ(s.summary, "メモを受信しました");
        EXPECT_EQ(s.body, c.body);
        EXPECT_TRUE(s.actions.contains("open")) << "the action 開く";
        EXPECT_EQ(s.actions.at(s.actions.indexOf("open") + 1), "開く");
        EXPECT_EQ(s.image, c.image) << "enlarged by a whole factor";
        EXPECT_EQ(s.channels, 3);
        ASSERT_GE(s.pixels.size(), 3 * c.image.width() * c.image.height());
        // The memo's pixel (0, 0) is black and stays a sharp square: the whole first factor × factor block.
        const int factor = c.image.width() / c.memo.width();
        const int stride = s.pixels.size() / c.image.height();
        EXPECT_EQ(uchar(s.pixels[(factor - 1) * stride + 3 * (factor - 1)]), 0);
        EXPECT_EQ(uchar(s.pixels[3 * factor]), 255) << "the next memo pixel is white";
    }
}

TEST(DesktopNotifier, OpenOpensTheFilesOfThatNotificationOnly)
{
    FakeNotifications service(ServiceConnection());
    session::DesktopNotifier notifier;
    QSignalSpy shown(&notifier, &session::DesktopNotifier::Shown);
    QSignalSpy open(&notifier, &session::DesktopNotifier::OpenRequested);
    notifier.NotifyReceived({{"/m/a.png", "/m/b.png"}, {"a", "b"}, Memo(8, 8)});
    notifier.NotifyFailed("回線が切れました", "このメモは QM-10 に残っています。");
    ASSERT_TRUE(WaitFor([&] { return shown.count() == 2; }));
    const uint received = shown.at(0).at(0).toUInt(), failed = shown.at(1).at(0).toUInt();
    EXPECT_TRUE(service.shown.back().actions.isEmpty()) << "a failure offers nothing to open";
    EXPECT_TRUE(service.shown.back().body.contains("QM-10 に残っています"));

    service.Click(failed, "open");
    service.Click(received + 100, "open");  // another program's notification
    service.Click(received, "open");
    ASSERT_TRUE(WaitFor([&] { return open.count() >= 1; }));
    QCoreApplication::processEvents();
    ASSERT_EQ(open.count(), 1);
    EXPECT_EQ(open.at(0).at(0).toStringList(), (QStringList{"/m/a.png", "/m/b.png"}));
}

TEST(DesktopNotifier, WithoutAServiceNothingIsShownAndNothingWaits)
{
    ServiceConnection();
    session::DesktopNotifier notifier;
    QSignalSpy shown(&notifier, &session::DesktopNotifier::Shown);
    notifier.NotifyReceived({{"/m/a.png"}, {"a"}, Memo(8, 8)});
    EXPECT_EQ(notifier.PendingCalls(), 1) << "sent, not waited for";
    ASSERT_TRUE(WaitFor([&] { return notifier.PendingCalls() == 0; }));
    EXPECT_EQ(shown.count(), 0);
}

