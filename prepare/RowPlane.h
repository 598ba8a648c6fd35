// A picture's light made while its rows are decoded, so that a large photo is never held
// whole: each pixel is added to the block of the reduced plane it falls into, turned upright
// on the way. The plane is the one the whole picture would give, turned upright, made linear
// and reduced (ReducePlane): the same blocks and the same exact white; the same averages bit for
// bit when the rows come in order from the top and the picture is not turned, otherwise to the
// rounding of a float sum taken in another order (about one part in ten million).
#pragma once

#include "prepare/LinearPlane.h"

#include <QImageIOHandler>
#include <QRgb>
#include <QSize>

#include <vector>

class TRowPlane {
public:
    // For a picture decoded at STORED size that stands upright once turned as TURN says
    // (mirrored first, then a quarter turn clockwise), reduced by FACTOR (1, 2, 4 or 8).
    TRowPlane(QSize stored, QImageIOHandler::Transformations turn, int factor);

    // The pixels the plane of a picture of STORED size reduced by FACTOR has.
    static qint64 PixelsFor(QSize stored, int factor);

    // Pixels of stored row Y at columns X0, X0 + STEP, ... (COUNT of them), as a row sink of
    // picture/PictureRows.h receives them. Every pixel is to come once.
    void Add(int y, int x0, int step, const QRgb* pixels, int count);

    // The plane, once every pixel has come. The builder is empty afterwards.
    TLinearPlane Take();

private:
    int width_ = 0;   // stored
    int height_ = 0;
    bool mirror_ = false;
    bool flip_ = false;
    bool quarter_ = false;
    int shift_ = 0;   // the factor's power of two
    TLinearPlane plane_;  // at factor 1 the values themselves, otherwise the sums of light
    std::vector<uint8_t> dark_;  // a block holds a pixel that is not exactly white
    std::vector<float> light_;   // the row being added
};
