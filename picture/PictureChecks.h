// Whole-file checks for the picture kinds whose Qt decoders fill in what a damaged file lacks
// and report success: the first GIF picture must have all its blocks and LZW data for every
// one of its pixels; a JPEG must decode without running out of data or into damaged data.
#pragma once

#include <QByteArray>
#include <QImage>

#include <optional>

// BYTES is a GIF ("GIF8..."): true when its first picture is whole.
bool GifLooksWhole(const QByteArray& bytes);

// BYTES is a JPEG: true when every scan decodes to its end and the picture is within the
// size limits of the loader (checked before anything is allocated for it).
bool JpegLooksWhole(const QByteArray& bytes);

// BYTES is a JPEG: the picture at 1/REDUCTION of its size (1, 2, 4 or 8: libjpeg scales while it
// decompresses, so a small picture of a large photo costs little more than reading the data),
// checked as JpegLooksWhole checks it, in the same pass. Sides are rounded up (a 6001 pixel wide
// photo at 1/8 is 751 wide). The picture is as stored, not turned by its EXIF orientation.
std::optional<QImage> DecodeJpeg(const QByteArray& bytes, int reduction);
