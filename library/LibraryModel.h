// The memos of the library as a list model: the entries of the index, filtered by what is
// typed into the search box (store/LibraryQuery.h) and sorted, with small pictures read on demand and only a bounded number of
// them kept (one bit per pixel). The pictures are read on threads of their own, never on the
// thread that paints: a slow or hostile file must not freeze the window. A row whose picture
// comes later is reported changed then.
//
// Conflict copies that sync tools make (store/SyncedFolder.h) are marked as such and follow
// their original, whatever the order: the versions of one memo stay side by side.
//
// A search with a word of three letters or more asks the folder's index file (its full-text
// table) for the memos with those words when it holds the very memos the list has, and checks
// the rest of the query on them; otherwise the memos are searched in memory, with the same
// result.
#pragma once

#include "store/LibraryIndex.h"
#include "store/LibraryQuery.h"
#include "store/MemoDuplicates.h"

#include <QAbstractListModel>
#include <QCache>
#include <QHash>
#include <QSet>
#include <QThreadPool>
#include <QImage>
#include <QStringList>

#include <atomic>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

class TLibraryModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum class Order { Newest, Oldest, Title };
    // ConflictRole: for a conflict copy, the name of the file it is a copy of; else empty.
    enum Role { FileNameRole = Qt::UserRole + 1, TimeRole, ThumbnailRole, ConflictRole, TagsRole, StarredRole, NoteRole };

    explicit TLibraryModel(QObject* parent = nullptr);
    ~TLibraryModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // The folder the entries' files are in (for the small pictures).
    void setFolder(const QString& folder);
    // Takes the memos of the folder. COMPLETE: they are what a whole refresh found (not the
    // part known while one runs), so the index file may answer searches for them.
    void setEntries(MemoEntries entries, bool complete = false);
    void setFilter(const QString& typed);
    // True while the last search was answered by the index file (for tests).
    bool searchedIndex() const { return searchedIndex_; }
    // Every tag of the memos with the number of memos that carry it, most used first (ties
    // in the order of their folded text).
    QList<QPair<QString, int>> tagCounts() const;
    void setOrder(Order order);
    Order order() const { return order_; }
    // Shows only the memos of GROUPS (FindDuplicateMemos) that are still there and still
    // alike in number (two or more of a group), group after group, each oldest first; the
    // typed filter still applies. Nothing: every memo again, in the chosen order.
    void setDuplicates(std::optional<DuplicateGroups> groups);
    bool showingDuplicates() const { return duplicates_.has_value(); }
    // While duplicates are shown: the groups shown, and the file names of every shown memo
    // that is not the oldest of its group (what goes to the trash to keep one of each).
    int duplicateGroupCount() const { return shownGroups_; }
    QStringList surplusDuplicates() const;

    // All memos, and those the filter lets through.
    int totalCount() const { return int(entries_->size()); }
    MemoEntries entries() const { return entries_; }
    const MemoEntry& entryAt(int row) const { return (*entries_)[size_t(shown_[size_t(row)])]; }
    QString pathAt(int row) const;
    // The row showing FILENAME, or -1.
    int rowOf(const QString& fileName) const;
    // For a conflict copy, the name of the file it is a copy of; empty for any other row.
    QString conflictOriginal(int row) const;
    // The file names of every version of the row's memo (the original, when it is there, then
    // its conflict copies); empty when the memo has no other version.
    QStringList versionsOf(int row) const;
    // Conflict copies among all memos.
    int conflictCount() const;
    // The memo's small picture; null when the file cannot be read, or while it is being read
    // (thumbnailPending tells which; the row is reported changed when it is there).
    QImage thumbnailAt(int row) const;
    bool thumbnailPending(int row) const;
    // Waits until every picture asked for so far is read (for tests and for printing).
    void waitForThumbnails();

private:
    void arrange();
    void arrangeDuplicates();
    // The search text of every entry, made when first needed (filtering, sorting by title).
    // For each entry, the original it is a conflict copy of (empty: none); made when first needed.
    const QHash<int, QString>& originals() const;
    // The search text of the entry at POSITION: the entry's own, or made here for entries
    // that come without one.
    QStringView searchText(size_t position) const;
    // Whether the entry at POSITION meets the query typed.
    bool matches(size_t position) const;
    // The names the index file gives for the long words of the query, when it holds the memos
    // of the list and the query has such words.
    std::optional<std::vector<QString>> indexNames();

    QString folder_;
    MemoEntries entries_ = std::make_shared<const MemoList>();
    std::vector<int> shown_;  // positions in entries_, in display order
    mutable QHash<int, QString> originals_;  // by position, for the conflict copies alone
    mutable bool originalsMade_ = false;
    mutable std::vector<QString> search_;  // MemoSearchText of entries that lack it, by position
    LibraryQuery query_;
    std::unique_ptr<LibrarySearch> search_index_;
    bool complete_ = false;
    int indexAgrees_ = -1;  // the index file holds as many memos as the list: -1 not asked yet
    bool searchedIndex_ = false;
    mutable QHash<QStringView, int> positions_;  // file name (in entries_) -> position, made when needed
    std::optional<DuplicateGroups> duplicates_;
    std::vector<bool> oldestOfGroup_;  // by row, while duplicates are shown
    int shownGroups_ = 0;
    Order order_ = Order::Newest;
    mutable QCache<QString, QImage> thumbnails_;
    // The pictures asked for and not read yet, each with a flag that its reader checks before
    // it starts: a list scrolled quickly through thousands of memos reads only the pictures of
    // the last few pages asked for, not every one it passed.
    mutable QHash<QString, std::shared_ptr<std::atomic<bool>>> pending_;
    mutable std::deque<std::pair<QString, std::shared_ptr<std::atomic<bool>>>> asked_;  // oldest first
    mutable QThreadPool readers_;
};
