#include "gui/CursorClip.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

#include <optional>
#include <vector>

#ifdef VEXLO_HAVE_XFIXES
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>
#endif

namespace platform {

namespace {

std::optional<ClipRect> g_clip;  // the confinement in force, if any

ClipRect screenRect()
{
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect r = screen->virtualGeometry();
        return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
    }
    return {0, 0, 0, 0};
}

#ifdef VEXLO_HAVE_XFIXES
std::vector<PointerBarrier> g_barriers;

Display* x11Display()
{
    if (auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr)
        return x11->display();
    return nullptr;
}

void applyBarriers(const std::optional<ClipRect>& clip)
{
    Display* dpy = x11Display();
    if (!dpy)
        return;
    for (PointerBarrier b : g_barriers)
        XFixesDestroyPointerBarrier(dpy, b);
    g_barriers.clear();
    int event = 0, error = 0, major = 5, minor = 0;
    if (clip && XFixesQueryExtension(dpy, &event, &error) && XFixesQueryVersion(dpy, &major, &minor)
        && major >= 5) {
        const Window root = DefaultRootWindow(dpy);
        // Each barrier stops the pointer leaving the rectangle through one edge. Moving left
        // or up the pointer comes to rest on a barrier's line; moving right or down it stops
        // one pixel short of it, so those two lines lie just past the last column and row.
        const int l = clip->left, t = clip->top, r = clip->right, b = clip->bottom;
        g_barriers.push_back(XFixesCreatePointerBarrier(dpy, root, l, t, l, b, BarrierPositiveX, 0, nullptr));
        g_barriers.push_back(XFixesCreatePointerBarrier(dpy, root, r, t, r, b, BarrierNegativeX, 0, nullptr));
        g_barriers.push_back(XFixesCreatePointerBarrier(dpy, root, l, t, r, t, BarrierPositiveY, 0, nullptr));
        g_barriers.push_back(XFixesCreatePointerBarrier(dpy, root, l, b, r, b, BarrierNegativeY, 0, nullptr));
    }
    XFlush(dpy);
}
#else
void applyBarriers(const std::optional<ClipRect>&) {}
#endif

}  // namespace

ClipRect GetClipCursor()
{
    return g_clip.value_or(screenRect());
}

void ClipCursor(const ClipRect& rect)
{
    const ClipRect screen = screenRect();
    if (rect.left <= screen.left && rect.top <= screen.top && rect.right >= screen.right
        && rect.bottom >= screen.bottom)
        g_clip.reset();
    else
        g_clip = rect;
    applyBarriers(g_clip);
}

void SetCursorPos(int x, int y)
{
    if (g_clip) {
        // A confined pointer lands at the nearest point inside the rectangle.
        x = std::clamp(x, g_clip->left, g_clip->right - 1);
        y = std::clamp(y, g_clip->top, g_clip->bottom - 1);
    }
    QCursor::setPos(x, y);
}

bool CursorConfined()
{
    return g_clip.has_value();
}

}  // namespace platform

platform::ClipRect& SavedClipRect()
{
    static platform::ClipRect rect;
    return rect;
}
