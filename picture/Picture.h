// Picture files of the memo windows: the one loader of pictures from files and from the
// clipboard's bytes (with its size bounded before anything is decoded, special files, damaged
// and truncated files refused, pixels a file leaves undefined white, transparency flattened
// onto white), the monochrome conversion used by Save and Copy, and writing a 1-bit BMP that
// replaces the old file atomically and durably.
#pragma once

#include <QImage>
#include <QString>

#include <functional>
#include <optional>

// Far beyond any memo; keeps a hostile header from making the decoder allocate gigabytes.
// ImageWidth and ImageHeight are 16-bit, so no side may exceed 65535 either.
inline constexpr int kMaxPictureSide = 65535;
inline constexpr qint64 kMaxPicturePixels = 30'000'000;

// True when a picture of W x H pixels may be taken in (from a file or the clipboard).
bool PictureSizeAccepted(qint64 width, qint64 height);

// Files larger than this are not read at all (a picture at the pixel limit takes 120 MB).
inline constexpr qint64 kMaxPictureFileBytes = 256LL * 1024 * 1024;

// The picture in PATH, or nothing when it cannot be read as an image: missing, not a regular
// file (a FIFO or a device is refused before anything is read, without waiting), larger than
// the file limit, unknown kind, damaged, truncated (also where Qt's decoders would fill in the
// missing part: a BMP short of rows, a GIF whose data ends before its last pixel, a JPEG whose
// scan stops early), or claiming a size beyond the limits above. No more than the file's size
// is read. A run-length encoded BMP is decoded here: pixels its runs skip (delta escapes, an
// early end of the bitmap) are white, and a stream that stops before its end is damaged.
// Every pixel of the result is opaque: transparent and translucent pixels are laid onto white.
// WHYNOT, when given, receives the reason in English (for the command line; the memo windows
// show none).
std::optional<QImage> ReadPictureFile(const QString& path, QString* whyNot = nullptr);

// The same for the bytes of a picture file (the clipboard offers them too).
std::optional<QImage> ReadPictureBytes(const QByteArray& bytes, QString* whyNot = nullptr);

// The bytes of the picture file PATH, read as ReadPictureFile reads it: a regular file within
// the file limit, no more than its size; nothing (WHYNOT saying why) otherwise.
std::optional<QByteArray> ReadPictureFileBytes(const QString& path, QString* whyNot = nullptr);

// For preparing a picture for the device: the picture in BYTES with every check of
// ReadPictureBytes, turned upright where a photo says it was taken turned (its EXIF
// orientation). A JPEG is decoded at 1/REDUCTION of its size (1, 2, 4 or 8) while it is
// decompressed, sides rounded up; any other kind comes whole.
std::optional<QImage> ReadUprightPicture(const QByteArray& bytes, int reduction, QString* whyNot = nullptr);

// The size ReadUprightPicture gives at reduction 1, from the headers where they tell it;
// nothing (WHYNOT saying why) for a picture it would refuse on its size or kind.
std::optional<QSize> UprightPictureSize(const QByteArray& bytes, QString* whyNot = nullptr);

// PICTURE with every pixel opaque: a pixel of alpha A is blended onto white, so a fully
// transparent pixel becomes exactly white. A picture without alpha is returned as it is.
QImage FlattenOntoWhite(const QImage& picture);

// One bit per pixel: a pixel that is exactly white stays white (a transparent one counts as
// white), every other colour becomes black (colour 0 black, colour 1 white, as a
// device-independent monochrome bitmap has them).
QImage ToMonochrome(const QImage& picture);

// True when every pixel is exactly black or exactly white, so that ToMonochrome leaves the
// picture as it is (a null picture counts: it shows white paper).
bool IsBlackAndWhite(const QImage& picture);

// The bytes of a 1-bit BMP file of MONO, an image of QImage::Format_Mono (its colour table,
// resolution and rows as they are, bottom row first), as Qt's BMP writer makes them but without
// its image-format plugins, which it loads on first use; empty for a null image, one of another
// format, or one too large for a BMP's 32-bit sizes.
QByteArray MonochromeBmpBytes(const QImage& mono);

// Writes MONO as a 1-bit BMP file to PATH (relative names go into the current directory),
// through platform::ReplaceFile: the old file is replaced only by a complete new one that is on
// disk; on failure it is left as it was and the reason is returned in the user's words (a
// folder, a FIFO or a device at PATH, a read-only file, a full disk ...).
std::optional<QString> WriteMonochromeBmp(const QImage& mono, const QString& path);

// The same into FOLDER under the first name NAME_FOR(1), NAME_FOR(2) ... that nothing there
// carries (platform::WriteNewFile): nothing is written over. PATH receives the file written.
std::optional<QString> WriteNewMonochromeBmp(const QImage& mono, const QString& folder,
                                             const std::function<QString(int)>& nameFor, QString& path);
