// What makes a window work from the keyboard alone and with a screen reader, shared by the
// frame's dialogs and the windows.
#pragma once

class QWidget;

// Tab enters each group of radio buttons under ROOT at its checked button (at its first
// enabled one while none is checked), and leaves the group at the next Tab; the arrow keys
// move within the group. So Tab followed by Space never changes a setting by accident.
// Groups are the buttons of one QButtonGroup, or the auto-exclusive buttons of one parent.
// Call it once the buttons exist; it follows their checks from then on.
void TabToCheckedButtons(QWidget* root);

class QComboBox;
class QString;

// A drop-down list's name is its value to a screen reader; what the list is for comes from the
// label that leads to it. Gives BOX such a label, TEXT, out of sight where the window has no
// room for it beside the list.
void NameList(QComboBox* box, const QString& text);
