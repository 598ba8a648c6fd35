// The windows are laid out with Windows font names; here those names map onto the IPA fonts,
// so every Japanese text renders, Xvfb included.
#pragma once

#include <QFont>

// Registers the substitutions; call once after the application object exists.
void InstallFontSubstitutions();

// A font by its Windows name ("ＭＳ ゴシック", "Arial", ...), with its character height in pixels.
QFont LayoutFont(const char* windowsName, int pixelSize);
