#include "library/LibraryModel.h"

#include "store/KanaFold.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QHash>
#include <QThread>

#include <algorithm>

namespace {

// Kept pictures, in bytes: some hundreds of memos, a few pages of the list, whatever the size
// of the library.
constexpr int kThumbnailBytes = 1024 * 1024;

// A picture is kept for its file as it was: a file that changes is read again.
QString thumbnailKey(const QString& path, const MemoEntry& e)
{
    return path + QLatin1Char('\n') + QString::number(e.modified) + QLatin1Char('/') + QString::number(e.fileSize);
}

constexpr char16_t kSearchSeparator = u'\x1f';

// What sorting by title compares: the reading where there is one (as Japanese lists sort),
// else the title, both folded.
QStringView titleKey(const QString& searchText)
{
    const QStringView search(searchText);
    const qsizetype cut = search.indexOf(QChar(kSearchSeparator));
    if (cut < 0)
        return search;
    const QStringView reading = search.sliced(cut + 1);
    return reading.isEmpty() ? search.first(cut) : reading;
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
    case Qt::DisplayRole: return e.info.title;
    // A screen reader hears the title (as the cell shows it) and, asked for more, the time too.
    case Qt::AccessibleTextRole: return e.info.title.isEmpty() ? QStringLiteral("(無題)") : e.info.title;
    case Qt::AccessibleDescriptionRole:
        return QStringLiteral("%1、%2")
            .arg(e.info.title.isEmpty() ? QStringLiteral("(無題)") : e.info.title,
                 QDateTime::fromMSecsSinceEpoch(e.info.time).toString(QStringLiteral("yyyy-MM-dd HH:mm")));
    case Qt::ToolTipRole: {
        QString tip = e.fileName;
        if (!e.info.reading.isEmpty())
            tip = e.info.reading + QLatin1Char('\n') + tip;
        return tip;
    }
    case FileNameRole: return e.fileName;
    case TimeRole: return QDateTime::fromMSecsSinceEpoch(e.info.time);
    case ThumbnailRole: return thumbnailAt(index.row());
    default: return {};
    }
}

void TLibraryModel::setFolder(const QString& folder)
{
    beginResetModel();
    folder_ = folder;
    entries_ = std::make_shared<const std::vector<MemoEntry>>();
    shown_.clear();
    thumbnails_.clear();
    pending_.clear();
    readers_.clear();  // pictures of the folder before, not yet begun
    endResetModel();
}

void TLibraryModel::setEntries(MemoEntries entries)
{
    beginResetModel();
    entries_ = std::move(entries);
    search_.clear();
    arrange();
    endResetModel();
}

void TLibraryModel::setFilter(const QString& typed)
{
    const QStringList terms = FilterTerms(typed);
    if (terms == terms_)
        return;
    beginResetModel();
    terms_ = terms;
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
            names << (*entries_)[size_t(shown_[row])].fileName;
    return names;
}

void TLibraryModel::arrangeDuplicates()
{
    const std::vector<MemoEntry>& entries = *entries_;
    QHash<QString, int> position;
    position.reserve(qsizetype(entries.size()));
    for (int i = 0; i < int(entries.size()); ++i)
        position.insert(entries[size_t(i)].fileName, i);
    for (const std::vector<QString>& group : *duplicates_) {
        std::vector<int> present;
        for (const QString& name : group)
            if (const auto it = position.constFind(name); it != position.cend())
                present.push_back(*it);
        if (present.size() < 2)
            continue;  // the others have gone: nothing doubled any more
        ++shownGroups_;
        for (size_t k = 0; k < present.size(); ++k) {
            if (!terms_.isEmpty() && !MatchesTerms(searchTexts()[size_t(present[k])], terms_))
                continue;
            shown_.push_back(present[k]);
            oldestOfGroup_.push_back(k == 0);
        }
    }
}

void TLibraryModel::arrange()
{
    shown_.clear();
    oldestOfGroup_.clear();
    shownGroups_ = 0;
    if (duplicates_) {
        arrangeDuplicates();
        return;
    }
    const std::vector<MemoEntry>& entries = *entries_;
    for (int i = 0; i < int(entries.size()); ++i)
        if (terms_.isEmpty() || MatchesTerms(searchTexts()[size_t(i)], terms_))
            shown_.push_back(i);
    // Ties go by file name, so that the order never depends on how the folder was listed.
    auto byTime = [&entries](int a, int b) {
        const MemoEntry& x = entries[size_t(a)];
        const MemoEntry& y = entries[size_t(b)];
        return x.info.time != y.info.time ? x.info.time < y.info.time : x.fileName < y.fileName;
    };
    switch (order_) {
    case Order::Newest: std::sort(shown_.begin(), shown_.end(), [&](int a, int b) { return byTime(b, a); }); break;
    case Order::Oldest: std::sort(shown_.begin(), shown_.end(), byTime); break;
    case Order::Title:
        std::sort(shown_.begin(), shown_.end(), [&](int a, int b) {
            const int c = titleKey(searchTexts()[size_t(a)]).compare(titleKey(searchTexts()[size_t(b)]));
            return c != 0 ? c < 0 : byTime(b, a);
        });
        break;
    }
}

const std::vector<QString>& TLibraryModel::searchTexts() const
{
    if (search_.size() != entries_->size()) {
        search_.clear();
        search_.reserve(entries_->size());
        for (const MemoEntry& e : *entries_)
            search_.push_back(SearchKey(e.info.title) + QChar(kSearchSeparator) + SearchKey(e.info.reading));
    }
    return search_;
}

QString TLibraryModel::pathAt(int row) const
{
    return folder_ + QLatin1Char('/') + entryAt(row).fileName;
}

int TLibraryModel::rowOf(const QString& fileName) const
{
    for (size_t row = 0; row < shown_.size(); ++row)
        if ((*entries_)[size_t(shown_[row])].fileName == fileName)
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
    pending_.insert(key);
    auto* self = const_cast<TLibraryModel*>(this);
    const QString fileName = entryAt(row).fileName;
    readers_.start([self, path, key, fileName] {
        const QImage picture = ReadThumbnail(path);
        QMetaObject::invokeMethod(
            self,
            [self, picture, key, fileName] {
                if (!self->pending_.remove(key))
                    return;  // the folder was changed meanwhile
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
