// VEXLO beside a running receiver: the status bar says that the receiver has the port, 送信
// borrows the port for its exchange as if the line were free, and the receiver takes the port
// back and receives the device's next memos. Run on a session bus of its own.
#include "../send/DeviceMemos.h"
#include "support/MemoImages.h"
#include "support/ProgramFixture.h"
#include "support/SimProcess.h"

#include "app/TitleDialog.h"

#include <QDBusInterface>
#include <QFile>
#include <QDBusReply>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>

namespace {

QString ReceiverState()
{
    QDBusInterface receiver(QStringLiteral("org.example.vexlo.Receiver"), QStringLiteral("/org/example/vexlo/Receiver"),
                            QStringLiteral("org.example.vexlo.Receiver1"));
    const QDBusReply<QString> state = receiver.call(QStringLiteral("State"));
    return state.isValid() ? state.value() : QString();
}

class ReceiverGui : public ProgramFixture {
protected:
    void TearDown() override
    {
        if (receiver.state() != QProcess::NotRunning) {
            receiver.kill();
            receiver.waitForFinished();
        }
        ProgramFixture::TearDown();
    }

    QTemporaryDir dir;
    QProcess receiver;
};

TEST_F(ReceiverGui, SendBorrowsThePortAndTheReceiverTakesTheNextMemos)
{
    const QString device = dir.filePath(QStringLiteral("device"));
    auto sim = std::make_unique<SimProcess>(dir.path(), QStringList{QStringLiteral("receive"), QStringLiteral("--out"), device});
    home().write(sim->configuration());
    receiver.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    receiver.start(qEnvironmentVariable("VEXLO_BINARY_DIR") + QStringLiteral("/tools/cli/vexlo-cli"),
                   {QStringLiteral("receiver")});
    ASSERT_TRUE(receiver.waitForStarted());
    ASSERT_TRUE(QTest::qWaitFor([] { return ReceiverState() == QStringLiteral("waiting"); }, 30000));

    start();
    ASSERT_TRUE(QTest::qWaitFor([] { return MainForm->receiverPanel->isVisible(); }, 10000));
    EXPECT_EQ(MainForm->receiverPanel->text(), QStringLiteral("自動受信中 (COM1)"));

    // 送信 as a user does it, while the receiver holds the line.
    const QImage image = RandomMemo(124, 121, 29);
    const QString path = dir.filePath(QStringLiteral("memo.bmp"));
    ASSERT_TRUE(image.save(path, "BMP"));
    fileAnswers.push_back(path);
    MainForm->openFile();
    ASSERT_NE(MainForm->activeMemo(), nullptr);
    answerTitleDialog(QStringLiteral("会議メモ"), QStringLiteral("かいぎめも"));
    MainForm->send();
    EXPECT_EQ(boxTexts(), QStringList({QStringLiteral("送信を行いますか？"), QStringLiteral("正常に送信されました")}));
    // (The simulator waits to see the line closed before it ends, which the receiver, taking the
    // port back at once, may never let it see: its files are the device's word.)
    const QList<DeviceMemo> sent = StoredMemos(device);
    ASSERT_EQ(sent.size(), 1) << sim->log().toStdString();
    EXPECT_EQ(PixelDifference(image, sent[0].image), QString());

    // The port given back: the receiver takes the device's next memos into the library.
    EXPECT_TRUE(QTest::qWaitFor([] { return ReceiverState() != QStringLiteral("lent"); }, 10000));
    // Another device on the same adapter: unplugged, and the node is gone until it is back.
    const QString node = sim->link();
    sim.reset();
    QFile::remove(node);
    sim = std::make_unique<SimProcess>(dir.path(), QStringList{QStringLiteral("send")});
    const QDir library(home().libraryPath());
    EXPECT_TRUE(QTest::qWaitFor([&] { return library.entryList({QStringLiteral("*.png")}, QDir::Files).size() == 3; },
                                60000));
    EXPECT_EQ(sim->wait(), 0) << sim->log().toStdString();

    // The receiver stopped (systemctl --user stop): the line in the status bar goes.
    ::kill(pid_t(receiver.processId()), SIGTERM);
    ASSERT_TRUE(receiver.waitForFinished(20000));
    EXPECT_EQ(receiver.exitCode(), 0);
    EXPECT_TRUE(QTest::qWaitFor([] { return !MainForm->receiverPanel->isVisible(); }, 10000));
}

}  // namespace
