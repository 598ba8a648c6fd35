// Where the pixels of a prepared picture come from: its size and the part of the picture it
// shows, worked out from the picture's own size so that a picture read at a reduced size
// gives a result of exactly the same size as the whole one.
#pragma once

#include "prepare/PrepareSettings.h"

#include <QRectF>
#include <QSize>

struct TResultGeometry {
    QSize Size;      // the result
    QRectF Source;   // the part of the turned picture it shows, in the picture's own pixels
};

// SIZE after a clockwise turn of ROTATION degrees.
QSize TurnedSize(QSize size, int rotation);

// The result for a picture of SIZE (its own size, before the turn): Keep gives the turned
// size, Fit the largest size inside the box with the picture's aspect (at least one pixel),
// Fill and Exact the box. Fill shows the part of the box's aspect at CropAt, the others the
// whole picture.
TResultGeometry ResultGeometry(QSize size, const TPrepareSettings& settings);

// How far a picture of SIZE may be reduced before it is prepared: the largest of 1, 2, 4 and 8
// that still leaves at least two of its pixels for each pixel of the result, both ways.
int ReductionFor(QSize size, const TPrepareSettings& settings);
