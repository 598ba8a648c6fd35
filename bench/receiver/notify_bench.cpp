// What a notification of arrived memos costs the receiver: session::DesktopNotifier telling the
// desktop about an exchange of three memos (メモを受信しました, the titles, the first memo's
// picture of 124 x 121 enlarged, the action 開く), measured as CPU time of this process.
//
//   notify_bench [ROUNDS]     (default 40)
//   notify_bench service      only the notification service, on the session bus of the
//                             environment, until killed (bench/receiver/receiver_bench.py)
//
// The measure runs on a session bus of its own (a dbus-daemon that activates nothing, so no
// desktop's notification server is started and nothing pops up) and its notification service
// is a second process, this program as "service": the service's and the bus daemon's CPU time
// are the desktop's, not the receiver's. For each notification it reads:
//   call     the thread CPU time of NotifyReceived itself (CLOCK_THREAD_CPUTIME_ID): what the
//            receiver's own thread spends before the exchange loop goes on;
//   in all   the process CPU time (CLOCK_PROCESS_CPUTIME_ID: every thread, QtDBus's own
//            included) from the call until the service's answer has been handled;
// with the service there (it answers with an id) and without it (the bus answers with an
// error at once), medians over ROUNDS, the first notification of the process apart.
#include "session/DesktopNotifier.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QVariantMap>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <vector>

namespace {

double cpuMs(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double wallMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The notification service: answers Notify with ids 1, 2, ... and prints a line for each.
class NotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public slots:
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString&,
                const QStringList& actions, const QVariantMap& hints, int)
    {
        QSize image;
        if (hints.contains(QStringLiteral("image-data"))) {
            const QDBusArgument arg = hints.value(QStringLiteral("image-data")).value<QDBusArgument>();
            int w = 0, h = 0, stride = 0, bits = 0, channels = 0;
            bool alpha = false;
            QByteArray pixels;
            arg.beginStructure();
            arg >> w >> h >> stride >> alpha >> bits >> channels >> pixels;
            arg.endStructure();
            image = QSize(w, h);
        }
        const QByteArray size =
            image.isValid() ? QByteArray::number(image.width()) + 'x' + QByteArray::number(image.height()) : "none";
        std::printf("Notify %u %s image %s actions %lld\n", ++shown_, summary.toUtf8().constData(),
                    size.constData(), static_cast<long long>(actions.size()));
        std::fflush(stdout);
        return shown_;
    }
    QStringList GetCapabilities() const
    {
        return {QStringLiteral("actions"), QStringLiteral("body"), QStringLiteral("body-markup")};
    }
    void CloseNotification(uint) {}

private:
    uint shown_ = 0;
};

int RunService(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    NotificationService service;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "notify_bench service: no session bus\n");
        return 3;
    }
    if (!bus.registerObject(session::kNotificationsPath, &service, QDBusConnection::ExportAllSlots)
        || !bus.registerService(session::kNotificationsService)) {
        std::fprintf(stderr, "notify_bench service: %s is taken\n", session::kNotificationsService);
        return 3;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}

// A session bus of the measure's own, with no services to activate.
class PrivateBus {
public:
    bool Start()
    {
        if (!dir_.isValid())
            return false;
        QFile config(dir_.filePath(QStringLiteral("bus.conf")));
        if (!config.open(QIODevice::WriteOnly))
            return false;
        config.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                     " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                     "<busconfig><type>session</type><listen>unix:dir=" + dir_.path().toUtf8()
                     + "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                       "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                       "<allow own=\"*\"/></policy></busconfig>\n");
        config.close();
        daemon_.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + config.fileName(),
                                                     QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        QByteArray address;
        while (!address.contains('\n') && daemon_.waitForReadyRead(10000))
            address += daemon_.readAllStandardOutput();
        address = address.trimmed();
        if (address.isEmpty())
            return false;
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        return true;
    }
    ~PrivateBus()
    {
        daemon_.terminate();
        daemon_.waitForFinished();
    }

private:
    QTemporaryDir dir_;
    QProcess daemon_;
};

struct Figures {
    double firstCall = 0, firstAll = 0;
    std::vector<double> call, all, answered;
    int shown = 0;
};

Figures Measure(session::DesktopNotifier& notifier, const session::ArrivalNotice& notice, int rounds)
{
    Figures f;
    QObject::connect(&notifier, &session::DesktopNotifier::Shown, [&](uint) { ++f.shown; });
    for (int i = 0; i <= rounds; ++i) {
        const double process0 = cpuMs(CLOCK_PROCESS_CPUTIME_ID);
        const double thread0 = cpuMs(CLOCK_THREAD_CPUTIME_ID);
        const double wall0 = wallMs();
        notifier.NotifyReceived(notice);
        const double call = cpuMs(CLOCK_THREAD_CPUTIME_ID) - thread0;
        while (notifier.PendingCalls() > 0)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double all = cpuMs(CLOCK_PROCESS_CPUTIME_ID) - process0;
        if (i == 0) {
            f.firstCall = call;
            f.firstAll = all;
            continue;
        }
        f.call.push_back(call);
        f.all.push_back(all);
        f.answered.push_back(wallMs() - wall0);
    }
    QObject::disconnect(&notifier, &session::DesktopNotifier::Shown, nullptr, nullptr);
    return f;
}

// The first of the simulator's sample memos stands in: 124 x 121, one bit a pixel, strokes.
QImage MemoPicture()
{
    QImage picture(124, 121, QImage::Format_Mono);
    picture.fill(1);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> x(0, 123), y(0, 120);
    for (int stroke = 0; stroke < 40; ++stroke) {
        int px = x(rng), py = y(rng);
        for (int step = 0; step < 30; ++step) {
            picture.setPixel(px, py, 0);
            px = std::clamp(px + int(rng() % 3) - 1, 0, 123);
            py = std::clamp(py + int(rng() % 3) - 1, 0, 120);
        }
    }
    return picture;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && QByteArray(argv[1]) == "service")
        return RunService(argc, argv);
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 40;
    if (rounds < 1) {
        std::fprintf(stderr, "usage: notify_bench [ROUNDS] | notify_bench service\n");
        return 2;
    }
    QCoreApplication app(argc, argv);
    PrivateBus bus;
    if (!bus.Start()) {
        std::fprintf(stderr, "notify_bench: cannot start a dbus-daemon of its own\n");
        return 3;
    }

    session::ArrivalNotice notice;
    notice.files = {QStringLiteral("/home/user/.local/share/vexlo/memos/2026-01-05 09.30.12 買い物メモ.png"),
                    QStringLiteral("/home/user/.local/share/vexlo/memos/2026-01-05 09.30.13 会議 15時.png"),
                    QStringLiteral("/home/user/.local/share/vexlo/memos/2026-01-05 09.30.14 地図.png")};
    notice.titles = {QStringLiteral("買い物メモ"), QStringLiteral("会議 15時"), QStringLiteral("地図")};
    notice.firstPicture = MemoPicture();

    // The picture alone: the enlarged copy the notification carries.
    std::vector<double> imageMs;
    for (int i = 0; i < rounds; ++i) {
        const double t0 = cpuMs(CLOCK_THREAD_CPUTIME_ID);
        const QImage image = session::DesktopNotifier::NotificationImage(notice.firstPicture);
        imageMs.push_back(cpuMs(CLOCK_THREAD_CPUTIME_ID) - t0);
        if (image.size() != QSize(248, 242)) {
            std::fprintf(stderr, "notify_bench: the notification's image is %dx%d\n", image.width(), image.height());
            return 1;
        }
    }

    QProcess service;
    service.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    service.start(QCoreApplication::applicationFilePath(), {QStringLiteral("service")});
    QByteArray said;
    while (!said.contains("ready\n") && service.waitForReadyRead(10000))
        said += service.readAllStandardOutput();
    if (!said.contains("ready\n")) {
        std::fprintf(stderr, "notify_bench: the notification service did not start\n");
        return 3;
    }

    session::DesktopNotifier notifier;  // one for the process, as the receiver has
    const Figures present = Measure(notifier, notice, rounds);
    service.kill();
    service.waitForFinished();
    said += service.readAllStandardOutput();
    const int received = int(said.count("Notify "));
    if (present.shown != rounds + 1 || received != rounds + 1 || !said.contains(" image 248x242 actions 4")) {
        std::fprintf(stderr, "notify_bench: %d notifications answered, %d received, %d sent\n", present.shown,
                     received, rounds + 1);
        return 1;
    }
    // The name is gone once the bus has seen the service end.
    while (QDBusConnection::sessionBus().interface()->isServiceRegistered(session::kNotificationsService))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    const Figures absent = Measure(notifier, notice, rounds);
    if (absent.shown != 0) {
        std::fprintf(stderr, "notify_bench: %d notifications answered with no service\n", absent.shown);
        return 1;
    }

    std::printf("a notification of 3 memos (picture 124 x 121 sent as 248 x 242 RGB), %d rounds, medians:\n",
                rounds);
    std::printf("  the picture enlarged alone:   %.3f ms thread CPU\n", median(imageMs));
    std::printf("  service there:   call %.3f ms thread CPU, in all %.3f ms process CPU, answered after %.2f ms"
                "  (target <= 5 ms)\n",
                median(present.call), median(present.all), median(present.answered));
    std::printf("  no service:      call %.3f ms thread CPU, in all %.3f ms process CPU, answered after %.2f ms\n",
                median(absent.call), median(absent.all), median(absent.answered));
    std::printf("  first of the process: call %.3f ms, in all %.3f ms\n", present.firstCall, present.firstAll);
    return 0;
}

#include "notify_bench.moc"
