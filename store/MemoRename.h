// MemoRename — gives a memo of the library a new title (and reading) without ever putting its
// picture at risk.
//
// Contract
//   RenameMemo(folder, fileName, title, reading, newName)
//       A PNG gets TITLE and READING in its Title and Reading text chunks (every other chunk
//       stays byte for byte); a BMP, which holds no text, keeps its bytes. The file then goes
//       under the name the title gives (store/LibraryFile.h: the time at the start of the old
//       name, with its machine part, or of its arrival, kept), numbered when that name is taken: the new file is
//       written durably beside the old one, never over anything (platform/DurableFile.h),
//       takes the old one's modification time, and only then is the old one removed. When
//       the name stays the same the file is replaced in place, durably. NEWNAME receives the
//       file name the memo has afterwards. On failure the old file is as it was and the cause
//       is returned in the user's words; a failure to remove the old file leaves both (and
//       says so).
#pragma once

#include <QString>

#include <optional>

std::optional<QString> RenameMemo(const QString& folder, const QString& fileName, const QString& title,
                                  const QString& reading, QString* newName = nullptr);
