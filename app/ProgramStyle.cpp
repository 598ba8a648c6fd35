#include "app/ProgramStyle.h"

#include "app/Icons.h"

QIcon TProgramStyle::standardIcon(StandardPixmap icon, const QStyleOption* option, const QWidget* widget) const
{
    switch (icon) {
    case SP_ToolBarHorizontalExtensionButton: return ExtensionIcon(Qt::Horizontal);
    case SP_ToolBarVerticalExtensionButton: return ExtensionIcon(Qt::Vertical);
    default: return QProxyStyle::standardIcon(icon, option, widget);
    }
}
