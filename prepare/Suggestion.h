// Which way to black and white suits a picture that is not black and white already: a photo
// (many tones spread over the whole range) keeps its shades as a dither; a drawing, a page or
// a screenshot (paper and ink, a few flat colours) keeps sharp lines with a threshold.
#pragma once

#include "prepare/PrepareSettings.h"

#include <QImage>

// FloydSteinberg for a photo, Threshold for anything else. Looks at the picture's luminance:
// a photo has a quarter or more of its pixels in the middle tones (32 ... 223) and at least
// 32 different levels of grey that each cover one pixel in a thousand. A large picture is
// looked at in a reduced copy of at most 256 pixels a side.
TConversion SuggestedConversion(const QImage& picture);

// SETTINGS with the conversion that suits PICTURE, and when PICTURE is larger than the
// device's screen, sized to fit it.
TPrepareSettings SuggestedSettings(TPrepareSettings settings, const QImage& picture);
