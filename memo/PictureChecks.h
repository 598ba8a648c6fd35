// Whole-file checks for the picture kinds whose Qt decoders fill in what a damaged file lacks
// and report success: the first GIF picture must have all its blocks and LZW data for every
// one of its pixels; a JPEG must decode without running out of data or into damaged data.
#pragma once

#include <QByteArray>

// BYTES is a GIF ("GIF8..."): true when its first picture is whole.
bool GifLooksWhole(const QByteArray& bytes);

// BYTES is a JPEG: true when every scan decodes to its end and the picture is within the
// size limits of the loader (checked before anything is allocated for it).
bool JpegLooksWhole(const QByteArray& bytes);
