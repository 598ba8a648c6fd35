// The library window follows its folder: memos that another program adds, removes or renames
// (or that arrive while it is open) show up without anything being asked for.
#include "library/LibraryPanel.h"
#include "support/GuiApp.h"
#include "support/LibraryMemos.h"

#include <QListView>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

namespace {

QStringList shownTitles(const TLibraryModel& model)
{
    QStringList titles;
    for (int row = 0; row < model.rowCount(); ++row)
        titles << model.entryAt(row).info.title;
    return titles;
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
    ASSERT_EQ(shownTitles(*panel.Model1), QStringList({"電話", "会議"}));

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
        (void)QTest::qWaitFor([&] { return shownTitles(*panel.Model1) == c.expected; }, 5000);
        EXPECT_EQ(shownTitles(*panel.Model1), c.expected) << c.name;
    }
    EXPECT_GE(panel.Model1->rowOf(QStringLiteral("call.png")), 0);
}

}  // namespace
