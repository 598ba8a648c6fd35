// LibraryQuery — what is typed into the library's search box, understood.
//
// Contract
//   ParseLibraryQuery(typed, today)
//       Splits TYPED at blanks (full-width ones too) and folds every part as the search
//       compares text (store/KanaFold.h). Each part is one condition, and a memo must meet
//       all of them:
//         #word          a tag of the memo is WORD (folded; "#" alone is nothing)
//         ★ ☆ is:star    the memo has a star
//         2026-12-07     it arrived on that day (local time); 2026-12: in that month;
//         2026-12-01..2026-12-07 (or "~" between): in those days, both included;
//         今日, 昨日      today, yesterday (TODAY's calendar)
//         anything else  a word: it occurs in the title, the reading, a tag or the note
//   MemoSearchText(info)
//       The memo's text as words are looked for in it: folded title, reading, tags and note
//       with a separator (kSearchSeparator) between them, and every tag between two
//       kTagMark, so that no word found spans two of them and a tag can be found whole.
//   MatchesQuery(query, info, searchText)
//       Whether the memo of INFO, whose MemoSearchText is SEARCHTEXT, meets QUERY.
#pragma once

#include "store/LibraryFile.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <vector>

inline constexpr char16_t kSearchSeparator = u'\x1f';
inline constexpr char16_t kTagMark = u'\x1e';

struct LibraryQuery {
    struct Days {
        qint64 from = 0;  // ms since the epoch, included
        qint64 to = 0;    // excluded
    };
    QStringList words;  // folded
    QStringList tags;   // folded
    bool starred = false;
    std::vector<Days> days;

    bool isEmpty() const { return words.isEmpty() && tags.isEmpty() && !starred && days.empty(); }
    bool operator==(const LibraryQuery& other) const
    {
        return words == other.words && tags == other.tags && starred == other.starred &&
               days.size() == other.days.size() &&
               std::equal(days.begin(), days.end(), other.days.begin(),
                          [](const Days& a, const Days& b) { return a.from == b.from && a.to == b.to; });
    }
};

LibraryQuery ParseLibraryQuery(const QString& typed, const QDate& today = QDate::currentDate());

QString MemoSearchText(const MemoInfo& info);

bool MatchesQuery(const LibraryQuery& query, const MemoInfo& info, QStringView searchText);
// The same for a memo known by its star and time of arrival (MemoInfo's) alone.
bool MatchesQuery(const LibraryQuery& query, bool starred, qint64 time, QStringView searchText);
