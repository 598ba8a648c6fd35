// The port operations over a real pseudo-terminal pair.
#include "ConsoleFixture.h"

#include "platform/UucpLock.h"
#include "support/FakeSerialTree.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <csignal>
#include <termios.h>

#include <filesystem>
#include <fstream>

namespace {

struct HexCase {
    const char* input;
    int expected;
    int leftOver;  // bytes still waiting afterwards
};

class ReadHexByteTest : public LinkTest, public ::testing::WithParamInterface<HexCase> {};

TEST_P(ReadHexByteTest, ReadsAPairOrNothing)
{
    ASSERT_TRUE(OpenLink(link_));
    deviceSends(GetParam().input);
    EXPECT_EQ(ReadHexByte(link_), GetParam().expected);
    EXPECT_EQ(BytesWaiting(link_), GetParam().leftOver);
}

INSTANTIATE_TEST_SUITE_P(Pairs, ReadHexByteTest,
                         ::testing::Values(HexCase{"ff", 255, 0}, HexCase{"FF", 255, 0},
                                           HexCase{"G1", 1, 0}, HexCase{"0a", 10, 0},
                                           HexCase{"::", 0, 0}, HexCase{"7", -1, 1},
                                           HexCase{"", -1, 0}, HexCase{"Bc9", 188, 1}));

TEST_F(LinkTest, ReadByteGivesEveryValueInOrderAndDc1Dc3AsDataBeforeTheDataPhase)
{
    ASSERT_TRUE(OpenLink(link_));
    EXPECT_EQ(ReadByte(link_), -1);
    const std::string bytes{'\x00', '\x11', '\x13', '\r', '\n', '\x80', '\xff'};
    deviceSends(bytes);
    for (char b : bytes)
        EXPECT_EQ(ReadByte(link_), uint8_t(b));
    EXPECT_EQ(ReadByte(link_), -1);
}

// In one batch the kernel is read until it is found empty, then not again until the next
// batch; outside a batch every read asks it. Input that comes meanwhile is never lost.
TEST_F(LinkTest, ABatchAsksTheKernelUntilItIsFoundEmptyAndNoLonger)
{
    const struct {
        bool batch;
        bool newBatch;  // a new batch starts before the second read
        int second;     // what the second ReadByte gives
    } cases[] = {{false, false, 'b'}, {true, false, -1}, {true, true, 'b'}};
    for (const auto& c : cases) {
        ASSERT_TRUE(OpenLink(link_));
        link_.Handle.batchReads(c.batch);
        deviceSends("a");
        EXPECT_EQ(ReadByte(link_), 'a');
        EXPECT_EQ(ReadByte(link_), -1);  // the kernel found empty
        deviceSends("b");
        if (c.newBatch)
            link_.Handle.batchReads(true);
        EXPECT_EQ(ReadByte(link_), c.second) << "batch " << c.batch << ", new batch " << c.newBatch;
        link_.Handle.batchReads(false);
        EXPECT_EQ(ReadByte(link_) == 'b', c.second == -1);  // what waited is read after the batch
        ClosePort(link_, 0);
    }
}

enum class Op { Byte, EndRecord, Block5 };

struct QueueCase {
    const char* name;
    int queuedBefore;
    Op op;
    bool expected;
};

class QueueThresholdTest : public LinkTest, public ::testing::WithParamInterface<QueueCase> {};

// The device holds the line with XOFF, so what is written stays queued; after XON every byte
// must arrive, in order, nothing split or lost.
TEST_P(QueueThresholdTest, WritesOnlyWhenTheQueueHasRoom)
{
    const QueueCase& c = GetParam();
    ASSERT_TRUE(OpenLink(link_));
    SwitchToDataPhase(link_);
    deviceSaysXoff();
    std::string line;
    for (int i = 0; i < c.queuedBefore; ++i)
        line.push_back(char('a' + i % 26));
    link_.Handle.write(reinterpret_cast<const uint8_t*>(line.data()), line.size());
    ASSERT_EQ(FreeSpace(link_), kQueueSize - c.queuedBefore);

    static const char* const written[] = {"#", ":000000FF01", "12345"};
    const char* text = written[int(c.op)];
    const bool result = c.op == Op::Byte        ? WriteByte(link_, '#')
                        : c.op == Op::EndRecord ? WriteEndRecord(link_)
                                                : WriteBlock(link_, reinterpret_cast<const uint8_t*>(text), 5);
    EXPECT_EQ(result, c.expected);
    if (result)
        line += text;
    EXPECT_EQ(BytesQueued(link_), int(line.size()));
    EXPECT_EQ(pty_.receive(1, 50), "") << "XOFF pauses the output";

    pty_.send("\x11");
    ASSERT_TRUE(eventually([&] { return BytesQueued(link_) == 0; }));
    EXPECT_EQ(pty_.receive(line.size()), line);
}

INSTANTIATE_TEST_SUITE_P(
    Thresholds, QueueThresholdTest,
    ::testing::Values(QueueCase{"ByteOnEmpty", 0, Op::Byte, true},
                      QueueCase{"ByteAt2047", 2047, Op::Byte, true},
                      QueueCase{"ByteAt2048", 2048, Op::Byte, false},
                      QueueCase{"EndRecordWith12Free", 2036, Op::EndRecord, true},
                      QueueCase{"EndRecordWith11Free", 2037, Op::EndRecord, false},
                      QueueCase{"BlockOf5With6Free", 2042, Op::Block5, true},
                      QueueCase{"BlockOf5With5Free", 2043, Op::Block5, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LinkTest, DataPhaseSwitchesXonXoffOnBothWaysAndPurgeDropsBothQueues)
{
    link_.Speed = 19200;
    ASSERT_TRUE(OpenLink(link_));
    termios t{};
    ASSERT_EQ(tcgetattr(link_.Handle.fd(), &t), 0);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);
    SwitchToDataPhase(link_);
    ASSERT_EQ(tcgetattr(link_.Handle.fd(), &t), 0);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), tcflag_t(IXON | IXOFF));
    EXPECT_EQ(link_.Line.flow, platform::FlowControl::XonXoff);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B19200));

    deviceSaysXoff();
    deviceSends("junk");
    link_.Handle.write(reinterpret_cast<const uint8_t*>("stale"), 5);
    PurgeLink(link_);
    EXPECT_EQ(BytesWaiting(link_), 0);
    EXPECT_EQ(BytesQueued(link_), 0);
}

struct LineCase {
    uint16_t speed;
    uint8_t wordLen, parity, stopBits;
    speed_t code;
    tcflag_t cflags;  // size, parity and stop bits as termios has them
};

class LineTest : public ::testing::TestWithParam<LineCase> {};

// A pseudo-terminal keeps only eight bits without parity, so the termios is checked as built.
TEST_P(LineTest, BuildsRawTermiosWithoutModemOrFlowControl)
{
    const LineCase& c = GetParam();
    termios t{};
    t.c_cflag = CRTSCTS | CS5 | PARODD;  // whatever the line had before
    t.c_iflag = IXON | IXANY;
    platform::MakeRawTermios(t, {c.speed, c.wordLen, platform::Parity(c.parity), platform::StopBits(c.stopBits),
                                 platform::FlowControl::None});
    EXPECT_EQ(cfgetospeed(&t), c.code);
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS), c.cflags);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
}

INSTANTIATE_TEST_SUITE_P(Lines, LineTest,
                         ::testing::Values(LineCase{9600, 8, 0, 0, B9600, CS8},
                                           LineCase{19200, 7, 2, 2, B19200, CS7 | PARENB | CSTOPB},
                                           LineCase{1200, 8, 1, 1, B1200, CS8 | PARENB | PARODD | CSTOPB},
                                           LineCase{4800, 7, 1, 0, B4800, CS7 | PARENB | PARODD}));

TEST_F(LinkTest, OpenSurvivesRefusedModemLinesAndSettlesForTenTicksWithEventsFlowing)
{
    bool eventHandled = false;
    QTimer::singleShot(0, [&] { eventHandled = true; });
    link_.Speed = 19200;
    ASSERT_TRUE(OpenLink(link_));
    EXPECT_EQ(link_.Line, (platform::LineSettings{19200, 8, platform::Parity::None, platform::StopBits::One,
                                                  platform::FlowControl::None}));
    int bit = TIOCM_DTR;
    EXPECT_NE(ioctl(link_.Handle.fd(), TIOCMBIS, &bit), 0) << "a pseudo-terminal has no DTR";
    EXPECT_EQ(link_.Ticks, 10);
    EXPECT_FALSE(host_->TimerActive());
    EXPECT_TRUE(eventHandled);
}

// The line gets back the settings it had before the exchange, as terminal programs leave it.
struct FoundCase {
    const char* name;
    speed_t speed;
    tcflag_t iflag, lflag;
};

class FoundSettingsTest : public LinkTest, public ::testing::WithParamInterface<FoundCase> {};

TEST_P(FoundSettingsTest, ClosingPutsBackWhatOpeningFound)
{
    const FoundCase& c = GetParam();
    // Another holder of the line, as a terminal has it: it sees what the exchange leaves.
    const int watcher = ::open(pty_.slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(watcher, 0);
    termios found{};
    ASSERT_EQ(tcgetattr(watcher, &found), 0);
    found.c_iflag = c.iflag;
    found.c_lflag = c.lflag;
    cfsetispeed(&found, c.speed);
    cfsetospeed(&found, c.speed);
    ASSERT_EQ(tcsetattr(watcher, TCSANOW, &found), 0);
    ASSERT_EQ(tcgetattr(watcher, &found), 0);

    link_.Speed = 19200;
    ASSERT_TRUE(OpenLink(link_));
    SwitchToDataPhase(link_);
    termios during{};
    ASSERT_EQ(tcgetattr(watcher, &during), 0);
    EXPECT_EQ(cfgetospeed(&during), speed_t(B19200));
    EXPECT_EQ(during.c_lflag & (ICANON | ECHO), 0u);
    ClosePort(link_);

    termios after{};
    ASSERT_EQ(tcgetattr(watcher, &after), 0);
    EXPECT_EQ(cfgetospeed(&after), c.speed);
    EXPECT_EQ(after.c_iflag, found.c_iflag);
    EXPECT_EQ(after.c_oflag, found.c_oflag);
    EXPECT_EQ(after.c_lflag, found.c_lflag);
    EXPECT_EQ(after.c_cflag, found.c_cflag);
    ::close(watcher);
}

INSTANTIATE_TEST_SUITE_P(Lines, FoundSettingsTest,
                         ::testing::Values(FoundCase{"CookedTerminal", B38400, ICRNL | IXON, ICANON | ECHO | ISIG},
                                           FoundCase{"RawWithFlowControl", B1200, IXON | IXOFF, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

struct UnavailableCase {
    const char* port;
    const char* reason;  // what the user is told after the port's name
};

class OpenLinkUnavailableTest : public LinkTest, public ::testing::WithParamInterface<UnavailableCase> {};

TEST_P(OpenLinkUnavailableTest, FailsQuietlyLeavesNothingOpenAndSaysWhy)
{
    FakeSerialTree tree;  // the serial devices there are: one adapter
    tree.plug(kFtdi);
    link_.PortName = GetParam().port;
    EXPECT_FALSE(OpenLink(link_));
    EXPECT_FALSE(link_.Handle.isOpen());
    EXPECT_FALSE(LinkInUse());
    EXPECT_EQ(statusOutput(), "");
    EXPECT_EQ(OpenFailureText(LastOpenFailure()),
              QStringLiteral("通信ポート %1 を開けません: %2")
                  .arg(QString::fromUtf8(GetParam().port),
                       QString::fromUtf8(GetParam().reason).replace(QStringLiteral("ROOT"), QString::fromStdString(tree.root().string()))))
        << OpenFailureText(LastOpenFailure()).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Ports, OpenLinkUnavailableTest,
                         ::testing::Values(UnavailableCase{"/dev/vexlo-no-such-port",
                                                           "デバイスがありません。\n\n今あるシリアルデバイス:\n"
                                                           "  FTDI FT232R USB UART (ttyUSB0) — "
                                                           "ROOT/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0\n\n"
                                                           "各種設定の「割り当て」でポート名に割り当てられます"},
                                           UnavailableCase{"/dev/null", "シリアルポートではありません"},
                                           UnavailableCase{"/dev/", "フォルダーです"}));

// Another program holds the line: by flock (this process, or another one, which is then named),
// or by a UUCP lock file as terminal programs do; or someone planted a link where we write.
enum class Holder { Flock, OtherProcess, LiveLockFile, StaleLockFile, NoLockFolder, PlantedLink };

const char* HolderName(Holder h)
{
    static const char* const names[] = {"Flock", "OtherProcess", "LiveLockFile", "StaleLockFile", "NoLockFolder",
                                        "PlantedLink"};
    return names[int(h)];
}

class LineHeldTest : public LinkTest, public ::testing::WithParamInterface<Holder> {
protected:
    void SetUp() override
    {
        LinkTest::SetUp();
        ASSERT_TRUE(locks_.isValid());
        qputenv("VEXLO_LOCK_DIR", GetParam() == Holder::NoLockFolder ? QByteArray("/nonexistent/vexlo-locks")
                                                                     : locks_.path().toUtf8());
    }
    void TearDown() override
    {
        LinkTest::TearDown();
        qunsetenv("VEXLO_LOCK_DIR");
    }
    QString lockFile() const
    {
        return locks_.path() + QLatin1Char('/') + QString::fromStdString(platform::UucpLockName(pty_.slavePath));
    }
    static void writeFile(const QString& path, const QByteArray& bytes)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    static QByteArray readFile(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QTemporaryDir locks_;
};

TEST_P(LineHeldTest, IsRefusedWithoutDisturbingTheHolderOrTakenWhenTheHolderIsGone)
{
    int holder = -1;
    long owner = 0;
    pid_t child = 0;
    const QString victim = locks_.path() + QStringLiteral("/precious");
    switch (GetParam()) {
    case Holder::Flock:
        holder = ::open(pty_.slavePath.c_str(), O_RDWR | O_NOCTTY);
        ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
        break;
    case Holder::OtherProcess: {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        child = ::fork();
        if (child == 0) {
            const int fd = ::open(pty_.slavePath.c_str(), O_RDWR | O_NOCTTY);
            (void)!::flock(fd, LOCK_EX | LOCK_NB);
            (void)!::write(ready[1], "r", 1);
            ::pause();
            ::_exit(0);
        }
        char c = 0;
        ASSERT_EQ(::read(ready[0], &c, 1), 1);
        ::close(ready[0]);
        ::close(ready[1]);
        owner = child;
        break;
    }
    case Holder::LiveLockFile:
        owner = long(::getppid());
        writeFile(lockFile(), QByteArray::number(qlonglong(owner)).rightJustified(10, ' ') + "\n");
        break;
    case Holder::StaleLockFile: {
        const pid_t child = ::fork();
        if (child == 0)
            ::_exit(0);
        ::waitpid(child, nullptr, 0);  // a pid nobody has any more
        writeFile(lockFile(), QByteArray::number(qlonglong(child)).rightJustified(10, ' ') + "\n");
        break;
    }
    case Holder::NoLockFolder:
        break;
    case Holder::PlantedLink:  // where a lock file's temporary file used to be made
        writeFile(victim, "precious");
        ASSERT_EQ(::symlink(victim.toLocal8Bit().constData(),
                            (lockFile() + QStringLiteral(".tmp%1").arg(::getpid())).toLocal8Bit().constData()),
                  0);
        break;
    }
    const bool refused =
        GetParam() == Holder::Flock || GetParam() == Holder::OtherProcess || GetParam() == Holder::LiveLockFile;
    EXPECT_EQ(OpenLink(link_), !refused);
    if (refused) {
        EXPECT_EQ(LastOpenFailure().Error, EBUSY);
        EXPECT_EQ(LastOpenFailure().OwnerPid, owner);
        EXPECT_TRUE(OpenFailureText(LastOpenFailure()).endsWith(
            child   ? QStringLiteral("link_tests (プロセス %1) が使用中です").arg(owner)
            : owner ? QStringLiteral("(プロセス %1) が使用中です").arg(owner)
                    : QStringLiteral("ほかのプログラムが使用中です")))
            << OpenFailureText(LastOpenFailure()).toStdString();
        // The program that holds the line can still open it again: we left it not exclusive.
        const int probe = holder >= 0 ? holder : ::open(pty_.slavePath.c_str(), O_RDWR | O_NOCTTY);
        int exclusive = -1;
        ASSERT_EQ(::ioctl(probe, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 0);
        if (probe != holder)
            ::close(probe);
        if (GetParam() == Holder::LiveLockFile) {
            EXPECT_EQ(readFile(lockFile()).trimmed().toLong(), owner) << "the holder's lock file stays";
        }
    } else if (GetParam() == Holder::StaleLockFile) {
        EXPECT_EQ(readFile(lockFile()), QByteArray::number(qlonglong(::getpid())).rightJustified(10, ' ') + "\n");
        ClosePort(link_);
        EXPECT_FALSE(QFile::exists(lockFile())) << "the lock file goes with the port";
    }
    if (GetParam() == Holder::PlantedLink) {
        EXPECT_EQ(readFile(victim), "precious") << "a planted link is never followed";
    }
    if (holder >= 0)
        ::close(holder);
    if (child > 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Holders, LineHeldTest,
                         ::testing::Values(Holder::Flock, Holder::OtherProcess, Holder::LiveLockFile,
                                           Holder::StaleLockFile, Holder::NoLockFolder, Holder::PlantedLink),
                         [](const auto& info) { return std::string(HolderName(info.param)); });

TEST_F(LinkTest, APortHeldElsewhereOrASecondExchangeIsRefused)
{
    platform::SerialPort other;
    ASSERT_TRUE(other.open(pty_.slavePath));  // another program has the line
    EXPECT_FALSE(OpenLink(link_));
    EXPECT_FALSE(LinkInUse());
    other.close();
    ASSERT_TRUE(OpenLink(link_));

    PtyPair second;
    TCommLink next;
    SetLine(next, second.slavePath);
    EXPECT_FALSE(OpenLink(next)) << "one exchange at a time";
    EXPECT_FALSE(next.Handle.isOpen());
    EXPECT_TRUE(link_.Handle.isOpen());
    ClosePort(link_);
    EXPECT_TRUE(OpenLink(next));
    ClosePort(next);
}

struct NameCase {
    const char* name;
    const char* expected;
};

class PortNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(PortNameTest, Resolves)
{
    const auto file = std::filesystem::temp_directory_path() / ("vexlo-ports-" + std::to_string(getpid()) + ".ini");
    std::ofstream(file) << "[Comm]\nPort=COM2\n[ports]\ncom2 = /dev/ttyUSB0\n";
    EXPECT_EQ(ResolvePortName(GetParam().name, file.string()), GetParam().expected);
    std::filesystem::remove(file);
}

INSTANTIATE_TEST_SUITE_P(Names, PortNameTest,
                         ::testing::Values(NameCase{"COM1", "/dev/ttyS0"}, NameCase{"com3", "/dev/ttyS2"},
                                           NameCase{"COM10", "/dev/ttyS9"}, NameCase{"COM2", "/dev/ttyUSB0"},
                                           NameCase{"/dev/pts/9", "/dev/pts/9"}, NameCase{"COM0", "COM0"},
                                           NameCase{"COM1x", "COM1x"}, NameCase{"LPT1", "LPT1"}));

}  // namespace
