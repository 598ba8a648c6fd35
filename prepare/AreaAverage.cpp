#include "prepare/AreaAverage.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

// The plane as seen after the turn and the mirror: pixel (x, y) is at origin + x * dx + y * dy.
struct TurnedView {
    const float* origin = nullptr;
    ptrdiff_t dx = 1;
    ptrdiff_t dy = 0;
    int width = 0;
    int height = 0;

    TurnedView(const TLinearPlane& plane, int rotation, bool flip)
    {
        const ptrdiff_t w = plane.Width, h = plane.Height;
        const float* base = plane.Values.data();
        switch (rotation) {
        case 90:  // the left column becomes the top row, read from the bottom up
            origin = base + (h - 1) * w, dx = -w, dy = 1, width = int(h), height = int(w);
            break;
        case 180:
            origin = base + (h - 1) * w + (w - 1), dx = -1, dy = -w, width = int(w), height = int(h);
            break;
        case 270:  // the right column becomes the top row, read from the top down
            origin = base + (w - 1), dx = w, dy = -1, width = int(h), height = int(w);
            break;
        default:
            origin = base, dx = 1, dy = w, width = int(w), height = int(h);
            break;
        }
        if (flip) {
            origin += (width - 1) * dx;
            dx = -dx;
        }
    }
    float at(int x, int y) const { return origin[x * dx + y * dy]; }
};

// Source pixel FIRST and the weights of the pixels from there on that one result pixel covers.
struct Span {
    int first = 0;
    std::vector<float> weights;
};

// The spans of COUNT result pixels over [from, from + length) of an axis of EXTENT pixels.
// Overlaps smaller than a ten-thousandth of a pixel come from rounding and are left out.
std::vector<Span> spans(int count, double from, double length, int extent)
{
    std::vector<Span> out(size_t(std::max(count, 0)));
    const double step = length / count;
    for (int i = 0; i < count; ++i) {
        const double a = std::clamp(from + step * i, 0.0, double(extent));
        const double b = std::clamp(from + step * (i + 1), 0.0, double(extent));
        Span& s = out[size_t(i)];
        int k = std::clamp(int(std::floor(a)), 0, extent - 1);
        s.first = k;
        for (; k < extent && k < b; ++k) {
            const double overlap = std::min(b, k + 1.0) - std::max(a, double(k));
            if (overlap < 1e-4) {
                if (s.weights.empty())
                    s.first = k + 1;
                continue;
            }
            s.weights.push_back(float(overlap));
        }
        if (s.weights.empty()) {  // a sliver at the very edge: take the nearest pixel whole
            s.first = std::clamp(int(std::floor(a)), 0, extent - 1);
            s.weights.push_back(1.0f);
        }
    }
    return out;
}

}  // namespace

TGreyImage AreaAverage(const TLinearPlane& plane, QSize nominal, int rotation, bool flip,
                       const TResultGeometry& geometry)
{
    TGreyImage out;
    if (plane.Width <= 0 || plane.Height <= 0 || geometry.Size.isEmpty() || nominal.isEmpty())
        return out;
    const TurnedView view(plane, rotation, flip);
    const QSize turnedNominal = TurnedSize(nominal, rotation);
    // Plane pixels per pixel of the picture's own size.
    const double sx = double(view.width) / turnedNominal.width();
    const double sy = double(view.height) / turnedNominal.height();
    const QRectF& src = geometry.Source;
    const std::vector<Span> cols = spans(geometry.Size.width(), src.x() * sx, src.width() * sx, view.width);
    const std::vector<Span> rows = spans(geometry.Size.height(), src.y() * sy, src.height() * sy, view.height);

    out.Width = geometry.Size.width();
    out.Height = geometry.Size.height();
    out.Values.resize(size_t(out.Width) * size_t(out.Height));

    // The columns any result pixel touches.
    const int firstCol = cols.front().first;
    const int endCol = cols.back().first + int(cols.back().weights.size());
    const int spanCols = endCol - firstCol;
    std::vector<float> sum(static_cast<size_t>(spanCols));
    std::vector<float> least(static_cast<size_t>(spanCols));

    for (int oy = 0; oy < out.Height; ++oy) {
        const Span& r = rows[size_t(oy)];
        std::fill(sum.begin(), sum.end(), 0.0f);
        std::fill(least.begin(), least.end(), 1.0f);
        float rowWeight = 0.0f;
        for (size_t j = 0; j < r.weights.size(); ++j) {
            const int y = r.first + int(j);
            const float wy = r.weights[j];
            rowWeight += wy;
            const float* p = view.origin + ptrdiff_t(y) * view.dy + ptrdiff_t(firstCol) * view.dx;
            for (int c = 0; c < spanCols; ++c, p += view.dx) {
                sum[size_t(c)] += wy * *p;
                least[size_t(c)] = std::min(least[size_t(c)], *p);
            }
        }
        uint8_t* to = &out.Values[size_t(oy) * size_t(out.Width)];
        for (int ox = 0; ox < out.Width; ++ox) {
            const Span& c = cols[size_t(ox)];
            float s = 0.0f, weight = 0.0f, lowest = 1.0f;
            for (size_t i = 0; i < c.weights.size(); ++i) {
                const size_t at = size_t(c.first - firstCol) + i;
                s += c.weights[i] * sum[at];
                weight += c.weights[i];
                lowest = std::min(lowest, least[at]);
            }
            to[ox] = lowest >= 1.0f ? uint8_t(255) : std::min<uint8_t>(254, SrgbFromLinear(s / (weight * rowWeight)));
        }
    }
    return out;
}
