// Picture files of the memo windows: reading any image file Qt can decode (with its size
// bounded before anything is decoded), the monochrome conversion used by Save and Copy,
// and writing a 1-bit BMP that replaces the old file atomically.
#pragma once

#include <QImage>
#include <QString>

#include <optional>

// Far beyond any memo; keeps a hostile header from making the decoder allocate gigabytes.
// ImageWidth and ImageHeight are 16-bit, so no side may exceed 65535 either.
inline constexpr int kMaxPictureSide = 65535;
inline constexpr qint64 kMaxPicturePixels = 30'000'000;

// True when a picture of W x H pixels may be taken in (from a file or the clipboard).
bool PictureSizeAccepted(qint64 width, qint64 height);

// The picture in PATH, or nothing when it cannot be read as an image: missing, unknown
// kind, damaged, truncated, or claiming a size beyond the limits above.
std::optional<QImage> ReadPictureFile(const QString& path);

// One bit per pixel: a pixel that is exactly white stays white, every other colour becomes
// black (colour 0 black, colour 1 white, as a device-independent monochrome bitmap has them).
QImage ToMonochrome(const QImage& picture);

// Writes MONO as a 1-bit BMP file to PATH (relative names go into the current directory).
// The old file is replaced only by a complete new one; on failure it is left as it was and
// the reason is returned.
std::optional<QString> WriteMonochromeBmp(const QImage& mono, const QString& path);
