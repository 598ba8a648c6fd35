#include "prepare/RowPlane.h"

#include <algorithm>
#include <cmath>

namespace {

int shiftOf(int factor)
{
    int shift = 0;
    while (shift < 3 && (1 << (shift + 1)) <= factor)
        ++shift;
    return shift;
}

}  // namespace

TRowPlane::TRowPlane(QSize stored, QImageIOHandler::Transformations turn, int factor)
    : width_(stored.width()),
      height_(stored.height()),
      mirror_(turn & QImageIOHandler::TransformationMirror),
      flip_(turn & QImageIOHandler::TransformationFlip),
      quarter_(turn & QImageIOHandler::TransformationRotate90),
      shift_(shiftOf(factor))
{
    const QSize upright = quarter_ ? stored.transposed() : stored;
    const int f = 1 << shift_;
    plane_.Width = (upright.width() + f - 1) / f;
    plane_.Height = (upright.height() + f - 1) / f;
    const size_t n = size_t(plane_.Width) * size_t(plane_.Height);
    plane_.Values.assign(n, shift_ == 0 ? 1.0f : 0.0f);
    if (shift_ > 0)
        dark_.assign(n, 0);
    light_.resize(size_t(std::max(width_, 0)));
}

qint64 TRowPlane::PixelsFor(QSize stored, int factor)
{
    const qint64 f = qint64(1) << shiftOf(factor);
    return (stored.width() + f - 1) / f * ((stored.height() + f - 1) / f);
}

void TRowPlane::Add(int y, int x0, int step, const QRgb* pixels, int count)
{
    if (y < 0 || y >= height_ || count <= 0 || x0 < 0 || x0 + qint64(count - 1) * step >= width_)
        return;
    ToLinearRow(pixels, count, light_.data());
    const int yy = flip_ ? height_ - 1 - y : y;
    const ptrdiff_t w = plane_.Width;
    // Where the pixel at stored column X goes: along a row of the plane, or down a column of it
    // when the picture is turned a quarter.
    ptrdiff_t base, along;
    if (quarter_) {
        base = (height_ - 1 - yy) >> shift_;
        along = w;
    } else {
        base = ptrdiff_t(yy >> shift_) * w;
        along = 1;
    }
    float* values = plane_.Values.data();
    const float* light = light_.data();
    int x = x0;
    if (shift_ == 0) {
        for (int i = 0; i < count; ++i, x += step) {
            const int xx = mirror_ ? width_ - 1 - x : x;
            values[base + ptrdiff_t(xx) * along] = light[i];
        }
        return;
    }
    uint8_t* dark = dark_.data();
    for (int i = 0; i < count; ++i, x += step) {
        const int xx = mirror_ ? width_ - 1 - x : x;
        const ptrdiff_t at = base + ptrdiff_t(xx >> shift_) * along;
        values[at] += light[i];
        dark[at] |= light[i] < 1.0f;
    }
}

TLinearPlane TRowPlane::Take()
{
    if (shift_ > 0) {
        const QSize upright = quarter_ ? QSize(height_, width_) : QSize(width_, height_);
        const int f = 1 << shift_;
        const float almostWhite = std::nextafter(1.0f, 0.0f);
        for (int by = 0; by < plane_.Height; ++by) {
            const int rows = std::min(upright.height(), (by + 1) * f) - by * f;
            float* sums = &plane_.Values[size_t(by) * size_t(plane_.Width)];
            const uint8_t* dark = &dark_[size_t(by) * size_t(plane_.Width)];
            for (int bx = 0; bx < plane_.Width; ++bx) {
                const int cols = std::min(upright.width(), (bx + 1) * f) - bx * f;
                const float average = sums[bx] / float(cols * rows);
                sums[bx] = dark[bx] ? std::min(average, almostWhite) : 1.0f;
            }
        }
        dark_ = {};
    }
    TLinearPlane out = std::move(plane_);
    plane_ = {};
    return out;
}
