// The windows are laid out with Windows font names; here those names map onto free fonts of
// the same metrics (the IPA fonts for the Japanese names, Liberation Sans for Arial and
// MS Sans Serif), so every text renders, Xvfb included.
#pragma once

#include <QFont>

// Registers the substitutions; call once after the application object exists.
void InstallFontSubstitutions();

// A font by its Windows name ("ＭＳ ゴシック", "Arial", ...), with its character height in pixels.
QFont LayoutFont(const char* windowsName, int pixelSize);

// What to tell a user on whose system no installed font has Japanese characters (every label
// of the program would show as boxes): which packages to install, in English as well, since
// the Japanese text cannot be read either. Empty when a Japanese font is there.
QString MissingJapaneseFontAdvice();
