// The frame's status bar follows the active memo window's name at once, whatever changed it,
// and shows a long name in a panel that fits it.
#include "MemoFixture.h"

#include "gui/ElidedLabel.h"
#include "library/LibraryPanel.h"
#include "store/MemoStore.h"
#include "support/LibraryMemos.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDockWidget>
#include <QLayout>
#include <QLineEdit>
#include <QListView>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

namespace {

class MemoStatus : public MemoFixture {
protected:
    // A memo of the library titled TITLE, opened from メモ一覧 in a memo window.
    MemoWindow* openLibraryMemo(const QString& title)
    {
        LibrarySettings.Folder = path(QStringLiteral("memos"));
        QDir().mkpath(LibrarySettings.Folder);
        WriteTestMemo(LibrarySettings.Folder,
                      {title, QString(), QDateTime(QDate(2026, 12, 7), QTime(22, 15, 3)), StrokeMemo(1, QSize(16, 16))});
        MainForm->showLibrary();
        panel = MainForm->findChild<TLibraryPanel*>();
        if (!panel || !QTest::qWaitFor([&] { return !panel->refreshing() && panel->memoModel->rowCount() == 1; }, 10000))
            return nullptr;
        panel->memoList->setCurrentIndex(panel->memoModel->index(0));
        panel->openAction->trigger();
        return MainForm->activeMemo();
    }

    // The library's 名前の変更 with TITLE typed in, as a user would.
    void renameInLibrary(const QString& title)
    {
        QTimer answer;
        answer.setInterval(10);
        QObject::connect(&answer, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog || dialog->objectName() != QLatin1String("RenameMemo1"))
                return;
            dialog->findChild<QLineEdit*>(QStringLiteral("Title1"))->setText(title);
            dialog->accept();
            answer.stop();
        });
        answer.start();
        QSignalSpy done(panel, &TLibraryPanel::refreshed);
        panel->memoList->setCurrentIndex(panel->memoModel->index(0));
        panel->renameAction->trigger();
        done.wait(10000);
    }

    TLibraryPanel* panel = nullptr;
};

// 名前を付けて保存, the library's 名前の変更 and 削除: the window takes its new name and the
// status bar shows it at once, without the picture being clicked.
TEST_F(MemoStatus, TheNamePanelFollowsEveryChangeOfTheName)
{
    MemoWindow* memo = openLibraryMemo(QStringLiteral("地図"));
    ASSERT_NE(memo, nullptr);
    EXPECT_EQ(MainForm->namePanel->text(), "2026-12-07 22.15.03 地図.png");

    renameInLibrary(QStringLiteral("駅までの道"));
    EXPECT_EQ(memo->FileName, QDir(LibrarySettings.Folder).filePath(QStringLiteral("2026-12-07 22.15.03 駅までの道.png")));
    EXPECT_EQ(memo->captionName(), "2026-12-07 22.15.03 駅までの道.png");
    EXPECT_EQ(memo->deviceTitle(), "駅までの道");
    EXPECT_EQ(MainForm->namePanel->text(), "2026-12-07 22.15.03 駅までの道.png");

    // The file goes to the trash: the window keeps the picture, unsaved, under a new name.
    QSignalSpy done(panel, &TLibraryPanel::refreshed);
    panel->memoList->setCurrentIndex(panel->memoModel->index(0));
    panel->trashAction->trigger();
    done.wait(10000);
    EXPECT_FALSE(QFile::exists(QDir(LibrarySettings.Folder).filePath(QStringLiteral("2026-12-07 22.15.03 駅までの道.png"))));
    EXPECT_EQ(memo->FileName, "NEW_1.BMP");
    EXPECT_TRUE(memo->Modified) << "closing asks to save the picture whose file is gone";
    EXPECT_EQ(MainForm->namePanel->text(), "NEW_1.BMP");

    fileAnswers.push_back(path(QStringLiteral("saved.bmp")));
    command("SaveAs1");
    EXPECT_EQ(memo->FileName, path(QStringLiteral("saved.bmp")));
    EXPECT_EQ(MainForm->namePanel->text(), "saved.bmp");
}

// A long name shows whole where the bar has room, and elided in the middle where it has not;
// the tooltip always says it whole.
TEST_F(MemoStatus, ALongNameFitsThePanel)
{
    const QString name = QStringLiteral("2026-12-07 22.15.03 駅までの道と公園の入り口.bmp");
    MemoWindow* memo = open(writeImage(name, pattern(30, 20)));
    ASSERT_NE(memo, nullptr);
    auto* panel2 = dynamic_cast<TElidedLabel*>(MainForm->namePanel);
    ASSERT_NE(panel2, nullptr);
    EXPECT_TRUE(panel2->toolTip().contains(name));
    EXPECT_TRUE(panel2->toolTip().contains(QStringLiteral("選択されているウィンドウ")));

    const struct {
        int frameWidth;
        bool whole;
    } rows[] = {{1400, true}, {520, false}};
    for (const auto& row : rows) {
        MainForm->resize(row.frameWidth, 400);
        QCoreApplication::processEvents();
        MainForm->statusBar()->layout()->activate();
        EXPECT_GE(panel2->width(), 113) << row.frameWidth;
        EXPECT_EQ(panel2->text(), name);
        const QString shown = panel2->shownText();
        if (row.whole) {
            EXPECT_EQ(shown, name) << row.frameWidth;
        } else {
            EXPECT_NE(shown, name) << row.frameWidth;
            EXPECT_TRUE(shown.contains(QChar(u'…')) && shown.startsWith(name.left(4))) << shown.toStdString();
            EXPECT_TRUE(shown.endsWith(QStringLiteral(".bmp"))) << shown.toStdString();
        }
    }
}

// 送信 of several memos from メモ一覧 asks in the same kind of box as a memo window's 送信.
TEST_F(MemoStatus, TheLibrarysSendQuestionIsAnInformationBox)
{
    ASSERT_NE(openLibraryMemo(QStringLiteral("一")), nullptr);
    WriteTestMemo(LibrarySettings.Folder,
                  {QStringLiteral("二"), QString(), QDateTime(QDate(2026, 12, 8), QTime(9, 0)), StrokeMemo(2, QSize(16, 16))});
    panel->refresh();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !panel->refreshing() && panel->memoModel->rowCount() == 2; }, 10000));
    panel->memoList->selectAll();
    boxes.clear();
    answers.push_back(BoxAnswer::Cancel);
    panel->sendAction->trigger();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.endsWith(QStringLiteral("送信を行いますか？")));
    EXPECT_EQ(boxes[0].caption, "情報");
}

// メモ一覧 opens in the order last chosen: Order= is read whatever its case, an unknown word
// reads as the newest first, and a new choice is written at exit.
TEST_F(MemoStatus, TheLibraryOpensInTheOrderLastChosen)
{
    struct Case {
        const char* stored;
        int shown;
    };
    for (const Case& c : {Case{"Oldest", 1}, Case{"title", 2}, Case{"sideways", 0}, Case{"", 0}}) {
        home().write(QByteArray("[Library]\r\nOrder=") + c.stored + "\r\n");
        LibrarySettings = ReadLibrarySettings();
        TLibraryPanel fresh(path(QStringLiteral("memos")));
        EXPECT_EQ(fresh.orderBox->currentIndex(), c.shown) << c.stored;
        EXPECT_EQ(int(fresh.memoModel->order()), c.shown) << c.stored;
    }
    ASSERT_NE(openLibraryMemo(QStringLiteral("地図")), nullptr);
    panel->orderBox->setCurrentIndex(2);
    MainForm->close();
    QCoreApplication::processEvents();
    EXPECT_TRUE(home().read().contains("Order=Title\r\n")) << home().read().constData();
}

}  // namespace
