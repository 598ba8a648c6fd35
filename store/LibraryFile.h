// LibraryFile — one memo file of the library folder: what its file says about it, its name, and a
// small picture of it for the list.
//
// A memo file is a 1-bit PNG named "YYYY-MM-DD HH.MM.SS title.png" whose text chunks carry
// Title, Reading, TitleCodes, ReadingCodes, Arrived (ISO 8601 local time with offset) and
// Software, and what the user gave it: Tags, Note and Starred (store/MemoNotes.h). Any other BMP or PNG in the folder is a memo too: titled by its file name, dated
// by its modification time.
#pragma once

#include "store/MemoFile.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>


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
    // What the user gave it (store/MemoNotes.h); none for a BMP.
    QStringList tags;
    QString note;
    bool starred = false;
};

// True for the names of memo files: ending in .png or .bmp (any case; also with ".orig" after
// it, a conflict copy), not hidden (the temporary files of a write start with a dot).
bool IsMemoFileName(const QString& name);

// What the file NAME whose first bytes are HEAD (up to kMemoHeadBytes) says about its memo;
// MODIFIED (ms since the epoch) dates it when it carries no arrival time.
MemoInfo ReadMemoInfo(const QString& name, const QByteArray& head, qint64 modified);

// The memo in PATH as the list shows it: one bit per pixel, at most kThumbnailBox (larger
// pictures scaled down, grey ones dithered). A null image when the file cannot be read.
QImage ReadThumbnail(const QString& path);
