// MemoDuplicates — the memos of a library folder that are the same memo more than once: the
// same pixels and the same raw title and reading codes (store/MemoContent.h), as a memo sent
// again before VEXLO recognised it leaves behind.
//
// Contract
//   FindDuplicateMemos(folder, entries)
//       Groups of two or more of ENTRIES (memos of FOLDER, store/LibraryIndex.h) whose files
//       have the same content key, each group oldest first (by the memo's time, then by file
//       name), the groups in the order of their oldest memos. Only memos that could be alike
//       are read: those with the same title and reading (or, for pictures without a title of
//       their own, the same file size). A file that cannot be read is in no group.
#pragma once

#include "store/LibraryIndex.h"

#include <QString>

#include <vector>

using DuplicateGroups = std::vector<std::vector<QString>>;  // file names in the folder

DuplicateGroups FindDuplicateMemos(const QString& folder, const MemoList& entries);
