#include "prepare/LinearPlane.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// The largest value below 1: light that is not exactly white.
const float AlmostWhite = std::nextafter(1.0f, 0.0f);

double decode(double v)
{
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

struct SrgbTables {
    std::array<float, 256> light{};
    // Level k begins where the light reaches bound[k], halfway between levels k-1 and k on
    // the sRGB scale.
    std::array<float, 256> bound{};

    SrgbTables()
    {
        for (int v = 0; v < 256; ++v)
            light[size_t(v)] = float(decode(v / 255.0));
        light[255] = 1.0f;
        bound[0] = 0.0f;
        for (int v = 1; v < 256; ++v)
            bound[size_t(v)] = float(decode((v - 0.5) / 255.0));
    }
};

const SrgbTables& tables()
{
    static const SrgbTables t;
    return t;
}

}  // namespace

float LinearFromSrgb(int v) { return tables().light[size_t(std::clamp(v, 0, 255))]; }

uint8_t SrgbFromLinear(float l)
{
    if (l >= 1.0f)
        return 255;
    const auto& bound = tables().bound;
    // bound is increasing: the level is the last one whose bound is reached, at most 254.
    const auto it = std::upper_bound(bound.begin(), bound.begin() + 255, l);
    return uint8_t(std::max<ptrdiff_t>(0, it - bound.begin() - 1));
}

TLinearPlane ToLinearPlane(const QImage& image)
{
    TLinearPlane plane;
    if (image.isNull())
        return plane;
    const QImage rgb = image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32
                           ? image
                           : image.convertToFormat(QImage::Format_RGB32);
    plane.Width = rgb.width();
    plane.Height = rgb.height();
    plane.Values.resize(size_t(plane.Width) * size_t(plane.Height));
    for (int y = 0; y < plane.Height; ++y)
        ToLinearRow(reinterpret_cast<const QRgb*>(rgb.constScanLine(y)), plane.Width,
                    plane.Values.data() + size_t(y) * size_t(plane.Width));
    return plane;
}

void ToLinearRow(const QRgb* pixels, int count, float* out)
{
    const auto& light = tables().light;
    for (int x = 0; x < count; ++x) {
        const QRgb c = pixels[x];
        if ((c & 0xFFFFFFu) == 0xFFFFFFu) {
            out[x] = 1.0f;
            continue;
        }
        const float l = 0.2126f * light[qRed(c)] + 0.7152f * light[qGreen(c)] + 0.0722f * light[qBlue(c)];
        out[x] = std::min(l, AlmostWhite);
    }
}

TLinearPlane ReducePlane(const TLinearPlane& plane, int factor)
{
    if (factor <= 1)
        return plane;
    TLinearPlane out;
    out.Width = (plane.Width + factor - 1) / factor;
    out.Height = (plane.Height + factor - 1) / factor;
    out.Values.resize(size_t(out.Width) * size_t(out.Height));
    std::vector<float> sum(size_t(out.Width));
    std::vector<float> least(size_t(out.Width));
    for (int oy = 0; oy < out.Height; ++oy) {
        std::fill(sum.begin(), sum.end(), 0.0f);
        std::fill(least.begin(), least.end(), 1.0f);
        const int y0 = oy * factor;
        const int y1 = std::min(plane.Height, y0 + factor);
        for (int y = y0; y < y1; ++y) {
            const float* row = &plane.Values[size_t(y) * size_t(plane.Width)];
            for (int x = 0; x < plane.Width; ++x) {
                sum[size_t(x / factor)] += row[x];
                least[size_t(x / factor)] = std::min(least[size_t(x / factor)], row[x]);
            }
        }
        float* to = &out.Values[size_t(oy) * size_t(out.Width)];
        for (int ox = 0; ox < out.Width; ++ox) {
            const int cols = std::min(plane.Width, (ox + 1) * factor) - ox * factor;
            const float average = sum[size_t(ox)] / float(cols * (y1 - y0));
            to[ox] = least[size_t(ox)] >= 1.0f ? 1.0f : std::min(average, AlmostWhite);
        }
    }
    return out;
}
