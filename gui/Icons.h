// The program's own pictures, drawn in code: tool button icons (each with a normal and a
// disabled image) and the program picture.
#pragma once

#include <QIcon>
#include <QPixmap>

enum class ToolPicture { New, Open, SaveAs, Close, Copy, Paste, Cut, Transmit, Receive, Settings };

// The button's icon: the normal picture, and a greyed, embossed one for the disabled state,
// each drawn for scale 1, 1.5, 2 and 3. Every picture reads on a light and on a dark bar.
QIcon ToolIcon(ToolPicture picture);

// The "more" arrows (») of a bar whose items do not all fit: pointing right for a horizontal
// bar, down for a vertical one, in COLOUR (the bar's text colour).
QIcon ExtensionIcon(Qt::Orientation orientation, const QColor& colour);

// The program picture (a memo pad with a pen) at SIZE × SIZE pixels, drawn with SCALE device
// pixels to a pixel; drawn for 90 × 90.
QPixmap ProgramPicture(int size, qreal scale = 1);

// The program picture at the sizes window managers and desktops ask for (window icon).
QIcon ProgramIcon();
