#include "prepare/Conversion.h"

#include <algorithm>
#include <vector>

namespace {

QImage blankMono(int width, int height)
{
    QImage mono(width, height, QImage::Format_Mono);
    mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    mono.fill(0);
    return mono;
}

// WHITE(x, y) decides each pixel on its own.
template <typename Decide>
QImage pointwise(const TGreyImage& grey, Decide white)
{
    QImage mono = blankMono(grey.Width, grey.Height);
    for (int y = 0; y < grey.Height; ++y) {
        uchar* out = mono.scanLine(y);
        for (int x = 0; x < grey.Width; ++x)
            if (white(x, y, grey.At(x, y)))
                out[x >> 3] |= uchar(0x80 >> (x & 7));
    }
    return mono;
}

struct Share {
    int dx, dy;
    float part;
};

// Error diffusion over the rows from the top, each from the left, with SHARES of the error
// going to the pixels not yet decided. The rows still ahead are kept in a small ring.
template <size_t N>
QImage diffuse(const TGreyImage& grey, const std::array<Share, N>& shares)
{
    QImage mono = blankMono(grey.Width, grey.Height);
    constexpr int Ahead = 3;  // this row and up to two below
    const int w = grey.Width;
    const int pad = 2;        // room for shares that fall off the left and right edges
    std::vector<float> error(size_t(Ahead) * size_t(w + 2 * pad), 0.0f);
    auto errorAt = [&](int x, int y) -> float& {
        return error[size_t(y % Ahead) * size_t(w + 2 * pad) + size_t(x + pad)];
    };
    for (int y = 0; y < grey.Height; ++y) {
        uchar* out = mono.scanLine(y);
        for (int x = 0; x < w; ++x) {
            const float v = float(grey.At(x, y)) + errorAt(x, y);
            errorAt(x, y) = 0.0f;
            const bool white = v >= 128.0f;
            if (white)
                out[x >> 3] |= uchar(0x80 >> (x & 7));
            const float e = v - (white ? 255.0f : 0.0f);
            for (const Share& s : shares)
                errorAt(x + s.dx, y + s.dy) += e * s.part;
        }
        // The row's slot serves three rows on; shares that fell beyond its edges go nowhere.
        std::fill_n(&errorAt(-pad, y), w + 2 * pad, 0.0f);
    }
    return mono;
}

constexpr std::array<Share, 4> FloydSteinbergShares{{
    {1, 0, 7.0f / 16}, {-1, 1, 3.0f / 16}, {0, 1, 5.0f / 16}, {1, 1, 1.0f / 16}}};

constexpr std::array<Share, 6> AtkinsonShares{{
    {1, 0, 1.0f / 8}, {2, 0, 1.0f / 8}, {-1, 1, 1.0f / 8}, {0, 1, 1.0f / 8}, {1, 1, 1.0f / 8}, {0, 2, 1.0f / 8}}};

}  // namespace

int OtsuLevel(const TGreyImage& grey)
{
    std::array<double, 256> count{};
    for (uint8_t v : grey.Values)
        count[v] += 1;
    const double total = double(grey.Values.size());
    double sumAll = 0;
    for (int v = 0; v < 256; ++v)
        sumAll += v * count[size_t(v)];
    double below = 0, sumBelow = 0, best = -1;
    int level = 128;
    // Level L puts the greys 0 ... L-1 in the dark group.
    for (int l = 1; l < 256; ++l) {
        below += count[size_t(l - 1)];
        sumBelow += (l - 1) * count[size_t(l - 1)];
        const double above = total - below;
        if (below == 0 || above == 0)
            continue;
        const double meanBelow = sumBelow / below;
        const double meanAbove = (sumAll - sumBelow) / above;
        const double between = below * above * (meanBelow - meanAbove) * (meanBelow - meanAbove);
        if (between > best) {
            best = between;
            level = l;
        }
    }
    return level;
}

const std::array<std::array<int, 8>, 8>& BayerMatrix()
{
    static const auto matrix = [] {
        std::array<std::array<int, 8>, 8> m{};
        // Built up from the 2 x 2 pattern: each doubling puts the four copies at 4m, 4m+2,
        // 4m+3, 4m+1 (top left, top right, bottom left, bottom right).
        m[0][0] = 0;
        for (int size = 1; size < 8; size *= 2)
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x) {
                    const int v = 4 * m[size_t(y)][size_t(x)];
                    m[size_t(y)][size_t(x)] = v;
                    m[size_t(y)][size_t(x + size)] = v + 2;
                    m[size_t(y + size)][size_t(x)] = v + 3;
                    m[size_t(y + size)][size_t(x + size)] = v + 1;
                }
        return m;
    }();
    return matrix;
}

QImage ConvertToMono(const TGreyImage& grey, TConversion conversion, int level)
{
    if (grey.Width <= 0 || grey.Height <= 0)
        return {};
    switch (conversion) {
    case TConversion::WhiteOnly:
        return pointwise(grey, [](int, int, uint8_t v) { return v == 255; });
    case TConversion::Threshold:
        return pointwise(grey, [level](int, int, uint8_t v) { return v >= level; });
    case TConversion::Otsu: {
        const int otsu = OtsuLevel(grey);
        return pointwise(grey, [otsu](int, int, uint8_t v) { return v >= otsu; });
    }
    case TConversion::FloydSteinberg:
        return diffuse(grey, FloydSteinbergShares);
    case TConversion::Atkinson:
        return diffuse(grey, AtkinsonShares);
    case TConversion::Bayer: {
        const auto& m = BayerMatrix();
        return pointwise(grey, [&m](int x, int y, uint8_t v) {
            return 128 * int(v) > (2 * m[size_t(y & 7)][size_t(x & 7)] + 1) * 255;
        });
    }
    }
    return {};
}
