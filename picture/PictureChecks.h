// Whole-file checks for the picture kinds whose Qt decoders fill in what a damaged file lacks
// and report success: the first GIF picture must have all its blocks and LZW data for every
// one of its pixels; a JPEG must decode without running out of data or into damaged data.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <optional>

// BYTES is a GIF ("GIF8..."): true when its first picture is whole.
bool GifLooksWhole(const QByteArray& bytes);

// A progressive JPEG may repeat its scans without end, each a pass over every block of the
// picture: one with more scans than it is allowed is refused before its work becomes minutes.
// Encoders write ten or so, the most thorough a few dozen. A picture may have as many scans as
// keep the blocks passed over within kMaxJpegScanBlocks (a large photo some dozens), never
// fewer than kMinJpegScans nor more than kMaxJpegScans.
inline constexpr int kMaxJpegScans = 256;
inline constexpr int kMinJpegScans = 32;
inline constexpr qint64 kMaxJpegScanBlocks = 32'000'000;

// The scans a JPEG of BLOCKS blocks (8 x 8 pixels of a component, all components counted) may have.
int JpegScansAllowed(qint64 blocks);

// BYTES is a JPEG: true when every scan decodes to its end, the picture is within the size
// limits of the loader (checked before anything is allocated for it) and it has no more than
// kMaxJpegScans scans. WHYNOT, when given, receives the reason for a refusal.
bool JpegLooksWhole(const QByteArray& bytes, QString* whyNot = nullptr);

// BYTES is a JPEG: the picture at 1/REDUCTION of its size (1, 2, 4 or 8: libjpeg scales while it
// decompresses, so a small picture of a large photo costs little more than reading the data),
// checked as JpegLooksWhole checks it, in the same pass. Sides are rounded up (a 6001 pixel wide
// photo at 1/8 is 751 wide). The picture is as stored, not turned by its EXIF orientation.
std::optional<QImage> DecodeJpeg(const QByteArray& bytes, int reduction, QString* whyNot = nullptr);
