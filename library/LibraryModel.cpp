#include "library/LibraryModel.h"

#include "store/KanaFold.h"
#include "store/SyncedFolder.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <numeric>

namespace {

// Kept pictures, in bytes: some hundreds of memos, a few pages of the list, whatever the size
// of the library.
constexpr int kThumbnailBytes = 1024 * 1024;
// Pictures asked for and still waiting to be read, at most: a few pages of the list.
constexpr size_t kWaitingPictures = 200;

// A picture is kept for its file as it was: a file that changes is read again.
QString thumbnailKey(const QString& path, const MemoEntry& e)
{
    return path + QLatin1Char('\n') + QString::number(e.modified()) + QLatin1Char('/') + QString::number(e.fileSize());
}

// What sorting by title compares: the reading where there is one (as Japanese lists sort),
// else the title, both folded (the first two parts of the search text).
QStringView titleKey(QStringView search)
{
    const qsizetype cut = search.indexOf(QChar(kSearchSeparator));
    if (cut < 0)
        return search;
    const qsizetype end = search.indexOf(QChar(kSearchSeparator), cut + 1);
    const QStringView reading = search.sliced(cut + 1, (end < 0 ? search.size() : end) - cut - 1);
    return reading.isEmpty() ? search.first(cut) : reading;
}

QString accessibleTitle(const MemoEntry& e)
{
    QString title = e.title().isEmpty() ? QStringLiteral("(無題)") : e.title().toString();
    if (e.starred())
        title = QStringLiteral("★ ") + title;
    return title;
}

}  // namespace

TLibraryModel::TLibraryModel(QObject* parent) : QAbstractListModel(parent)
{
    thumbnails_.setMaxCost(kThumbnailBytes);
    // Two readers at most: the pictures come in while the list is scrolled, and the machine
    // keeps a core for the window.
    readers_.setMaxThreadCount(std::clamp(QThread::idealThreadCount() - 1, 1, 2));
}

TLibraryModel::~TLibraryModel()
{
    // A reader reports to this model: none may be left running when it goes.
    readers_.clear();
    readers_.waitForDone();
}

int TLibraryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(shown_.size());
}

QVariant TLibraryModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const MemoEntry& e = entryAt(index.row());
    switch (role) {
    case Qt::DisplayRole: return e.title().toString();
    // A screen reader hears the title (as the cell shows it) and, asked for more, the time too.
    case Qt::AccessibleTextRole: return accessibleTitle(e);
    case Qt::AccessibleDescriptionRole: {
        QString text = QStringLiteral("%1%2、%3")
                           .arg(conflictOriginal(index.row()).isEmpty() ? QString() : QStringLiteral("競合コピー、"),
                                accessibleTitle(e),
                                QDateTime::fromMSecsSinceEpoch(e.time()).toString(QStringLiteral("yyyy-MM-dd HH:mm")));
        if (e.hasTags())
            text += QStringLiteral("、タグ: ") + e.tags().join(QStringLiteral("、"));
        return text;
    }
    case Qt::ToolTipRole: {
        QString tip = e.fileName();
        if (!e.reading().isEmpty())
            tip = e.reading().toString() + QLatin1Char('\n') + tip;
        if (const QString original = conflictOriginal(index.row()); !original.isEmpty())
            tip = QStringLiteral("競合コピー: %1 の別の版です。どちらを残すかは「このファイルを残す」で選べます。\n")
                      .arg(original) + tip;
        else if (const qsizetype versions = versionsOf(index.row()).size(); versions > 1)
            tip = QStringLiteral("このメモには競合コピーが %1 件あります。\n").arg(versions - 1) + tip;
        if (e.hasTags())
            tip += QStringLiteral("\nタグ: ") + e.tags().join(QStringLiteral(", "));
        if (!e.note().isEmpty())
            tip += QStringLiteral("\n\n") + e.note().left(500).toString();
        return tip;
    }
    case ConflictRole: return conflictOriginal(index.row());
    case TagsRole: return e.tags();
    case StarredRole: return e.starred();
    case NoteRole: return e.note().toString();
    case FileNameRole: return e.fileName();
    case TimeRole: return QDateTime::fromMSecsSinceEpoch(e.time());
    case ThumbnailRole: return thumbnailAt(index.row());
    default: return {};
    }
}

void TLibraryModel::setFolder(const QString& folder)
{
    beginResetModel();
    folder_ = folder;
    search_index_ = folder.isEmpty() ? nullptr : std::make_unique<LibrarySearch>(folder);
    indexAgrees_ = -1;
    complete_ = false;
    positions_.clear();
    entries_ = std::make_shared<const MemoList>();
    originals_.clear();
    originalsMade_ = false;
    shown_.clear();
    thumbnails_.clear();
    pending_.clear();
    asked_.clear();
    readers_.clear();  // pictures of the folder before, not yet begun
    endResetModel();
}

void TLibraryModel::setEntries(MemoEntries entries, bool complete)
{
    beginResetModel();
    entries_ = std::move(entries);
    complete_ = complete;
    indexAgrees_ = -1;
    positions_.clear();
    search_.clear();
    originals_.clear();
    originalsMade_ = false;
    arrange();
    endResetModel();
}

void TLibraryModel::setFilter(const QString& typed)
{
    const LibraryQuery query = ParseLibraryQuery(typed);
    if (query == query_)
        return;
    beginResetModel();
    query_ = query;
    arrange();
    endResetModel();
}

void TLibraryModel::setOrder(Order order)
{
    if (order == order_)
        return;
    beginResetModel();
    order_ = order;
    arrange();
    endResetModel();
}

void TLibraryModel::setDuplicates(std::optional<DuplicateGroups> groups)
{
    beginResetModel();
    duplicates_ = std::move(groups);
    arrange();
    endResetModel();
}

QStringList TLibraryModel::surplusDuplicates() const
{
    QStringList names;
    for (size_t row = 0; row < oldestOfGroup_.size() && row < shown_.size(); ++row)
        if (!oldestOfGroup_[row])
            names << (*entries_)[size_t(shown_[row])].fileName();
    return names;
}

void TLibraryModel::arrangeDuplicates()
{
    const MemoList& entries = *entries_;
    QHash<QStringView, int> position;
    position.reserve(qsizetype(entries.size()));
    for (int i = 0; i < int(entries.size()); ++i)
        position.insert(entries[size_t(i)].fileNameView(), i);
    for (const std::vector<QString>& group : *duplicates_) {
        std::vector<int> present;
        for (const QString& name : group)
            if (const auto it = position.constFind(name); it != position.cend())
                present.push_back(*it);
        if (present.size() < 2)
            continue;  // the others have gone: nothing doubled any more
        ++shownGroups_;
        for (size_t k = 0; k < present.size(); ++k) {
            if (!query_.isEmpty() && !matches(size_t(present[k])))
                continue;
            shown_.push_back(present[k]);
            oldestOfGroup_.push_back(k == 0);
        }
    }
}

void TLibraryModel::arrange()
{
    shown_.clear();
    searchedIndex_ = false;
    oldestOfGroup_.clear();
    shownGroups_ = 0;
    if (duplicates_) {
        arrangeDuplicates();
        return;
    }
    const MemoList& entries = *entries_;
    if (query_.isEmpty()) {
        shown_.resize(entries.size());
        std::iota(shown_.begin(), shown_.end(), 0);
    } else if (std::optional<std::vector<QString>> names = indexNames()) {
        // The full-text table names the memos with the long words; the rest of the query is
        // checked on those alone.
        searchedIndex_ = true;
        if (positions_.isEmpty()) {
            positions_.reserve(qsizetype(entries.size()));
            for (int i = 0; i < int(entries.size()); ++i)
                positions_.insert(entries[size_t(i)].fileNameView(), i);
        }
        shown_.reserve(names->size());
        for (const QString& name : *names)
            if (const auto it = positions_.constFind(name); it != positions_.cend())
                if (matches(size_t(*it)))
                    shown_.push_back(*it);
    } else {
        for (int i = 0; i < int(entries.size()); ++i)
            if (matches(size_t(i)))
                shown_.push_back(i);
    }
    // Ties go by file name, so that the order never depends on how the folder was listed.
    auto byTime = [&entries](int a, int b) {
        const MemoEntry& x = entries[size_t(a)];
        const MemoEntry& y = entries[size_t(b)];
        return x.time() != y.time() ? x.time() < y.time() : x.fileNameView() < y.fileNameView();
    };
    switch (order_) {
    case Order::Newest: std::sort(shown_.begin(), shown_.end(), [&](int a, int b) { return byTime(b, a); }); break;
    case Order::Oldest: std::sort(shown_.begin(), shown_.end(), byTime); break;
    case Order::Title:
        std::sort(shown_.begin(), shown_.end(), [&](int a, int b) {
            const int c = titleKey(searchText(size_t(a))).compare(titleKey(searchText(size_t(b))));
            return c != 0 ? c < 0 : byTime(b, a);
        });
        break;
    }
    // Conflict copies right after their original, when it is shown.
    const QHash<int, QString>& original = originals();
    QHash<QString, std::vector<int>> copies;  // by the original's name, in the order found
    if (!original.isEmpty())
        for (int i : shown_)
            if (const auto it = original.constFind(i); it != original.cend())
                copies[*it].push_back(i);
    if (copies.isEmpty())
        return;
    QSet<QStringView> shownNames;
    for (int i : shown_)
        shownNames.insert(entries[size_t(i)].fileNameView());
    std::vector<int> grouped;
    grouped.reserve(shown_.size());
    for (int i : shown_) {
        const QString of = original.value(i);
        if (!of.isEmpty() && shownNames.contains(of))
            continue;  // placed with its original
        grouped.push_back(i);
        if (const auto it = copies.constFind(entries[size_t(i)].fileName()); it != copies.cend())
            grouped.insert(grouped.end(), it->begin(), it->end());
    }
    shown_ = std::move(grouped);
}

const QHash<int, QString>& TLibraryModel::originals() const
{
    if (!originalsMade_) {
        originals_.clear();
        for (int i = 0; i < int(entries_->size()); ++i)
            if (std::optional<QString> of = ConflictCopyOf((*entries_)[size_t(i)].fileName()))
                originals_.insert(i, *of);
        originalsMade_ = true;
    }
    return originals_;
}

QString TLibraryModel::conflictOriginal(int row) const
{
    return originals().value(shown_[size_t(row)]);
}

QStringList TLibraryModel::versionsOf(int row) const
{
    const QHash<int, QString>& original = originals();
    const QString own = entryAt(row).fileName();
    const QString of = original.value(shown_[size_t(row)], own);
    QStringList versions;
    QStringList copies;
    for (size_t i = 0; i < entries_->size(); ++i) {
        if ((*entries_)[i].fileNameView() == of)
            versions << of;
        else if (original.value(int(i)) == of)
            copies << (*entries_)[i].fileName();
    }
    if (copies.isEmpty())
        return {};
    std::sort(copies.begin(), copies.end());
    return versions + copies;
}

int TLibraryModel::conflictCount() const
{
    return int(originals().size());
}

QStringView TLibraryModel::searchText(size_t position) const
{
    const MemoEntry& e = (*entries_)[position];
    if (!e.search().isEmpty())
        return e.search();
    if (search_.size() != entries_->size())
        search_.resize(entries_->size());
    QString& made = search_[position];
    if (made.isEmpty())
        made = MemoSearchText(e.info());
    return made;
}

bool TLibraryModel::matches(size_t position) const
{
    const MemoEntry& e = (*entries_)[position];
    return MatchesQuery(query_, e.starred(), e.time(), searchText(position));
}

std::optional<std::vector<QString>> TLibraryModel::indexNames()
{
    // Words of three letters and more have trigrams to look up; shorter ones, tags, the star
    // and days are quicker to check in memory, where every memo's folded text is at hand.
    LibraryQuery words;
    for (const QString& word : query_.words)
        if (word.toUcs4().size() >= 3)
            words.words << word;
    if (words.isEmpty() || !complete_ || !search_index_)
        return std::nullopt;
    if (indexAgrees_ < 0)
        indexAgrees_ = search_index_->Count() == qint64(entries_->size()) ? 1 : 0;
    if (indexAgrees_ == 0)
        return std::nullopt;
    return search_index_->Names(words);
}

QList<QPair<QString, int>> TLibraryModel::tagCounts() const
{
    QHash<QString, QPair<QString, int>> counts;  // folded -> as first written, count
    for (const MemoEntry& e : *entries_)
        for (const QString& tag : e.tags()) {
            auto& c = counts[SearchKey(tag)];
            if (c.second++ == 0)
                c.first = tag;
        }
    QList<QPair<QString, QPair<QString, int>>> sorted;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        sorted.append({it.key(), it.value()});
    std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
        return a.second.second != b.second.second ? a.second.second > b.second.second : a.first < b.first;
    });
    QList<QPair<QString, int>> out;
    for (const auto& s : sorted)
        out.append(s.second);
    return out;
}

QString TLibraryModel::pathAt(int row) const
{
    return folder_ + QLatin1Char('/') + entryAt(row).fileName();
}

int TLibraryModel::rowOf(const QString& fileName) const
{
    for (size_t row = 0; row < shown_.size(); ++row)
        if ((*entries_)[size_t(shown_[row])].fileNameView() == fileName)
            return int(row);
    return -1;
}

QImage TLibraryModel::thumbnailAt(int row) const
{
    const QString path = pathAt(row);
    const QString key = thumbnailKey(path, entryAt(row));
    if (const QImage* kept = thumbnails_.object(key))
        return *kept;
    if (pending_.contains(key))
        return {};
    const auto wanted = std::make_shared<std::atomic<bool>>(true);
    pending_.insert(key, wanted);
    asked_.emplace_back(key, wanted);
    // The oldest asks give way: their rows have long been scrolled past, and one painted again
    // asks anew.
    while (asked_.size() > kWaitingPictures) {
        const auto [oldKey, oldWanted] = std::move(asked_.front());
        asked_.pop_front();
        if (const auto it = pending_.constFind(oldKey); it != pending_.cend() && *it == oldWanted) {
            oldWanted->store(false);
            pending_.erase(it);
        }
    }
    auto* self = const_cast<TLibraryModel*>(this);
    const QString fileName = entryAt(row).fileName();
    readers_.start([self, path, key, fileName, wanted] {
        if (!wanted->load())
            return;
        const QImage picture = ReadThumbnail(path);
        QMetaObject::invokeMethod(
            self,
            [self, picture, key, fileName, wanted] {
                const auto it = self->pending_.constFind(key);
                if (it == self->pending_.cend() || *it != wanted)
                    return;  // the folder was changed meanwhile, or the row was given up
                self->pending_.erase(it);
                // A file that cannot be read is kept as a null picture too, so it is not read
                // at every paint.
                self->thumbnails_.insert(key, new QImage(picture), std::max<qsizetype>(64, picture.sizeInBytes()));
                const int shown = self->rowOf(fileName);
                if (shown >= 0)
                    emit self->dataChanged(self->index(shown), self->index(shown), {ThumbnailRole});
            },
            Qt::QueuedConnection);
    });
    return {};
}

bool TLibraryModel::thumbnailPending(int row) const
{
    return pending_.contains(thumbnailKey(pathAt(row), entryAt(row)));
}

void TLibraryModel::waitForThumbnails()
{
    readers_.waitForDone();
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}
