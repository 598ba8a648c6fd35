// IndexPlace — where the index of a library folder (store/LibraryIndex.h) is kept: in the
// user's cache, never in the folder itself, so that a folder which a sync tool carries between
// PCs holds memo files only (a live database with its -wal and -shm files is what sync tools
// warn against).
//
//   $XDG_CACHE_HOME/vexlo/               (~/.cache/vexlo; a relative XDG_CACHE_HOME is ignored)
//       index-0123456789abcdef.sqlite    the index (with its -wal and -shm beside it)
//       index-0123456789abcdef.folder    the folder's path and a line end, for people
//
// The 16 hex digits are the start of the SHA-256 of the folder's canonical path (its bytes,
// links resolved), so two paths to one folder share its index and two folders never share one:
// the record is compared with the folder before an index is used, and an index whose record
// names another folder is not touched.
//
// Contract
//   IndexCacheFolder()
//       The folder the indexes are kept in.
//   IndexFileFor(folder)
//       The index file of FOLDER; empty when FOLDER is no folder (it has no canonical path).
//       Nothing is made or looked at beyond the folder itself.
//   PrepareIndexPlace(folder)
//       Makes the cache folder (its missing folders with mode 0700, the home of one user's
//       data), writes FOLDER's record when it is missing or stale and touches it otherwise,
//       and removes the indexes of folders that are gone and whose record was not touched for
//       kIndexKeptDays (a stick that is unplugged for a while costs a rebuild, no more).
//       Returns the index file's path, or the reason it cannot be kept there, in the user's
//       words: the cache folder cannot be made or written, a record names another folder.
//   kOldIndexFileName
//       The index that earlier versions kept in the folder itself; LibraryIndex removes it
//       once the index in the cache is built.
#pragma once

#include <QString>

#include <variant>

inline constexpr char kOldIndexFileName[] = ".vexlo-index.sqlite";
inline constexpr int kIndexKeptDays = 30;

struct IndexPlaceProblem {
    QString text;  // Japanese, for the list's notice
};

QString IndexCacheFolder();
QString IndexFileFor(const QString& folder);
std::variant<QString, IndexPlaceProblem> PrepareIndexPlace(const QString& folder);
