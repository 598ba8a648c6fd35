// The library's folder is read beside the window: a file that is slow to read holds up the
// reading thread only, requests that come meanwhile are taken together, and a window closed
// in the middle stops the reading between two files.
#include "gui/MessageBox.h"
#include "library/LibraryPanel.h"
#include "store/IndexRefresher.h"
#include "support/GuiApp.h"
#include "support/LibraryMemos.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QTimer>
#include <QDir>
#include <QLabel>
#include <QListView>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>

namespace {

// A folder whose files are slow to read: each read waits until the test lets it go (or a
// time that only a fault reaches), and the threads that read are noted.
class SlowFiles {
public:
    SlowFiles()
    {
        LibraryIndex::SetReadHook([this](const QString&) {
            std::unique_lock lock(mutex_);
            ++reads_;
            readers_.insert(QThread::currentThread());
            reading_.notify_all();
            open_.wait_for(lock, std::chrono::milliseconds(delayMs_), [this] { return released_; });
        });
    }
    ~SlowFiles()
    {
        release();
        LibraryIndex::SetReadHook(nullptr);
    }
    // Each read waits MS (or until released).
    void setDelay(int ms)
    {
        std::lock_guard lock(mutex_);
        delayMs_ = ms;
    }
    void release()
    {
        std::lock_guard lock(mutex_);
        released_ = true;
        open_.notify_all();
    }
    int reads()
    {
        std::lock_guard lock(mutex_);
        return reads_;
    }
    bool readOn(QThread* thread)
    {
        std::lock_guard lock(mutex_);
        return readers_.count(thread) > 0;
    }

private:
    std::mutex mutex_;
    std::condition_variable open_, reading_;
    int delayMs_ = 10000;
    bool released_ = false;
    int reads_ = 0;
    std::set<QThread*> readers_;
};

void writeMemos(const QString& folder, int count)
{
    const QDateTime noon = QDateTime::currentDateTime().addSecs(-3600);
    for (int i = 0; i < count; ++i)
        WriteTestMemo(folder, {QStringLiteral("メモ%1").arg(i), QString(), noon.addSecs(i), StrokeMemo(i, QSize(16, 16))});
}

TEST(LibraryThread, ASlowFileNeverHoldsUpTheWindow)
{
    GuiApp();
    QTemporaryDir dir;
    writeMemos(dir.path(), 3);
    SlowFiles slow;
    TLibraryPanel panel(dir.path());
    panel.show();
    // The window goes on while the first file is being read: it paints, takes events, and
    // says that the memos are coming.
    ASSERT_TRUE(QTest::qWaitFor([&] { return slow.reads() > 0; }, 5000));
    QTest::qWait(50);
    EXPECT_TRUE(panel.refreshing());
    EXPECT_EQ(panel.memoModel->rowCount(), 0);
    EXPECT_EQ(panel.countLabel->text(), QStringLiteral("メモを読み込んでいます…"));
    QSignalSpy done(&panel, &TLibraryPanel::refreshed);
    slow.release();
    ASSERT_TRUE(done.wait(10000));
    EXPECT_EQ(panel.memoModel->rowCount(), 3);
    EXPECT_EQ(panel.countLabel->text(), QStringLiteral("3 件"));
    EXPECT_FALSE(slow.readOn(QThread::currentThread())) << "a memo file was read on the window's thread";
}

// Opened again over a folder with new files, the list shows at once the memos the index
// already knew, while the new ones are read.
TEST(LibraryThread, TheMemosKnownShowWhileNewOnesAreRead)
{
    GuiApp();
    QTemporaryDir dir;
    writeMemos(dir.path(), 3);
    LibraryIndex(dir.path()).Refresh();
    WriteTestMemo(dir.path(), {QStringLiteral("新しい"), QString(), QDateTime::currentDateTime(), StrokeMemo(7)});
    SlowFiles slow;
    TLibraryPanel panel(dir.path());
    ASSERT_TRUE(QTest::qWaitFor([&] { return slow.reads() > 0; }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return panel.memoModel->rowCount() == 3; }, 5000));
    EXPECT_EQ(panel.countLabel->text(), QStringLiteral("3 件"));
    EXPECT_TRUE(panel.refreshing());
    QSignalSpy done(&panel, &TLibraryPanel::refreshed);
    slow.release();
    ASSERT_TRUE(done.wait(10000));
    EXPECT_EQ(panel.memoModel->rowCount(), 4);
    EXPECT_EQ(panel.memoModel->entryAt(0).info().title, QStringLiteral("新しい"));
}

// 削除 and 名前の変更 act on the list as it is once the folder has been read again: the memo
// that took the place of the one trashed, and the renamed memo, are the current ones.
TEST(LibraryThread, CommandsFindTheirMemoInTheListReadAfterThem)
{
    GuiApp();
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("memos"));
    QDir().mkpath(folder);
    writeMemos(folder, 3);
    const QByteArray savedData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("data"))));
    SetBoxAnswerer([](const BoxRequest&) { return BoxAnswer::Ok; });
    TLibraryPanel panel(folder);
    panel.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !panel.refreshing(); }, 10000));
    ASSERT_EQ(panel.memoModel->rowCount(), 3);
    QSignalSpy done(&panel, &TLibraryPanel::refreshed);

    panel.memoList->setCurrentIndex(panel.memoModel->index(1));  // メモ1, newest first
    panel.trashAction->trigger();
    ASSERT_TRUE(done.wait(10000));
    ASSERT_EQ(panel.memoModel->rowCount(), 2);
    EXPECT_EQ(panel.memoList->currentIndex().row(), 1) << "the memo after the one trashed";

    panel.memoList->setCurrentIndex(panel.memoModel->index(0));
    QTimer answer;  // the rename dialog, answered as a user would
    answer.setInterval(10);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || dialog->objectName() != QLatin1String("RenameMemo1"))
            return;
        dialog->findChild<QLineEdit*>(QStringLiteral("Title1"))->setText(QStringLiteral("改名"));
        dialog->accept();
        answer.stop();
    });
    answer.start();
    panel.renameAction->trigger();
    ASSERT_TRUE(done.wait(10000));
    ASSERT_TRUE(panel.memoList->currentIndex().isValid());
    EXPECT_EQ(panel.memoModel->entryAt(panel.memoList->currentIndex().row()).info().title, QStringLiteral("改名"));

    SetBoxAnswerer(nullptr);
    qputenv("XDG_DATA_HOME", savedData);
}

// Requests that come while the folder is read are taken together: one more look follows,
// and it sees what they asked about.
TEST(LibraryThread, RequestsWhileReadingAreTakenTogether)
{
    GuiApp();
    QTemporaryDir dir;
    writeMemos(dir.path(), 2);
    SlowFiles slow;
    IndexRefresher refresher(dir.path());
    QSignalSpy handed(&refresher, &IndexRefresher::Refreshed);
    refresher.Request();
    ASSERT_TRUE(QTest::qWaitFor([&] { return slow.reads() > 0; }, 5000));
    WriteTestMemo(dir.path(), {QStringLiteral("追加"), QString(), QDateTime::currentDateTime(), StrokeMemo(9)});
    for (int i = 0; i < 5; ++i)
        refresher.Request();
    EXPECT_TRUE(refresher.Busy());
    slow.release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !refresher.Busy(); }, 10000));
    QTest::qWait(20);
    ASSERT_EQ(handed.size(), 2) << "the five requests made while reading are one refresh";
    EXPECT_EQ(handed.at(1).at(0).value<MemoEntries>()->size(), 3u);
    EXPECT_TRUE(handed.at(1).at(1).toBool());
}

// Closing メモ一覧 in the middle of reading a large folder returns between two files; what
// was read is kept in the index, and the next look takes up the rest.
TEST(LibraryThread, ClosingWhileReadingStopsBetweenFiles)
{
    GuiApp();
    QTemporaryDir dir;
    constexpr int kMemos = 60;
    writeMemos(dir.path(), kMemos);
    int readBeforeClose = 0;
    {
        SlowFiles slow;
        slow.setDelay(50);  // three seconds for the folder
        auto panel = std::make_unique<TLibraryPanel>(dir.path());
        ASSERT_TRUE(QTest::qWaitFor([&] { return slow.reads() >= 2; }, 5000));
        panel.reset();
        readBeforeClose = slow.reads();
        EXPECT_LT(readBeforeClose, kMemos / 2) << "closing waited for the whole folder";
        QTest::qWait(100);
        EXPECT_EQ(slow.reads(), readBeforeClose) << "read on after the window was closed";
    }
    LibraryIndex again(dir.path());
    EXPECT_EQ(again.Refresh()->size(), size_t(kMemos));
    EXPECT_LE(again.FilesRead(), kMemos - readBeforeClose + 1) << "what was read before closing is kept";
}

}  // namespace
