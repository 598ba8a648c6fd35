// The library window follows its folder: memos that another program adds, removes or renames
// (or that arrive while it is open) show up without anything being asked for.
#include "gui/Dialogs.h"
#include "gui/ExportDlg.h"
#include "gui/MessageBox.h"
#include "library/LibraryCommands.h"
#include "library/LibraryPanel.h"
#include "support/GuiApp.h"
#include "support/LibraryMemos.h"

#include <QDir>
#include <QLabel>
#include <QAction>
#include <QListView>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace {

QStringList shownTitles(const TLibraryModel& model)
{
    QStringList titles;
    for (int row = 0; row < model.rowCount(); ++row)
        titles << model.entryAt(row).info().title;
    return titles;
}

// The list as the folder was when the panel was opened (the folder is read beside the window).
void waitForFirstList(TLibraryPanel& panel)
{
    (void)QTest::qWaitFor([&] { return !panel.refreshing(); }, 10000);
}

TEST(LibraryWatch, ChangesOfTheFolderShowWithoutBeingAskedFor)
{
    GuiApp();
    QTemporaryDir dir;
    const QString folder = dir.path();
    // Earlier today: a picture copied in now is the newest.
    const QDateTime noon = QDateTime::currentDateTime().addSecs(-3600);
    const QString first = WriteTestMemo(folder, {QStringLiteral("会議"), QStringLiteral("ｶｲｷﾞ"), noon, StrokeMemo(1)});
    const QString second = WriteTestMemo(folder, {QStringLiteral("電話"), QStringLiteral("ﾃﾞﾝﾜ"), noon.addSecs(60), StrokeMemo(2)});
    TLibraryPanel panel(folder);
    panel.show();
    waitForFirstList(panel);
    ASSERT_EQ(shownTitles(*panel.memoModel), QStringList({"電話", "会議"}));

    const struct {
        const char* name;
        std::function<void()> happen;
        QStringList expected;  // newest first
    } cases[] = {
        {"a memo arrives",
         [&] { WriteTestMemo(folder, {QStringLiteral("地図"), QStringLiteral("ﾁｽﾞ"), noon.addSecs(120), StrokeMemo(3)}); },
         {"地図", "電話", "会議"}},
        {"a memo is removed", [&] { QFile::remove(folder + QLatin1Char('/') + first); }, {"地図", "電話"}},
        {"a memo is renamed", [&] { QFile::rename(folder + QLatin1Char('/') + second, folder + QStringLiteral("/call.png")); },
         {"地図", "電話"}},
        {"a picture is copied in", [&] { StrokeMemo(4).save(folder + QStringLiteral("/scan.bmp")); },
         {"scan.bmp", "地図", "電話"}},
    };
    for (const auto& c : cases) {
        c.happen();
        (void)QTest::qWaitFor([&] { return shownTitles(*panel.memoModel) == c.expected; }, 5000);
        EXPECT_EQ(shownTitles(*panel.memoModel), c.expected) << c.name;
    }
    EXPECT_GE(panel.memoModel->rowOf(QStringLiteral("call.png")), 0);
}

// 送信 sends nothing itself: it hands the selected memos, with their titles and readings, to
// whoever sends (the frame).
TEST(LibrarySend, TheSelectedMemosAreHandedOnWithTheirTitles)
{
    GuiApp();
    QTemporaryDir dir;
    const QDateTime noon = QDateTime::currentDateTime().addSecs(-3600);
    WriteTestMemo(dir.path(), {QStringLiteral("会議"), QStringLiteral("ｶｲｷﾞ"), noon, StrokeMemo(1)});
    WriteTestMemo(dir.path(), {QStringLiteral("電話"), QStringLiteral("ﾃﾞﾝﾜ"), noon.addSecs(60), StrokeMemo(2)});
    TLibraryPanel panel(dir.path());
    panel.show();
    waitForFirstList(panel);
    ASSERT_EQ(panel.memoModel->rowCount(), 2);
    QSignalSpy requests(&panel, &TLibraryPanel::sendRequested);

    panel.memoList->selectAll();
    panel.sendAction->trigger();
    ASSERT_EQ(requests.size(), 1);
    QStringList seen;
    for (const LibraryMemo& memo : requests.at(0).at(0).value<QList<LibraryMemo>>())
        seen << memo.title + QLatin1Char('/') + memo.reading;
    seen.sort();
    EXPECT_EQ(seen, QStringList({"会議/ｶｲｷﾞ", "電話/ﾃﾞﾝﾜ"}));

    panel.memoList->clearSelection();
    panel.sendAction->trigger();
    EXPECT_TRUE(requests.size() == 1 || requests.at(1).at(0).value<QList<LibraryMemo>>().isEmpty())
        << "nothing selected: nothing to send";
}

// 書き出し of several memos: PNG and SVG go one file a memo into a folder that is chosen (and
// nothing there is written over), a PDF is one file.
// The small pictures are read beside the window: asking for one never waits for its file, and
// the row is reported changed once the picture is there (a file that cannot be read as well).
TEST(LibraryThumbnails, AreReadBesideTheWindow)
{
    GuiApp();
    QTemporaryDir dir;
    const QString folder = dir.path();
    const QDateTime noon = QDateTime::currentDateTime().addSecs(-3600);
    WriteTestMemo(folder, {QStringLiteral("大"), QString(), noon, StrokeMemo(1, QSize(300, 200))});
    WriteTestMemo(folder, {QStringLiteral("小"), QString(), noon.addSecs(60), StrokeMemo(2, QSize(40, 30))});
    QFile broken(folder + QStringLiteral("/broken.png"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write(QByteArray("\x89PNG\r\n\x1a\n") + QByteArray(100, 'x'));
    broken.close();
    TLibraryModel model;
    model.setFolder(folder);
    model.setEntries(LibraryIndex(folder).Refresh());
    ASSERT_EQ(model.rowCount(), 3);
    QSignalSpy changed(&model, &TLibraryModel::dataChanged);
    for (int row = 0; row < model.rowCount(); ++row) {
        EXPECT_TRUE(model.thumbnailAt(row).isNull()) << row << ": read on the asking thread";
        EXPECT_TRUE(model.thumbnailPending(row)) << row;
    }
    model.waitForThumbnails();
    EXPECT_EQ(changed.count(), 3);
    std::map<QString, QSize> sizes;
    for (int row = 0; row < model.rowCount(); ++row) {
        EXPECT_FALSE(model.thumbnailPending(row));
        sizes[model.entryAt(row).info().title] = model.thumbnailAt(row).size();
    }
    EXPECT_EQ(sizes[QStringLiteral("大")], QSize(124, 82));  // scaled into the box
    EXPECT_EQ(sizes[QStringLiteral("小")], QSize(40, 30));
    EXPECT_TRUE(sizes[QStringLiteral("broken.png")].isEmpty()) << "nothing to show: a question mark";
    EXPECT_EQ(changed.count(), 3) << "kept pictures are not read again";
}

TEST(LibraryExport, SeveralMemosGoIntoAFolderOrOneDocument)
{
    GuiApp();
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("memos"));
    const QString out = dir.filePath(QStringLiteral("out"));
    QDir().mkpath(folder);
    const QDateTime noon = QDateTime::currentDateTime().addSecs(-3600);
    QList<LibraryMemo> memos;
    for (int i = 1; i <= 2; ++i) {
        const QString name = WriteTestMemo(folder, {QStringLiteral("会議%1").arg(i), QString(), noon.addSecs(i), StrokeMemo(i)});
        memos.push_back({folder + QLatin1Char('/') + name, QStringLiteral("会議%1").arg(i), {}, noon.addSecs(i), true});
    }
    ExportFormat format = ExportFormat::Png;
    SetExportDialogAnswerer([&](TExportOptions& o) {
        o.Format = format;
        o.PerPage = 4;
        return true;
    });
    std::vector<FileDialogRequest> asked;
    QString answer;
    SetFileDialogAnswerer([&](const FileDialogRequest& request) -> std::optional<QString> {
        asked.push_back(request);
        return answer;
    });
    answer = out;
    ExportLibraryMemos(nullptr, memos);
    ExportLibraryMemos(nullptr, memos);  // the same again: numbered beside the first
    format = ExportFormat::Pdf;
    answer = out + QStringLiteral("/sheet");
    ExportLibraryMemos(nullptr, memos);
    SetExportDialogAnswerer(nullptr);
    SetFileDialogAnswerer(nullptr);

    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[0].mode, FileDialogRequest::Mode::Folder);
    EXPECT_EQ(asked[2].mode, FileDialogRequest::Mode::Save);
    QStringList written = QDir(out).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(written.size(), 5) << written.join(u' ').toStdString();
    EXPECT_TRUE(written.contains(QStringLiteral("sheet.pdf"))) << written.join(u' ').toStdString();
    for (const QString& name : written) {
        if (name.endsWith(QStringLiteral(".png"))) {
            EXPECT_FALSE(QImage(out + QLatin1Char('/') + name).isNull()) << name.toStdString();
        }
    }
}

// 削除 moves the file into the desktop's trash, where it can be restored, even when the data
// folder the trash lives in has not been made yet.
TEST(LibraryTrash, TheFileGoesToTheHomeTrash)
{
    GuiApp();
    QTemporaryDir dir;
    const QString data = dir.filePath(QStringLiteral("data"));
    const QByteArray savedData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(data));
    const QString folder = dir.filePath(QStringLiteral("memos"));
    QDir().mkpath(folder);
    const QString name = WriteTestMemo(folder, {QStringLiteral("地図"), QString(), QDateTime::currentDateTime(), StrokeMemo(1)});
    SetBoxAnswerer([](const BoxRequest&) { return BoxAnswer::Ok; });
    TrashLibraryMemos({{folder + QLatin1Char('/') + name, QStringLiteral("地図"), {}, {}, true}});
    SetBoxAnswerer(nullptr);
    qputenv("XDG_DATA_HOME", savedData);
    EXPECT_FALSE(QFile::exists(folder + QLatin1Char('/') + name));
    EXPECT_TRUE(QFile::exists(data + QStringLiteral("/Trash/files/") + name));
}

// A conflict copy that a sync tool made shows as such beside its original, and このファイルを残す
// keeps the chosen version under the original's name, the other in the trash; the windows of
// both files are told.
TEST(LibraryConflicts, ACopyIsMarkedAndOneVersionIsKept)
{
    GuiApp();
    QTemporaryDir dir;
    const QString data = dir.filePath(QStringLiteral("data"));
    const QByteArray savedData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(data));
    const QString folder = dir.filePath(QStringLiteral("memos"));
    QDir().mkpath(folder);
    const QDateTime noon = QDateTime::currentDateTime().addSecs(-3600);
    const QString original = WriteTestMemo(folder, {QStringLiteral("会議"), {}, noon, StrokeMemo(1)});
    const QString other = WriteTestMemo(folder, {QStringLiteral("電話"), {}, noon.addSecs(600), StrokeMemo(2)});
    QString copy = original;
    copy.insert(copy.size() - 4, QStringLiteral(".sync-conflict-20261207-162332-BBBBBBB"));
    const QByteArray kept = MemoPngBytes({QStringLiteral("会議 (B)"), {}, noon.addSecs(1200), StrokeMemo(3)});
    {
        QFile file(folder + QLatin1Char('/') + copy);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(kept);
    }
    TLibraryPanel panel(folder);
    panel.show();
    waitForFirstList(panel);
    const TLibraryModel& model = *panel.memoModel;
    ASSERT_EQ(model.rowCount(), 3);
    // Newer than everything by its arrival, yet beside its original.
    const int row = model.rowOf(copy);
    ASSERT_EQ(model.entryAt(row - 1).fileName(), original);
    EXPECT_TRUE(model.data(model.index(row), Qt::ToolTipRole).toString().contains(QStringLiteral("競合コピー")));
    EXPECT_TRUE(model.data(model.index(row), Qt::AccessibleDescriptionRole).toString().startsWith(QStringLiteral("競合")));
    EXPECT_TRUE(panel.countLabel->text().contains(QStringLiteral("競合 1 件"))) << panel.countLabel->text().toStdString();
    EXPECT_TRUE(panel.keepAction->isVisible());
    const struct {
        QString select;
        bool enabled;
    } selections[] = {{copy, true}, {original, true}, {other, false}};
    for (const auto& s : selections) {
        panel.memoList->selectionModel()->select(model.index(model.rowOf(s.select)), QItemSelectionModel::ClearAndSelect);
        EXPECT_EQ(panel.keepAction->isEnabled(), s.enabled) << s.select.toStdString();
    }

    panel.memoList->selectionModel()->select(model.index(model.rowOf(copy)), QItemSelectionModel::ClearAndSelect);
    QSignalSpy trashed(&panel, &TLibraryPanel::memosTrashed);
    QSignalSpy renamed(&panel, &TLibraryPanel::memoRenamed);
    SetBoxAnswerer([](const BoxRequest&) { return BoxAnswer::Ok; });
    panel.keepAction->trigger();
    SetBoxAnswerer(nullptr);
    qputenv("XDG_DATA_HOME", savedData);
    (void)QTest::qWaitFor([&] { return model.rowCount() == 2 && !panel.refreshing(); }, 5000);
    EXPECT_FALSE(QFile::exists(folder + QLatin1Char('/') + copy));
    QFile now(folder + QLatin1Char('/') + original);
    ASSERT_TRUE(now.open(QIODevice::ReadOnly));
    EXPECT_EQ(now.readAll(), kept);
    EXPECT_TRUE(QFile::exists(data + QStringLiteral("/Trash/files/") + original));
    ASSERT_EQ(trashed.size(), 1);
    EXPECT_EQ(trashed[0][0].toStringList(), QStringList{folder + QLatin1Char('/') + original});
    ASSERT_EQ(renamed.size(), 1);
    EXPECT_EQ(renamed[0][0].toString(), folder + QLatin1Char('/') + copy);
    EXPECT_EQ(renamed[0][1].toString(), folder + QLatin1Char('/') + original);
    EXPECT_EQ(model.conflictCount(), 0);
    EXPECT_FALSE(panel.keepAction->isVisible());
}

// An index that cannot be kept is said under the list, which shows the memos all the same.
TEST(LibraryNotice, SaysWhyTheIndexCannotBeKept)
{
    GuiApp();
    const struct {
        const char* name;
        bool blocked;  // a file where the cache folder goes
    } cases[] = {{"cache usable", false}, {"cache blocked", true}};
    for (const auto& c : cases) {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("memos"));
        QDir().mkpath(folder);
        WriteTestMemo(folder, {QStringLiteral("会議"), {}, QDateTime::currentDateTime(), StrokeMemo(1)});
        const QString cache = dir.filePath(QStringLiteral("cache"));
        QDir().mkpath(cache);
        if (c.blocked) {
            QFile file(cache + QStringLiteral("/vexlo"));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
        const QByteArray saved = qgetenv("XDG_CACHE_HOME");
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cache));
        TLibraryPanel panel(folder);
        panel.show();
        waitForFirstList(panel);
        qputenv("XDG_CACHE_HOME", saved);
        EXPECT_EQ(panel.memoModel->rowCount(), 1) << c.name;
        EXPECT_EQ(panel.noticeLabel->isVisible(), c.blocked) << c.name;
        if (c.blocked) {
            EXPECT_TRUE(panel.noticeLabel->text().contains(cache)) << panel.noticeLabel->text().toStdString();
        }
    }
}

}  // namespace
