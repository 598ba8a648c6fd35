#include "prepare/PrepareSettings.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace {

constexpr std::array<std::pair<TConversion, const char*>, 6> ConversionNames{{
    {TConversion::WhiteOnly, "none"},
    {TConversion::Threshold, "threshold"},
    {TConversion::Otsu, "otsu"},
    {TConversion::FloydSteinberg, "fs"},
    {TConversion::Atkinson, "atkinson"},
    {TConversion::Bayer, "bayer"},
}};

constexpr std::array<std::pair<TSizeMode, const char*>, 4> SizeModeNames{{
    {TSizeMode::Keep, "keep"},
    {TSizeMode::Fit, "fit"},
    {TSizeMode::Fill, "fill"},
    {TSizeMode::Exact, "size"},
}};

template <typename Enum, size_t N>
QString nameOf(const std::array<std::pair<Enum, const char*>, N>& names, Enum value)
{
    for (const auto& [v, name] : names)
        if (v == value)
            return QString::fromLatin1(name);
    return {};
}

template <typename Enum, size_t N>
std::optional<Enum> valueOf(const std::array<std::pair<Enum, const char*>, N>& names, const QString& name)
{
    for (const auto& [v, n] : names)
        if (name.compare(QLatin1String(n), Qt::CaseInsensitive) == 0)
            return v;
    return std::nullopt;
}

}  // namespace

TPrepareSettings Clamped(TPrepareSettings s)
{
    s.Box = QSize(std::clamp(s.Box.width(), 1, PrepareMaxSide), std::clamp(s.Box.height(), 1, PrepareMaxSide));
    s.CropAt = QPointF(std::clamp(s.CropAt.x(), 0.0, 1.0), std::clamp(s.CropAt.y(), 0.0, 1.0));
    if (s.Rotation != 90 && s.Rotation != 180 && s.Rotation != 270)
        s.Rotation = 0;
    s.Brightness = std::clamp(s.Brightness, -100, 100);
    s.Contrast = std::clamp(s.Contrast, -100, 100);
    s.Gamma = std::isfinite(s.Gamma) ? std::clamp(s.Gamma, 0.1, 10.0) : 1.0;
    s.ThresholdLevel = std::clamp(s.ThresholdLevel, 1, 255);
    return s;
}

QString ConversionName(TConversion conversion) { return nameOf(ConversionNames, conversion); }

std::optional<TConversion> ConversionFromName(const QString& name) { return valueOf(ConversionNames, name); }

QString SizeModeName(TSizeMode mode) { return nameOf(SizeModeNames, mode); }

std::optional<TSizeMode> SizeModeFromName(const QString& name) { return valueOf(SizeModeNames, name); }
