// The memos of the library as a list model: the entries of the index, filtered by the typed
// search terms and sorted, with small pictures read on demand and only a bounded number of
// them kept (one bit per pixel).
#pragma once

#include "store/LibraryIndex.h"

#include <QAbstractListModel>
#include <QCache>
#include <QImage>
#include <QStringList>

#include <vector>

class TLibraryModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum class Order { Newest, Oldest, Title };
    enum Role { FileNameRole = Qt::UserRole + 1, TimeRole, ThumbnailRole };

    explicit TLibraryModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // The folder the entries' files are in (for the small pictures).
    void setFolder(const QString& folder);
    // Takes the memos of the folder.
    void setEntries(MemoEntries entries);
    void setFilter(const QString& typed);
    void setOrder(Order order);
    Order order() const { return order_; }

    // All memos, and those the filter lets through.
    int totalCount() const { return int(entries_->size()); }
    const MemoEntry& entryAt(int row) const { return (*entries_)[size_t(shown_[size_t(row)])]; }
    QString pathAt(int row) const;
    // The row showing FILENAME, or -1.
    int rowOf(const QString& fileName) const;
    // The memo's small picture (read now unless kept); null when the file cannot be read.
    QImage thumbnailAt(int row) const;

private:
    void arrange();
    // The search text of every entry, made when first needed (filtering, sorting by title).
    const std::vector<QString>& searchTexts() const;

    QString folder_;
    MemoEntries entries_ = std::make_shared<const std::vector<MemoEntry>>();
    std::vector<int> shown_;  // positions in entries_, in display order
    mutable std::vector<QString> search_;  // folded title, U+001F, folded reading; by position
    QStringList terms_;
    Order order_ = Order::Newest;
    mutable QCache<QString, QImage> thumbnails_;
};
