// The search of the library: words found in title, reading, tags and note however the kana
// were written, through the index's full-text table (words of three letters and more) and
// without it (shorter ones), #tags, the star and days; the index and a search in memory
// agree on every query, and a memo whose tags changed is found by its new tags only.
#include "store/IndexPlace.h"
#include "store/LibraryIndex.h"
#include "store/LibraryQuery.h"
#include "store/MemoNotes.h"
#include "support/LibraryMemos.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <set>

namespace {

using Names = std::set<QString>;

Names sorted(const std::optional<std::vector<QString>>& names)
{
    return names ? Names(names->begin(), names->end()) : Names{QStringLiteral("(no answer)")};
}

// The memos meeting QUERY as a search in memory finds them.
Names inMemory(const MemoEntries& entries, const LibraryQuery& query)
{
    Names names;
    for (const MemoEntry& e : *entries)
        if (MatchesQuery(query, e.info(), e.search()))
            names.insert(e.fileName());
    return names;
}

TEST(LibrarySearch, FindsWordsTagsStarsAndDaysWithOrWithoutTheIndex)
{
    QTemporaryDir dir;
    const QString folder = dir.path();
    struct Memo {
        const char* title;
        const char* reading;
        QDateTime arrived;
        MemoNotesChange notes;
    };
    const QDateTime day(QDate(2026, 12, 7), QTime(9, 0));
    const Memo memos[] = {
        {"会議", "ｶｲｷﾞ", day, {{QStringLiteral("仕事"), QStringLiteral("Project X")}, {}, QStringLiteral("予算の件\n来週までにカタログ"), true}},
        {"買い物", "ｶｲﾓﾉ", day.addDays(-1), {{QStringLiteral("家")}, {}, QStringLiteral("牛乳とパン"), {}}},
        {"地図", "ﾁｽﾞ", day.addMonths(-1), {{QStringLiteral("旅行"), QStringLiteral("しごと")}, {}, {}, true}},
        {"ABC", "", day.addDays(1), {{QStringLiteral("古い話")}, {}, {}, {}}},
    };
    std::map<QString, QString> nameOf;  // title -> file
    for (const Memo& m : memos) {
        const QString name = WriteTestMemo(folder, {QString::fromUtf8(m.title), QString::fromUtf8(m.reading), m.arrived, StrokeMemo(1)});
        ASSERT_EQ(ChangeMemoNotes(folder + QLatin1Char('/') + name, m.notes), std::nullopt);
        nameOf[QString::fromUtf8(m.title)] = name;
    }
    auto files = [&](std::initializer_list<const char*> titles) {
        Names names;
        for (const char* t : titles)
            names.insert(nameOf[QString::fromUtf8(t)]);
        return names;
    };
    LibraryIndex index(folder);
    const MemoEntries entries = index.Refresh();
    ASSERT_TRUE(index.Stored());
    LibrarySearch search(folder);
    EXPECT_EQ(search.Count(), 4);
    // Each memo comes with its search text, read from the file or from the index alike.
    LibraryIndex reopened(folder);
    const MemoEntries stored = reopened.Refresh();
    EXPECT_EQ(reopened.FilesRead(), 0);
    for (const MemoEntries& list : {entries, stored})
        for (const MemoEntry& e : *list) {
            EXPECT_EQ(e.search(), MemoSearchText(e.info())) << qPrintable(e.fileName());
            EXPECT_FALSE(e.search().isEmpty());
        }

    const QDate today = day.date();
    const struct {
        const char* typed;
        Names expected;
    } cases[] = {
        {"カタログ", files({"会議"})},               // a word of the note, through the trigrams
        {"かたろぐ", files({"会議"})},               // hiragana finds katakana
        {"ｶﾀﾛｸﾞ", files({"会議"})},                 // and half-width katakana
        {"ﾊﾟﾝ", files({"買い物"})},                  // two letters: no trigram, found all the same
        {"パ", files({"買い物"})},
        {"ＰＲＯＪＥＣＴ", files({"会議"})},          // a tag's word, full-width and upper case
        {"project x", files({"会議"})},             // a word across a blank is two words
        {"#仕事", files({"会議"})},                  // a tag, whole
        {"#仕", {}},                                 // not a part of one
        {"#シゴト", files({"地図"})},                // kana folded in tags too
        {"＃project x", {}},                         // "project" is no tag
        {"★", files({"会議", "地図"})},
        {"is:star 予算", files({"会議"})},
        {"2026-12-07", files({"会議"})},
        {"2026-12", files({"会議", "買い物", "ABC"})},
        {"2026-11-01..2026-12-06", files({"地図", "買い物"})},
        {"昨日", files({"買い物"})},
        {"今日 ★", files({"会議"})},
        {"かい", files({"会議", "買い物"})},
        {"きかい", {}},                              // not across title and reading
        {"ぎ予", {}},                                // nor reading and note
        {"abc", files({"ABC"})},
        {"", files({"会議", "買い物", "地図", "ABC"})},
    };
    for (const auto& c : cases) {
        const LibraryQuery query = ParseLibraryQuery(QString::fromUtf8(c.typed), today);
        EXPECT_EQ(sorted(index.Search(query)), c.expected) << c.typed << " (index)";
        EXPECT_EQ(sorted(search.Names(query)), c.expected) << c.typed << " (another connection)";
        EXPECT_EQ(inMemory(entries, query), c.expected) << c.typed << " (in memory)";
    }

    // The tags change: the full-text table follows the file, with nothing of the old ones left.
    ASSERT_EQ(ChangeMemoNotes(folder + QLatin1Char('/') + nameOf[QStringLiteral("会議")],
                              {{QStringLiteral("休暇")}, {QStringLiteral("仕事"), QStringLiteral("Project X")}, QString(), false}),
              std::nullopt);
    // The last row of the table too (its place may be taken by the new row).
    ASSERT_EQ(ChangeMemoNotes(folder + QLatin1Char('/') + nameOf[QStringLiteral("ABC")],
                              {{QStringLiteral("新しい話")}, {QStringLiteral("古い話")}, {}, {}}),
              std::nullopt);
    LibraryIndex again(folder);
    again.Refresh();
    EXPECT_EQ(again.FilesRead(), 2);
    for (const auto& [typed, expected] : std::vector<std::pair<const char*, Names>>{
             {"#仕事", {}}, {"カタログ", {}}, {"project", {}}, {"#休暇", files({"会議"})}, {"★", files({"地図"})},
             {"古い話", {}}, {"#古い話", {}}, {"新しい話", files({"ABC"})}}) {
        const LibraryQuery query = ParseLibraryQuery(QString::fromUtf8(typed), today);
        EXPECT_EQ(sorted(again.Search(query)), expected) << typed;
        EXPECT_EQ(sorted(search.Names(query)), expected) << typed << " (another connection)";
    }
    // Nothing of the old rows is left among the trigrams.
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        db.setDatabaseName(IndexFileFor(folder));
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        EXPECT_TRUE(q.exec(QStringLiteral("INSERT INTO memo_text(memo_text, rank) VALUES ('integrity-check', 1)")))
            << qPrintable(q.lastError().text());
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
}

TEST(LibraryQuery, UnderstandsWhatIsTyped)
{
    const QDate today(2026, 12, 7);
    auto at = [](int y, int m, int d) { return QDateTime(QDate(y, m, d), QTime(0, 0)).toMSecsSinceEpoch(); };
    const struct {
        const char* typed;
        QStringList words, tags;
        bool starred;
        std::vector<LibraryQuery::Days> days;
    } cases[] = {
        {"ｶｲｷﾞ　#シゴト", {QStringLiteral("かいぎ")}, {QStringLiteral("しごと")}, false, {}},
        {"＃Ａ # ☆", {}, {QStringLiteral("a")}, true, {}},
        {"２０２６－１２－０７", {}, {}, false, {{at(2026, 12, 7), at(2026, 12, 8)}}},
        {"2026-02", {}, {}, false, {{at(2026, 2, 1), at(2026, 3, 1)}}},
        {"2026-12-30~2027-01", {}, {}, false, {{at(2026, 12, 30), at(2027, 2, 1)}}},
        {"きのう", {}, {}, false, {{at(2026, 12, 6), at(2026, 12, 7)}}},
        {"2026-02-30 2026-13 2026-12-08..2026-12-01", {QStringLiteral("2026-02-30"), QStringLiteral("2026-13"),
                                                      QStringLiteral("2026-12-08..2026-12-01")}, {}, false, {}},
        {"is:STAR 会議 会議", {QStringLiteral("会議")}, {}, true, {}},
    };
    for (const auto& c : cases) {
        const LibraryQuery q = ParseLibraryQuery(QString::fromUtf8(c.typed), today);
        EXPECT_EQ(q.words, c.words) << c.typed;
        EXPECT_EQ(q.tags, c.tags) << c.typed;
        EXPECT_EQ(q.starred, c.starred) << c.typed;
        LibraryQuery expected;
        expected.days = c.days;
        expected.words = q.words;
        expected.tags = q.tags;
        expected.starred = q.starred;
        EXPECT_TRUE(q == expected) << c.typed;
    }
}

}  // namespace
