// The design names Windows fonts; here they map onto the IPA fonts (and DejaVu for the Latin
// ones), so every Japanese text renders, Xvfb included.
#pragma once

#include <QFont>

// Registers the substitutions; call once after the application object exists.
void InstallFontSubstitutions();

// A font of the design by its design name, with its character height in pixels.
QFont DesignFont(const char* designName, int pixelSize);
