// vexlo-cli send against the device simulator on a pseudo-terminal.
#include "DeviceMemos.h"
#include "support/CliProcess.h"
#include "support/MemoImages.h"
#include "support/SimProcess.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

class SendCli : public CliFixture {
protected:
    QString writeImage(const QImage& image)
    {
        const QString path = dir.path() + QStringLiteral("/memo.bmp");
        image.save(path, "BMP");
        return path;
    }

    void startCli(const QStringList& args)
    {
        startCliIn(dir.path(),  // no VEXLO.INI there
                   QStringList{QStringLiteral("send"), QStringLiteral("--port"), dir.path() + QStringLiteral("/COM1")}
                       << args);
    }

    // Waits up to 5 s for TEXT in the simulator's log.
    static bool simSaid(SimProcess& sim, const QString& text)
    {
        QString log;
        for (int i = 0; i < 200 && !log.contains(text); ++i) {
            sim.wait(25);
            log += sim.log();
        }
        return log.contains(text);
    }

    QString out() const { return dir.path() + QStringLiteral("/device"); }

    QTemporaryDir dir;
};

struct Delivery {
    const char* name;
    int width;
    int height;
    QStringList faults;
};

class SendCliDelivers : public SendCli, public testing::WithParamInterface<Delivery> {};

TEST_P(SendCliDelivers, TheDeviceStoresTheMemoOnce)
{
    const Delivery& c = GetParam();
    SimProcess sim(dir.path(), QStringList{QStringLiteral("receive")} << c.faults << QStringLiteral("--out") << out());
    ASSERT_TRUE(sim.ready());
    const QImage image = RandomMemo(c.width, c.height, 31);
    startCli({writeImage(image), QStringLiteral("--title"), QStringLiteral("買い物"), QStringLiteral("--reading"),
              QStringLiteral("かいもの"), QStringLiteral("--yes")});
    EXPECT_EQ(finish(), 0) << stderrText.toStdString();
    EXPECT_EQ(stderrText, QStringLiteral("接続中です\n転送中です\n正常に送信されました\n"));
    EXPECT_EQ(sim.wait(), 0) << sim.log().toStdString();
    const QList<DeviceMemo> memos = StoredMemos(out());
    ASSERT_EQ(memos.size(), 1);
    EXPECT_EQ(PixelDifference(image, memos[0].image), QString());
    EXPECT_EQ(memos[0].info[QStringLiteral("title")].toString(), QStringLiteral("買い物"));
    EXPECT_EQ(memos[0].info[QStringLiteral("reading")].toString(), QStringLiteral("ｶｲﾓﾉ"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SendCliDelivers,
    testing::Values(Delivery{"Memo100x50", 100, 50, {}}, Delivery{"Memo124x121", 124, 121, {}},
                    Delivery{"WidthNotAMultipleOf8", 13, 121, {}},
                    Delivery{"ResentAfterAResendRequest", 124, 121, {QStringLiteral("--nak"), QStringLiteral("1")}},
                    Delivery{"HeldByXoff", 100, 50, {QStringLiteral("--xoff"), QStringLiteral("300")}}),
    [](const auto& info) { return std::string(info.param.name); });

struct Failure {
    const char* name;
    QStringList faults;
    const char* interruptAt;  // status at which Ctrl-C comes, or null
    const char* simSays;  // or null
    const char* says;     // the last line on standard error
    int signal = SIGINT;  // what interrupts at interruptAt
};

class SendCliFails : public SendCli, public testing::WithParamInterface<Failure> {};

TEST_P(SendCliFails, ExitsOneAndNothingIsStored)
{
    const Failure& c = GetParam();
    SimProcess sim(dir.path(), QStringList{QStringLiteral("receive")} << c.faults << QStringLiteral("--out") << out());
    ASSERT_TRUE(sim.ready());
    startCli({writeImage(RandomMemo(124, 121, 4)), QStringLiteral("--yes")});
    if (c.interruptAt)
        interruptWhenStatus(QString::fromUtf8(c.interruptAt), c.signal);
    EXPECT_EQ(finish(), 1);
    EXPECT_TRUE(stderrText.endsWith(QString::fromUtf8(c.says) + QLatin1Char('\n'))) << stderrText.toStdString();
    if (c.simSays) {
        EXPECT_TRUE(simSaid(sim, QString::fromUtf8(c.simSays)));
    }
    EXPECT_TRUE(StoredMemos(out()).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SendCliFails,
    testing::Values(Failure{"DeviceAborts", {QStringLiteral("--abort")}, nullptr, "the PC answered \"!\" as well",
                            "デバイスが受け取りを拒否しました"},
                    Failure{"NobodyAnswers", {QStringLiteral("--silent")}, nullptr, "ignored 17 call(s)",
                            "QM-10 が応答しません — 受信の準備ができているか確かめてください"},
                    Failure{"CtrlCWhileTheRecordsGo", {QStringLiteral("--baud"), QStringLiteral("9600")}, "転送中です", nullptr,
                            "通信がキャンセルされました"},
                    // A service manager stops with SIGTERM, a closed terminal sends SIGHUP.
                    Failure{"SigtermWhileTheRecordsGo", {QStringLiteral("--baud"), QStringLiteral("9600")}, "転送中です",
                            nullptr, "通信がキャンセルされました", SIGTERM},
                    Failure{"SighupWhileTheRecordsGo", {QStringLiteral("--baud"), QStringLiteral("9600")}, "転送中です",
                            nullptr, "通信がキャンセルされました", SIGHUP},
                    Failure{"LineGone", {QStringLiteral("--hangup-after"), QStringLiteral("300")}, nullptr, nullptr,
                            "回線が切れました"}),
    [](const auto& info) { return std::string(info.param.name); });

// Several images: one exchange each, in order. An image that cannot be read stops the command
// before anything is sent; a failed exchange stops it with that failure's status.
TEST_F(SendCli, SeveralImagesGoInOrderAndStopAtTheFirstFailure)
{
    QStringList files;
    QList<QImage> images;
    for (int i = 0; i < 3; ++i) {
        images << RandomMemo(40 + 10 * i, 30, unsigned(50 + i));
        files << dir.path() + QStringLiteral("/memo%1.bmp").arg(i);
        ASSERT_TRUE(images.last().save(files.last(), "BMP"));
    }
    {
        SimProcess sim(dir.path(), {QStringLiteral("receive"), QStringLiteral("--loop"), QStringLiteral("--out"), out()});
        ASSERT_TRUE(sim.ready());
        startCli(QStringList{files[0], dir.path() + QStringLiteral("/missing.bmp"), QStringLiteral("--yes")});
        EXPECT_EQ(finish(), 2);
        stderrText.clear();
        startCli(files + QStringList{QStringLiteral("--yes")});
        EXPECT_EQ(finish(), 0) << stderrText.toStdString();
        const QList<DeviceMemo> memos = StoredMemos(out());
        ASSERT_EQ(memos.size(), 3);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(PixelDifference(images[i], memos[i].image), QString()) << i;
    }
    // A device that takes one memo and then goes away: the second exchange fails, the third is
    // not tried.
    QDir(out()).removeRecursively();
    QFile::remove(dir.path() + QStringLiteral("/COM1"));  // the link the stopped simulator left
    SimProcess once(dir.path(), {QStringLiteral("receive"), QStringLiteral("--out"), out()});
    ASSERT_TRUE(once.ready());
    stderrText.clear();
    startCli(files + QStringList{QStringLiteral("--yes")});
    EXPECT_EQ(finish(), 1);
    EXPECT_EQ(StoredMemos(out()).size(), 1);
    EXPECT_TRUE(stderrText.contains(QStringLiteral("memo 2 of 3"))) << stderrText.toStdString();
    EXPECT_FALSE(stderrText.contains(QStringLiteral("memo 3 of 3"))) << stderrText.toStdString();
}

TEST_F(SendCli, AskedOnATerminalAndAnsweredNoSendsNothing)
{
    SimProcess sim(dir.path(), {QStringLiteral("receive"), QStringLiteral("--out"), out()});
    ASSERT_TRUE(sim.ready());
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    ASSERT_EQ(::grantpt(terminal), 0);
    ASSERT_EQ(::unlockpt(terminal), 0);
    cli.setStandardInputFile(QString::fromLocal8Bit(::ptsname(terminal)));
    startCli({writeImage(RandomMemo(10, 10, 1))});
    QDeadlineTimer deadline(20000);
    while (!stderrText.contains(QStringLiteral("送信を行いますか？ [y/N] ")) && !deadline.hasExpired()) {
        cli.waitForReadyRead(20);
        stderrText += QString::fromUtf8(cli.readAllStandardError());
    }
    (void)!::write(terminal, "n\n", 2);
    EXPECT_EQ(finish(), 1);
    ::close(terminal);
    EXPECT_TRUE(simSaid(sim, QStringLiteral("the PC closed the line before calling")));
    EXPECT_TRUE(StoredMemos(out()).isEmpty());
}

struct BadCase {
    const char* name;
    QStringList args;  // after "send --port DIR/COM1"
    int status;
    const char* message;
};

class SendCliBad : public SendCli, public testing::WithParamInterface<BadCase> {};

TEST_P(SendCliBad, SaysWhatIsWrong)
{
    RandomMemo(130, 20, 1).save(dir.path() + QStringLiteral("/wide.bmp"), "BMP");
    QStringList args;
    for (const QString& a : GetParam().args)
        args << QString(a).replace(QStringLiteral("DIR"), dir.path());
    cli.setStandardInputFile(QProcess::nullDevice());
    startCli(args);
    EXPECT_EQ(finish(), GetParam().status);
    const QString message = QString::fromUtf8(GetParam().message).replace(QStringLiteral("DIR"), dir.path());
    EXPECT_TRUE(stderrText.contains(message)) << stderrText.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SendCliBad,
    testing::Values(BadCase{"NoImage", {"--yes"}, 2, "send: IMAGE is missing"},
                    BadCase{"NoTerminalToAskOn", {"DIR/wide.bmp"}, 2, "give --yes"},
                    BadCase{"TooLarge", {"DIR/wide.bmp", "--yes"}, 2, "use --crop or --region"},
                    BadCase{"NobodyOnThePort", {"DIR/wide.bmp", "--crop", "--yes"}, 1, "send: cannot open DIR/COM1: no such device"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
