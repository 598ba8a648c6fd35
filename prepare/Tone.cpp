#include "prepare/Tone.h"

#include <algorithm>
#include <cmath>
#include <limits>

TToneTable ToneTable(const TPrepareSettings& settings)
{
    const double c = settings.Contrast;
    const double factor = c >= 100 ? std::numeric_limits<double>::infinity()
                          : c >= 0 ? 100.0 / (100.0 - c)
                                   : (100.0 + c) / 100.0;
    TToneTable table{};
    for (int level = 0; level < 256; ++level) {
        double v = level / 255.0 + settings.Brightness / 100.0;
        const double d = v - 0.5;
        v = d == 0 ? 0.5 : 0.5 + d * factor;
        v = std::clamp(v, 0.0, 1.0);
        if (settings.Gamma != 1.0)
            v = std::pow(v, 1.0 / settings.Gamma);
        if (settings.Invert)
            v = 1.0 - v;
        table[size_t(level)] = uint8_t(std::lround(v * 255.0));
    }
    return table;
}

TGreyImage ApplyTone(const TGreyImage& grey, const TToneTable& table)
{
    TGreyImage out = grey;
    for (uint8_t& v : out.Values)
        v = table[v];
    return out;
}
