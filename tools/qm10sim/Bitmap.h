// Monochrome memo pictures and the two row layouts on the line.
//
// The device sends rows of W div 8 + 1 bytes (the PC reads a row as W + 1 bits and skips
// the rest of that byte); the PC sends rows of W div 8 bytes, plus one when W is not a
// multiple of 8. In both, the leftmost pixel is the most significant bit and 1 is black.
#pragma once

#include "tools/qm10sim/HexRecord.h"

#include <QImage>

namespace qm10sim {

constexpr int kMaxWidth = 124;
constexpr int kMaxHeight = 121;

// Any picture as a memo picture: Format_Mono, index 0 white, index 1 black. Dark pixels
// (grey below the middle, not transparent) become black.
QImage toMemoImage(const QImage& picture);

int deviceRowBytes(int width);  // W div 8 + 1
int pcRowBytes(int width);      // W div 8, + 1 when W is not a multiple of 8

Bytes packRows(const QImage& memo, int rowBytes);

// The PC's layout back into a picture; stray bits past the width are counted.
QImage unpackRows(const Bytes& rows, int width, int height, int rowBytes, int* strayBits = nullptr);

}  // namespace qm10sim
