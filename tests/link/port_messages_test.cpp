// What a user is told when a port will not open, by vexlo-cli (English) and by VEXLO
// (Japanese), for what keeps a user out on a fresh desktop: a device of a group the user is
// not in, a line that ModemManager holds (where the user can see it, and where it runs as root
// and cannot be looked at), and a device that is not there. Both run as the ordinary user
// "nobody": vexlo-cli dropped to it by setpriv, as a login would, VEXLO's open in a child
// process that drops to it the same way. Needs root to drop; skipped otherwise.
#include "LinkFixture.h"
#include "support/FakeSerialTree.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <vector>

namespace {

enum class Cause { NotInGroup, HeldByModemManager, ModemManagerOutOfSight, Missing };

struct MessageCase {
    const char* name;
    Cause cause;
    // Parts of each message; DEV is the device, PID the holder, ROOT the device tree.
    std::vector<const char*> english;
    std::vector<const char*> japanese;
};

uid_t nobodyUid() { return ::getpwnam("nobody") ? ::getpwnam("nobody")->pw_uid : 0; }
gid_t nobodyGid() { return ::getpwnam("nobody") ? ::getpwnam("nobody")->pw_gid : 0; }

bool dropToNobody()
{
    return ::setgroups(0, nullptr) == 0 && ::setresgid(nobodyGid(), nobodyGid(), nobodyGid()) == 0
           && ::setresuid(nobodyUid(), nobodyUid(), nobodyUid()) == 0;
}

// A process named ModemManager that holds DEVICE exclusively, as ModemManager does while it
// probes a new serial device: as "nobody" (its descriptors are open to the user) or as root.
pid_t startModemManager(const std::string& device, bool asRoot)
{
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        if (!asRoot && !dropToNobody())
            ::_exit(1);
        ::prctl(PR_SET_DUMPABLE, 1);  // dropping from root made it private
        ::prctl(PR_SET_NAME, "ModemManager");
        const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY);
        if (fd < 0 || ::ioctl(fd, TIOCEXCL) != 0)
            ::_exit(1);
        (void)!::write(ready[1], "r", 1);
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    char c = 0;
    const bool up = ::read(ready[0], &c, 1) == 1;
    ::close(ready[0]);
    if (!up && child > 0) {
        ::waitpid(child, nullptr, 0);
        return -1;
    }
    return child;
}

// VEXLO's words when it opens DEVICE as "nobody".
QString japaneseAsNobody(const std::string& device)
{
    int out[2];
    if (::pipe(out) != 0)
        return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(out[0]);
        TCommLink link;
        SetLine(link, device);
        const QByteArray text =
            !dropToNobody() ? QByteArray("could not drop to nobody")
            : OpenLink(link) ? QByteArray("opened")
                             : OpenFailureText(LastOpenFailure()).toUtf8();
        (void)!::write(out[1], text.constData(), std::size_t(text.size()));
        ::_exit(0);
    }
    ::close(out[1]);
    QByteArray text;
    char buf[4096];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;)
        text.append(buf, n);
    ::close(out[0]);
    ::waitpid(child, nullptr, 0);
    return QString::fromUtf8(text);
}

class PortMessages : public ::testing::TestWithParam<MessageCase> {};

TEST_P(PortMessages, SayWhatToDo)
{
    const gid_t dialout = ::getgrnam("dialout") ? ::getgrnam("dialout")->gr_gid : 0;
    if (::geteuid() != 0 || nobodyUid() == 0 || dialout == 0 || !QFile::exists(QStringLiteral("/usr/bin/setpriv")))
        GTEST_SKIP() << "needs root, setpriv, the user nobody and the group dialout";

    PtyPair pty;
    ASSERT_FALSE(pty.slavePath.empty());
    FakeSerialTree tree;
    tree.plug(kFtdi);
    std::string device = pty.slavePath;
    pid_t holder = 0;
    switch (GetParam().cause) {
    case Cause::NotInGroup:  // as udev leaves a USB adapter on Debian
        ASSERT_EQ(::chown(device.c_str(), 0, dialout), 0);
        ASSERT_EQ(::chmod(device.c_str(), 0660), 0);
        break;
    case Cause::HeldByModemManager:
    case Cause::ModemManagerOutOfSight:
        ASSERT_EQ(::chmod(device.c_str(), 0666), 0);
        holder = startModemManager(device, GetParam().cause == Cause::ModemManagerOutOfSight);
        ASSERT_GT(holder, 0);
        break;
    case Cause::Missing:
        device = tree.path("dev/serial/by-id/usb-Prolific_USB-Serial_Controller-if00-port0").toStdString();
        break;
    }
    auto expand = [&](const char* part) {
        return QString::fromUtf8(part)
            .replace(QStringLiteral("DEV"), QString::fromStdString(device))
            .replace(QStringLiteral("PID"), QString::number(holder))
            .replace(QStringLiteral("ROOT"), QString::fromStdString(tree.root().string()));
    };

    QTemporaryDir home;  // the user's settings folder and the memos' folder, the user's to write
    ASSERT_TRUE(::chmod(home.path().toLocal8Bit().constData(), 0777) == 0);
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
    cli.setProcessEnvironment(env);
    cli.start(QStringLiteral("/usr/bin/setpriv"),
              {QStringLiteral("--reuid=%1").arg(nobodyUid()), QStringLiteral("--regid=%1").arg(nobodyGid()),
               QStringLiteral("--clear-groups"),
               qEnvironmentVariable("VEXLO_BINARY_DIR") + QStringLiteral("/tools/cli/vexlo-cli"),
               QStringLiteral("receive"), QStringLiteral("--port"), QString::fromStdString(device),
               QStringLiteral("--out"), home.path() + QStringLiteral("/memos")});
    ASSERT_TRUE(cli.waitForFinished(20000));
    EXPECT_EQ(cli.exitCode(), 1);
    const QString english = QString::fromUtf8(cli.readAllStandardError());
    for (const char* part : GetParam().english)
        EXPECT_TRUE(english.contains(expand(part))) << english.toStdString() << "\nlacks: " << expand(part).toStdString();

    const QString japanese = japaneseAsNobody(device);
    for (const char* part : GetParam().japanese)
        EXPECT_TRUE(japanese.contains(expand(part))) << japanese.toStdString() << "\nlacks: " << expand(part).toStdString();

    if (holder > 0) {
        ::kill(holder, SIGKILL);
        ::waitpid(holder, nullptr, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Causes, PortMessages,
    ::testing::Values(
        MessageCase{"NotInGroup",
                    Cause::NotInGroup,
                    {"receive: cannot open DEV: permission denied: the device belongs to group dialout, and user "
                     "nobody is not in it; join it with `sudo usermod -aG dialout nobody`, then log out and in again"},
                    {"通信ポート DEV を開けません: アクセスが拒否されました。デバイスはグループ dialout のもので、"
                     "ユーザー nobody はこのグループに入っていません。",
                     "ログインし直してください", "\nsudo usermod -aG dialout nobody"}},
        MessageCase{"HeldByModemManager",
                    Cause::HeldByModemManager,
                    {"receive: cannot open DEV: in use by process PID (ModemManager). ModemManager probes a newly "
                     "plugged serial device as a possible modem for a few seconds: try again shortly",
                     "70-vexlo-adapter.rules", "`sudo systemctl stop ModemManager`"},
                    {"通信ポート DEV を開けません: ModemManager (プロセス PID) が使用中です。ModemManager は",
                     "70-vexlo-adapter.rules", "sudo systemctl stop ModemManager"}},
        MessageCase{"ModemManagerOutOfSight",
                    Cause::ModemManagerOutOfSight,
                    {"receive: cannot open DEV: in use by another program; process PID (ModemManager) runs and may "
                     "be probing it. ModemManager probes",
                     "`sudo systemctl stop ModemManager`"},
                    {"通信ポート DEV を開けません: ほかのプログラムが使用中です。動いている ModemManager (プロセス PID) "
                     "がモデムかどうか調べているのかもしれません。",
                     "sudo systemctl stop ModemManager"}},
        MessageCase{"Missing",
                    Cause::Missing,
                    {"receive: cannot open DEV: no such device; serial devices there are now (give one to --port):\n"
                     "  ROOT/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0 (FTDI FT232R USB UART, "
                     "ttyUSB0)\n"},
                    {"通信ポート DEV を開けません: デバイスがありません。\n\n今あるシリアルデバイス:\n"
                     "  FTDI FT232R USB UART (ttyUSB0) — ROOT/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0\n"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
