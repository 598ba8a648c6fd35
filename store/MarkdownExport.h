// MarkdownExport — memos as Markdown notes for a notebook (Obsidian and other Markdown tools):
// the picture as a PNG file and a note that shows it, with what is known of the memo in YAML
// front matter. Reached through ExportMemos with ExportFormat::Markdown (store/MemoExport.h).
//
// OUT is a folder (made when missing). The pictures go into the folder named by
// TExportOptions::Attachments inside it (a relative path; empty: beside the notes), one PNG a
// memo at TExportOptions::Scale, named after the memo. The notes:
//   PerMemo  NAME.md for each memo: front matter (vexlo: memo, title, reading, arrived, tags,
//            starred, note) and the picture's link.
//   PerDay   YYYY-MM-DD.md for each day of arrival (日付なし.md for memos without a time):
//            front matter (vexlo: day, date, memos) and each memo of that day in order of
//            arrival, a heading with its time and title, its picture, tags and note.
// Strings in the front matter are double-quoted YAML (escaped as YAML wants); a note of several
// lines is a literal block. Links are relative, with the characters a Markdown link cannot
// hold percent-encoded. Names are made safe for files (no '/', no leading dot) and unique in
// the export ("-2", "-3" ...).
//
// Re-exporting updates what it wrote: `.vexlo-export.json` in OUT records each file it wrote
// and a SHA-256 of its bytes. A file of the name it wants is replaced only when the record
// holds it with those very bytes (VEXLO wrote it, nobody changed it since); a file that is the
// same as the new one is left untouched. Any other file there is never written over: a picture
// takes the next free name instead; a note is left as it is, the export goes on with the
// rest, and then fails with ERROR naming each note left alone. A record that is not VEXLO's
// stops the export before anything is written.
//
// PROGRESS is called once a memo while the notes are made, before anything is written: a stop
// there leaves the folder as it was.
#pragma once

#include "store/MemoExport.h"

bool ExportMarkdown(const QList<TExportMemo>& memos, const TExportOptions& options, const QString& out,
                    QString* error, QStringList* written, QString* englishError, const ExportProgress& progress);

// TEXT as a YAML double-quoted scalar.
QString YamlQuoted(const QString& text);

// The name of the record of what an export wrote, in its folder.
inline constexpr char kMarkdownRecordName[] = ".vexlo-export.json";
