// What makes a dialog work from the keyboard alone, shared by the frame's and the windows'
// dialogs.
#pragma once

class QWidget;

// Tab enters each group of radio buttons under ROOT at its checked button (at its first
// enabled one while none is checked), and leaves the group at the next Tab; the arrow keys
// move within the group. So Tab followed by Space never changes a setting by accident.
// Groups are the buttons of one QButtonGroup, or the auto-exclusive buttons of one parent.
// Call it once the buttons exist; it follows their checks from then on.
void TabToCheckedButtons(QWidget* root);
