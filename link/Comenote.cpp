#include "link/Comenote.h"

#include "link/ExchangeHost.h"
#include "platform/IdleDriver.h"
#include "platform/LineHolders.h"
#include "platform/PrivateProfile.h"
#include "platform/SystemError.h"
#include "resources/Version.h"
#include "transfer/HexRecord.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <thread>

namespace {

bool linkInUse = false;
TOpenFailure lastFailure;

constexpr uint8_t kEndRecord[] = {':', '0', '0', '0', '0', '0', '0', 'F', 'F', '0', '1'};
constexpr int kSettleTicks = 10;

void applyLine(TCommLink& link)
{
    (void)link.Handle.configure(link.Line);  // a line that refuses keeps what it had
}

void raiseDtrLowerRts(TCommLink& link)
{
    link.Handle.setDtr(true);
    link.Handle.setRts(false);
}

// Ten ticks of the host's timer while events are handled, so the window stays live. The
// comparison arms the host's timer for the tenth tick: the wait wakes the program once.
void settleWait(TTickCount& ticks)
{
    TExchangeHost* host = ExchangeHost();
    ticks = 0;
    if (!host) {
        std::this_thread::sleep_for(TTickCount::Tick * kSettleTicks);
        ticks = kSettleTicks;
        return;
    }
    StartTimer(ticks);
    while (ticks < kSettleTicks && ticks.Running())
        host->WaitForEvents();
    StopTimer(ticks);
    ticks = kSettleTicks;  // ten ticks have passed, however late the last one was seen
}

}  // namespace

std::string ResolvePortName(const std::string& name, const std::string& file)
{
    if (name.find('/') != std::string::npos)
        return name;
    if (!name.empty()) {
        std::string mapped = platform::GetPrivateProfileString("Ports", name, "", file);
        if (!mapped.empty())
            return mapped;
    }
    if (name.size() > 3 && std::toupper(static_cast<unsigned char>(name[0])) == 'C'
        && std::toupper(static_cast<unsigned char>(name[1])) == 'O'
        && std::toupper(static_cast<unsigned char>(name[2])) == 'M') {
        long n = 0;
        for (std::size_t i = 3; i < name.size(); ++i) {
            if (!std::isdigit(static_cast<unsigned char>(name[i])) || n > 1000000)
                return name;
            n = n * 10 + (name[i] - '0');
        }
        if (n >= 1)
            return "/dev/ttyS" + std::to_string(n - 1);
    }
    return name;
}

std::string ResolveLinkPort(const TCommLink& link, const std::string& file)
{
    if (const auto chosen = link.PortDevices.find(link.PortName); chosen != link.PortDevices.end())
        return chosen->second;
    return ResolvePortName(link.PortName, file);
}

bool LinkInUse() { return linkInUse; }

const TOpenFailure& LastOpenFailure() { return lastFailure; }

// "minicom (プロセス 1234)", or "プロセス 1234" without a name.
static QString ProcessText(const TOpenFailure& f)
{
    const QString pid = QStringLiteral("プロセス %1").arg(f.OwnerPid);
    return f.OwnerName.empty() ? pid : QStringLiteral("%1 (%2)").arg(QString::fromStdString(f.OwnerName), pid);
}

static QString Q(const std::string& s) { return QString::fromStdString(s); }

// What the user can do when the device's permissions keep them out.
static QString AccessText(const platform::AccessDenial& a)
{
    const QString denied = QStringLiteral("アクセスが拒否されました");
    const QString about = QStringLiteral(" (デバイスの所有者 %1、グループ %2、%3)").arg(Q(a.Owner), Q(a.Group), Q(a.Mode));
    switch (a.Remedy()) {
    case platform::AccessDenial::Fix::LogInAgain:
        return denied + QStringLiteral("。ユーザー %1 はデバイスのグループ %2 に加えられていますが、今のログインには"
                                       "まだ反映されていません。ログアウトしてログインし直してください")
                            .arg(Q(a.User), Q(a.Group));
    case platform::AccessDenial::Fix::JoinGroup:
        return denied + QStringLiteral("。デバイスはグループ %2 のもので、ユーザー %1 はこのグループに入っていません。"
                                       "次のコマンドでグループに加え、ログインし直してください (新しいグループは次の"
                                       "ログインから有効になります):\nsudo usermod -aG %2 %1")
                            .arg(Q(a.User), Q(a.Group));
    case platform::AccessDenial::Fix::NoGroupAccess:
        return denied + about
               + QStringLiteral("。このデバイスはグループのメンバーにも開けません。udev 規則 %1 (man vexlo の "
                                "SERIAL PORTS) で、ログインしているユーザーに使えるようにできます")
                     .arg(QStringLiteral(VEXLO_UDEV_RULE));
    case platform::AccessDenial::Fix::Unknown:
        break;
    }
    return a.Mode.empty() ? denied : denied + about;
}

// ModemManager probes every newly plugged serial device as a possible modem for a few seconds.
static QString ModemManagerText()
{
    return QStringLiteral("ModemManager は差し込まれたシリアルデバイスをモデムかどうか数秒間調べます。少し待ってから"
                          "やり直してください。いつもそうなるときは、udev 規則 %1 (man vexlo の SERIAL PORTS) で"
                          "このアダプターを ModemManager から外すか、sudo systemctl stop ModemManager で止めてください")
        .arg(QStringLiteral(VEXLO_UDEV_RULE));
}

// The serial devices there are instead of a missing one, each by what it is first.
static QString PresentText(const std::vector<platform::SerialDevice>& present)
{
    if (present.empty())
        return QStringLiteral("。シリアルデバイスが一つも見つかりません (アダプターが差し込まれているか確かめてください)");
    constexpr std::size_t kShown = 8;
    QString text = QStringLiteral("。\n\n今あるシリアルデバイス:");
    for (std::size_t i = 0; i < present.size() && i < kShown; ++i) {
        const platform::SerialDevice& d = present[i];
        const QString about = d.Description().empty() ? QString()
                                                      : QStringLiteral("%1 (%2) — ").arg(Q(d.Description()), Q(d.NodeName()));
        text += QStringLiteral("\n  ") + about + Q(d.Path);
    }
    if (present.size() > kShown)
        text += QStringLiteral("\n  ほか %1 個").arg(present.size() - kShown);
    return text + QStringLiteral("\n\n各種設定の「割り当て」でポート名に割り当てられます");
}

QString OpenFailureText(const TOpenFailure& f)
{
    const QString name = QString::fromStdString(f.PortName);
    const QString path = QString::fromStdString(f.Path);
    const QString port = path.isEmpty() || path == name ? name : QStringLiteral("%1 (%2)").arg(name, path);
    QString reason;
    if (f.LinkBusy)
        reason = QStringLiteral("ほかの通信を実行中です");
    else if (f.BadSpeed)
        reason = QStringLiteral("通信速度 %1 bit/s には設定できません").arg(*f.BadSpeed);
    else if ((f.Error == EBUSY || f.Error == EWOULDBLOCK) && f.LeftExclusive)
        reason = QStringLiteral("強制終了したプログラムが回線を排他使用のまま残しています。"
                                "回線のもう一方の端を開いている %1 を起動し直してください")
                     .arg(ProcessText(f));
    else if ((f.Error == EBUSY || f.Error == EWOULDBLOCK) && f.OwnerGuessed)
        reason = QStringLiteral("ほかのプログラムが使用中です。動いている %1 がモデムかどうか調べているのかもしれません。")
                     .arg(ProcessText(f))
                 + ModemManagerText();
    else if (f.Error == EBUSY || f.Error == EWOULDBLOCK)
        reason = f.OwnerPid > 0 ? QStringLiteral("%1 が使用中です").arg(ProcessText(f))
                                      + (f.HeldByModemManager() ? QStringLiteral("。") + ModemManagerText() : QString())
                                : QStringLiteral("ほかのプログラムが使用中です");
    else if (f.Error == ENOENT || f.Error == ENODEV || f.Error == ENXIO)
        reason = QStringLiteral("デバイスがありません") + PresentText(f.Present);
    else if ((f.Error == EACCES || f.Error == EPERM) && f.Access)
        reason = AccessText(*f.Access);
    else
        reason = platform::SystemErrorText(f.Error);
    return QStringLiteral("通信ポート %1 を開けません: %2").arg(port, reason);
}

// What the user needs beyond the cause: who may open the device, who may be holding it, and
// which devices there are instead of a missing one.
static void ExplainOpenFailure(TOpenFailure& f)
{
    if (f.Error == EACCES || f.Error == EPERM) {
        f.Access = platform::ExplainAccessDenied(f.Path);
    } else if (f.Error == EBUSY && f.OwnerPid == 0) {
        if (const long pid = platform::FindProcess("ModemManager")) {
            f.OwnerPid = pid;
            f.OwnerName = "ModemManager";
            f.OwnerGuessed = true;
        }
    } else if (f.Error == ENOENT || f.Error == ENODEV || f.Error == ENXIO) {
        f.Present = platform::ListSerialDevices();
    }
}

bool OpenLink(TCommLink& link)
{
    lastFailure = TOpenFailure{};
    lastFailure.PortName = link.PortName;
    lastFailure.Path = ResolveLinkPort(link);
    if (linkInUse) {
        lastFailure.LinkBusy = true;
        return false;
    }
    if (!platform::SpeedSupported(link.Speed)) {  // never run a line at a speed nobody chose
        lastFailure.Error = EINVAL;
        lastFailure.BadSpeed = link.Speed;
        return false;
    }
    // The exclusive open stands for both the open and the queue set-up: a name that is no
    // terminal, or one that another program holds, fails here and leaves nothing open.
    if (!link.Handle.open(lastFailure.Path)) {
        lastFailure.Error = errno == EWOULDBLOCK ? EBUSY : errno;
        lastFailure.OwnerPid = link.Handle.lockOwner();
        lastFailure.OwnerName = link.Handle.ownerName();
        lastFailure.LeftExclusive = link.Handle.leftExclusive();
        ExplainOpenFailure(lastFailure);
        return false;
    }
    lastFailure = TOpenFailure{};
    linkInUse = true;

    link.Line = ChosenLineSettings(link, platform::FlowControl::None);
    applyLine(link);
    link.Handle.purge();
    raiseDtrLowerRts(link);
    settleWait(link.Ticks);
    return true;
}

int BytesWaiting(TCommLink& link) { return link.Handle.bytesWaiting(); }

int BytesQueued(TCommLink& link) { return link.Handle.bytesQueued(); }

int FreeSpace(TCommLink& link) { return kQueueSize - BytesQueued(link); }

// The port takes everything the line has in one read and hands it out from there, so reading a
// record byte by byte costs no system call per byte.
int ReadByte(TCommLink& link)
{
    if (link.Handle.ready(1) < 1)
        return -1;
    uint8_t b = 0;
    if (link.Handle.read(&b, 1) != 1)
        return -1;
    return b;
}

int ReadHexByte(TCommLink& link)
{
    if (link.Handle.ready(2) < 2)
        return -1;
    uint8_t pair[2] = {0, 0};
    if (link.Handle.read(pair, 2) != 2)
        return -1;
    return 16 * HexToVal(char(pair[0])) + HexToVal(char(pair[1]));
}

bool WriteByte(TCommLink& link, uint8_t value)
{
    if (BytesQueued(link) >= kQueueSize)
        return false;
    link.Handle.write(&value, 1);
    return true;
}

bool WriteBlock(TCommLink& link, const uint8_t* data, std::size_t n)
{
    const int free = FreeSpace(link);
    if (free <= 0 || n >= static_cast<std::size_t>(free))
        return false;
    link.Handle.write(data, n);
    return true;
}

bool WriteEndRecord(TCommLink& link) { return WriteBlock(link, kEndRecord, sizeof kEndRecord); }

void SwitchToDataPhase(TCommLink& link)
{
    link.Line.flow = platform::FlowControl::XonXoff;
    applyLine(link);
    raiseDtrLowerRts(link);
}

void PurgeLink(TCommLink& link) { link.Handle.purge(); }

void DiscardOutput(TCommLink& link) { link.Handle.discardOutput(); }

bool DrainOutput(TCommLink& link, int ms) { return link.Handle.drain(ms); }

void ClosePort(TCommLink& link, int drainMs)
{
    // The host's timer never outlives the exchange that started it.
    StopTimer(link.Ticks);
    platform::IdleDriver::instance().forgetPort(&link.Handle);
    (void)DrainOutput(link, drainMs);
    link.Handle.close();
    linkInUse = false;
    if (TExchangeHost* host = ExchangeHost())
        host->PortClosed();
}
