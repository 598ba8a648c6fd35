// The inbox under faults. The simulated device sends 50 memos in every exchange (--loop) while
// vexlo-cli receive, or VEXLO's frame (inbox-driver), is killed with SIGKILL at random moments;
// a last exchange runs to its end. Afterwards every memo the device logged as accepted is in
// the library folder, whole and pixel for pixel, no partial file is left, and nothing was
// stored twice but a memo whose "#" a kill cut off. A full disk (a small tmpfs) ends the
// exchange with "!" and the reason, and every memo acknowledged before it is there.
#include "support/MemoImages.h"
#include "support/WaitFor.h"
#include "support/PtyDevice.h"

#include "picture/Picture.h"
#include "store/MemoFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <map>

namespace {

constexpr int kMemos = 50;

enum class Program { Cli, Vexlo };

struct Outcome {
    int status = -1;  // -1: killed
    QString output;   // standard output and error
};

class InboxFaults : public testing::TestWithParam<Program> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QDir().mkpath(path("memos"));
        QDir().mkpath(path("config"));
        QRandomGenerator random(4242);
        for (int i = 1; i <= kMemos; ++i) {
            const QString title = QStringLiteral("m%1").arg(i, 2, 10, QLatin1Char('0'));
            images[title] = RandomMemo(8 + int(random.bounded(117)), 8 + int(random.bounded(114)), 5000 + quint32(i));
            images[title].save(path("memos/") + title + QStringLiteral(".bmp"), "BMP");
        }
    }

    void TearDown() override
    {
        if (sim.state() != QProcess::NotRunning) {
            sim.kill();
            sim.waitForFinished(5000);
        }
        if (mounted)
            QProcess::execute(QStringLiteral("umount"), {library()});
    }

    QString path(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }
    QString link() const { return path(QStringLiteral("COM1")); }
    QString library() const { return path(QStringLiteral("library")); }

    void startSim()
    {
        sim.setProgram(qEnvironmentVariable("VEXLO_BINARY_DIR") + QStringLiteral("/tools/qm10sim/qm10-sim"));
        sim.setArguments({QStringLiteral("send"), QStringLiteral("--loop"), QStringLiteral("--link"), link(),
                          path(QStringLiteral("memos"))});
        // A file, not a pipe: a pipe nobody reads would fill and stop the device.
        sim.setStandardErrorFile(path(QStringLiteral("sim.log")));
        sim.setStandardOutputFile(QProcess::nullDevice());
        sim.start();
        ASSERT_TRUE(sim.waitForStarted(10000));
        eventually([this] { return QFile::exists(link()); }, 10000);
        ASSERT_TRUE(QFile::exists(link()));
        QFile ini(path(QStringLiteral("config/VEXLO.INI")));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[Comm]\r\nPort=COM1\r\nSpeed=19200\r\n[Ports]\r\nCOM1=" + link().toUtf8() +
                  "\r\n[Library]\r\nFolder=" + library().toUtf8() + "\r\n");
    }

    QString simLog() const
    {
        QFile log(path(QStringLiteral("sim.log")));
        log.open(QIODevice::ReadOnly);
        return QString::fromUtf8(log.readAll());
    }

    // Starts the program on the line at PORT, for one exchange.
    void start(QProcess& p, const QString& port)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), path(QStringLiteral("data")));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        const QString bin = qEnvironmentVariable("VEXLO_BINARY_DIR");
        if (GetParam() == Program::Cli)
            p.start(bin + QStringLiteral("/tools/cli/vexlo-cli"), {QStringLiteral("receive"), QStringLiteral("--port"), port});
        else
            p.start(bin + QStringLiteral("/tests/inbox/inbox-driver"), QStringList());
    }

    // Runs the program for one exchange; with KILLAFTERMS >= 0 it is killed then.
    Outcome run(int killAfterMs = -1)
    {
        QProcess p;
        start(p, link());
        Outcome result;
        if (!p.waitForStarted(10000))
            return result;
        if (killAfterMs >= 0 && !p.waitForFinished(killAfterMs)) {
            ::kill(pid_t(p.processId()), SIGKILL);
            p.waitForFinished(10000);
        } else {
            p.waitForFinished(120000);
        }
        result.output = QString::fromUtf8(p.readAll());
        if (p.exitStatus() == QProcess::NormalExit)
            result.status = p.exitCode();
        return result;
    }

    // How often the device logged each memo as accepted.
    std::map<QString, int> accepted() const
    {
        std::map<QString, int> count;
        static const QRegularExpression line(QStringLiteral("memo \\d+ \"(m\\d\\d)\" accepted"));
        auto it = line.globalMatch(simLog());
        while (it.hasNext())
            ++count[it.next().captured(1)];
        return count;
    }

    // Every file of the library is a whole memo with its title and the device's pixels.
    std::map<QString, int> storedMemos()
    {
        std::map<QString, int> count;
        const QFileInfoList files =
            QDir(library()).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        for (const QFileInfo& file : files) {
            SCOPED_TRACE(file.fileName().toStdString());
            EXPECT_FALSE(file.fileName().startsWith(QLatin1Char('.'))) << "a partial file is left";
            QString why;
            const std::optional<QImage> picture = ReadPictureFile(file.filePath(), &why);
            const std::optional<TMemoMeta> meta = ReadMemoMeta(file.filePath());
            if (!picture || !meta || !meta->Carried || !images.count(meta->Title)) {
                ADD_FAILURE() << "not a whole memo: " << why.toStdString();
                continue;
            }
            EXPECT_TRUE(file.fileName().endsWith(meta->Title + QStringLiteral(".png")) ||
                        file.fileName().contains(meta->Title + QStringLiteral(" (")));
            EXPECT_EQ(PixelDifference(images[meta->Title], *picture), QString());
            ++count[meta->Title];
        }
        return count;
    }

    QTemporaryDir dir;
    std::map<QString, QImage> images;
    QProcess sim;
    bool mounted = false;
};

TEST_P(InboxFaults, KillsLoseNoAcknowledgedMemoAndLeaveNoPartialFile)
{
    const int kills = qEnvironmentVariableIsSet("VEXLO_INBOX_KILLS") ? qEnvironmentVariableIntValue("VEXLO_INBOX_KILLS") : 3;
    startSim();
    // One whole exchange first: all 50 arrive, and it tells how long an exchange takes.
    QElapsedTimer clock;
    clock.start();
    const Outcome first = run();
    const int exchangeMs = int(clock.elapsed());
    ASSERT_EQ(first.status, 0) << first.output.toStdString() << simLog().toStdString();

    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    SCOPED_TRACE("kill seed " + std::to_string(seed));
    for (int k = 0; k < kills; ++k)
        run(int(random.bounded(exchangeMs + 1)));
    const Outcome last = run();
    EXPECT_EQ(last.status, 0) << last.output.toStdString() << simLog().toStdString();

    const std::map<QString, int> device = accepted();
    const std::map<QString, int> stored = storedMemos();
    int acceptedTotal = 0, storedTotal = 0;
    for (const auto& [title, times] : device) {
        EXPECT_GE(stored.count(title) ? stored.at(title) : 0, times) << title.toStdString() << " was acknowledged";
        acceptedTotal += times;
    }
    for (const auto& [title, times] : stored)
        storedTotal += times;
    EXPECT_GE(acceptedTotal, 2 * kMemos);
    std::printf("%d kills: the device accepted %d memos, %d are in the library (kill seed %u)\n", kills,
                acceptedTotal, storedTotal, seed);
    // A kill between a memo's file and its "#" leaves one memo the device sends again.
    EXPECT_LE(storedTotal, acceptedTotal + kills);
}

TEST_P(InboxFaults, AFullDiskEndsTheExchangeWithAbortAndKeepsWhatWasAcknowledged)
{
    QDir().mkpath(library());
    if (QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                                    QStringLiteral("size=48k"), QStringLiteral("tmpfs"), library()}) != 0)
        GTEST_SKIP() << "a small tmpfs cannot be mounted here (needs root)";
    mounted = true;
    startSim();
    const Outcome full = run();
    EXPECT_EQ(full.status, GetParam() == Program::Cli ? 2 : 0) << full.output.toStdString();
    EXPECT_TRUE(full.output.contains(QStringLiteral("ディスクの空き容量が足りません")) &&
                full.output.contains(QStringLiteral("このメモは QM-10 に残っています")))
        << full.output.toStdString();
    if (GetParam() == Program::Vexlo) {
        EXPECT_TRUE(full.output.contains(QStringLiteral("BOX ｴﾗｰ: 受信したメモを保存できない"))) << full.output.toStdString();
    }
    // The device may write its line a moment after the program has ended.
    QString log;
    eventually([&] { return (log = simLog()).contains(QStringLiteral("the PC aborted the exchange at memo")); });
    EXPECT_TRUE(log.contains(QStringLiteral("the PC aborted the exchange at memo"))) << log.toStdString();
    const std::map<QString, int> device = accepted();
    const std::map<QString, int> stored = storedMemos();
    ASSERT_FALSE(device.empty()) << log.toStdString();
    EXPECT_LT(int(device.size()), kMemos);
    for (const auto& [title, times] : device)
        EXPECT_EQ(stored.count(title) ? stored.at(title) : 0, times) << title.toStdString();
    EXPECT_EQ(stored.size(), device.size());
}

// SIGTERM (a service manager stopping the receiver) and SIGHUP (a closed terminal) in the
// middle of a memo cancel as Ctrl-C does: the device is told "!", the memo it was told had
// arrived is stored, the one in progress is not. vexlo-cli says 通信がキャンセルされました and
// fails; VEXLO then ends by the signal.
TEST_P(InboxFaults, TerminationCancelsTheExchangeLikeCtrlC)
{
    // One memo of 2 x 1 pixels, the first black.
    const std::string memo = ":009F20023F:09A000800141530002000100013E:03A00000000080DD:00000001FF";
    for (const int signal : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal == SIGTERM ? "SIGTERM" : "SIGHUP");
        PtyDevice device;
        QFile ini(path(QStringLiteral("config/VEXLO.INI")));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[Comm]\r\nPort=" + device.path().toUtf8() + "\r\n[Library]\r\nFolder=" + library().toUtf8() + "\r\n");
        ini.close();
        QDir(library()).removeRecursively();
        QProcess p;
        start(p, device.path());
        ASSERT_TRUE(p.waitForStarted(10000));
        ASSERT_TRUE(device.answerCall());
        device.send(memo);
        int answer = device.nextByte(10000);
        while (answer == 0x11 || answer == 0x13)
            answer = device.nextByte(10000);
        ASSERT_EQ(answer, '#') << QString::fromUtf8(p.readAll()).toStdString();
        device.send(memo.substr(0, 30));  // the next memo, cut short
        ::kill(pid_t(p.processId()), signal);
        answer = device.nextByte(10000);
        while (answer == 0x11 || answer == 0x13)
            answer = device.nextByte(10000);
        EXPECT_EQ(answer, '!') << "the device is told";
        ASSERT_TRUE(p.waitForFinished(20000));
        const QString output = QString::fromUtf8(p.readAll());
        if (GetParam() == Program::Cli) {
            EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(p.exitCode(), 1) << output.toStdString();
            EXPECT_TRUE(output.contains(QStringLiteral("通信がキャンセルされました"))) << output.toStdString();
        } else {
            EXPECT_EQ(p.exitStatus(), QProcess::CrashExit) << "VEXLO ends by the signal once the line is clean";
        }
        const QStringList files = QDir(library()).entryList(QDir::Files);
        ASSERT_EQ(files.size(), 1) << output.toStdString();
        EXPECT_EQ(QImage(library() + QLatin1Char('/') + files.first()).size(), QSize(2, 1));
    }
}

INSTANTIATE_TEST_SUITE_P(Programs, InboxFaults, testing::Values(Program::Cli, Program::Vexlo),
                         [](const auto& info) { return info.param == Program::Cli ? "VexloCli" : "Vexlo"; });

}  // namespace
