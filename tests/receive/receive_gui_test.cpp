// Receive in the desktop program against the device simulator on a pseudo-terminal.
#include "support/MemoImages.h"
#include "support/ProgramFixture.h"
#include "support/PtyDevice.h"
#include "support/SimProcess.h"

#include "app/ConnectionStatusDialog.h"
#include "link/Comenote.h"
#include "link/ExchangeMessages.h"
#include "memo/MemoWindow.h"
#include "memo/ImageArea.h"
#include "store/MemoStore.h"
#include "transfer/HexRecord.h"
#include "transfer/MemoImage.h"
#include "transfer/RecordReader.h"

#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <thread>

namespace {

struct Memo {
    int width;
    int height;
};

const std::vector<Memo> kThreeMemos = {{100, 50}, {16, 20}, {124, 121}};

// Received memos open as unsaved NEW_n windows, as they did before the library.
const QByteArray kWithoutInbox = "[Library]\r\nAutoSave=FALSE\r\n";

class ReceiveGui : public ProgramFixture {
protected:
    // Writes the memos as BMP files and returns their paths.
    QStringList writeMemos(const std::vector<Memo>& memos)
    {
        QStringList paths;
        for (size_t i = 0; i < memos.size(); ++i) {
            images.push_back(RandomMemo(memos[i].width, memos[i].height, 1000 + quint32(i)));
            const QString path = dir.path() + QStringLiteral("/memo%1.bmp").arg(i + 1);
            images.back().save(path, "BMP");
            paths << path;
        }
        return paths;
    }

    // Starts the simulator with ARGS, points COM1 at it and starts the program.
    std::unique_ptr<SimProcess> startWithSim(const QStringList& args)
    {
        auto sim = std::make_unique<SimProcess>(dir.path(), args);
        EXPECT_TRUE(sim->ready()) << sim->log().toStdString();
        home().write(sim->configuration() + kWithoutInbox);
        start();
        return sim;
    }

    // Runs Receive while DEVICE calls and, once answered, sends STREAM; true when it was answered.
    bool receiveFrom(PtyDevice& device, const std::string& stream)
    {
        std::atomic<bool> answered = false;
        std::thread deviceSide([&] {
            answered = device.answerCall();
            device.send(stream);
        });
        MainForm->receive();
        deviceSide.join();
        return answered;
    }

    void expectWindowsShowTheMemos(size_t count)
    {
        const QList<MemoWindow*> memos = MainForm->memoWindows();
        ASSERT_EQ(size_t(memos.size()), count);
        for (size_t i = 0; i < count; ++i) {
            MemoWindow* memo = memos[int(i)];
            const QString name = QStringLiteral("NEW_%1.BMP").arg(i + 1);
            EXPECT_EQ(memo->FileName, name);
            // The device's title (the simulator's file name) tells the windows apart.
            EXPECT_EQ(memo->windowTitle(), name + QStringLiteral("  memo%1").arg(i + 1));
            EXPECT_EQ(memo->deviceTitle(), QStringLiteral("memo%1").arg(i + 1));
            EXPECT_EQ(memo->toolTip(), memo->deviceTitle());
            EXPECT_TRUE(memo->Modified);
            EXPECT_EQ(memo->ImageWidth, images[i].width());
            EXPECT_EQ(memo->ImageHeight, images[i].height());
            EXPECT_EQ(memo->clientSize(), memo->clientSizeFor(images[i].size()));
            EXPECT_EQ(PixelDifference(images[i], memo->Image1->picture()), QString()) << name.toStdString();
        }
    }

    QTemporaryDir dir;
    std::vector<QImage> images;
};

struct CleanCase {
    const char* name;
    QStringList faults;
};

class ReceiveGuiClean : public ReceiveGui, public testing::WithParamInterface<CleanCase> {};

TEST_P(ReceiveGuiClean, ThreeMemosOpenAsThreeWindows)
{
    QStringList args{QStringLiteral("send")};
    args << GetParam().faults << writeMemos(kThreeMemos);
    auto sim = startWithSim(args);
    MainForm->receive();
    expectWindowsShowTheMemos(3);
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("正常に受信されました")});
    EXPECT_EQ(Connect1->Label1->text(), QStringLiteral("受信中です:3"));
    EXPECT_EQ(MainForm->namePanel->text(), "NEW_3.BMP");
    EXPECT_EQ(MainForm->sizePanel->text(), QStringLiteral("画像サイズ(X,Y)=(124,121)"));
    EXPECT_EQ(MainForm->bytesPanel->text(), "1936Bytes");
    EXPECT_TRUE(CommLink.Received.Records.empty()) << "the received list is freed";
    EXPECT_EQ(sim->wait(), 0) << sim->log().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Cases, ReceiveGuiClean,
                         testing::Values(CleanCase{"Plain", {}},
                                         CleanCase{"CorruptRecordIsSentAgain", {QStringLiteral("--corrupt"), QStringLiteral("4")}},
                                         CleanCase{"NoiseBetweenRecords", {QStringLiteral("--noise")}},
                                         CleanCase{"HeldByXoff", {QStringLiteral("--xoff"), QStringLiteral("200")}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReceiveGui, OnlyTheEndRecordIsSuccessWithoutWindows)
{
    PtyDevice device;
    home().write("[Comm]\r\nPort=" + device.path().toUtf8() + "\r\n" + kWithoutInbox);
    start();
    // The device calls, then ends at once.
    EXPECT_TRUE(receiveFrom(device, ":000000FF01"));
    EXPECT_EQ(MainForm->memoCount(), 0);
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("正常に受信されました")});
}

// The record text of a memo whose header claims WIDTH x HEIGHT, with one data record of ROW.
std::string memoText(uint16_t width, uint16_t height, const std::vector<uint8_t>& row)
{
    TRecordList link;
    AddSegRecord(link, 0x9F20);
    const std::vector<uint8_t> header{0x01, 0x41, 0x53, uint8_t(width >> 8), uint8_t(width), uint8_t(height >> 8),
                                      uint8_t(height), 0, 0};
    AddHexRecord(link, 0xA000, 0x80, header);
    std::vector<uint8_t> data{0, 0};
    data.insert(data.end(), row.begin(), row.end());
    AddHexRecord(link, 0xA000, 0x00, data);
    AddEndRecord(link);
    std::string text;
    for (const TRecord& b : link)
        text += RecordText(b);
    return text;
}

TEST_F(ReceiveGui, AMemoTooLargeToTakeIsRefusedAndTheOthersOpen)
{
    PtyDevice device;
    home().write("[Comm]\r\nPort=" + device.path().toUtf8() + "\r\n" + kWithoutInbox);
    start();
    // 5000 pixels wide, then a 7 x 1 memo with its first and last pixels black.
    EXPECT_TRUE(receiveFrom(device, memoText(5000, 10, {0xFF}) + memoText(7, 1, {0x82}) + ":000000FF01"));
    ASSERT_EQ(MainForm->memoCount(), 1);
    MemoWindow* memo = MainForm->memoWindows().first();
    EXPECT_EQ(memo->ImageWidth, 7);
    EXPECT_EQ(memo->ImageHeight, 1);
    EXPECT_EQ(memo->FileName, "NEW_1.BMP");
    EXPECT_EQ(memo->Image1->picture().pixel(0, 0) & 0xffffff, 0u);
    EXPECT_EQ(memo->Image1->picture().pixel(1, 0) & 0xffffff, 0xffffffu);
    EXPECT_EQ(memo->Image1->picture().pixel(6, 0) & 0xffffff, 0u);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].kind, BoxKind::Error);
    EXPECT_EQ(boxes[0].text, QStringLiteral("受信したメモの画像 (5000×10) は大きすぎるため表示できません。表示できるのは 4096×4096 までです。"));
    EXPECT_EQ(boxes[1].text, QStringLiteral("正常に受信されました"));
}

TEST_F(ReceiveGui, AMemoThatNeverEndsEndsTheExchangeAndKeepsTheAcknowledgedMemo)
{
    PtyDevice device;
    home().write("[Comm]\r\nPort=" + device.path().toUtf8() + "\r\n" + kWithoutInbox);
    start();
    std::string endless = memoText(7, 1, {0x82});
    endless.resize(endless.size() - std::string(":00000001FF").size());
    TRecordList rows;
    for (int i = 0; i < MaxMemoRecords; ++i)
        AddHexRecord(rows, 0xA000, 0x00, std::vector<uint8_t>{0, 0, 0xFF});
    for (const TRecord& b : rows)
        endless += RecordText(b);
    EXPECT_TRUE(receiveFrom(device, memoText(7, 1, {0x82}) + endless));
    ASSERT_EQ(MainForm->memoCount(), 1);
    EXPECT_EQ(MainForm->memoWindows().first()->Image1->picture().pixel(1, 0) & 0xffffff, 0xffffffu);
    EXPECT_EQ(boxTexts(), QStringList{MemoTooLongText().arg(MaxMemoRecords)});
    EXPECT_TRUE(device.expect('!', 2000));
    EXPECT_TRUE(CommLink.Received.Records.empty());
}

TEST_F(ReceiveGui, CancelBeforeTheDeviceCallsOpensNothingAndAnswersAbort)
{
    PtyDevice device;  // a device that never calls
    home().write("[Comm]\r\nPort=" + device.path().toUtf8() + "\r\n" + kWithoutInbox);
    start();
    cancelWhenStatusIs(QStringLiteral("接続中です..."));
    MainForm->receive();
    EXPECT_EQ(MainForm->memoCount(), 0);
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("通信がキャンセルされました")});
    EXPECT_FALSE(ExchangeResult());
    EXPECT_TRUE(device.expect('!', 2000));
}

TEST_F(ReceiveGui, CancelAfterTheFirstMemoKeepsTheAcknowledgedMemo)
{
    // At line speed the second memo is still on its way when the first is acknowledged.
    auto sim = startWithSim(QStringList{QStringLiteral("send"), QStringLiteral("--baud"), QStringLiteral("19200")}
                            << writeMemos(kThreeMemos));
    cancelWhenStatusIs(QStringLiteral("受信中です:1"));
    MainForm->receive();
    expectWindowsShowTheMemos(1);
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("通信がキャンセルされました")});
}

TEST_F(ReceiveGui, CancelWhileRecordsArriveDropsTheMemoInProgress)
{
    auto sim = startWithSim(QStringList{QStringLiteral("send"), QStringLiteral("--baud"), QStringLiteral("19200")}
                            << writeMemos({{124, 121}}));
    cancelWhenStatusIs(QStringLiteral("受信中です"));
    MainForm->receive();
    EXPECT_EQ(MainForm->memoCount(), 0);
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("通信がキャンセルされました")});
    EXPECT_TRUE(CommLink.Received.Records.empty());
}

TEST_F(ReceiveGui, ALineThatHangsUpEndsAsFailedAndKeepsAcknowledgedMemos)
{
    // The first memo (about 1500 characters) gets through; the line drops inside the second.
    auto sim = startWithSim(QStringList{QStringLiteral("send"), QStringLiteral("--hangup-after"), QStringLiteral("2200")}
                            << writeMemos({{100, 50}, {124, 121}}));
    MainForm->receive();
    expectWindowsShowTheMemos(1);
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("回線が切れました")});
    EXPECT_FALSE(LinkInUse());
}

// With the inbox on (the default), each memo is a file of the library before the device hears
// its "#"; its window shows that file and has nothing to save.
TEST_F(ReceiveGui, TheInboxStoresEachMemoAndItsWindowShowsTheFile)
{
    auto sim = std::make_unique<SimProcess>(dir.path(), QStringList{QStringLiteral("send")} << writeMemos(kThreeMemos));
    ASSERT_TRUE(sim->ready());
    home().write(sim->configuration());
    start();
    MainForm->receive();
    const QDir library(home().libraryPath());
    const QStringList files = library.entryList(QDir::Files | QDir::Hidden, QDir::Name);
    ASSERT_EQ(files.size(), 3) << files.join(QLatin1Char(' ')).toStdString();
    const QList<MemoWindow*> memos = MainForm->memoWindows();
    ASSERT_EQ(memos.size(), 3);
    static const QRegularExpression name(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d\\.\\d\\d\\.\\d\\d memo(\\d)\\.png$"));
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(files[i].toStdString());
        const QRegularExpressionMatch m = name.match(files[i]);
        ASSERT_TRUE(m.hasMatch());
        EXPECT_EQ(m.captured(1).toInt(), i + 1);
        EXPECT_EQ(PixelDifference(images[size_t(i)], QImage(library.filePath(files[i]))), QString());
        EXPECT_EQ(memos[i]->FileName, library.filePath(files[i]));
        EXPECT_EQ(memos[i]->windowTitle(), files[i] + QStringLiteral("  memo%1").arg(i + 1));
        EXPECT_FALSE(memos[i]->Modified);
    }
    for (MemoWindow* memo : memos)
        memo->close();
    QCoreApplication::processEvents();
    EXPECT_EQ(MainForm->memoCount(), 0);
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("正常に受信されました")}) << "closing asked nothing";
    EXPECT_EQ(sim->wait(), 0) << sim->log().toStdString();
}

TEST_F(ReceiveGui, AMemoThatCannotBeStoredIsNotAcknowledgedAndTheOnesBeforeStay)
{
    auto sim = std::make_unique<SimProcess>(dir.path(), QStringList{QStringLiteral("send"), QStringLiteral("--baud"),
                                                                    QStringLiteral("19200")}
                                                            << writeMemos(kThreeMemos));
    ASSERT_TRUE(sim->ready());
    home().write(sim->configuration());
    start();
    // The folder goes away once the first memo is in it.
    const QString library = home().libraryPath();
    auto* timer = new QTimer(MainForm);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, library] {
        if (Connect1->isVisible() && Connect1->Label1->text() == QStringLiteral("受信中です:1")) {
            timer->stop();
            QDir().rename(library, library + QStringLiteral("-moved"));
        }
    });
    timer->start(1);
    MainForm->receive();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, BoxKind::Error);
    platform::FileWriteError gone;
    gone.error = ENOENT;
    EXPECT_EQ(boxes[0].text, StoreFailureText(library, gone, 1));
    EXPECT_EQ(MainForm->memoCount(), 1);
    EXPECT_EQ(QDir(library + QStringLiteral("-moved")).entryList(QDir::Files | QDir::Hidden).size(), 1);
    sim->wait();
    const QString log = sim->log();
    EXPECT_TRUE(log.contains(QStringLiteral("memo 1 \"memo1\" accepted"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("the PC aborted the exchange at memo 2"))) << log.toStdString();
}

TEST_F(ReceiveGui, AMissingPortIsNamedInAnErrorBox)
{
    home().write("[Comm]\r\nPort=/dev/does-not-exist\r\n" + kWithoutInbox);
    start();
    MainForm->receive();
    EXPECT_EQ(MainForm->memoCount(), 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, BoxKind::Error);
    EXPECT_TRUE(boxes[0].text.startsWith(QStringLiteral("通信ポート /dev/does-not-exist を開けません: デバイスがありません")))
        << boxes[0].text.toStdString();
}

}  // namespace
