// vexlo-cli receive against the device simulator on a pseudo-terminal.
#include "support/CliProcess.h"
#include "support/MemoImages.h"
#include "support/PtyDevice.h"
#include "support/SimProcess.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <sys/stat.h>

namespace {

class ReceiveCli : public CliFixture {
protected:
    QStringList writeMemos(const std::vector<QSize>& sizes) { return WriteRandomMemos(dir.path(), sizes, 2000, images); }

    void startCli(const QStringList& extra = {})
    {
        startCliIn(dir.path(),  // no VEXLO.INI there
                   QStringList{QStringLiteral("receive"), QStringLiteral("--port"), dir.path() + QStringLiteral("/COM1"),
                               QStringLiteral("--speed"), QStringLiteral("19200"), QStringLiteral("--out"), out()}
                       << extra);
    }

    QString out() const { return dir.path() + QStringLiteral("/out"); }

    void expectFiles(size_t count)
    {
        const QStringList files = QDir(out()).entryList({QStringLiteral("memo-*.bmp")}, QDir::Files, QDir::Name);
        ASSERT_EQ(size_t(files.size()), count) << stdoutText.toStdString();
        for (size_t i = 0; i < count; ++i) {
            QImage written(out() + QLatin1Char('/') + files[int(i)]);
            EXPECT_EQ(written.depth(), 1) << files[int(i)].toStdString();
            EXPECT_EQ(PixelDifference(images[i], written), QString()) << files[int(i)].toStdString();
        }
        EXPECT_EQ(size_t(stdoutText.count(QLatin1Char('\n'))), count);
    }

    QTemporaryDir dir;
    std::vector<QImage> images;
};

struct CleanCase {
    const char* name;
    QStringList faults;
};

class ReceiveCliClean : public ReceiveCli, public testing::WithParamInterface<CleanCase> {};

TEST_P(ReceiveCliClean, WritesEveryMemo)
{
    SimProcess sim(dir.path(), QStringList{QStringLiteral("send")} << GetParam().faults
                                                                  << writeMemos({{100, 50}, {8, 30}, {124, 121}}));
    ASSERT_TRUE(sim.ready());
    startCli();
    EXPECT_EQ(finish(), 0) << stderrText.toStdString();
    expectFiles(3);
    EXPECT_TRUE(stderrText.contains(QStringLiteral("受信中です:3"))) << stderrText.toStdString();
    EXPECT_EQ(sim.wait(), 0) << sim.log().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Cases, ReceiveCliClean,
                         testing::Values(CleanCase{"Plain", {}},
                                         CleanCase{"Corrupt", {QStringLiteral("--corrupt"), QStringLiteral("3")}},
                                         CleanCase{"Noise", {QStringLiteral("--noise")}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReceiveCli, CtrlCAfterTheFirstMemoKeepsItAndFails)
{
    SimProcess sim(dir.path(), QStringList{QStringLiteral("send"), QStringLiteral("--baud"), QStringLiteral("19200")}
                                   << writeMemos({{60, 40}, {124, 121}, {124, 121}}));
    ASSERT_TRUE(sim.ready());
    startCli();
    interruptWhenStatus(QStringLiteral("受信中です:1"));
    EXPECT_EQ(finish(), 1);
    expectFiles(1);
    EXPECT_TRUE(stderrText.contains(QStringLiteral("通信がキャンセルされました"))) << stderrText.toStdString();
}

TEST_F(ReceiveCli, ALineThatHangsUpFailsAndKeepsAcknowledgedMemos)
{
    SimProcess sim(dir.path(), QStringList{QStringLiteral("send"), QStringLiteral("--hangup-after"), QStringLiteral("2200")}
                                   << writeMemos({{100, 50}, {124, 121}}));
    ASSERT_TRUE(sim.ready());
    startCli();
    EXPECT_EQ(finish(), 1);
    expectFiles(1);
}

// Without --out the memos go into the library folder (here under XDG_DATA_HOME).
class ReceiveCliLibrary : public ReceiveCli {
protected:
    QString library() const { return dir.path() + QStringLiteral("/data/vexlo/memos"); }

    void startLibrary(const QStringList& extra)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path());
        env.insert(QStringLiteral("XDG_DATA_HOME"), dir.path() + QStringLiteral("/data"));
        cli.setProcessEnvironment(env);
        cli.setWorkingDirectory(dir.path());
        cli.start(qEnvironmentVariable("VEXLO_BINARY_DIR") + QStringLiteral("/tools/cli/vexlo-cli"),
                  QStringList{QStringLiteral("receive"), QStringLiteral("--port"), dir.path() + QStringLiteral("/COM1")}
                      << extra);
        ASSERT_TRUE(cli.waitForStarted(10000));
    }

    QStringList libraryFiles() const { return QDir(library()).entryList(QDir::Files | QDir::Hidden, QDir::Name); }
};

TEST_F(ReceiveCliLibrary, ExecRunsForEveryStoredMemoWithItsPathAndNoShell)
{
    // A title that a shell would run; the hook fails for the second memo.
    QStringList memos = writeMemos({{20, 10}, {30, 12}, {40, 14}});
    const QString hostile = dir.path() + QStringLiteral("/$(touch PWNED);x.bmp");
    ASSERT_TRUE(QFile::rename(memos[1], hostile));
    memos[1] = hostile;
    const QString hook = dir.path() + QStringLiteral("/hook.sh");
    QFile script(hook);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nprintf '%s|%s\\n' \"$#\" \"$1\" >> \"$(dirname \"$0\")/hook.log\"\n"
                 "case \"$1\" in *PWNED*) exit 3;; esac\n");
    script.close();
    script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    SimProcess sim(dir.path(), QStringList{QStringLiteral("send")} << memos);
    ASSERT_TRUE(sim.ready());
    startLibrary({QStringLiteral("--exec"), hook});
    EXPECT_EQ(finish(), 2) << "a failed command is not success: " << stderrText.toStdString();
    const QStringList files = libraryFiles();
    ASSERT_EQ(files.size(), 3) << stdoutText.toStdString();
    QStringList paths;
    for (const QString& line : stdoutText.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        paths << line.section(QLatin1Char('\t'), 0, 0);
    QFile log(dir.path() + QStringLiteral("/hook.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    QStringList calls;
    for (const QString& path : paths) {
        EXPECT_TRUE(QFile::exists(path)) << path.toStdString();
        calls << QStringLiteral("1|") + path;
    }
    EXPECT_EQ(QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts), calls);
    EXPECT_TRUE(paths[1].contains(QStringLiteral("$(touch PWNED);x"))) << paths[1].toStdString();
    EXPECT_FALSE(QFile::exists(dir.path() + QStringLiteral("/PWNED")));
    EXPECT_TRUE(stderrText.contains(QStringLiteral("--exec for %1: %2 ended with status 3").arg(paths[1], hook)))
        << stderrText.toStdString();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(PixelDifference(images[size_t(i)], QImage(paths[i])), QString());
}

// The README's own example: quotes and backslashes as a shell reads them, the shell run by
// the command itself; and a program that cannot run is refused before anything is received.
TEST_F(ReceiveCliLibrary, ExecSplitsAsAShellAndRefusesWhatCannotRun)
{
    const QString backup = dir.path() + QStringLiteral("/backup dir");
    ASSERT_TRUE(QDir().mkpath(backup));
    const QStringList memos = writeMemos({{20, 10}, {30, 12}});
    SimProcess sim(dir.path(), QStringList{QStringLiteral("send")} << memos);
    ASSERT_TRUE(sim.ready());
    startLibrary({QStringLiteral("--exec"), QStringLiteral("sh -c \"cp \\\"$1\\\" '%1/'\" sh").arg(backup)});
    EXPECT_EQ(finish(), 0) << stderrText.toStdString();
    const QStringList stored = QDir(library()).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(stored.size(), 2);
    EXPECT_EQ(QDir(backup).entryList(QDir::Files, QDir::Name), stored);

    startLibrary({QStringLiteral("--exec"), QStringLiteral("no-such-program-of-vexlo {}")});
    EXPECT_EQ(finish(), 2);
    EXPECT_TRUE(stderrText.contains(QStringLiteral("cannot run no-such-program-of-vexlo"))) << stderrText.toStdString();
}

TEST_F(ReceiveCliLibrary, LoopCollectsExchangeAfterExchangeUntilCtrlC)
{
    SimProcess sim(dir.path(), QStringList{QStringLiteral("send"), QStringLiteral("--loop")}
                                   << writeMemos({{20, 10}, {30, 12}}));
    ASSERT_TRUE(sim.ready());
    startLibrary({QStringLiteral("--loop")});
    QDeadlineTimer deadline(60000);
    while (!deadline.hasExpired() && stdoutText.count(QLatin1Char('\n')) < 6) {
        cli.waitForReadyRead(50);
        stdoutText += QString::fromUtf8(cli.readAllStandardOutput());
    }
    ASSERT_GE(stdoutText.count(QLatin1Char('\n')), 6) << "three exchanges";
    ::kill(pid_t(cli.processId()), SIGINT);
    const QString before = stdoutText;
    EXPECT_EQ(finish(), 0) << stderrText.toStdString();
    const int lines = int((before + stdoutText).count(QLatin1Char('\n')));
    EXPECT_EQ(libraryFiles().size(), lines) << "one file a memo, none written over";
}

// A memo the device sends again because its "#" was lost is acknowledged and not stored twice;
// the same memo sent again after an exchange that went well, or twice in one exchange, is.
struct ResendSession {
    std::vector<int> memos;  // which of the memos A (0) and B (1), in order
    int loseAck = 0;         // the "#" of this memo of the session is lost (0: none)
};

struct ResendCase {
    const char* name;
    std::vector<ResendSession> sessions;
    std::vector<int> library;  // the memos the library holds at the end, oldest first
    int recognised;            // "sent again" notes on standard error
};

class ReceiveCliResend : public ReceiveCliLibrary, public testing::WithParamInterface<ResendCase> {};

TEST_P(ReceiveCliResend, StoresEachMemoOnceAndEachDrawingSentOnPurpose)
{
    const ResendCase& c = GetParam();
    const QStringList files = writeMemos({{40, 20}, {64, 33}});
    int recognised = 0;
    for (const ResendSession& session : c.sessions) {
        QStringList args{QStringLiteral("send")};
        if (session.loseAck)
            args << QStringLiteral("--lose-ack") << QString::number(session.loseAck);
        for (int m : session.memos)
            args << files[m];
        SimProcess sim(dir.path(), args);
        ASSERT_TRUE(sim.ready());
        stderrText.clear();
        startLibrary({});
        EXPECT_EQ(finish(), session.loseAck ? 1 : 0) << stderrText.toStdString();
        EXPECT_EQ(sim.wait(), 0) << "every memo acknowledged: " << sim.log().toStdString();
        recognised += int(stderrText.count(QStringLiteral("sent again by the device")));
    }
    EXPECT_EQ(recognised, c.recognised);
    QStringList memos = QDir(library()).entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
    ASSERT_EQ(memos.size(), qsizetype(c.library.size())) << memos.join(QLatin1Char('|')).toStdString();
    // Within a second the names tie: then the time of writing orders them.
    std::stable_sort(memos.begin(), memos.end(), [&](const QString& a, const QString& b) {
        return QFileInfo(library() + QLatin1Char('/') + a).lastModified() <
               QFileInfo(library() + QLatin1Char('/') + b).lastModified();
    });
    for (qsizetype i = 0; i < memos.size(); ++i)
        EXPECT_EQ(PixelDifference(images[size_t(c.library[size_t(i)])], QImage(library() + QLatin1Char('/') + memos[i])),
                  QString())
            << memos[i].toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReceiveCliResend,
    testing::Values(
        ResendCase{"FirstAckLostThenSentAgain", {{{0, 1}, 1}, {{0, 1}}}, {0, 1}, 1},
        ResendCase{"SecondAckLostThenSentAgain", {{{0, 1}, 2}, {{1}}}, {0, 1}, 1},
        ResendCase{"AckLostTwice", {{{0}, 1}, {{0}, 1}, {{0}}}, {0}, 2},
        ResendCase{"SentTwiceOnPurpose", {{{0}}, {{0}}}, {0, 0}, 0},
        ResendCase{"TwiceInOneExchange", {{{0, 0}}}, {0, 0}, 0},
        ResendCase{"OnlyTheMemoWhoseAckWasLostIsARepeat", {{{0, 1}, 2}, {{0}}}, {0, 1, 0}, 0},
        ResendCase{"RepeatRecognisedThenSentOnPurpose", {{{0}, 1}, {{0}}, {{0}}}, {0, 0}, 1}),
    [](const auto& info) { return std::string(info.param.name); });

struct BadCase {
    const char* name;
    QStringList args;
    int status;
    const char* message;
    const char* ini = nullptr;  // VEXLO.INI's text; "FIFO" puts a FIFO in its place
};

class ReceiveCliBad : public ReceiveCli, public testing::WithParamInterface<BadCase> {};

TEST_P(ReceiveCliBad, SaysWhatIsWrong)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path());
    p.setProcessEnvironment(env);
    const QString ini = dir.path() + QStringLiteral("/VEXLO.INI");
    if (const char* text = GetParam().ini; text && std::string(text) == "FIFO") {
        ASSERT_EQ(::mkfifo(QFile::encodeName(ini).constData(), 0600), 0);
    } else if (text) {
        QFile file(ini);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    p.start(qEnvironmentVariable("VEXLO_BINARY_DIR") + QStringLiteral("/tools/cli/vexlo-cli"),
            QStringList{QStringLiteral("receive")} << GetParam().args);
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), GetParam().status);
    EXPECT_TRUE(QString::fromUtf8(p.readAllStandardError()).contains(QString::fromUtf8(GetParam().message)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReceiveCliBad,
    testing::Values(
        BadCase{"MissingPort", {"--out", "/tmp/x"}, 2, "--port NAME is missing"},
        BadCase{"MissingOut", {"--port", "COM1"}, 2, "--out DIR is missing", "[Library]\nAutoSave=FALSE\n"},
        BadCase{"BadSpeed", {"--port", "COM1", "--speed", "12345", "--out", "/tmp/x"}, 2, "--speed is"},
        BadCase{"BadParity", {"--port", "COM1", "--parity", "mark", "--out", "/tmp/x"}, 2, "--parity is"},
        BadCase{"BadStopBits", {"--port", "COM1", "--stop-bits", "3", "--out", "/tmp/x"}, 2, "--stop-bits is"},
        BadCase{"NoSuchPort", {"--port", "/dev/no-such-line", "--out", "/tmp/vexlo-cli-test-out"}, 1, "cannot open"},
        // The settings file: a speed the line cannot take is named, never run silently at
        // another; a FIFO in the file's place is not opened (it would wait for a writer).
        BadCase{"ConfiguredSpeedRefused", {"--port", "/dev/no-such-line", "--out", "/tmp/vexlo-cli-test-out"}, 1,
                "cannot run at 12345 bit/s", "[Comm]\nPort=COM1\nSpeed=12345\n"},
        BadCase{"ConfigurationIsAFifo", {"--port", "/dev/no-such-line", "--out", "/tmp/vexlo-cli-test-out"}, 1,
                "is not a regular file", "FIFO"}),
    [](const auto& info) { return std::string(info.param.name); });

// One record as the device sends it: count, address, type, data and the checksum.
std::string Record(uint16_t address, uint8_t type, const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> bytes{uint8_t(data.size()), uint8_t(address >> 8), uint8_t(address), type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    uint8_t sum = 0;
    std::string text = ":";
    char hex[3];
    for (uint8_t b : bytes) {
        sum = uint8_t(sum - b);
        std::snprintf(hex, sizeof hex, "%02X", b);
        text += hex;
    }
    std::snprintf(hex, sizeof hex, "%02X", sum);
    return text + hex;
}

// A memo whose header claims WIDTH x HEIGHT, with one image data record of its first row (or
// of as much of it as a record holds).
std::string MemoText(uint16_t width, uint16_t height)
{
    const uint16_t rowBytes = uint16_t(width / 8 + 1);
    std::vector<uint8_t> row{0, 0};
    row.resize(2 + std::min<uint16_t>(rowBytes, 100), 0x80);
    return Record(0x9F20, 0x02, {}) +
           Record(0xA000, 0x80, {1, 0x41, 0x53, uint8_t(width >> 8), uint8_t(width), uint8_t(height >> 8),
                                 uint8_t(height), 0, uint8_t(rowBytes)}) +
           Record(0xA000, 0x00, row) + ":00000001FF";
}

// A memo that cannot be drawn (its header claims 65535 x 65535 pixels) is never acknowledged:
// the PC answers "?" as for a damaged memo, says so, and stores nothing for it. A device that
// sends nothing else is given up with "!".
struct UndrawableCase {
    const char* name;
    int undrawable;       // memos of 65535 x 65535 sent, each after the PC's answer to the last
    const char* answers;  // what the PC answers, in order
    int status;
    int files;
    const char* message;
};

class ReceiveCliUndrawable : public ReceiveCli, public testing::WithParamInterface<UndrawableCase> {};

TEST_P(ReceiveCliUndrawable, IsAnsweredLikeADamagedMemoAndNotStored)
{
    const UndrawableCase& c = GetParam();
    PtyDevice device;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path());
    cli.setProcessEnvironment(env);
    cli.start(qEnvironmentVariable("VEXLO_BINARY_DIR") + QStringLiteral("/tools/cli/vexlo-cli"),
              {QStringLiteral("receive"), QStringLiteral("--port"), device.path(), QStringLiteral("--out"), out()});
    ASSERT_TRUE(cli.waitForStarted(10000));
    ASSERT_TRUE(device.answerCall());
    std::string answers;
    // The PC's verdict on a memo; flow control bytes do not count.
    auto answer = [&] {
        for (int b = device.nextByte(10000); b >= 0; b = device.nextByte(10000))
            if (b == '#' || b == '?' || b == '!') {
                answers += char(b);
                return;
            }
    };
    for (int i = 0; i < c.undrawable; ++i) {
        device.send(MemoText(65535, 65535));
        answer();
    }
    if (answers.find('!') == std::string::npos) {
        device.send(MemoText(7, 1));
        answer();
        device.send(":000000FF01");
    }
    EXPECT_EQ(finish(), c.status) << stderrText.toStdString();
    EXPECT_EQ(answers, c.answers);
    EXPECT_EQ(QDir(out()).entryList(QDir::Files).size(), c.files);
    EXPECT_TRUE(stderrText.contains(QString::fromUtf8(c.message))) << stderrText.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReceiveCliUndrawable,
    testing::Values(UndrawableCase{"OnceThenAGoodMemo", 1, "?#", 2, 1, "65535x65535 pixels is larger than 4096x4096"},
                    UndrawableCase{"AgainAndAgain", 3, "?" "?!", 2, 0,
                                   "QM-10 が表示できないメモを 3 回続けて送ってきたため、通信を中止しました"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
