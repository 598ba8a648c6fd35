// The memos of the library as a list model: the entries of the index, filtered by the typed
// search terms and sorted, with small pictures read on demand and only a bounded number of
// them kept (one bit per pixel). The pictures are read on threads of their own, never on the
// thread that paints: a slow or hostile file must not freeze the window. A row whose picture
// comes later is reported changed then.
#pragma once

#include "store/LibraryIndex.h"
#include "store/MemoDuplicates.h"

#include <QAbstractListModel>
#include <QCache>
#include <QSet>
#include <QThreadPool>
#include <QImage>
#include <QStringList>

#include <optional>
#include <vector>

class TLibraryModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum class Order { Newest, Oldest, Title };
    enum Role { FileNameRole = Qt::UserRole + 1, TimeRole, ThumbnailRole };

    explicit TLibraryModel(QObject* parent = nullptr);
    ~TLibraryModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // The folder the entries' files are in (for the small pictures).
    void setFolder(const QString& folder);
    // Takes the memos of the folder.
    void setEntries(MemoEntries entries);
    void setFilter(const QString& typed);
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
    const std::vector<QString>& searchTexts() const;

    QString folder_;
    MemoEntries entries_ = std::make_shared<const std::vector<MemoEntry>>();
    std::vector<int> shown_;  // positions in entries_, in display order
    std::optional<DuplicateGroups> duplicates_;
    std::vector<bool> oldestOfGroup_;  // by row, while duplicates are shown
    int shownGroups_ = 0;
    mutable std::vector<QString> search_;  // folded title, U+001F, folded reading; by position
    QStringList terms_;
    Order order_ = Order::Newest;
    mutable QCache<QString, QImage> thumbnails_;
    mutable QSet<QString> pending_;  // keys of the pictures being read
    mutable QThreadPool readers_;
};
