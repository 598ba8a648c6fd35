// How a picture is made ready for the device: its size, turn, tone and the way grey becomes
// black and white. The same settings drive the preparation dialog and vexlo-cli.
#pragma once

#include <QPointF>
#include <QSize>
#include <QString>

#include <optional>

// The largest memo the device takes, the box of Fit and Fill unless another is given.
inline constexpr int PrepareBoxWidth = 124;
inline constexpr int PrepareBoxHeight = 121;
// Any side of a box or a typed size stays within this.
inline constexpr int PrepareMaxSide = 4096;

enum class TSizeMode {
    Keep,   // the picture's own size
    Fit,    // as large as fits inside the box, aspect kept
    Fill,   // covers the box, aspect kept; the overflow is cut off at CropAt
    Exact,  // exactly the box, aspect not kept
};

enum class TConversion {
    WhiteOnly,       // only exactly white stays white, everything else is black
    Threshold,       // black below ThresholdLevel
    Otsu,            // black below the level that splits the picture's greys best
    FloydSteinberg,  // error diffusion to four neighbours
    Atkinson,        // error diffusion of three quarters of the error to six neighbours
    Bayer,           // ordered dither with the 8 x 8 Bayer matrix
};

struct TPrepareSettings {
    TSizeMode Size = TSizeMode::Keep;
    QSize Box{PrepareBoxWidth, PrepareBoxHeight};
    // Where Fill cuts: 0 keeps the left (top) edge, 1 the right (bottom) edge, 0.5 the middle.
    QPointF CropAt{0.5, 0.5};
    int Rotation = 0;  // clockwise: 0, 90, 180 or 270
    bool Flip = false; // mirror left to right, after the turn
    int Brightness = 0;  // -100 ... 100, a share of the whole range added
    int Contrast = 0;    // -100 (all mid grey) ... 100 (a hard step at mid grey)
    double Gamma = 1.0;  // 0.1 ... 10; above 1 lightens the middle tones
    bool Invert = false;
    TConversion Conversion = TConversion::WhiteOnly;
    int ThresholdLevel = 128;  // 1 ... 255: a grey below it is black

    bool operator==(const TPrepareSettings&) const = default;

    // True when the settings leave a picture exactly as Send takes it today.
    bool IsIdentity() const { return *this == TPrepareSettings{}; }
};

// The settings brought into their ranges (a turn that is not a quarter is 0).
TPrepareSettings Clamped(TPrepareSettings settings);

// Names of the conversions, as vexlo-cli's --dither and VEXLO.INI write them:
// none, threshold, otsu, fs, atkinson, bayer.
QString ConversionName(TConversion conversion);
std::optional<TConversion> ConversionFromName(const QString& name);

// Names of the size modes in VEXLO.INI: keep, fit, fill, size.
QString SizeModeName(TSizeMode mode);
std::optional<TSizeMode> SizeModeFromName(const QString& name);
