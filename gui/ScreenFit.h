// Dialogs on small screens: a dialog laid out for a desktop keeps its look where it fits, and
// where it does not (a 1024 x 600 netbook) its contents go into a scroll area and the dialog
// becomes resizable, no larger than the screen, so that no control is out of reach.
#pragma once

class QDialog;
class QScreen;
class QSize;

// The room a window may take on SCREEN (the primary screen when null), leaving the window
// system's title bar and borders.
QSize FreeScreenSize(const QScreen* screen);

// Call once DIALOG is built (laid out by a layout, or placed by hand at a fixed size). Does
// nothing when the dialog fits its screen.
void FitToScreen(QDialog* dialog);
