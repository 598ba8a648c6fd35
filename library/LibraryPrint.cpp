// Printing library memos: as many a page as fit, in rows, each at the size it has on screen
// (one pixel a 1/96 inch, as a memo window prints) with its title and time under it.
#include "library/LibraryCommands.h"

#include "gui/Dialogs.h"
#include "gui/MessageBox.h"
#include "store/LibraryFile.h"
#include "picture/Picture.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>

void PrintLibraryMemos(QWidget* parent, const QList<LibraryMemo>& memos)
{
    if (memos.isEmpty())
        return;
    QPainter painter;
    if (!BeginMemoPrint(parent, painter))
        return;
    QPrinter& printer = SharedPrinter();

    const qreal scale = painter.device()->logicalDpiX() / 96.0;
    QFont font = painter.font();
    font.setPointSizeF(9);
    painter.setFont(font);
    const QFontMetricsF metrics(font, painter.device());
    const qreal gap = 12 * scale;
    const QSizeF box(kThumbnailBox.width() * scale, kThumbnailBox.height() * scale);
    const QSizeF cell(box.width() + gap, box.height() + 4 * scale + 2 * metrics.height() + gap);
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution()).translated(
        -printer.pageLayout().paintRectPixels(printer.resolution()).topLeft());
    const int columns = std::max(1, int(page.width() / cell.width()));
    const int rows = std::max(1, int(page.height() / cell.height()));

    for (qsizetype i = 0; i < memos.size(); ++i) {
        const int onPage = int(i % (columns * rows));
        if (i > 0 && onPage == 0 && !printer.newPage())
            throw CommandFailure(QStringLiteral("印刷を続けられません"));
        const QPointF corner((onPage % columns) * cell.width(), (onPage / columns) * cell.height());
        const QRectF area(corner, box);
        // The picture stands on the line above its title; one larger than a memo is scaled down.
        std::optional<QImage> picture = ReadPictureFile(memos[i].path);
        QSizeF size = picture ? QSizeF(picture->size()) * scale : QSizeF(box.width() / 2, box.height() / 2);
        if (size.width() > box.width() || size.height() > box.height())
            size.scale(box, Qt::KeepAspectRatio);
        const QRectF target(area.left() + (area.width() - size.width()) / 2, area.bottom() - size.height(),
                            size.width(), size.height());
        if (picture)
            painter.drawImage(target, *picture);
        else
            painter.drawText(target, Qt::AlignCenter, QStringLiteral("?"));
        painter.setPen(QPen(Qt::gray, 0));
        painter.drawRect(target);
        painter.setPen(Qt::black);
        const QRectF line(area.left(), area.bottom() + 4 * scale, area.width(), metrics.height());
        const QString title = memos[i].title.isEmpty() ? QStringLiteral("(無題)") : memos[i].title;
        painter.drawText(line, Qt::AlignHCenter | Qt::AlignVCenter,
                         metrics.elidedText(title, Qt::ElideRight, line.width()));
        painter.drawText(line.translated(0, metrics.height()), Qt::AlignHCenter | Qt::AlignVCenter,
                         memos[i].time.toString(QStringLiteral("yyyy-MM-dd HH:mm")));
    }
    if (!painter.end())
        throw CommandFailure(QStringLiteral("印刷を終了できません"));
}
