// Scaling by area average: each pixel of the result is the average light of the part of the
// picture it covers, every source pixel weighted by how much of it lies inside (a box filter).
// Shrinking a photo this way keeps a thin line as a faint trace where picking the nearest
// pixel would lose it; enlarging repeats pixels.
#pragma once

#include "prepare/Geometry.h"
#include "prepare/LinearPlane.h"

// The result of GEOMETRY (worked out for a picture of NOMINAL size) from PLANE, which holds
// that picture perhaps reduced: the plane is turned by ROTATION degrees clockwise and mirrored
// when FLIP is set, then averaged. A result pixel is 255 only when every source pixel it
// touches is exactly white.
TGreyImage AreaAverage(const TLinearPlane& plane, QSize nominal, int rotation, bool flip,
                       const TResultGeometry& geometry);
