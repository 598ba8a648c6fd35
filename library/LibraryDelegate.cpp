#include "library/LibraryDelegate.h"

#include "library/LibraryModel.h"
#include "store/LibraryFile.h"

#include <QApplication>
#include <QDateTime>
#include <QPainter>

namespace {

constexpr int kPad = 6;       // around the picture and the text
constexpr int kTextGap = 3;   // between picture and title

}  // namespace

TLibraryDelegate::TLibraryDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

QSize TLibraryDelegate::CellSize(const QFontMetrics& metrics)
{
    return {kThumbnailBox.width() + 2 * kPad + 8,
            kPad + kThumbnailBox.height() + kTextGap + 2 * metrics.height() + kPad};
}

QSize TLibraryDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return CellSize(option.fontMetrics);
}

void TLibraryDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const auto* model = qobject_cast<const TLibraryModel*>(index.model());
    if (!model)
        return;
    const QRect cell = option.rect.adjusted(1, 1, -1, -1);
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette& palette = option.palette;
    painter->save();
    if (selected)
        painter->fillRect(cell, palette.brush(QPalette::Highlight));
    else if (option.state & QStyle::State_MouseOver)
        painter->fillRect(cell, palette.brush(QPalette::AlternateBase));

    // The picture at 1:1, standing on the line above the title, centred across.
    const QImage picture = model->thumbnailAt(index.row());
    const QRect box(cell.left() + (cell.width() - kThumbnailBox.width()) / 2, cell.top() + kPad,
                    kThumbnailBox.width(), kThumbnailBox.height());
    const QSize shown = picture.isNull() ? QSize(48, 48) : picture.size();
    const QRect paper(box.left() + (box.width() - shown.width()) / 2, box.bottom() + 1 - shown.height(),
                      shown.width(), shown.height());
    painter->fillRect(paper, Qt::white);
    if (picture.isNull() && model->thumbnailPending(index.row())) {
        // Being read: white paper until it comes.
    } else if (picture.isNull()) {
        painter->setPen(Qt::gray);
        painter->drawText(paper, Qt::AlignCenter, QStringLiteral("?"));
    } else {
        painter->drawImage(paper.topLeft(), picture);
    }
    painter->setPen(selected ? palette.color(QPalette::HighlightedText) : palette.color(QPalette::Mid));
    painter->drawRect(paper.adjusted(-1, -1, 0, 0));
    if (!model->conflictOriginal(index.row()).isEmpty()) {
        // A conflict copy: a label on the picture's corner, so it is not taken for a new memo.
        const QString mark = QStringLiteral("競合");
        const QFontMetrics& small = option.fontMetrics;
        const QRect badge(cell.left() + 2, cell.top() + 2, small.horizontalAdvance(mark) + 8, small.height() + 2);
        painter->fillRect(badge, QColor(0xb0, 0x3a, 0x2e));
        painter->setPen(Qt::white);
        painter->drawText(badge, Qt::AlignCenter, mark);
    }

    // The star in the corner above the picture, the tags on a band over its foot.
    const MemoEntry& entry = model->entryAt(index.row());
    if (entry.starred()) {
        QFont big = option.font;
        big.setPointSizeF(big.pointSizeF() * 1.3);
        painter->setFont(big);
        const QRect corner(cell.right() - kPad - 20, cell.top() + 2, 20, QFontMetrics(big).height());
        painter->setPen(QColor(0xE0, 0xA0, 0x00));
        painter->drawText(corner, Qt::AlignRight | Qt::AlignTop, QStringLiteral("★"));
        painter->setFont(option.font);
    }
    if (entry.hasTags()) {
        const QFontMetrics& small = option.fontMetrics;
        const QRect band(box.left(), box.bottom() + 1 - small.height(), box.width(), small.height());
        QColor shade = palette.color(QPalette::Highlight);
        shade.setAlpha(200);
        painter->fillRect(band, shade);
        painter->setPen(palette.color(QPalette::HighlightedText));
        const QString tags = QLatin1Char('#') + entry.tags().join(QStringLiteral(" #"));
        painter->drawText(band.adjusted(3, 0, -3, 0), Qt::AlignLeft | Qt::AlignVCenter,
                          small.elidedText(tags, Qt::ElideRight, band.width() - 6));
    }

    // Title and time, each on one line, cut with an ellipsis when too long.
    const QFontMetrics& fm = option.fontMetrics;
    const QRect text(cell.left() + 2, box.bottom() + 1 + kTextGap, cell.width() - 4, fm.height());
    const QColor ink = palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    QString title = entry.title().toString();
    painter->setPen(ink);
    if (title.isEmpty()) {
        title = QStringLiteral("(無題)");
        painter->setPen(selected ? ink : palette.color(QPalette::PlaceholderText));
    }
    painter->drawText(text, Qt::AlignHCenter | Qt::AlignVCenter, fm.elidedText(title, Qt::ElideRight, text.width()));
    const QString time =
        QDateTime::fromMSecsSinceEpoch(entry.time()).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    painter->setPen(selected ? ink : palette.color(QPalette::PlaceholderText));
    painter->drawText(text.translated(0, fm.height()), Qt::AlignHCenter | Qt::AlignVCenter, time);
    if (option.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(option);
        focus.rect = cell;
        focus.backgroundColor = palette.color(selected ? QPalette::Highlight : QPalette::Base);
        QApplication::style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, option.widget);
    }
    painter->restore();
}
