// Tags, note and star from the library window: the dialog shows what several memos share and
// changes only what the user touched; the commands write the files (a BMP is refused with a
// message naming it), undo puts back what each memo had, the list shows the folder's tags with
// their counts, and choosing one searches for it (a word of three letters through the index).
#include "gui/MessageBox.h"
#include "library/LibraryPanel.h"
#include "library/MemoNotesDialog.h"
#include "support/GuiApp.h"
#include "support/LibraryMemos.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

namespace {

LibraryMemo memo(const char* title, QStringList tags, const char* note, bool starred)
{
    LibraryMemo m;
    m.path = QStringLiteral("/nowhere/%1.png").arg(QString::fromUtf8(title));
    m.title = QString::fromUtf8(title);
    m.tags = tags;
    m.note = QString::fromUtf8(note);
    m.starred = starred;
    return m;
}

TEST(MemoNotesDialog, ChangesOnlyWhatTheUserTouched)
{
    GuiApp();
    const QList<LibraryMemo> two = {memo("a", {"シゴト", "旅行"}, "同じ", true), memo("b", {"しごと"}, "同じ", false)};
    const struct {
        const char* name;
        QList<LibraryMemo> memos;
        std::function<void(TMemoNotesDialog&)> touch;
        MemoNotesChange expected;
    } cases[] = {
        {"nothing touched", two, [](TMemoNotesDialog&) {}, {}},
        {"tags typed, one unchecked, a partial one checked", two,
         [](TMemoNotesDialog& d) {
             d.addEdit->setText(QStringLiteral("家、 買い物,メモ"));
             d.tagList->item(0)->setCheckState(Qt::Unchecked);  // シゴト, on both (しごと is the same tag)
             d.tagList->item(1)->setCheckState(Qt::Checked);    // 旅行, on one
         },
         {{"家", "買い物", "メモ", "旅行"}, {"シゴト"}, {}, {}}},
        {"the note edited, the star set", two,
         [](TMemoNotesDialog& d) {
             d.noteEdit->setFocus();
             QTest::keyClicks(d.noteEdit, QStringLiteral("x"));
             d.starBox->setCheckState(Qt::Checked);
         },
         {{}, {}, QStringLiteral("x同じ"), true}},
        {"one memo: its star taken away", {two[0]}, [](TMemoNotesDialog& d) { d.starBox->setChecked(false); },
         {{}, {}, {}, false}},
    };
    for (const auto& c : cases) {
        TMemoNotesDialog dialog(c.memos);
        if (c.memos.size() == 2) {
            ASSERT_EQ(dialog.tagList->count(), 2) << c.name;
            EXPECT_EQ(dialog.tagList->item(0)->checkState(), Qt::Checked) << c.name;
            EXPECT_EQ(dialog.tagList->item(1)->checkState(), Qt::PartiallyChecked) << c.name;
            EXPECT_EQ(dialog.starBox->checkState(), Qt::PartiallyChecked) << c.name;
            EXPECT_EQ(dialog.noteEdit->toPlainText(), QStringLiteral("同じ")) << c.name;
        }
        c.touch(dialog);
        const MemoNotesChange change = dialog.change();
        EXPECT_EQ(change.addTags, c.expected.addTags) << c.name;
        EXPECT_EQ(change.removeTags, c.expected.removeTags) << c.name;
        EXPECT_EQ(change.note, c.expected.note) << c.name;
        EXPECT_EQ(change.starred, c.expected.starred) << c.name;
    }
}

QStringList shownTitles(const TLibraryModel& model)
{
    QStringList titles;
    for (int row = 0; row < model.rowCount(); ++row)
        titles << model.entryAt(row).info().title;
    return titles;
}

TEST(LibraryNotes, StarTagUndoAndSearchFromTheWindow)
{
    GuiApp();
    QTemporaryDir dir;
    const QString folder = dir.path();
    const QDateTime noon = QDateTime::currentDateTime().addSecs(-3600);
    WriteTestMemo(folder, {QStringLiteral("会議"), QStringLiteral("ｶｲｷﾞ"), noon, StrokeMemo(1)});
    WriteTestMemo(folder, {QStringLiteral("電話"), QStringLiteral("ﾃﾞﾝﾜ"), noon.addSecs(60), StrokeMemo(2)});
    StrokeMemo(4).save(folder + QStringLiteral("/scan.bmp"));  // the newest, by its file
    TLibraryPanel panel(folder);
    panel.show();
    auto settled = [&] { return QTest::qWaitFor([&] { return !panel.refreshing(); }, 10000); };
    settled();
    ASSERT_EQ(shownTitles(*panel.memoModel), QStringList({"scan.bmp", "電話", "会議"}));
    EXPECT_FALSE(panel.undoNotesAction->isEnabled());
    EXPECT_TRUE(panel.tagList->isHidden());

    QStringList told;
    SetBoxAnswerer([&](const BoxRequest& r) {
        told << r.text;
        return BoxAnswer::Ok;
    });
    panel.memoList->selectAll();
    panel.starAction->trigger();
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains(QStringLiteral("scan.bmp"))) << qPrintable(told[0]);
    EXPECT_TRUE(told[0].contains(QStringLiteral("BMP"))) << qPrintable(told[0]);
    settled();
    auto starredTitles = [&] {
        QStringList titles;
        for (int row = 0; row < panel.memoModel->rowCount(); ++row)
            if (panel.memoModel->entryAt(row).info().starred)
                titles << panel.memoModel->entryAt(row).info().title;
        return titles;
    };
    (void)QTest::qWaitFor([&] { return starredTitles().size() == 2; }, 5000);
    EXPECT_EQ(starredTitles(), QStringList({"電話", "会議"}));

    // Tags on the two PNGs (the selection is kept across the refresh), then shown with counts.
    told.clear();
    panel.changeNotes({{QStringLiteral("仕事")}, {}, {}, {}});
    EXPECT_EQ(told.size(), 1);  // the BMP again
    told.clear();
    (void)QTest::qWaitFor([&] { return panel.tagList->count() == 1; }, 5000);
    settled();
    ASSERT_EQ(panel.tagList->count(), 1);
    EXPECT_EQ(panel.tagList->item(0)->text(), QStringLiteral("#仕事 (2)"));
    EXPECT_FALSE(panel.tagList->isHidden());

    // Choosing the tag searches for it, through the index file; again takes it away.
    panel.tagList->itemClicked(panel.tagList->item(0));
    EXPECT_EQ(panel.filterEdit->text(), QStringLiteral("#仕事"));
    EXPECT_EQ(shownTitles(*panel.memoModel), QStringList({"電話", "会議"}));
    panel.filterEdit->setText(QStringLiteral("＃仕事 ﾃﾞﾝﾜ"));
    EXPECT_EQ(shownTitles(*panel.memoModel), QStringList({"電話"}));
    EXPECT_TRUE(panel.memoModel->searchedIndex());  // a word of three letters: its trigrams
    panel.filterEdit->setText(QStringLiteral("#仕事 ﾃﾞﾝﾜ ★ #家"));
    EXPECT_EQ(shownTitles(*panel.memoModel), QStringList());
    panel.filterEdit->setText(QStringLiteral("#仕事"));
    panel.tagList->itemClicked(panel.tagList->item(0));
    EXPECT_EQ(panel.filterEdit->text(), QString());
    // From the keyboard too.
    panel.activateWindow();
    panel.tagList->setFocus();
    panel.tagList->setCurrentRow(0);
    QTest::keyClick(panel.tagList, Qt::Key_Return);
    EXPECT_EQ(panel.filterEdit->text(), QStringLiteral("#仕事"));
    QTest::keyClick(panel.tagList, Qt::Key_Space);
    EXPECT_EQ(panel.filterEdit->text(), QString());

    // Undo takes the tags away again, and only them: the stars stay.
    ASSERT_TRUE(panel.undoNotesAction->isEnabled());
    panel.undoNotesAction->trigger();
    EXPECT_FALSE(panel.undoNotesAction->isEnabled());
    (void)QTest::qWaitFor([&] { return panel.tagList->count() == 0; }, 5000);
    settled();
    EXPECT_EQ(panel.tagList->count(), 0);
    EXPECT_EQ(starredTitles(), QStringList({"電話", "会議"}));
    panel.filterEdit->setText(QStringLiteral("★"));
    EXPECT_EQ(shownTitles(*panel.memoModel), QStringList({"電話", "会議"}));
    EXPECT_TRUE(told.isEmpty()) << qPrintable(told.join(QLatin1Char('\n')));
    SetBoxAnswerer(nullptr);
}

}  // namespace
