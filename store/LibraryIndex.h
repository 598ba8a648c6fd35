// LibraryIndex — the memos of a library folder, kept in an SQLite file (write-ahead log) in
// the user's cache (store/IndexPlace.h: one index a folder, never inside the folder) so that
// a large library opens without reading every memo file.
//
// Contract
//   The files are the truth; the index only saves reading them. Refresh() lists the folder
//   (names, sizes, modification times) and compares it with the index: files that are new or
//   changed are read, entries of files that are gone are dropped, and the differences are
//   written back in one transaction. An index that is missing, of another layout, or damaged
//   (not a database, unreadable pages) is deleted and built again from the files; one that
//   cannot be written (a cache folder that cannot be made or written) is not needed either:
//   the memos are then kept in memory only, and Problem() says why. So are they when another program holds the index locked beyond a wait of
//   2 s: a database that another program has open is never deleted or rebuilt under it. Nothing here fails loudly: the worst an index can do is cost a rebuild.
//   A folder that does not exist holds no memos.
//   The index that earlier versions kept in the folder itself (kOldIndexFileName, with its
//   -wal and -shm) is removed once the first Refresh has built the index in the cache.
//   An index is used on one thread, the one that refreshes it: its database connection
//   belongs to the thread that made it. IndexRefresher (store/IndexRefresher.h) keeps one on a
//   thread of its own for a window.
#pragma once

#include "store/IndexPlace.h"
#include "store/LibraryFile.h"

#include <QString>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// The index's user_version; raised whenever the layout of its table changes, so that an index
// of another layout is rebuilt.
inline constexpr int kIndexLayout = 4;

struct LibraryQuery;

// One memo of the folder as the list knows it. Its texts (file name, title, reading, tags,
// note and the folded search text) are kept in one string, one allocation a memo instead of
// seven: fifty thousand of them are most of what a large library costs in memory.
class MemoEntry {
public:
    MemoEntry() = default;
    // SEARCH: the memo's text as the search compares it (MemoSearchText, store/LibraryQuery.h),
    // made where the file is read, so that a window never folds ten thousand texts as the user
    // types.
    MemoEntry(QStringView fileName, qint64 fileSize, qint64 modified, const MemoInfo& info, QStringView search);
    // The same from the parts as the index keeps them: the tags one a line.
    struct Row {
        QStringView fileName, title, reading, tags, note, search;
        qint64 fileSize = 0, modified = 0, time = 0;
        QSize pictureSize;
        bool titled = false, starred = false;
    };
    explicit MemoEntry(const Row& row);

    QString fileName() const { return part(Name).toString(); }  // in the folder
    QStringView fileNameView() const { return part(Name); }
    qint64 fileSize() const { return fileSize_; }
    qint64 modified() const { return modified_; }  // the file's modification time, ns since the epoch
    qint64 time() const { return time_; }
    bool starred() const { return starred_; }
    bool titled() const { return titled_; }  // the title came from the file's text
    QStringView title() const { return part(Title); }
    QStringView reading() const { return part(Reading); }
    QStringView note() const { return part(Note); }
    QStringView search() const { return part(Search); }
    bool hasTags() const { return !part(Tags).isEmpty(); }
    QStringList tags() const;
    QStringView tagLines() const { return part(Tags); }  // the tags, one a line
    // Everything the file told, as ReadMemoInfo gave it.
    MemoInfo info() const;

private:
    enum Part { Name, Title, Reading, Tags, Note, Search, PartCount };
    QStringView part(Part p) const
    {
        const qsizetype from = p == Name ? 0 : ends_[p - 1];
        const qsizetype to = p == Search ? texts_.size() : ends_[p];
        return QStringView(texts_).sliced(from, to - from);
    }

    QString texts_;  // the parts one after the other; tags separated by line breaks
    std::array<quint32, PartCount - 1> ends_{};  // where each part but the last ends
    bool titled_ = false;
    bool starred_ = false;
    qint64 fileSize_ = 0;
    qint64 modified_ = 0;
    qint64 time_ = 0;
    QSize pictureSize_;
};

// A list of memos as one Refresh found them; never changed afterwards, so the index and the
// list on the screen share it. A list handed over while a refresh still reads files is the
// first part of the list that refresh is building, not a copy: the refresh only appends
// behind it, into room reserved beforehand, so its entries never move.
class MemoList {
public:
    MemoList() = default;
    explicit MemoList(std::vector<MemoEntry> entries)
        : all_(std::make_shared<std::vector<MemoEntry>>(std::move(entries))), data_(all_->data()), count_(all_->size())
    {
    }
    // The first COUNT entries of ALL, which may still grow behind them but never reallocate.
    MemoList(std::shared_ptr<const std::vector<MemoEntry>> all, size_t count)
        : all_(std::move(all)), data_(all_->data()), count_(count)
    {
    }

    size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    const MemoEntry& operator[](size_t i) const { return data_[i]; }
    const MemoEntry* begin() const { return data_; }
    const MemoEntry* end() const { return data_ + count_; }

private:
    std::shared_ptr<const std::vector<MemoEntry>> all_;
    const MemoEntry* data_ = nullptr;
    size_t count_ = 0;
};
using MemoEntries = std::shared_ptr<const MemoList>;

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
    // Why the index cannot be kept, in the user's words (store/IndexPlace.h); empty when it
    // is kept, or is only held by another program for the moment.
    QString Problem() const { return problem_; }
    // The file names of the memos that meet QUERY (store/LibraryQuery.h), as the last Refresh
    // stored them, in no particular order; nothing when they are kept in memory only or the
    // index cannot be asked. Words are looked up in the index's full-text table.
    std::optional<std::vector<QString>> Search(const LibraryQuery& query) const;

    // Called with each file's name just before it is read, on the thread that refreshes (for
    // tests: a file that is slow to read, and where it is read). Empty: nothing.
    static void SetReadHook(std::function<void(const QString& fileName)> hook);

private:
    struct Database;
    bool openIndex();
    void dropIndexFiles();
    bool loadRows();
    void removeOldIndex();

    QString folder_;
    QString indexPath_;  // where the index file is, once it has been placed
    QString problem_;
    bool oldIndexGone_ = false;  // the folder's own index of earlier versions was looked for
    std::unique_ptr<Database> db_;
    MemoEntries entries_ = std::make_shared<const MemoList>();
    bool loaded_ = false;
    bool unreported_ = false;  // what was loaded first has not been returned yet
    bool busyLoading_ = false;  // the last loadRows failed as another program holds the index
    int filesRead_ = 0;
};

// LibrarySearch — the index file of a folder asked by another thread than the one that
// refreshes it (the window's, as the user types), through a read-only connection of its own
// made on first use. Count() is the number of memos the file holds (-1: there is no index
// file of this layout, or it cannot be read); Names() is LibraryIndex::Search on the file as
// it is now. A failure drops the connection: the next call opens the file again.
class LibrarySearch {
public:
    explicit LibrarySearch(const QString& folder);
    ~LibrarySearch();
    LibrarySearch(const LibrarySearch&) = delete;
    LibrarySearch& operator=(const LibrarySearch&) = delete;

    qint64 Count();
    std::optional<std::vector<QString>> Names(const LibraryQuery& query);

private:
    struct Connection;
    bool open();

    QString folder_;
    std::unique_ptr<Connection> connection_;
};
