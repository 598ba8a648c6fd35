// Send in the desktop program against the device simulator on a pseudo-terminal.
#include "DeviceMemos.h"
#include "support/MemoImages.h"
#include "support/ProgramFixture.h"
#include "support/PtyDevice.h"
#include "support/SimProcess.h"

#include "app/ConnectionStatusDialog.h"
#include "app/TitleDialog.h"
#include "link/Comenote.h"
#include "memo/MemoWindow.h"
#include "memo/ImageArea.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTemporaryDir>
#include <QTimer>

namespace {

class SendGui : public ProgramFixture {
protected:
    // Starts the simulator as a device that takes memos, points COM1 at it, starts the program.
    std::unique_ptr<SimProcess> startWithSim(const QStringList& faults = {})
    {
        auto sim = std::make_unique<SimProcess>(dir.path(), QStringList{QStringLiteral("receive")}
                                                                << faults << QStringLiteral("--out") << out());
        EXPECT_TRUE(sim->ready()) << sim->log().toStdString();
        home().write(sim->configuration());
        start();
        return sim;
    }

    // Opens IMAGE, saved as NAME, in a memo window.
    void openMemo(const QImage& image, const QString& name = QStringLiteral("memo.bmp"))
    {
        const QString path = dir.path() + QLatin1Char('/') + name;
        ASSERT_TRUE(image.save(path, "BMP"));
        fileAnswers.push_back(path);
        MainForm->openFile();
        ASSERT_NE(MainForm->activeMemo(), nullptr);
    }

    QString out() const { return dir.path() + QStringLiteral("/device"); }

    QTemporaryDir dir;
};

const QString kConfirm = QStringLiteral("送信を行いますか？");
const QString kSent = QStringLiteral("正常に送信されました");
const QString kCancelled = QStringLiteral("通信がキャンセルされました");
const QString kRefused = QStringLiteral("デバイスが受け取りを拒否しました");
const QString kNoAnswer = QStringLiteral("QM-10 が応答しません — 受信の準備ができているか確かめてください");

struct Delivery {
    const char* name;
    int width;
    int height;
    QStringList faults;
};

class SendGuiDelivers : public SendGui, public testing::WithParamInterface<Delivery> {};

TEST_P(SendGuiDelivers, TheDeviceStoresTheMemoOnce)
{
    const Delivery& c = GetParam();
    auto sim = startWithSim(c.faults);
    const QImage image = RandomMemo(c.width, c.height, 77);
    openMemo(image);
    answerTitleDialog(QStringLiteral("会議メモ"), QStringLiteral("かいぎめも"));
    MainForm->send();
    EXPECT_EQ(boxTexts(), QStringList({kConfirm, kSent}));
    EXPECT_EQ(boxes.front().buttons, BoxButtons::OkCancel);
    EXPECT_TRUE(CommLink.Received.Records.empty()) << "nothing is left in the link";
    EXPECT_FALSE(Connect1->Timer1->isActive());
    EXPECT_EQ(sim->wait(), 0) << sim->log().toStdString();
    const QList<DeviceMemo> memos = StoredMemos(out());
    ASSERT_EQ(memos.size(), 1);
    EXPECT_EQ(PixelDifference(image, memos[0].image), QString());
    EXPECT_EQ(memos[0].info[QStringLiteral("title")].toString(), QStringLiteral("会議メモ"));
    EXPECT_EQ(memos[0].info[QStringLiteral("reading")].toString(), QStringLiteral("ｶｲｷﾞﾒﾓ"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SendGuiDelivers,
    testing::Values(Delivery{"Memo100x50", 100, 50, {}}, Delivery{"Memo124x121", 124, 121, {}},
                    Delivery{"WidthNotAMultipleOf8", 61, 37, {}},
                    Delivery{"ResentAfterTwoResendRequests", 100, 50, {QStringLiteral("--nak"), QStringLiteral("2")}},
                    Delivery{"HeldByXoff", 124, 121, {QStringLiteral("--xoff"), QStringLiteral("300")}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SendGui, IgnoreNamesTheMemoAfterItsFileLeavingOutWhatShiftJisLacks)
{
    auto sim = startWithSim();
    openMemo(RandomMemo(20, 10, 5), QStringLiteral("memo😀1.bmp"));
    answerTitleDialog(QString(), QString());
    MainForm->send();
    EXPECT_EQ(boxTexts(), QStringList({kConfirm, kSent}));
    EXPECT_EQ(sim->wait(), 0) << sim->log().toStdString();
    const QList<DeviceMemo> memos = StoredMemos(out());
    ASSERT_EQ(memos.size(), 1);
    EXPECT_EQ(memos[0].info[QStringLiteral("title")].toString(), QStringLiteral("memo1.bmp"));
    EXPECT_TRUE(memos[0].info[QStringLiteral("reading")].toString().startsWith(dir.path().toUpper().left(40)));
}

struct Failure {
    const char* name;
    QStringList faults;
    std::deque<BoxAnswer> answers;
    const char* cancelAt;  // status text at which Cancel is pressed, or null
    QStringList wantBoxes;
    const char* simSays;  // a line of the simulator's log, or null
};

class SendGuiFails : public SendGui, public testing::WithParamInterface<Failure> {};

TEST_P(SendGuiFails, NothingIsStoredAndTheUserIsTold)
{
    const Failure& c = GetParam();
    auto sim = startWithSim(c.faults);
    openMemo(RandomMemo(124, 121, 3));
    answers = c.answers;
    answerTitleDialog(QStringLiteral("t"), QStringLiteral("r"));
    if (c.cancelAt)
        cancelWhenStatusIs(QString::fromUtf8(c.cancelAt));
    MainForm->send();
    EXPECT_EQ(boxTexts(), c.wantBoxes);
    EXPECT_TRUE(CommLink.Received.Records.empty());
    EXPECT_FALSE(LinkInUse());
    EXPECT_TRUE(StoredMemos(out()).isEmpty());
    if (c.simSays) {
        QString log;
        for (int i = 0; i < 200 && !log.contains(QString::fromUtf8(c.simSays)); ++i) {
            sim->wait(25);
            log += sim->log();
        }
        EXPECT_TRUE(log.contains(QString::fromUtf8(c.simSays))) << log.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SendGuiFails,
    testing::Values(
        Failure{"DeviceAborts", {QStringLiteral("--abort")}, {}, nullptr, {kConfirm, kRefused}, "the PC answered \"!\" as well"},
        Failure{"NobodyAnswers", {QStringLiteral("--silent")}, {}, nullptr, {kConfirm, kNoAnswer}, "ignored 17 call(s)"},
        Failure{"CancelWhileTheRecordsGo", {QStringLiteral("--baud"), QStringLiteral("9600")}, {}, "転送中です",
                {kConfirm, kCancelled}, nullptr},
        Failure{"ConfirmationAnsweredWithCancel", {}, {BoxAnswer::Cancel}, nullptr, {kConfirm}, "the PC closed the line before calling"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SendGui, ATooLargeImageIsRefusedOnceThenSentCutAroundItsMiddle)
{
    auto sim = startWithSim();
    const QImage image = RandomMemo(130, 125, 9);
    openMemo(image);
    MainForm->send();
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("選択した画像は大きすぎますので、範囲を絞り込んで下さい")});
    EXPECT_EQ(boxes[0].kind, BoxKind::Warning);
    answerTitleDialog(QStringLiteral("t"), QStringLiteral("r"));
    // The user drags over all but the first row and column, and confirms: its middle goes.
    MemoWindow* memo = MainForm->activeMemo();
    ASSERT_TRUE(memo && memo->SelectMode);
    QTest::mousePress(memo->Image1, Qt::LeftButton, {}, QPoint(1, 1));
    QTest::mouseMove(memo->Image1, QPoint(129, 124));
    QTest::mouseRelease(memo->Image1, Qt::LeftButton, {}, QPoint(129, 124));
    ASSERT_GE(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, QStringLiteral("この範囲を転送しますか？\n\n範囲 (129×124) は本体が受け取れる 124×121 "
                                            "より大きいため、その中央の 124×121 を送ります。"));
    EXPECT_EQ(boxTexts().mid(2), QStringList({kConfirm, kSent}));
    EXPECT_EQ(sim->wait(), 0) << sim->log().toStdString();
    const QList<DeviceMemo> memos = StoredMemos(out());
    ASSERT_EQ(memos.size(), 1);
    EXPECT_EQ(PixelDifference(image.copy(3, 2, 124, 121), memos[0].image), QString());
}

struct Refusal {
    const char* name;
    const char* port;
    bool emptyWindow;
    const char* box;  // the start of the one box shown
};

class SendGuiRefuses : public SendGui, public testing::WithParamInterface<Refusal> {};

TEST_P(SendGuiRefuses, WithAClearBox)
{
    const Refusal& c = GetParam();
    home().write(QByteArray("[Comm]\r\nPort=") + c.port + "\r\n");
    start();
    if (c.emptyWindow)
        MainForm->newWindow();
    else
        openMemo(RandomMemo(10, 10, 1));
    answerTitleDialog(QStringLiteral("t"), QStringLiteral("r"));
    MainForm->send();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.startsWith(QString::fromUtf8(c.box))) << boxes[0].text.toStdString();
    EXPECT_TRUE(CommLink.Received.Records.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SendGuiRefuses,
    testing::Values(Refusal{"AWindowWithoutAnImage", "/dev/null", true, "送信する画像がありません"},
                    Refusal{"APortThatCannotBeOpened", "/dev/no-such-line", false,
                            "通信ポート /dev/no-such-line を開けません: デバイスがありません"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SendGui, AProgressBarShowsTheBytesThatLeftWhileTheRecordsGo)
{
    auto sim = startWithSim({QStringLiteral("--baud"), QStringLiteral("19200")});
    openMemo(RandomMemo(124, 121, 8));
    answerTitleDialog(QStringLiteral("t"), QStringLiteral("r"));
    int highest = -1;
    QSize sizeWhileSending;
    QObject::connect(Connect1->ProgressBar1, &QProgressBar::valueChanged, Connect1, [&](int value) {
        highest = std::max(highest, value);
        if (Connect1->ProgressBar1->isVisible())
            sizeWhileSending = Connect1->size();
    });
    MainForm->send();
    EXPECT_EQ(boxTexts(), QStringList({kConfirm, kSent}));
    EXPECT_GT(Connect1->ProgressBar1->maximum(), 3872) << "two characters a pixel byte, and more";
    EXPECT_EQ(highest, Connect1->ProgressBar1->maximum());
    EXPECT_EQ(sizeWhileSending, QSize(188, 124));
    EXPECT_FALSE(Connect1->ProgressBar1->isVisibleTo(Connect1));
    EXPECT_EQ(Connect1->size(), QSize(188, 100));
}

TEST_F(SendGui, SendWhileAReceiveRunsIsRefusedBeforeTheListIsTouched)
{
    PtyDevice device;  // calls only once the test has looked
    home().write("[Comm]\r\nPort=" + device.path().toUtf8() + "\r\n");
    start();
    openMemo(RandomMemo(10, 10, 1));
    bool titleDialogCame = false;
    const TRecord* headDuringSend = nullptr;
    QTimer::singleShot(0, MainForm, [&] {
        // The receive's settle wait is running: its port is open, its records in the link.
        headDuringSend = &CommLink.Received.Records.emplace_back();
        QTimer::singleShot(0, TitleInput1, [&] {
            titleDialogCame = TitleInput1->isVisible();
            if (titleDialogCame)
                TitleInput1->BitBtn3->click();
        });
        MainForm->send();
        ASSERT_EQ(CommLink.Received.Records.size(), 1u);
        EXPECT_EQ(&CommLink.Received.Records.front(), headDuringSend);
    });
    cancelWhenStatusIs(QStringLiteral("接続中です..."));
    MainForm->receive();
    EXPECT_FALSE(titleDialogCame);
    EXPECT_EQ(boxTexts(), QStringList{kCancelled}) << "only the receive speaks";
}

}  // namespace
