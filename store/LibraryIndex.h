// LibraryIndex — the memos of a library folder, kept in an SQLite file in the folder
// (".vexlo-index.sqlite", write-ahead log) so that a large library opens without reading
// every memo file.
//
// Contract
//   The files are the truth; the index only saves reading them. Refresh() lists the folder
//   (names, sizes, modification times) and compares it with the index: files that are new or
//   changed are read, entries of files that are gone are dropped, and the differences are
//   written back in one transaction. An index that is missing, of another layout, or damaged
//   (not a database, unreadable pages) is deleted and built again from the files; one that
//   cannot be written (a read-only folder) is not needed either: the memos are then kept in
//   memory only. So are they when another program holds the index locked beyond a wait of
//   2 s: a database that another program has open is never deleted or rebuilt under it. Nothing here fails loudly: the worst an index can do is cost a rebuild.
//   A folder that does not exist holds no memos.
//   An index is used on one thread, the one that refreshes it: its database connection
//   belongs to the thread that made it. IndexRefresher (store/IndexRefresher.h) keeps one on a
//   thread of its own for a window.
#pragma once

#include "store/LibraryFile.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

inline constexpr char kIndexFileName[] = ".vexlo-index.sqlite";
// The index's user_version; raised whenever the layout of its table changes, so that an index
// of another layout is rebuilt.
inline constexpr int kIndexLayout = 2;

struct MemoEntry {
    QString fileName;  // in the folder
    qint64 fileSize = 0;
    qint64 modified = 0;  // the file's modification time, ns since the epoch
    MemoInfo info;
};

// A list of memos as one Refresh found them; never changed afterwards, so the index and the
// list on the screen share it.
using MemoEntries = std::shared_ptr<const std::vector<MemoEntry>>;

class LibraryIndex {
public:
    explicit LibraryIndex(const QString& folder);
    ~LibraryIndex();
    LibraryIndex(const LibraryIndex&) = delete;
    LibraryIndex& operator=(const LibraryIndex&) = delete;

    QString folder() const { return folder_; }

    // The memos of the folder as the files are now, in no particular order. CHANGED tells
    // whether they differ from what the last call returned (always true on the first).
    // STOP, when given and set, ends the look at the folder (between two files, or within a
    // thousand files while they are compared with the index): what was read so far is
    // kept in the index file, and the memos of the call before are returned unchanged (with
    // CHANGED false); the next call takes up what was left.
    // MEANWHILE, when given, gets the memos known so far while files are still to be read: on
    // the first call before the first file (the memos the index file held that are still
    // there as they were), and between two files every quarter of a second.
    MemoEntries Refresh(bool* changed = nullptr, const std::atomic<bool>* stop = nullptr,
                        const std::function<void(MemoEntries)>& meanwhile = {});

    // Files read by the last Refresh (new, changed, or all of them for a rebuild).
    int FilesRead() const { return filesRead_; }
    // True when the entries live in the index file (false: in memory only).
    bool Stored() const;

    // Called with each file's name just before it is read, on the thread that refreshes (for
    // tests: a file that is slow to read, and where it is read). Empty: nothing.
    static void SetReadHook(std::function<void(const QString& fileName)> hook);

private:
    struct Database;
    bool openIndex();
    void dropIndexFiles();
    bool loadRows();

    QString folder_;
    std::unique_ptr<Database> db_;
    MemoEntries entries_ = std::make_shared<const std::vector<MemoEntry>>();
    bool loaded_ = false;
    bool unreported_ = false;  // what was loaded first has not been returned yet
    bool busyLoading_ = false;  // the last loadRows failed as another program holds the index
    int filesRead_ = 0;
};
