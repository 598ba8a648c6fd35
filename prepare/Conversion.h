// Grey to black and white: the picture the device gets. Each way is the well-known algorithm
// in its plain form, so a result can be worked out by hand.
#pragma once

#include "prepare/LinearPlane.h"
#include "prepare/PrepareSettings.h"

#include <QImage>

#include <array>

// Otsu's level for GREY: the level L that splits its greys into [0, L) and [L, 255] with the
// largest variance between the two groups (the first such level). 128 for a picture of one grey
// that is neither black nor white; such a picture is then all black or all white, not noise.
int OtsuLevel(const TGreyImage& grey);

// The 8 x 8 Bayer matrix: entry [y][x] is the rank (0 ... 63) of that cell.
const std::array<std::array<int, 8>, 8>& BayerMatrix();

// GREY as one bit per pixel (QImage::Format_Mono, colour 0 black, 1 white):
//  WhiteOnly       white only at 255;
//  Threshold       black below LEVEL;
//  Otsu            black below OtsuLevel(GREY);
//  FloydSteinberg  left to right, top to bottom: white when the grey plus the error it was
//                  given is 128 or more; the error (that sum minus 0 or 255) goes 7/16 to the
//                  right, 3/16 below left, 5/16 below, 1/16 below right;
//  Atkinson        the same with 1/8 of the error to each of right, two right, below left,
//                  below, below right and two below (the other quarter is dropped);
//  Bayer           white when 128 * grey > (2 * rank + 1) * 255, rank from BayerMatrix() at
//                  (x mod 8, y mod 8).
QImage ConvertToMono(const TGreyImage& grey, TConversion conversion, int level);
