// The port operations over a real pseudo-terminal pair.
#include "LinkFixture.h"

#include "platform/PrivateProfile.h"

#include <QTimer>

#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

// ---- reading -------------------------------------------------------------------------------

struct HexCase {
    const char* input;
    int expected;
    int leftOver;  // bytes still waiting afterwards
};

class ReadHexByteTest : public LinkTest, public ::testing::WithParamInterface<HexCase> {};

TEST_P(ReadHexByteTest, ReadsAPairOrNothing)
{
    ASSERT_TRUE(OpenLink(link_));
    const HexCase& c = GetParam();
    deviceSends(c.input);
    EXPECT_EQ(ReadHexByte(link_), c.expected);
    EXPECT_EQ(BytesWaiting(link_), c.leftOver);
}

INSTANTIATE_TEST_SUITE_P(Pairs, ReadHexByteTest,
                         ::testing::Values(HexCase{"ff", 255, 0}, HexCase{"FF", 255, 0},
                                           HexCase{"G1", 1, 0}, HexCase{"0a", 10, 0},
                                           HexCase{"A0", 160, 0}, HexCase{"::", 0, 0},
                                           HexCase{"7", -1, 1}, HexCase{"", -1, 0},
                                           HexCase{"Bc9", 188, 1}));

TEST_F(LinkTest, ReadHexByteTakesTheWaitingByteOnceItsPartnerArrives)
{
    ASSERT_TRUE(OpenLink(link_));
    deviceSends("e");
    EXPECT_EQ(ReadHexByte(link_), -1);
    deviceSends("3");
    EXPECT_EQ(ReadHexByte(link_), 0xE3);
    EXPECT_EQ(ReadHexByte(link_), -1);
}

TEST_F(LinkTest, ReadByteReturnsEveryByteValueInOrderAndMinusOneWhenEmpty)
{
    ASSERT_TRUE(OpenLink(link_));
    EXPECT_EQ(ReadByte(link_), -1);
    // DC1 and DC3 are plain data until the data phase switches flow control on.
    const std::string bytes{'\x00', '\x11', '\x13', '\r', '\n', '\x7f', '\x80', '\xff'};
    deviceSends(bytes);
    for (char b : bytes)
        EXPECT_EQ(ReadByte(link_), static_cast<uint8_t>(b));
    EXPECT_EQ(ReadByte(link_), -1);
}

// ---- queue thresholds ----------------------------------------------------------------------

enum class Op { Byte, EndRecord, Block5 };

struct QueueCase {
    const char* name;
    int queuedBefore;
    Op op;
    bool expected;
};

class QueueThresholdTest : public LinkTest, public ::testing::WithParamInterface<QueueCase> {};

// The device holds the line with XOFF, so whatever is written stays queued in the port layer;
// afterwards every byte must arrive, in order, with nothing split or lost.
TEST_P(QueueThresholdTest, WritesOnlyWhenTheQueueHasRoom)
{
    const QueueCase& c = GetParam();
    ASSERT_TRUE(OpenLink(link_));
    SwitchToDataPhase(link_);
    deviceSaysXoff();

    std::string expectedLine;
    for (int i = 0; i < c.queuedBefore; ++i)
        expectedLine.push_back(static_cast<char>('a' + i % 26));
    link_.Handle.write(reinterpret_cast<const uint8_t*>(expectedLine.data()), expectedLine.size());
    ASSERT_EQ(BytesQueued(link_), c.queuedBefore);
    ASSERT_EQ(FreeSpace(link_), kQueueSize - c.queuedBefore);

    bool result = false;
    std::string written;
    switch (c.op) {
    case Op::Byte:
        result = WriteByte(link_, '#');
        written = "#";
        break;
    case Op::EndRecord:
        result = WriteEndRecord(link_);
        written = ":000000FF01";
        break;
    case Op::Block5:
        result = WriteBlock(link_, reinterpret_cast<const uint8_t*>("12345"), 5);
        written = "12345";
        break;
    }
    EXPECT_EQ(result, c.expected);
    if (result)
        expectedLine += written;
    EXPECT_EQ(BytesQueued(link_), int(expectedLine.size()));
    EXPECT_EQ(pty_.receive(1, 50), "") << "output should be paused by XOFF";

    pty_.send("\x11");  // XON
    ASSERT_TRUE(eventually([&] { return BytesQueued(link_) == 0; }));
    EXPECT_EQ(pty_.receive(expectedLine.size()), expectedLine);
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

TEST_F(LinkTest, XoffFromTheDevicePausesOutputOnlyInTheDataPhase)
{
    ASSERT_TRUE(OpenLink(link_));
    // Handshake phase: XOFF is data, output flows.
    deviceSends("\x13");
    EXPECT_EQ(ReadByte(link_), 0x13);
    ASSERT_TRUE(WriteByte(link_, 17));
    EXPECT_EQ(pty_.receive(1), "\x11");

    SwitchToDataPhase(link_);
    deviceSaysXoff();
    ASSERT_TRUE(WriteBlock(link_, reinterpret_cast<const uint8_t*>("hello"), 5));
    EXPECT_EQ(pty_.receive(1, 50), "");
    EXPECT_EQ(BytesQueued(link_), 5);
    pty_.send("\x11");
    ASSERT_TRUE(eventually([&] { return BytesQueued(link_) == 0; }));
    EXPECT_EQ(pty_.receive(5), "hello");
}

TEST_F(LinkTest, DataPhaseTurnsOnXonXoffBothWays)
{
    link_.Speed = 19200;
    ASSERT_TRUE(OpenLink(link_));
    termios t{};
    ASSERT_EQ(tcgetattr(link_.Handle.fd(), &t), 0);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(link_.Dcb.Flags, TDcb::fBinary);

    SwitchToDataPhase(link_);
    ASSERT_EQ(tcgetattr(link_.Handle.fd(), &t), 0);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), tcflag_t(IXON | IXOFF));
    EXPECT_EQ(link_.Dcb.Flags, 769u);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B19200)) << "the data phase keeps the line settings";
}

TEST_F(LinkTest, PurgeDropsInputAndHeldOutput)
{
    ASSERT_TRUE(OpenLink(link_));
    SwitchToDataPhase(link_);
    deviceSaysXoff();
    deviceSends("junk");
    link_.Handle.write(reinterpret_cast<const uint8_t*>("stale"), 5);
    ASSERT_EQ(BytesQueued(link_), 5);
    PurgeLink(link_);
    EXPECT_EQ(BytesWaiting(link_), 0);
    EXPECT_EQ(BytesQueued(link_), 0);
    pty_.send("\x11");
    ASSERT_TRUE(WriteByte(link_, '!'));
    ASSERT_TRUE(eventually([&] { return BytesQueued(link_) == 0; }));
    EXPECT_EQ(pty_.receive(6, 200), "!");
}

// ---- opening -------------------------------------------------------------------------------

struct LineCase {
    uint16_t speed;
    uint8_t wordLen, parity, stopBits;
    speed_t code;
    tcflag_t size;
    tcflag_t parityBits;
    bool twoStops;
};

class OpenLinkLineTest : public LinkTest, public ::testing::WithParamInterface<LineCase> {};

// A pseudo-terminal always keeps eight data bits without parity, so the termios that the
// layer builds is checked as built, and on the line only what a pseudo-terminal keeps.
TEST_P(OpenLinkLineTest, AppliesTheLineSettingsWithoutFlowControl)
{
    const LineCase& c = GetParam();
    link_.Speed = c.speed;
    link_.WordLen = c.wordLen;
    link_.Parity = c.parity;
    link_.StopBits = c.stopBits;
    ASSERT_TRUE(OpenLink(link_));
    EXPECT_EQ(link_.Dcb.DCBlength, 28u);
    EXPECT_EQ(link_.Dcb.BaudRate, c.speed);
    EXPECT_EQ(link_.Dcb.ByteSize, c.wordLen);
    EXPECT_EQ(link_.Dcb.Parity, c.parity);
    EXPECT_EQ(link_.Dcb.StopBits, c.stopBits);
    EXPECT_EQ(link_.Dcb.Flags, TDcb::fBinary);
    EXPECT_EQ(link_.Dcb.XonLim, 512);
    EXPECT_EQ(link_.Dcb.XoffLim, 1536);

    termios t{};
    ASSERT_EQ(tcgetattr(link_.Handle.fd(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), c.code);
    EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.twoStops);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);

    platform::LineSettings s;
    s.baud = c.speed;
    s.dataBits = c.wordLen;
    s.parity = c.parity;
    s.stopBits = c.stopBits;
    termios built{};
    built.c_cflag = CRTSCTS | CS5 | PARODD;  // whatever the line had before
    built.c_iflag = IXON | IXANY;
    platform::MakeRawTermios(built, s);
    EXPECT_EQ(cfgetispeed(&built), c.code);
    EXPECT_EQ(built.c_cflag & CSIZE, c.size);
    EXPECT_EQ(built.c_cflag & (PARENB | PARODD), c.parityBits);
    EXPECT_EQ((built.c_cflag & CSTOPB) != 0, c.twoStops);
    EXPECT_EQ(built.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(built.c_iflag & (IXON | IXOFF | IXANY), 0u);
    EXPECT_EQ(built.c_cc[VMIN], 0);
}

INSTANTIATE_TEST_SUITE_P(Lines, OpenLinkLineTest,
                         ::testing::Values(LineCase{9600, 8, 0, 0, B9600, CS8, 0, false},
                                           LineCase{19200, 7, 2, 2, B19200, CS7, PARENB, true},
                                           LineCase{1200, 8, 1, 1, B1200, CS8, PARENB | PARODD, true},
                                           LineCase{4800, 7, 1, 0, B4800, CS7, PARENB | PARODD, false},
                                           LineCase{2400, 8, 0, 2, B2400, CS8, 0, true}));

TEST_F(LinkTest, ModemLinesThatThePseudoTerminalRefusesDoNotFailTheOpen)
{
    ASSERT_TRUE(OpenLink(link_));
    int bit = TIOCM_DTR;
    EXPECT_NE(ioctl(link_.Handle.fd(), TIOCMBIS, &bit), 0) << "a pseudo-terminal has no DTR";
    EXPECT_TRUE(link_.Handle.isOpen());
    EXPECT_TRUE(LinkInUse());
}

TEST_F(LinkTest, SettleWaitCountsTenTicksStopsTheTimerAndKeepsEventsFlowing)
{
    bool eventHandled = false;
    QTimer::singleShot(0, [&] { eventHandled = true; });
    ASSERT_TRUE(OpenLink(link_));
    EXPECT_EQ(TickCount, 10);
    EXPECT_FALSE(host_->TimerActive());
    EXPECT_TRUE(eventHandled);
}

struct UnavailableCase {
    const char* name;
    const char* port;
};

class OpenLinkUnavailableTest : public LinkTest,
                                public ::testing::WithParamInterface<UnavailableCase> {};

TEST_P(OpenLinkUnavailableTest, FailsQuietlyAndLeavesNothingOpen)
{
    link_.PortName = GetParam().port;
    EXPECT_FALSE(OpenLink(link_));
    EXPECT_FALSE(link_.Handle.isOpen());
    EXPECT_FALSE(LinkInUse());
    EXPECT_EQ(statusOutput(), "");
}

INSTANTIATE_TEST_SUITE_P(Ports, OpenLinkUnavailableTest,
                         ::testing::Values(UnavailableCase{"Missing", "/dev/vexlo-no-such-port"},
                                           UnavailableCase{"NotATerminal", "/dev/null"},
                                           UnavailableCase{"Empty", ""},
                                           UnavailableCase{"Directory", "/dev/"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LinkTest, APortHeldByAnotherProgramIsRefusedAndKeepsWorkingForIt)
{
    platform::SerialPort other;
    ASSERT_TRUE(other.open(pty_.slavePath()));
    EXPECT_FALSE(OpenLink(link_));
    EXPECT_FALSE(link_.Handle.isOpen());
    EXPECT_FALSE(LinkInUse());
    other.write(reinterpret_cast<const uint8_t*>("x"), 1);
    EXPECT_EQ(pty_.receive(1), "x");
    other.close();
    EXPECT_TRUE(OpenLink(link_));
}

TEST_F(LinkTest, NoSecondExchangeOpensWhileOneIsOpen)
{
    PtyPair second;
    TCommLink other;
    SetLine(other, second.slavePath());
    ASSERT_TRUE(OpenLink(link_));
    EXPECT_FALSE(OpenLink(other));
    EXPECT_FALSE(other.Handle.isOpen());
    EXPECT_TRUE(link_.Handle.isOpen()) << "the refused open must not touch the running one";
    ClosePort(link_);
    EXPECT_FALSE(LinkInUse());
    EXPECT_TRUE(OpenLink(other));
    ClosePort(other);
}

TEST_F(LinkTest, ClosePortReleasesTheLineForTheNextExchange)
{
    ASSERT_TRUE(OpenLink(link_));
    ClosePort(link_);
    EXPECT_FALSE(link_.Handle.isOpen());
    ClosePort(link_);  // twice is harmless
    platform::SerialPort other;
    EXPECT_TRUE(other.open(pty_.slavePath()));
}

// ---- port names ----------------------------------------------------------------------------

struct NameCase {
    const char* name;
    const char* expected;
};

class PortNameTest : public ::testing::TestWithParam<NameCase> {
protected:
    static void SetUpTestSuite()
    {
        dir_ = std::filesystem::temp_directory_path() / ("vexlo-ports-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir_);
        std::ofstream(dir_ / "VEXLO.INI") << "[Comm]\nPort=COM2\n[ports]\ncom2 = /dev/ttyUSB0\n"
                                             "COM7=/dev/ttyACM3\n";
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(dir_); }
    static std::filesystem::path dir_;
};
std::filesystem::path PortNameTest::dir_;

TEST_P(PortNameTest, Resolves)
{
    EXPECT_EQ(ResolvePortName(GetParam().name, (dir_ / "VEXLO.INI").string()),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Names, PortNameTest,
                         ::testing::Values(NameCase{"COM1", "/dev/ttyS0"},
                                           NameCase{"com3", "/dev/ttyS2"},
                                           NameCase{"COM10", "/dev/ttyS9"},
                                           NameCase{"COM2", "/dev/ttyUSB0"},
                                           NameCase{"Com7", "/dev/ttyACM3"},
                                           NameCase{"/dev/pts/9", "/dev/pts/9"},
                                           NameCase{"COM0", "COM0"},
                                           NameCase{"COM", "COM"},
                                           NameCase{"COM1x", "COM1x"},
                                           NameCase{"LPT1", "LPT1"}));

TEST_F(LinkTest, OpensAComNameMappedInThePortsSection)
{
    const auto dir = std::filesystem::temp_directory_path() / ("vexlo-xdg-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string savedValue = saved ? saved : "";
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    ASSERT_TRUE(platform::WritePrivateProfileString("Ports", "COM5", pty_.slavePath(), kConfigFile));
    link_.PortName = "COM5";
    const bool opened = OpenLink(link_);
    if (saved)
        setenv("XDG_CONFIG_HOME", savedValue.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
    std::filesystem::remove_all(dir);
    ASSERT_TRUE(opened);
    ASSERT_TRUE(WriteByte(link_, 'k'));
    EXPECT_EQ(pty_.receive(1), "k");
}

}  // namespace
