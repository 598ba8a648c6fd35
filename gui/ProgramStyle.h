// The program's style: the style the user or the platform chose, with three differences.
//  - The small "more" arrows of the menu bar and tool bar are drawn in code. Qt's pictures for
//    them are PNG files whose reading asks every image-format plugin whether it handles PNG,
//    loading them all at start-up for an arrow that shows only when the frame is too narrow.
//  - A tool bar marked with the property CompactBar (the frame's) keeps its buttons edge to
//    edge, one pixel inside its border.
//  - Status bar items get no frame of their own: the frame's panels draw their own bevels.
// These used to be style sheets, which cost the program half a megabyte at start-up.
#pragma once

#include <QProxyStyle>

class QColor;
class QWidget;

// Gives WIDGET's text COLOUR (all states), by palette.
void SetTextColour(QWidget* widget, const QColor& colour);

// The red of a warning written on BACKGROUND: dark red on a light window, a light red on a
// dark one, so that it reads in a light and a dark theme alike.
QColor WarningColour(const QColor& background);

class TProgramStyle : public QProxyStyle {
public:
    // The dynamic property that marks a compact tool bar.
    static constexpr const char* CompactBar = "compactBar";

    // Wraps the style named KEY (the one the user or the platform chose).
    explicit TProgramStyle(const QString& key) : QProxyStyle(key) {}

    QIcon standardIcon(StandardPixmap icon, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
};
