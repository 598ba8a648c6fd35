// Every fault the simulated device can play, in both directions, against vexlo-cli: the
// exchange ends, both sides report what happened, and every memo the device was told had
// arrived is there exactly once with its pixels, and nothing else is.
#include "support/MemoImages.h"
#include "support/SimProcess.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <csignal>

namespace {

enum class Direction { Receive, Send };

struct FaultCase {
    const char* name;
    Direction direction;
    QStringList faults;     // the simulator's fault options
    const char* cancelAt;   // Ctrl-C to vexlo-cli once it shows this status, or null
    int cliStatus;
    int simStatus;
};

// A hang guard, not a measurement: an exchange that has not ended by then never will.
constexpr int kHangGuardMs = 90000;

class FaultMatrix : public testing::TestWithParam<FaultCase> {
protected:
    QStringList writeMemos(const std::vector<QSize>& sizes) { return WriteRandomMemos(dir.path(), sizes, 3000, images); }

    QString out() const { return dir.path() + QStringLiteral("/out"); }

    void runCli(const QStringList& args, const char* cancelAt)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path());
        cli.setProcessEnvironment(env);
        cli.start(qEnvironmentVariable("VEXLO_BINARY_DIR") + QStringLiteral("/tools/cli/vexlo-cli"), args);
        ASSERT_TRUE(cli.waitForStarted(10000));
        QDeadlineTimer deadline(kHangGuardMs);
        bool interrupted = false;
        while (cli.state() != QProcess::NotRunning && !deadline.hasExpired()) {
            cli.waitForFinished(20);
            errText += QString::fromUtf8(cli.readAllStandardError());
            if (cancelAt && !interrupted && errText.contains(QString::fromUtf8(cancelAt))) {
                ::kill(pid_t(cli.processId()), SIGINT);
                interrupted = true;
            }
        }
        errText += QString::fromUtf8(cli.readAllStandardError());
        ASSERT_EQ(cli.state(), QProcess::NotRunning) << "vexlo-cli did not end: " << errText.toStdString();
        ASSERT_TRUE(!cancelAt || interrupted) << "never showed " << cancelAt << ": " << errText.toStdString();
    }

    // The images a folder holds, by name.
    static QStringList imagesIn(const QString& folder, const QString& pattern)
    {
        return QDir(folder).entryList({pattern}, QDir::Files, QDir::Name);
    }

    QTemporaryDir dir;
    std::vector<QImage> images;
    QProcess cli;
    QString errText;
};

TEST_P(FaultMatrix, EndsAndKeepsEveryDeliveredMemoExactlyOnce)
{
    const FaultCase& c = GetParam();
    ASSERT_TRUE(dir.isValid());
    if (c.direction == Direction::Receive) {
        const QStringList memos = writeMemos({{60, 40}, {124, 121}, {33, 17}});
        SimProcess sim(dir.path(), QStringList{QStringLiteral("send"), QStringLiteral("--baud"), QStringLiteral("19200")}
                                       << c.faults << memos);
        ASSERT_TRUE(sim.ready()) << sim.log().toStdString();
        runCli({QStringLiteral("receive"), QStringLiteral("--port"), sim.link(), QStringLiteral("--speed"),
                QStringLiteral("19200"), QStringLiteral("--out"), out()},
               c.cancelAt);
        EXPECT_EQ(cli.exitCode(), c.cliStatus) << errText.toStdString();
        const int simStatus = sim.wait(kHangGuardMs);
        const QString log = sim.log();
        EXPECT_EQ(simStatus, c.simStatus) << log.toStdString();
        // The device was told a memo arrived when it heard "#": it says "accepted".
        const int delivered = int(log.count(QRegularExpression(QStringLiteral("memo \\d+ .* accepted"))));
        const QStringList written = imagesIn(out(), QStringLiteral("memo-*.bmp"));
        ASSERT_EQ(written.size(), delivered) << log.toStdString() << errText.toStdString();
        for (int i = 0; i < delivered; ++i)
            EXPECT_EQ(PixelDifference(images[size_t(i)], QImage(out() + QLatin1Char('/') + written[i])), QString())
                << written[i].toStdString();
    } else {
        const QStringList memos = writeMemos({{100, 50}});
        SimProcess sim(dir.path(), QStringList{QStringLiteral("receive"), QStringLiteral("--baud"), QStringLiteral("19200")}
                                       << c.faults << QStringLiteral("--out") << out());
        ASSERT_TRUE(sim.ready()) << sim.log().toStdString();
        runCli({QStringLiteral("send"), QStringLiteral("--port"), sim.link(), QStringLiteral("--speed"),
                QStringLiteral("19200"), memos[0], QStringLiteral("--title"), QStringLiteral("メモ"),
                QStringLiteral("--reading"), QStringLiteral("めも"), QStringLiteral("--yes")},
               c.cancelAt);
        EXPECT_EQ(cli.exitCode(), c.cliStatus) << errText.toStdString();
        if (c.simStatus >= 0) {
            EXPECT_EQ(sim.wait(kHangGuardMs), c.simStatus) << sim.log().toStdString();
        }
        const QStringList stored = imagesIn(out(), QStringLiteral("*.bmp"));
        // The device stores what it accepted ("#" from it), once; after a failed exchange nothing.
        ASSERT_EQ(stored.size(), c.cliStatus == 0 ? 1 : 0) << sim.log().toStdString();
        if (!stored.isEmpty()) {
            EXPECT_EQ(PixelDifference(images[0], QImage(out() + QLatin1Char('/') + stored[0])), QString());
        }
    }
}

const QString K(const char* s) { return QString::fromUtf8(s); }

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultMatrix,
    testing::Values(
        FaultCase{"ReceivePlain", Direction::Receive, {}, nullptr, 0, 0},
        FaultCase{"ReceiveCorrupt", Direction::Receive, {K("--corrupt"), K("3")}, nullptr, 0, 0},
        FaultCase{"ReceiveNoise", Direction::Receive, {K("--noise")}, nullptr, 0, 0},
        FaultCase{"ReceiveXoff", Direction::Receive, {K("--xoff"), K("300")}, nullptr, 0, 0},
        FaultCase{"ReceiveHangup", Direction::Receive, {K("--hangup-after"), K("2200")}, nullptr, 1, 0},
        FaultCase{"ReceiveCancel", Direction::Receive, {}, "受信中です:1", 1, 1},
        FaultCase{"SendPlain", Direction::Send, {}, nullptr, 0, 0},
        FaultCase{"SendNoise", Direction::Send, {K("--noise")}, nullptr, 0, 0},
        FaultCase{"SendNak", Direction::Send, {K("--nak"), K("2")}, nullptr, 0, 0},
        FaultCase{"SendXoff", Direction::Send, {K("--xoff"), K("300")}, nullptr, 0, 0},
        FaultCase{"SendAbort", Direction::Send, {K("--abort")}, nullptr, 1, -1},
        FaultCase{"SendSilent", Direction::Send, {K("--silent")}, nullptr, 1, -1},
        FaultCase{"SendHangup", Direction::Send, {K("--hangup-after"), K("300")}, nullptr, 1, -1},
        FaultCase{"SendCancel", Direction::Send, {}, "転送中です", 1, -1}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
