// Cursor confinement: the rectangle the mouse pointer is held in.
//
// GetClipCursor returns the rectangle in force; with no confinement that is the whole
// virtual screen, so saving it and setting it back later ends any confinement made in
// between. ClipCursor confines the pointer to RECT (on X11 with XFixes pointer barriers
// along its edges); a rectangle that covers the whole screen removes the confinement. Where
// the window system offers no confinement the layer records the rectangle and does nothing.
// Coordinates are screen pixels; right and bottom are exclusive, as in the classic call.
#pragma once

namespace platform {

struct ClipRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const ClipRect&) const = default;
};

ClipRect GetClipCursor();
void ClipCursor(const ClipRect& rect);
void SetCursorPos(int x, int y);

// True while a confinement is in force.
bool CursorConfined();

}  // namespace platform

// The rectangle in force when the frame was created; restored at exit and whenever a region
// selection ends.
platform::ClipRect& SavedClipRect();
