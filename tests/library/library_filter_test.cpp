// The filter of the library list as a Japanese user types: katakana, hiragana and half-width
// forms find each other in titles and readings, voiced marks still count, every typed word
// must be found, and a word is not found across the end of the title and the reading.
#include "library/LibraryModel.h"

#include <gtest/gtest.h>

namespace {

MemoEntry entry(const char* name, const char* title, const char* reading, qint64 time = 0)
{
    MemoInfo info;
    info.title = QString::fromUtf8(title);
    info.reading = QString::fromUtf8(reading);
    info.time = time;
    info.titled = true;
    // No search text: the model folds it itself for such entries.
    return MemoEntry(QString::fromUtf8(name), 0, 0, info, {});
}

QStringList shown(const TLibraryModel& model)
{
    QStringList names;
    for (int row = 0; row < model.rowCount(); ++row)
        names << model.entryAt(row).fileName();
    return names;
}

TEST(LibraryFilter, KanaFormsFindEachOther)
{
    TLibraryModel model;
    model.setEntries(std::make_shared<const MemoList>(std::vector<MemoEntry>{
        entry("meeting", "会議", "ｶｲｷﾞ", 5),
        entry("shopping", "買い物", "ｶｲﾓﾉ", 4),
        entry("memo", "めも", "", 3),
        entry("guide", "案内", "ｶﾞｲﾄﾞ", 2),
        entry("flag", "はた", "ﾊﾀ", 1),
        entry("abc", "ＡＢＣ", "", 0),
        entry("split", "か", "い", 6),
    }));
    const struct {
        const char* typed;
        QStringList expected;  // newest first
    } cases[] = {
        {"カイ", {"meeting", "shopping"}},           // katakana finds half-width readings
        {"かいぎ", {"meeting"}},                      // hiragana too
        {"ｶｲｷﾞ", {"meeting"}},                       // and the half-width form itself
        {"メモ", {"memo"}},                           // katakana finds a hiragana title
        {"ｶﾞｲ", {"guide"}},                          // a voiced half-width kana is one letter
        {"ガイド", {"guide"}},
        {"ば", {}},                                   // は is not ば
        {"abc", {"abc"}},                             // full-width letters, any case
        {"会議　ｶｲ", {"meeting"}},                    // every word, a full-width space between
        {"会議 もの", {}},
        {"かい", {"meeting", "shopping"}},            // not "か" + "い" across title and reading
        {"", {"split", "meeting", "shopping", "memo", "guide", "flag", "abc"}},
    };
    for (const auto& c : cases) {
        model.setFilter(QString::fromUtf8(c.typed));
        EXPECT_EQ(shown(model), c.expected) << c.typed;
    }
}

}  // namespace
