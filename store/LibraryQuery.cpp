#include "store/LibraryQuery.h"

#include "store/KanaFold.h"

#include <QDateTime>
#include <QRegularExpression>

#include <algorithm>

namespace {

qint64 startOf(const QDate& day)
{
    return QDateTime(day, QTime(0, 0)).toMSecsSinceEpoch();
}

// "2026-12-07" as that day, "2026-12" as that month: the first day and the day after the last.
std::optional<std::pair<QDate, QDate>> daysOf(const QString& text, const QDate& today)
{
    if (text == QStringLiteral("今日") || text == QStringLiteral("きょう"))
        return std::pair(today, today.addDays(1));
    if (text == QStringLiteral("昨日") || text == QStringLiteral("きのう"))
        return std::pair(today.addDays(-1), today);
    static const QRegularExpression day(QStringLiteral("^(\\d{4})[-/](\\d{1,2})[-/](\\d{1,2})$"));
    static const QRegularExpression month(QStringLiteral("^(\\d{4})[-/](\\d{1,2})$"));
    if (const auto m = day.match(text); m.hasMatch()) {
        const QDate d(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
        if (d.isValid())
            return std::pair(d, d.addDays(1));
    } else if (const auto m = month.match(text); m.hasMatch()) {
        const QDate d(m.captured(1).toInt(), m.captured(2).toInt(), 1);
        if (d.isValid())
            return std::pair(d, d.addMonths(1));
    }
    return std::nullopt;
}

std::optional<LibraryQuery::Days> rangeOf(const QString& text, const QDate& today)
{
    qsizetype cut = text.indexOf(QStringLiteral(".."));
    qsizetype skip = 2;
    if (cut < 0) {
        cut = text.indexOf(QLatin1Char('~'));
        skip = 1;
    }
    if (cut > 0) {
        const auto first = daysOf(text.left(cut), today);
        const auto last = daysOf(text.mid(cut + skip), today);
        if (first && last && first->first < last->second)
            return LibraryQuery::Days{startOf(first->first), startOf(last->second)};
        return std::nullopt;
    }
    if (const auto days = daysOf(text, today))
        return LibraryQuery::Days{startOf(days->first), startOf(days->second)};
    return std::nullopt;
}

}  // namespace

LibraryQuery ParseLibraryQuery(const QString& typed, const QDate& today)
{
    LibraryQuery query;
    for (const QString& term : FilterTerms(typed)) {
        if (term.startsWith(QLatin1Char('#'))) {
            if (term.size() > 1 && !query.tags.contains(term.mid(1)))
                query.tags << term.mid(1);
        } else if (term == QStringLiteral("★") || term == QStringLiteral("☆") || term == QStringLiteral("is:star")) {
            query.starred = true;
        } else if (const auto days = rangeOf(term, today)) {
            query.days.push_back(*days);
        } else if (!query.words.contains(term)) {
            query.words << term;
        }
    }
    return query;
}

QString MemoSearchText(const MemoInfo& info)
{
    QString text = SearchKey(info.title) + QChar(kSearchSeparator) + SearchKey(info.reading) + QChar(kSearchSeparator);
    for (const QString& tag : info.tags)
        text += QChar(kTagMark) + SearchKey(tag);
    if (!info.tags.isEmpty())
        text += QChar(kTagMark);
    return text + QChar(kSearchSeparator) + SearchKey(info.note);
}

bool MatchesQuery(const LibraryQuery& query, const MemoInfo& info, QStringView searchText)
{
    return MatchesQuery(query, info.starred, info.time, searchText);
}

bool MatchesQuery(const LibraryQuery& query, bool starred, qint64 time, QStringView searchText)
{
    if (query.starred && !starred)
        return false;
    for (const LibraryQuery::Days& days : query.days)
        if (time < days.from || time >= days.to)
            return false;
    for (const QString& tag : query.tags)
        if (!searchText.contains(QChar(kTagMark) + tag + QChar(kTagMark)))
            return false;
    return MatchesTerms(searchText, query.words);
}
