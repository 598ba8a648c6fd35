// Large photos read a row at a time, for preparing them for the device: a phone's picture of
// 50 to 200 megapixels is never held whole, only the row being decoded. PNG files are read
// from the file as they are decoded (libpng, row by row; an interlaced file pass by pass), a
// JPEG from its bytes at a reduced size (libjpeg scales while it decompresses). The guards of
// the picture loader hold here too: the size a header claims is checked before anything is
// allocated, the chunks that do not make pixels are passed over unread (a PNG's text), a JPEG
// may repeat its scans only as often as its size allows, and a file that is damaged or stops
// early is refused, never filled in.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QImageIOHandler>
#include <QRgb>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

// A picture read in rows may have this many pixels (a 200 megapixel phone photo is 16320 x
// 12240), no side more than kMaxPictureSide. The work of a decode stays in proportion to it:
// every pixel costs the same bounded work, whatever the file claims.
inline constexpr qint64 kMaxRowPicturePixels = 200'000'000;

// A PNG read in rows from its file may be this large (the largest picture uncompressed at 16
// bits a channel with alpha); a JPEG is read into memory and keeps the loader's file limit.
inline constexpr qint64 kMaxRowPngFileBytes = 2LL * 1024 * 1024 * 1024;

// True when a picture of W x H pixels may be read in rows.
bool RowPictureSizeAccepted(qint64 width, qint64 height);

// The start of a file: a PNG's or a JPEG's signature.
bool IsPngStart(QByteArrayView bytes);
bool IsJpegStart(QByteArrayView bytes);

// What the headers tell: the picture's size as stored (before it is turned), and how a photo
// says it should be turned to stand upright (its EXIF orientation).
struct TPictureHead {
    QSize Stored;
    QImageIOHandler::Transformations Turn = QImageIOHandler::TransformationNone;

    // The size once turned upright.
    QSize Upright() const { return Turn & QImageIOHandler::TransformationRotate90 ? Stored.transposed() : Stored; }
};

// PATH opened for reading as the picture loader opens it: without waiting (a FIFO is not waited
// on), a regular file only, of no more than MAXBYTES. Nothing is read. Null, WHYNOT saying why
// in English, otherwise.
std::unique_ptr<QFile> OpenPictureFile(const QString& path, qint64 maxBytes, QString* whyNot = nullptr);

// The headers of the PNG read from FILE, which stands at its start; FILE is left anywhere.
// Nothing (WHYNOT saying why) when it is not a PNG, is damaged, or is larger than a picture
// read in rows may be.
std::optional<TPictureHead> ReadPngHead(QIODevice& file, QString* whyNot = nullptr);

// The same for a JPEG in BYTES.
std::optional<TPictureHead> ReadJpegHead(const QByteArray& bytes, QString* whyNot = nullptr);

// Receives the pixels of a picture as they are decoded, in the stored orientation: row Y,
// COUNT pixels at columns X0, X0 + STEP, X0 + 2 * STEP ... Every pixel is opaque (translucent
// ones laid onto white as the picture loader lays them). A plain file gives each row once,
// whole, from the top (X0 0, STEP 1); an interlaced PNG gives the rows of its seven passes,
// each pixel once in all.
using TPictureRowSink = std::function<void(int y, int x0, int step, const QRgb* pixels, int count)>;

// Decodes the PNG read from FILE (standing at its start) to its end, each row handed to SINK as
// it comes. The pixels are those the picture loader gives for the file. False (WHYNOT saying
// why) when it is damaged or cut short, refused by RowPictureSizeAccepted, or when reading
// fails; SINK may have had some rows by then.
bool ReadPngRows(QIODevice& file, const TPictureRowSink& sink, QString* whyNot = nullptr);

// Decodes the JPEG in BYTES at 1/REDUCTION of its size (1, 2, 4 or 8; sides rounded up).
// BEGIN is told the size that comes out before anything is decoded and may stop the decode by
// answering false (WHYNOT is then left to it). The pixels are those DecodeJpeg gives, checked
// as it checks them, with the limits of a picture read in rows.
bool ReadJpegRows(const QByteArray& bytes, int reduction, const std::function<bool(QSize)>& begin,
                  const TPictureRowSink& sink, QString* whyNot = nullptr);

// A picture too large for the memo windows' loader is shown reduced to about this many pixels
// at most (more than a 4K screen shows); 送信用に変換 still reads the file itself.
inline constexpr qint64 kMaxViewPixels = 8'000'000;

// The PNG or JPEG in PATH that the picture loader refuses for its size (more than
// kMaxPicturePixels, or a file beyond its file limit) but that may be read in rows, reduced by
// the smallest power of two that brings it within kMaxViewPixels: each pixel the average colour
// of its block (the blocks at the right and bottom edges may be smaller), as stored, not turned.
// FULL, when given, receives the picture's own size. Nothing, WHYNOT saying why, for any other
// file: one the loader takes, another kind, or one the row readers refuse.
std::optional<QImage> ReadReducedPicture(const QString& path, QSize* full = nullptr, QString* whyNot = nullptr);
