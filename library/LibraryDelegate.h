// Draws one memo of the library list: its picture at 1:1 on white (a thin frame shows the
// memo's edge), its title under it and the time it arrived under that; a star in the corner
// of a starred memo, and its tags on a band over the foot of the picture. Every cell has the
// same size, so the list lays out ten thousand memos without asking each one.
#pragma once

#include <QStyledItemDelegate>

class TLibraryDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit TLibraryDelegate(QObject* parent = nullptr);

    // The size of every cell for the view's font.
    static QSize CellSize(const QFontMetrics& metrics);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
