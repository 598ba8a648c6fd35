// MemoFile — one memo as a file of the library: a PNG of one bit per pixel (black is ink) that
// carries what the device said about the memo in text chunks, so that a copy taken elsewhere
// keeps it and any image viewer still opens the picture.
//
// Chunks (iTXt, UTF-8, uncompressed, placed before the pixel data so that they are read
// without decoding the picture):
//   Title         the title as readable text
//   Reading       the title reading as readable text
//   TitleCodes    the device's title codes, upper-case hex without separators
//   ReadingCodes  the device's reading bytes, upper-case hex
//   Arrived       the time of arrival, ISO 8601 local time with its offset
//                 (2026-12-07T16:23:32+01:00)
//   Software      "VEXLO <version>"
//   Content       what makes the memo the same as another (store/MemoContent.h): 64 hex
//                 digits; written for received memos, so that one sent again is recognised
//
// Contract
//   EncodeMemoPng(picture, meta)
//       The PNG bytes: PICTURE as one bit per pixel (a pixel that is not exactly white once
//       transparency is laid onto white is black), and META's fields in the chunks above (empty text still written; an invalid
//       Arrived and empty codes left out). Empty bytes when PICTURE is null.
//   ParseMemoMeta(bytes) / ReadMemoMeta(path)
//       The text chunks of a PNG (store/PngText.h: tEXt, zTXt and iTXt) named as above. Nothing when the bytes are no PNG (or the file cannot
//       be read); a PNG without our chunks gives a TMemoMeta with Carried false. At most
//       MaxMetaBytes of the file are looked at, so a hostile file costs no more than that.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QImage>
#include <QString>

#include <optional>

struct TMemoMeta {
    bool Carried = false;     // the file carries at least one of the chunks above
    QString Title;
    QString Reading;
    QByteArray TitleCodes;    // raw device bytes (two a code, high byte first)
    QByteArray ReadingCodes;  // raw device bytes
    QDateTime Arrived;        // invalid when unknown
    QString Software;
    QByteArray Content;       // MemoContentKey's hex digits; empty: not written
};

inline constexpr qint64 MaxMetaBytes = 1 << 20;

// The chunks' keywords.
inline constexpr char kMemoTitleKey[] = "Title";
inline constexpr char kMemoReadingKey[] = "Reading";
inline constexpr char kMemoTitleCodesKey[] = "TitleCodes";
inline constexpr char kMemoReadingCodesKey[] = "ReadingCodes";
inline constexpr char kMemoArrivedKey[] = "Arrived";
inline constexpr char kMemoSoftwareKey[] = "Software";
inline constexpr char kMemoContentKey[] = "Content";

QByteArray EncodeMemoPng(const QImage& picture, const TMemoMeta& meta);

std::optional<TMemoMeta> ParseMemoMeta(QByteArrayView bytes);
std::optional<TMemoMeta> ReadMemoMeta(const QString& path);

// "2026-12-07T16:23:32+01:00" (the offset is always written, "+00:00" included).
QString IsoTimeWithOffset(const QDateTime& time);

// "VEXLO 1.0": what the Software chunk says.
QString SoftwareName();

// TITLE as a part of a file name: '/', NUL and control characters become '_', and so do
// leading dots and trailing spaces and dots; cut (at a character boundary) so that the whole
// name, RESERVE bytes of which are taken by the rest of it, stays within 240 bytes: room for
// the temporary name a durable write makes beside it.
QString FileNameTitle(const QString& title, int reserve);

// "YYYY-MM-DD HH.MM.SS title.png" for the N-th try (N > 1 adds " (N)"); without the time
// when TIME is invalid, and without " title" when TITLE is empty. EXTENSION with its dot.
// MACHINE (four hex digits, store/SyncedFolder.h), when given, follows the time:
// "YYYY-MM-DD HH.MM.SS-3f9a title.png", so that two PCs filling one synced folder never make
// the same name.
QString MemoFileName(const QDateTime& time, const QString& title, int n, const QString& extension = QStringLiteral(".png"),
                     const QString& machine = {});

// The time at the start of a memo file's name ("2026-12-07 16.23.32 ...", also with a machine
// part "2026-12-07 16.23.32-3f9a ..."), or an invalid one.
QDateTime TimeOfMemoFileName(const QString& name);
// The machine part after the time of a memo file's name ("3f9a"), or empty.
QString MachinePartOfMemoFileName(const QString& name);
