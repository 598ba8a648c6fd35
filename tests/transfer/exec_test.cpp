// receive --exec's commands: the memo in their environment, a time limit that ends one that
// hangs, and a bounded queue behind it.
#include "tools/cli/MemoExec.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

#include "support/WaitFor.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

void App()
{
    static int argc = 1;
    static char name[] = "exec-tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

// Gone, or a zombie that nobody has reaped yet.
bool Ended(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    return text.mid(text.lastIndexOf(')') + 2, 1) == "Z";
}

QByteArray Read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

}  // namespace

TEST(MemoExec, TheCommandFindsTheMemoInItsEnvironment)
{
    App();
    QTemporaryDir dir;
    const QString out = dir.filePath("out");
    TMemoExec exec(QStringLiteral("sh -c 'printf \"%s|%s|%s|%s|%s\" \"$VEXLO_FILE\" \"$VEXLO_TITLE\" "
                                  "\"$VEXLO_READING\" \"$VEXLO_ARRIVED\" \"$1\" > \"%1\"' sh")
                       .arg(out));
    ASSERT_TRUE(exec.Valid()) << exec.Error().toStdString();
    const QDateTime arrived(QDate(2026, 12, 7), QTime(16, 23, 32), QTimeZone(9 * 3600));
    exec.Run(TExecMemo{"/memos/2026-12-07 16.23.32 買い物メモ.png", "買い物メモ", "ｶｲﾓﾉﾒﾓ", arrived});
    exec.Finish();
    EXPECT_EQ(exec.Failures(), 0);
    EXPECT_EQ(QString::fromUtf8(Read(out)),
              "/memos/2026-12-07 16.23.32 買い物メモ.png|買い物メモ|ｶｲﾓﾉﾒﾓ|2026-12-07T16:23:32+09:00|"
              "/memos/2026-12-07 16.23.32 買い物メモ.png");
}

TEST(MemoExec, ACommandThatHangsIsEndedAndTheQueueBehindItIsBounded)
{
    App();
    QTemporaryDir dir;
    {
        // The shell's sleep, too, not only the shell: left running it would hold our output open.
        const QString pidFile = dir.filePath("sleep.pid");
        TMemoExec exec(QStringLiteral("sh -c 'sleep 600 & echo $! > \"%1\"; wait' sh").arg(pidFile), 1);
        exec.Run(QStringLiteral("/memos/a.png"));
        exec.Finish();
        EXPECT_EQ(exec.Failures(), 1) << "ended after its second, and reported";
        const pid_t sleeper = pid_t(Read(pidFile).trimmed().toInt());
        ASSERT_GT(sleeper, 0);
        EXPECT_TRUE(eventually([&] { return Ended(sleeper); })) << "what the command started ends with it";
    }
    // A command that waits until the test lets it go: the queue fills behind the first.
    const QString go = dir.filePath("go");
    TMemoExec exec(QStringLiteral("sh -c 'while [ ! -e \"%1\" ]; do sleep 0.02; done' sh").arg(go), 600);
    for (int i = 0; i < 1 + TMemoExec::kMaxWaiting; ++i)
        exec.Run(QStringLiteral("/memos/%1.png").arg(i));
    EXPECT_EQ(exec.Failures(), 0);
    exec.Run(QStringLiteral("/memos/one-too-many.png"));
    EXPECT_EQ(exec.Failures(), 1) << "a full queue takes no more";
    QFile(go).open(QIODevice::WriteOnly);
    exec.Finish();
    EXPECT_EQ(exec.Failures(), 1) << "the queued ones all ran";
}
