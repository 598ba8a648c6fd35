#include "prepare/Geometry.h"

#include <algorithm>
#include <cstdint>

QSize TurnedSize(QSize size, int rotation)
{
    return rotation == 90 || rotation == 270 ? size.transposed() : size;
}

TResultGeometry ResultGeometry(QSize size, const TPrepareSettings& settings)
{
    const QSize turned = TurnedSize(size, settings.Rotation);
    const int64_t w = turned.width(), h = turned.height();
    const int64_t bw = settings.Box.width(), bh = settings.Box.height();
    const QRectF whole(0, 0, double(w), double(h));
    if (w <= 0 || h <= 0)
        return {QSize(), QRectF()};
    // The picture is relatively wider than the box when w / h >= bw / bh.
    const bool wider = w * bh >= h * bw;
    switch (settings.Size) {
    case TSizeMode::Keep:
        return {turned, whole};
    case TSizeMode::Exact:
        return {settings.Box, whole};
    case TSizeMode::Fit:
        if (wider)
            return {QSize(int(bw), int(std::max<int64_t>(1, (2 * h * bw + w) / (2 * w)))), whole};
        return {QSize(int(std::max<int64_t>(1, (2 * w * bh + h) / (2 * h))), int(bh)), whole};
    case TSizeMode::Fill:
        if (wider) {
            const double shown = double(h) * double(bw) / double(bh);
            return {settings.Box, QRectF((double(w) - shown) * settings.CropAt.x(), 0, shown, double(h))};
        } else {
            const double shown = double(w) * double(bh) / double(bw);
            return {settings.Box, QRectF(0, (double(h) - shown) * settings.CropAt.y(), double(w), shown)};
        }
    }
    return {turned, whole};
}

int ReductionFor(QSize size, const TPrepareSettings& settings)
{
    const TResultGeometry g = ResultGeometry(size, settings);
    if (g.Size.isEmpty())
        return 1;
    // Source pixels per result pixel, the smaller of the two directions.
    const double perPixel = std::min(g.Source.width() / g.Size.width(), g.Source.height() / g.Size.height());
    int factor = 1;
    while (factor < 8 && perPixel >= 2.0 * (factor * 2))
        factor *= 2;
    return factor;
}
