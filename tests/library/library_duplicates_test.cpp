// 重複を探す in the library list: the memos that are in the folder more than once (the same
// pixels and codes, whether their files carry the content key or not) shown group by group,
// oldest first, and all but the oldest of each group offered for the trash.
#include "library/LibraryModel.h"
#include "store/MemoContent.h"
#include "store/MemoStore.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QTemporaryDir>

namespace {

QImage drawing(int seed)
{
    QImage image(60, 30, QImage::Format_Mono);
    image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    image.fill(1);
    QPainter p(&image);
    p.setPen(QPen(Qt::color0, 2));
    p.drawLine(seed, 2, 50 - seed, 28);
    return image;
}

struct Memo {
    const char* title;
    int picture;
    int minute;    // arrived at 9:MM
    bool keyed;    // the file carries its content key
};

QStringList shown(const TLibraryModel& model)
{
    QStringList titles;
    for (int row = 0; row < model.rowCount(); ++row)
        titles << model.entryAt(row).info().title;
    return titles;
}

class LibraryDuplicates : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_FALSE(store.Open());
        const Memo memos[] = {
            {"a1", 1, 0, true},  {"b", 2, 1, true},    {"c1", 1, 2, true},   {"a2", 1, 5, false},
            {"c2", 1, 3, false}, {"a3", 1, 10, true},  {"e", 3, 4, true},    {"f1", 4, 6, true},
        };
        for (const Memo& m : memos) {
            // "a" memos share a title and picture, "c" ones another title; "b" has a's title but
            // another picture; "f1" a's picture but another reading below.
            TMemoMeta meta;
            meta.Carried = true;
            const QByteArray name(m.title);
            meta.Title = QString::fromLatin1(name.left(1));
            meta.TitleCodes = name.left(1).toHex();
            meta.ReadingCodes = name.startsWith('f') ? QByteArray("\xb2") : QByteArray("\xb1");
            meta.Reading = QString::fromLatin1(name.startsWith('f') ? "i" : "a");
            meta.Arrived = QDateTime(QDate(2026, 3, 1), QTime(9, m.minute));
            if (m.keyed)
                meta.Content = MemoContentKey(drawing(m.picture), meta.TitleCodes, meta.ReadingCodes);
            QString path;
            ASSERT_FALSE(store.Store(drawing(m.picture), meta, &path));
            paths[QString::fromLatin1(m.title)] = path;
        }
        // A picture of another program copied twice: no title of its own, the same bytes.
        ASSERT_TRUE(drawing(7).save(dir.path() + QStringLiteral("/scan.png")));
        ASSERT_TRUE(QFile::copy(dir.path() + QStringLiteral("/scan.png"), dir.path() + QStringLiteral("/scan copy.png")));
        QFile copy(dir.path() + QStringLiteral("/scan copy.png"));
        ASSERT_TRUE(copy.open(QIODevice::ReadWrite));
        ASSERT_TRUE(copy.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime));
        model.setFolder(dir.path());
        model.setEntries(LibraryIndex(dir.path()).Refresh());
    }

    QTemporaryDir dir;
    TMemoStore store{dir.path()};
    std::map<QString, QString> paths;
    TLibraryModel model;
};

TEST_F(LibraryDuplicates, ShowsEachGroupOldestFirstAndOffersAllButTheOldest)
{
    model.setDuplicates(FindDuplicateMemos(dir.path(), *model.entries()));
    ASSERT_TRUE(model.showingDuplicates());
    const QStringList titles = shown(model);
    // a1 a2 a3 (title "a"), c1 c2 (title "c"), then the two copies (titled by their names).
    ASSERT_EQ(titles.size(), 7) << titles.join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(titles.mid(0, 5), (QStringList{"a", "a", "a", "c", "c"}));
    EXPECT_EQ(model.duplicateGroupCount(), 3);
    QStringList surplus = model.surplusDuplicates();
    std::sort(surplus.begin(), surplus.end());
    QStringList expected{QFileInfo(paths["a2"]).fileName(), QFileInfo(paths["a3"]).fileName(),
                         QFileInfo(paths["c2"]).fileName()};
    expected << QStringLiteral("scan copy.png");  // the copy is the newer file
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(surplus, expected);
    EXPECT_EQ(model.entryAt(0).fileName(), QFileInfo(paths["a1"]).fileName()) << "the oldest of a group first";
}

TEST_F(LibraryDuplicates, FollowsTheFolderAndTheTypedFilter)
{
    const DuplicateGroups groups = FindDuplicateMemos(dir.path(), *model.entries());
    model.setDuplicates(groups);
    const struct {
        const char* name;
        std::vector<const char*> removed;  // files gone from the folder since
        const char* typed;
        int rows;
        int surplus;
    } cases[] = {
        {"AsFound", {}, "", 7, 4},
        {"TypedFilterApplies", {}, "c", 4, 2},  // c1 c2, and both copies of "scan"
        {"OldestGoneTheNextIsKept", {"a1"}, "", 6, 3},
        {"OneLeftOfAGroupIsNoDuplicate", {"c1"}, "", 5, 3},
        {"SurplusTrashed", {"a2", "a3", "c2"}, "", 2, 1},
    };
    for (const auto& c : cases) {
        const MemoEntries all = LibraryIndex(dir.path()).Refresh();
        std::vector<MemoEntry> entries(all->begin(), all->end());
        for (const char* gone : c.removed)
            std::erase_if(entries, [&](const MemoEntry& e) { return e.fileName() == QFileInfo(paths[gone]).fileName(); });
        model.setEntries(std::make_shared<const MemoList>(std::move(entries)));
        model.setFilter(QString::fromLatin1(c.typed));
        EXPECT_EQ(model.rowCount(), c.rows) << c.name;
        EXPECT_EQ(model.surplusDuplicates().size(), c.surplus) << c.name;
        model.setFilter({});
    }
    model.setDuplicates(std::nullopt);
    EXPECT_EQ(model.rowCount(), 7) << "every memo that is left, again";
}

}  // namespace
