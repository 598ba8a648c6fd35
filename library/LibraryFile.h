// LibraryFile — one memo file of the library folder: what its file says about it, its name, and a
// small picture of it for the list.
//
// A memo file is a 1-bit PNG named "YYYY-MM-DD HH.MM.SS title.png" whose text chunks carry
// Title, Reading, TitleCodes, ReadingCodes, Arrived (ISO 8601 local time with offset) and
// Software. Any other BMP or PNG in the folder is a memo too: titled by its file name, dated
// by its modification time.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QSize>
#include <QString>

inline constexpr char kMemoTitleKey[] = "Title";
inline constexpr char kMemoReadingKey[] = "Reading";
inline constexpr char kMemoArrivedKey[] = "Arrived";

// The first bytes of a file that ReadMemoInfo needs (a memo file is far smaller).
inline constexpr qint64 kMemoHeadBytes = 64 * 1024;

// The largest picture the list shows as it is; larger ones are scaled down to fit.
inline constexpr QSize kThumbnailBox(124, 121);

struct MemoInfo {
    QString title;
    QString reading;
    qint64 time = 0;  // ms since the epoch: arrival, or the file's modification time
    QSize size;       // in pixels; empty when the header cannot be read
    bool titled = false;  // the title came from the file's text, not from its name
};

// True for the names of memo files: ending in .png or .bmp (any case), not hidden (the index
// and the temporary files of a write start with a dot).
bool IsMemoFileName(const QString& name);

// What the file NAME whose first bytes are HEAD (up to kMemoHeadBytes) says about its memo;
// MODIFIED (ms since the epoch) dates it when it carries no arrival time.
MemoInfo ReadMemoInfo(const QString& name, const QByteArray& head, qint64 modified);

// TITLE as a part of a file name: '/', NUL and control characters become '_', and so do
// leading dots and trailing spaces and dots; cut (at a character boundary) so that the whole
// name stays under 255 bytes with RESERVE bytes of it taken by the rest of the name.
QString FileNameTitle(const QString& title, int reserve);

// "YYYY-MM-DD HH.MM.SS title.png" for the N-th try (N > 1 adds " (N)"); without the time
// when TIME is invalid, and without " title" when TITLE is empty. EXTENSION with its dot.
QString MemoFileName(const QDateTime& time, const QString& title, int n, const QString& extension = QStringLiteral(".png"));

// The time at the start of a memo file's name ("2026-12-07 16.23.32 ..."), or an invalid one.
QDateTime TimeOfMemoFileName(const QString& name);

// The memo in PATH as the list shows it: one bit per pixel, at most kThumbnailBox (larger
// pictures scaled down, grey ones dithered). A null image when the file cannot be read.
QImage ReadThumbnail(const QString& path);
