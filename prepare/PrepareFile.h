// A picture file as the source of a preparation. A PNG or a JPEG is read a row at a time at each
// reduction the preparation asks for, each row added to the reduced picture as it comes, so
// that a phone's photo of up to 200 megapixels (kMaxRowPicturePixels) is prepared without ever
// being held whole: a PNG is read anew from its file, a JPEG from its bytes read once, at 1/2,
// 1/4 or 1/8 of its size while it is decompressed. Any other picture is decoded whole once,
// with every check and limit of the picture loader. A photo that says it was taken turned is
// shown upright.
#pragma once

#include "prepare/Preparation.h"

#include <QString>

#include <memory>

// The picture in PATH as a source, or null when it cannot be read (WHYNOT, when given, says
// why in English, as the picture loader says it). A PNG or a JPEG is checked here only as far
// as its headers; damage further on is found when the picture is made at a reduction (the
// source's Error() then says why). A reduction whose picture would have more than
// kMaxPicturePixels pixels is refused the same way: a smaller result lets a large photo be
// read further reduced.
std::shared_ptr<TPictureSource> OpenPictureForPreparation(const QString& path, QString* whyNot = nullptr);

// True when a picture of NOMINAL size cannot be prepared with SETTINGS: read at the reduction
// they allow (ReductionFor), it would still have more than kMaxPicturePixels pixels. Only a
// photo larger than that limit can be too large (its own size kept, or a box of thousands of
// pixels); a smaller result reads it further reduced.
bool TooLargeToPrepare(QSize nominal, const TPrepareSettings& settings);
