// The preparation dialog's last settings in VEXLO.INI, section [Convert]: Size (keep, fit,
// fill, size), Width, Height, Rotate, Flip, Brightness, Contrast, Gamma, Invert, Dither (none,
// threshold, otsu, fs, atkinson, bayer) and Level. Where Fill cuts is not kept: it belongs to
// one picture.
#pragma once

#include "prepare/PrepareSettings.h"

#include <optional>
#include <string>

// The dialog's first settings: fit into 124 x 121 and Otsu's threshold (scanned text is what
// people most often carry to the device).
TPrepareSettings DialogDefaults();

// [Convert] of FILE; a key that is missing or not understood takes its value from
// DialogDefaults().
TPrepareSettings ReadPrepareSettings(const std::string& file);

// Writes [Convert] to FILE, every key. Stops at the first key that cannot be written and
// returns "<file> に書き込めません" and the cause on a second line, as the other settings do;
// the keys before it keep their new values.
std::optional<std::string> StorePrepareSettings(const TPrepareSettings& settings, const std::string& file);
