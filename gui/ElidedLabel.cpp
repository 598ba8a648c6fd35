#include "gui/ElidedLabel.h"

#include <QPainter>
#include <QStyle>

namespace {

QRect textRect(const QLabel& label)
{
    const int m = label.margin();
    return label.contentsRect().adjusted(m, m, -m, -m);
}

}  // namespace

QString TElidedLabel::shownText() const
{
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, textRect(*this).width());
}

void TElidedLabel::paintEvent(QPaintEvent* event)
{
    const QString shown = shownText();
    if (shown == text()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    drawFrame(&painter);
    style()->drawItemText(&painter, textRect(*this), int(alignment()), palette(), isEnabled(), shown,
                          foregroundRole());
}
