// The program's own pictures, drawn in code: tool button icons (each with a normal and a
// disabled image) and the program picture.
#pragma once

#include <QIcon>
#include <QPixmap>

enum class ToolPicture { New, Open, SaveAs, Close, Copy, Paste, Cut, Transmit, Receive, Settings };

// The button's icon: the normal picture, and a greyed, embossed one for the disabled state.
QIcon ToolIcon(ToolPicture picture);

// The "more" arrows (») of a bar whose items do not all fit: pointing right for a horizontal
// bar, down for a vertical one.
QIcon ExtensionIcon(Qt::Orientation orientation);

// The program picture (a memo pad with a pen) at SIZE × SIZE pixels; drawn for 90 × 90.
QPixmap ProgramPicture(int size);

// The program picture at the sizes window managers and desktops ask for (window icon).
QIcon ProgramIcon();
