// The picture preparation options of vexlo-cli encode, send and convert: --fit, --fill,
// --size WxH, --rotate 90|180|270, --flip, --brightness N, --contrast N, --gamma X, --invert,
// --dither none|threshold[=N]|otsu|fs|atkinson|bayer. They prepare the picture exactly as
// VEXLO's 送信用に変換 does with the same choices.
#pragma once

#include "tools/cli/CliCommon.h"

#include "prepare/PrepareSettings.h"

#include <QImage>

#include <optional>
#include <set>
#include <string>

inline const std::set<std::string> PrepareFlags{"--fit", "--fill", "--flip", "--invert"};
inline const std::set<std::string> PrepareValued{"--size", "--rotate", "--brightness", "--contrast", "--gamma", "--dither"};

// The help text's lines for the options.
extern const char PrepareOptionsHelp[];

// The settings ARGS ask for: nothing when no option of preparation is given (the picture then
// goes out exactly as before), else every option given on top of the neutral settings (own
// size, no turn, neutral tone, only exactly white stays white). --size alone scales to exactly
// WxH; with --fit or --fill it is their box (124x121 without it). Fails with ERROR on a value
// out of its range and on --fit with --fill.
bool PrepareSettingsFromArgs(const cli::ParsedArgs& args, std::optional<TPrepareSettings>& out, QString& error);

// The picture in PATH prepared with SETTINGS, read as 送信用に変換 reads a file (a large JPEG at
// the reduced size the result needs, a photo turned upright): one bit per pixel. Nothing, with
// ERROR saying why, when the file cannot be read.
std::optional<QImage> PreparedPicture(const QString& path, const TPrepareSettings& settings, QString& error);
