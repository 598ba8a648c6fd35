// MemoNotes — what the user added to a memo: its tags, a note and a star, kept in text chunks
// of the memo's PNG file beside what the device said (store/MemoFile.h):
//   Tags     one tag a line (UTF-8)
//   Note     free text, any number of lines (UTF-8)
//   Starred  "1" when the memo is starred; absent otherwise
//
// Contract
//   ParseMemoNotes(bytes) / ReadMemoNotes(path)
//       The chunks above of a PNG (its first MaxMetaBytes, as ReadMemoMeta reads them): tags in
//       file order, blank lines and the spaces around each tag left out, a tag given twice
//       kept once; the note with its line ends as "\n"; Starred true only for "1". Nothing
//       when the bytes are no PNG or the file cannot be read (a FIFO or a device is not
//       waited on); a PNG without these chunks gives empty notes.
#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <optional>

struct TMemoNotes {
    QStringList Tags;
    QString Note;
    bool Starred = false;
};

inline constexpr char kMemoTagsKey[] = "Tags";
inline constexpr char kMemoNoteKey[] = "Note";
inline constexpr char kMemoStarredKey[] = "Starred";

std::optional<TMemoNotes> ParseMemoNotes(QByteArrayView bytes);
std::optional<TMemoNotes> ReadMemoNotes(const QString& path);
