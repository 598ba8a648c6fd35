// MemoNotes — the tags, the note and the star a user gives a memo of the library, kept in the
// memo's own PNG as text chunks, so that the files stay the whole truth and the index can
// always be built again from them.
//
// In the file
//   iTXt "Tags"     one tag a line, UTF-8, in the order they were added
//   iTXt "Note"     free UTF-8 text, several lines
//   iTXt "Starred"  "1"; absent when the memo has no star
//   An empty list of tags and an empty note are absent too.
//
// Contract
//   CleanTags(tags)
//       The tags as they are kept: each trimmed, runs of blanks inside made one space, a
//       leading '#' dropped (it marks a tag in a search), empty ones and later duplicates
//       (compared as the search compares them, store/KanaFold.h) left out; order kept.
//   ReadMemoNotes(bytes)
//       What the PNG BYTES (a whole file or its first kMemoHeadBytes) carry; nothing for
//       anything else (a BMP). Tags are read through CleanTags.
//   ReadMemoNotesFile(path)
//       ReadMemoNotes of the first kMemoHeadBytes of the file at PATH; nothing when it is no
//       regular file or cannot be read (a FIFO or a device is not waited on).
//   ApplyNotesChange(notes, change)
//       NOTES with CHANGE made: tags to add go at the end (a tag already there stays where it
//       is), tags to remove go; a note or star given replaces the old one.
//   WriteMemoNotes(path, notes, before)
//       Rewrites the PNG at PATH with NOTES in its chunks: every other chunk, the pixels
//       included, stays byte for byte; the file is replaced durably (platform/DurableFile.h).
//       A memo dated by its file (no Arrived chunk) keeps its modification time, moved on by
//       one nanosecond so that an index sees the change. BEFORE, when given, receives what the
//       file carried. Refused (nothing written): a BMP or any other file that is no PNG, a file
//       that is not whole, a note or tags too long to be read back, a file that cannot be
//       read or written. Nothing is written when the notes are already those.
//   ChangeMemoNotes(path, change, before)
//       ReadMemoNotes, ApplyNotesChange and WriteMemoNotes in one, on the file as it is now.
//   LATER (both): when given, the flush of the memo's folder is left to it, so that a change
//   to a thousand memos flushes their folder once (platform/DurableFile.h).
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace platform {
class FolderFlushes;
}

inline constexpr char kMemoTagsKey[] = "Tags";
inline constexpr char kMemoNoteKey[] = "Note";
inline constexpr char kMemoStarredKey[] = "Starred";

// Limits that keep every note readable from the first part of its file that the index reads.
inline constexpr qsizetype kMaxNoteLength = 10000;  // characters
inline constexpr qsizetype kMaxTagLength = 100;
inline constexpr qsizetype kMaxTags = 200;

struct MemoNotes {
    QStringList tags;
    QString note;
    bool starred = false;

    bool operator==(const MemoNotes&) const = default;
};

struct MemoNotesChange {
    QStringList addTags;
    QStringList removeTags;
    std::optional<QString> note;
    std::optional<bool> starred;
};

// Why notes could not be written: for a message box, and for the command line.
struct MemoNotesError {
    QString text;         // "BMP のメモにはタグを付けられません"
    QString englishText;  // "a BMP file cannot carry tags"
};

QStringList CleanTags(const QStringList& tags);

std::optional<MemoNotes> ReadMemoNotes(const QByteArray& bytes);
std::optional<MemoNotes> ReadMemoNotesFile(const QString& path);

MemoNotes ApplyNotesChange(const MemoNotes& notes, const MemoNotesChange& change);

std::optional<MemoNotesError> WriteMemoNotes(const QString& path, const MemoNotes& notes, MemoNotes* before = nullptr,
                                             platform::FolderFlushes* later = nullptr);

std::optional<MemoNotesError> ChangeMemoNotes(const QString& path, const MemoNotesChange& change,
                                              MemoNotes* before = nullptr, platform::FolderFlushes* later = nullptr);
