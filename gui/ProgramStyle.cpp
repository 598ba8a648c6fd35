#include "gui/ProgramStyle.h"

#include "gui/Icons.h"

#include <QApplication>
#include <QPalette>
#include <QStyleOption>
#include <QVariant>
#include <QWidget>

void SetTextColour(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

QColor WarningColour(const QColor& background)
{
    return background.lightness() >= 128 ? QColor(0xB0, 0x00, 0x00) : QColor(0xFF, 0x80, 0x80);
}

QIcon TProgramStyle::standardIcon(StandardPixmap icon, const QStyleOption* option, const QWidget* widget) const
{
    const QColor ink = (option ? option->palette : widget ? widget->palette() : QApplication::palette())
                           .color(QPalette::ButtonText);
    switch (icon) {
    case SP_ToolBarHorizontalExtensionButton: return ExtensionIcon(Qt::Horizontal, ink);
    case SP_ToolBarVerticalExtensionButton: return ExtensionIcon(Qt::Vertical, ink);
    default: return QProxyStyle::standardIcon(icon, option, widget);
    }
}

int TProgramStyle::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const
{
    if (widget && widget->property(CompactBar).toBool()) {
        switch (metric) {
        case PM_ToolBarItemSpacing: return 0;
        case PM_ToolBarItemMargin: return 0;
        case PM_ToolBarFrameWidth: return 1;
        default: break;
        }
    }
    return QProxyStyle::pixelMetric(metric, option, widget);
}

void TProgramStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                  const QWidget* widget) const
{
    if (element == PE_FrameStatusBarItem)
        return;
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}
