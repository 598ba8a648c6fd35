// DurableFile — every file the program writes goes through here, so that a file on disk is
// always either its old self or the whole new content, and a failure says why.
//
// Contract
//   ReplaceFile(path, bytes)
//       Afterwards PATH holds exactly BYTES, on disk. The bytes go to a new temporary file in
//       PATH's folder, ".vexlo-KEY.NAME.part" (KEY 13 random letters and digits), created with O_CREAT|O_EXCL|O_NOFOLLOW (it can
//       neither follow nor reuse anything planted there) and locked (flock) until it has its
//       name; they are written, the file is flushed to disk (fsync) and closed, renamed over
//       PATH, and the folder is flushed. Every step is checked: on any
//       failure the temporary file is removed, PATH is left as it was, and the cause is
//       returned (only a failing flush of the folder comes after the rename: the new file is
//       then in place, but may not outlast a power cut, and the failure is reported all the
//       same). A symbolic link at PATH is followed to the file it names, which is replaced
//       (the link stays) — unless another user may have planted it (ForeignLink): a link that
//       is not ours is followed only in a folder that nobody but its owner can write, made by
//       that owner, who is us or root. Refused without writing anything: a folder at PATH (EISDIR), anything
//       else that is not a regular file (NotRegular: a FIFO, a device, a socket), and a file
//       marked read-only (ReadOnly: no write permission for us, or no write permission bit at
//       all, which holds for root too). A replaced file keeps its permission bits (and, when root
//       replaces it, its owner); a new file gets 0666 less the umask.
//   ReplaceFile(path, bytes, later)
//       The same, with the flush of the folder left to LATER (FolderFlushes) when given: a
//       batch of files replaced in one folder flushes it once, at LATER.Flush(), and not once
//       a file. Until then a power cut may bring back the old files; nothing is ever lost.
//   FolderFlushes
//       Flush() flushes every folder given to it once (first failure returned) and forgets
//       them; destroying it flushes whatever is still pending.
//   WriteNewFile(folder, nameFor, first, bytes, written)
//       The same durable write, but never over anything: the file is put under the first
//       name nameFor(n), n = first, first + 1, ..., that nothing in FOLDER carries (no file,
//       folder or link of any kind), atomically (a name taken meanwhile by another program
//       is skipped, never replaced). WRITTEN receives the path, NUMBER the n used. At most
//       100000 names are tried (NoFreeName).
//   RewriteNote(path, bytes)
//       For a small note of ours that is written again and again (a few hundred bytes, no
//       document): when PATH is a regular file of ours with no other name, BYTES are written
//       over it where it stands and flushed (one fsync, no new file, no rename, no flush of the
//       folder); otherwise it is ReplaceFile(path, bytes). The file is opened without following
//       a link and without waiting for a FIFO. A power cut during the write may leave the new
//       bytes and some of the old behind them, or the old size: only for notes whose reader
//       takes a note it cannot make sense of for none.
//   RemoveAbandonedFiles(folder)
//       Removes the temporary files that writers which died (kill -9, a power cut) left in
//       FOLDER: files of ours (named as above, owned by this user) that no living writer holds
//       (each writer keeps its temporary file locked with flock until it is renamed or
//       removed). A file being written is never touched, nor a user's file that merely looks
//       alike (".thesis.v2.part"). Returns how many were removed.
//   MoveNoReplace(from, to)
//       The file FROM under the name TO in the same file system, never over anything (EEXIST
//       when TO exists, and FROM stays), and TO's folder flushed.
//   MakeFolders(path)
//       PATH and its missing parents as folders (0777 less the umask). Succeeds when PATH
//       is a folder afterwards; otherwise says why (a file in the way: ENOTDIR).
//
// Nothing here shows anything: FileWriteError::text() gives the cause in the user's words
// (Japanese, for message boxes: "ディスクの空き容量が足りません", for EISDIR
// "同じ名前のフォルダーがあります"), englishText() the same for the command line.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>
#include <optional>
#include <vector>
#include <sys/types.h>

namespace platform {

struct FileWriteError {
    enum class Cause {
        System,      // a system call failed: error holds errno
        NotRegular,  // the target is a FIFO, a device or a socket: mode holds its st_mode
        ReadOnly,    // the target is marked read-only
        NoFreeName,  // every name WriteNewFile may use is taken
        ForeignLink, // a link at the target was put there by another user in a shared folder
    };
    Cause cause = Cause::System;
    int error = 0;
    mode_t mode = 0;

    QString text() const;         // "ディスクの空き容量が足りません"
    QString englishText() const;  // "no space left on device"
};

class FolderFlushes {
public:
    FolderFlushes() = default;
    ~FolderFlushes() { Flush(); }
    FolderFlushes(const FolderFlushes&) = delete;
    FolderFlushes& operator=(const FolderFlushes&) = delete;

    void Add(const QByteArray& folder);
    std::optional<FileWriteError> Flush();

private:
    std::vector<QByteArray> folders_;
};

std::optional<FileWriteError> ReplaceFile(const QString& path, QByteArrayView bytes, FolderFlushes* later = nullptr);

std::optional<FileWriteError> WriteNewFile(const QString& folder, const std::function<QString(int)>& nameFor,
                                           int first, QByteArrayView bytes, QString* written = nullptr,
                                           int* number = nullptr);

std::optional<FileWriteError> RewriteNote(const QString& path, QByteArrayView bytes);

int RemoveAbandonedFiles(const QString& folder);

std::optional<FileWriteError> MoveNoReplace(const QString& from, const QString& to);

std::optional<FileWriteError> MakeFolders(const QString& path);

}  // namespace platform
