#include "platform/DurableFile.h"

#include "platform/FileNames.h"
#include "platform/SystemError.h"

#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

using Result = std::optional<FileWriteError>;

// A temporary file is ".vexlo-" KEY "." NAME ".part", KEY 13 letters and digits: a name that
// only this program makes, so that a cleaner never takes a user's file for one of ours.
constexpr char kTempPrefix[] = ".vexlo-";
constexpr qsizetype kTempKeyLength = 13;
constexpr char kTempSuffix[] = ".part";

bool isTempName(const QByteArray& name)
{
    const qsizetype prefix = qsizetype(sizeof kTempPrefix) - 1;
    if (!name.startsWith(kTempPrefix) || !name.endsWith(kTempSuffix) ||
        name.size() < prefix + kTempKeyLength + 1 + qsizetype(sizeof kTempSuffix) - 1 ||
        name[prefix + kTempKeyLength] != '.')
        return false;
    for (qsizetype i = prefix; i < prefix + kTempKeyLength; ++i)
        if (!std::isdigit(uchar(name[i])) && !std::islower(uchar(name[i])))
            return false;
    return true;
}

QByteArray tempKey()
{
    return QByteArray::number(QRandomGenerator::global()->generate64(), 36).rightJustified(kTempKeyLength, '0');
}

FileWriteError systemError(int error)
{
    FileWriteError failure;
    failure.error = error != 0 ? error : EIO;
    return failure;
}

FileWriteError notRegular(mode_t mode)
{
    FileWriteError failure;
    failure.cause = FileWriteError::Cause::NotRegular;
    failure.mode = mode;
    return failure;
}

// What stands at a path that is to be replaced: nothing is fine, a regular file is fine
// unless it is marked read-only, anything else is refused.
Result refuseTarget(const QByteArray& path, const struct stat& st)
{
    if (S_ISDIR(st.st_mode))
        return systemError(EISDIR);
    if (!S_ISREG(st.st_mode))
        return notRegular(st.st_mode);
    // A rename needs no write permission on the file it replaces, and root may write anything:
    // a read-only mark means "keep this file" all the same.
    if ((st.st_mode & 0222) == 0 || ::faccessat(AT_FDCWD, path.constData(), W_OK, AT_EACCESS) != 0) {
        FileWriteError failure;
        failure.cause = FileWriteError::Cause::ReadOnly;
        return failure;
    }
    return std::nullopt;
}

QByteArray folderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return ".";
    return slash == 0 ? QByteArray("/") : path.left(slash);
}

QByteArray nameOf(const QByteArray& path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

// A link that someone else may have put there: following it would let them choose which file
// we replace (root's output in /tmp, or in a user's folder, made to name a file in a private
// folder). A link is followed when it is ours, or when it stands in a folder that only its
// owner can change and that owner is us or root (the system's own links). A sticky folder
// keeps others from removing our links, not from planting their own.
bool plantedLink(const QByteArray& path, const struct stat& link)
{
    const uid_t me = ::geteuid();
    if (link.st_uid == me)
        return false;
    struct stat folder;
    if (::stat(folderOf(path).constData(), &folder) != 0)
        return true;
    const bool onlyItsOwnerWrites = (folder.st_mode & 0022) == 0;
    const bool trustedOwner = folder.st_uid == me || folder.st_uid == 0;
    return !(onlyItsOwnerWrites && trustedOwner && link.st_uid == folder.st_uid);
}

// The file a path names once its symbolic links are followed (the path itself when it is
// none). A link to nothing yields where the new file is to be made. A link planted in a
// shared folder is refused, not followed.
Result followLinks(QByteArray& path)
{
    for (int hops = 0;; ++hops) {
        struct stat st;
        if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return std::nullopt;
        if (plantedLink(path, st)) {
            FileWriteError failure;
            failure.cause = FileWriteError::Cause::ForeignLink;
            return failure;
        }
        if (hops == 40)
            return systemError(ELOOP);
        QByteArray link(4096, Qt::Uninitialized);
        const ssize_t n = ::readlink(path.constData(), link.data(), size_t(link.size()));
        if (n < 0)
            return systemError(errno);
        if (n >= link.size())
            return systemError(ENAMETOOLONG);
        link.truncate(n);
        path = link.startsWith('/') ? link : folderOf(path) + '/' + link;
    }
}

// A file of our own in the target's folder, removed again unless it was renamed into place.
class TempFile {
public:
    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile()
    {
        if (fd_ >= 0)
            ::close(fd_);
        if (!path_.isEmpty())
            ::unlink(path_.constData());
        if (lockFd_ >= 0)
            ::close(lockFd_);
    }

    // ".vexlo-KEY.NAME.part" next to the target. O_EXCL makes the call fail on anything
    // already there, a link included, so nothing planted in a shared folder is ever followed.
    // The file stays locked while we hold it: one that nobody holds was left by a writer that
    // died, and RemoveAbandonedFiles takes it away.
    Result create(const QByteArray& folder, const QByteArray& name)
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QByteArray candidate = folder + '/' + kTempPrefix + tempKey() + '.' + name.left(200) + kTempSuffix;
            const int fd = ::open(candidate.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (fd < 0) {
                if (errno != EEXIST)
                    return systemError(errno);
                continue;
            }
            fd_ = fd;
            path_ = candidate;
            // The lock lives on a second descriptor, so that it outlasts the checked close of
            // the first and holds until the file has its name.
            lockFd_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
            if (lockFd_ < 0)
                return systemError(errno);
            struct stat st;
            while (::flock(lockFd_, LOCK_EX) != 0)
                if (errno != EINTR)
                    return systemError(errno);
            if (::fstat(fd, &st) != 0)
                return systemError(errno);
            if (st.st_nlink > 0)
                return std::nullopt;
            // Taken away between its creation and our lock, as if abandoned: another name.
            ::close(fd);
            ::close(lockFd_);
            fd_ = lockFd_ = -1;
            path_.clear();
        }
        return systemError(EEXIST);
    }

    // The old file's permission bits, and its owner when root replaces it.
    Result takeOver(const struct stat& old)
    {
        if (::fchmod(fd_, old.st_mode & 0777) != 0)
            return systemError(errno);
        if (::geteuid() == 0 && ::fchown(fd_, old.st_uid, old.st_gid) != 0)
            return systemError(errno);
        return std::nullopt;
    }

    // Every byte written, on disk, and the file closed: a full disk shows at one of these
    // steps (some file systems report it only at fsync or close).
    Result write(QByteArrayView bytes)
    {
        const char* at = bytes.data();
        qsizetype left = bytes.size();
        while (left > 0) {
            const ssize_t n = ::write(fd_, at, size_t(left));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return systemError(n < 0 ? errno : ENOSPC);
            at += n;
            left -= n;
        }
        if (::fsync(fd_) != 0)
            return systemError(errno);
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0)
            return systemError(errno);
        return std::nullopt;
    }

    const QByteArray& path() const { return path_; }
    void renamed() { path_.clear(); }

private:
    QByteArray path_;
    int fd_ = -1;
    int lockFd_ = -1;
};

// The folder's entry for the new file is on disk too. File systems that cannot flush a
// folder say EINVAL; that is no failure.
Result syncFolder(const QByteArray& folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return systemError(errno);
    const int result = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    if (result != 0 && error != EINVAL && error != ENOTSUP)
        return systemError(error);
    return std::nullopt;
}

// Puts FROM under TO unless TO exists. EEXIST when it does.
int renameNoReplace(const QByteArray& from, const QByteArray& to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return errno;
    // A file system without the flag: a hard link fails on an existing name just as well.
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return 0;
    }
    if (errno != EPERM && errno != ENOTSUP && errno != ENOSYS)
        return errno;
    // Nor hard links (FAT): look first, then rename; only a race with another writer can lose.
    struct stat st;
    if (::lstat(to.constData(), &st) == 0)
        return EEXIST;
    return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
}

QString fileKind(mode_t mode, bool japanese)
{
    if (S_ISFIFO(mode))
        return japanese ? QStringLiteral("名前付きパイプ") : QStringLiteral("a FIFO");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return japanese ? QStringLiteral("デバイス") : QStringLiteral("a device");
    if (S_ISSOCK(mode))
        return japanese ? QStringLiteral("ソケット") : QStringLiteral("a socket");
    if (S_ISLNK(mode))
        return japanese ? QStringLiteral("リンク") : QStringLiteral("a link");
    return japanese ? QStringLiteral("特殊なファイル") : QStringLiteral("a special file");
}

}  // namespace

QString FileWriteError::text() const
{
    switch (cause) {
    case Cause::System:
        return error == EISDIR ? QStringLiteral("同じ名前のフォルダーがあります") : SystemErrorText(error);
    case Cause::NotRegular: return QStringLiteral("通常のファイルではありません (%1)").arg(fileKind(mode, true));
    case Cause::ReadOnly: return QStringLiteral("読み取り専用のファイルです");
    case Cause::NoFreeName: return QStringLiteral("空いているファイル名がありません");
    case Cause::ForeignLink: return QStringLiteral("他のユーザーが置いたリンクです (たどりません)");
    }
    return SystemErrorText(0);
}

QString FileWriteError::englishText() const
{
    switch (cause) {
    case Cause::System: return SystemErrorTextEnglish(error);
    case Cause::NotRegular: return QStringLiteral("not a regular file (%1)").arg(fileKind(mode, false));
    case Cause::ReadOnly: return QStringLiteral("the file is read-only");
    case Cause::ForeignLink: return QStringLiteral("a link another user put in a shared folder (not followed)");
    case Cause::NoFreeName: return QStringLiteral("no free file name left");
    }
    return {};
}

void FolderFlushes::Add(const QByteArray& folder)
{
    if (std::find(folders_.begin(), folders_.end(), folder) == folders_.end())
        folders_.push_back(folder);
}

std::optional<FileWriteError> FolderFlushes::Flush()
{
    Result first;
    for (const QByteArray& folder : std::exchange(folders_, {}))
        if (Result failure = syncFolder(folder); failure && !first)
            first = failure;
    return first;
}

std::optional<FileWriteError> ReplaceFile(const QString& path, QByteArrayView bytes, FolderFlushes* later)
{
    QByteArray target = EncodeFileName(path);
    if (target.isEmpty())
        return systemError(ENOENT);
    if (Result failure = followLinks(target))
        return failure;
    struct stat old;
    const bool exists = ::lstat(target.constData(), &old) == 0;
    if (!exists && errno != ENOENT)
        return systemError(errno);
    if (exists)
        if (Result refused = refuseTarget(target, old))
            return refused;

    const QByteArray folder = folderOf(target);
    TempFile temp;
    if (Result failure = temp.create(folder, nameOf(target)))
        return failure;
    if (exists)
        if (Result failure = temp.takeOver(old))
            return failure;
    if (Result failure = temp.write(bytes))
        return failure;
    // Something may have taken the name meanwhile; it is replaced only if it is a file.
    struct stat now;
    if (::lstat(target.constData(), &now) == 0)
        if (Result refused = refuseTarget(target, now))
            return refused;
    if (::rename(temp.path().constData(), target.constData()) != 0)
        return systemError(errno);
    temp.renamed();
    if (later) {
        later->Add(folder);
        return std::nullopt;
    }
    return syncFolder(folder);
}

std::optional<FileWriteError> WriteNewFile(const QString& folder, const std::function<QString(int)>& nameFor,
                                           int first, QByteArrayView bytes, QString* written, int* number)
{
    const QByteArray dir = folder.isEmpty() ? QByteArray(".") : EncodeFileName(folder);
    const QString firstName = nameFor(first);  // made once: it names the temporary file too
    TempFile temp;
    if (Result failure = temp.create(dir, EncodeFileName(firstName)))
        return failure;
    if (Result failure = temp.write(bytes))
        return failure;
    constexpr int kNamesTried = 100000;
    for (int n = first; n - first < kNamesTried; ++n) {
        const QString name = n == first ? firstName : nameFor(n);
        const int error = renameNoReplace(temp.path(), dir + '/' + EncodeFileName(name));
        if (error == EEXIST)
            continue;
        if (error != 0)
            return systemError(error);
        temp.renamed();
        if (written)
            *written = folder.isEmpty() ? name : folder + QLatin1Char('/') + name;
        if (number)
            *number = n;
        return syncFolder(dir);
    }
    FileWriteError failure;
    failure.cause = FileWriteError::Cause::NoFreeName;
    return failure;
}

std::optional<FileWriteError> RewriteNote(const QString& path, QByteArrayView bytes)
{
    const QByteArray target = EncodeFileName(path);
    if (target.isEmpty())
        return systemError(ENOENT);
    // O_NONBLOCK: a FIFO at the name, read by nobody, fails the open instead of holding it.
    const int fd = ::open(target.constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return ReplaceFile(path, bytes);  // none yet, or a link: made or refused as ever
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 || st.st_uid != ::geteuid() ||
        (st.st_mode & 0200) == 0) {
        ::close(fd);
        return ReplaceFile(path, bytes);
    }
    const char* at = bytes.data();
    qsizetype left = bytes.size();
    off_t offset = 0;
    while (left > 0) {
        const ssize_t n = ::pwrite(fd, at, size_t(left), offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            ::close(fd);
            return systemError(error);
        }
        at += n;
        left -= n;
        offset += n;
    }
    // Cut only when the old note was longer: a truncation to the same size is not free.
    if ((st.st_size > offset && ::ftruncate(fd, offset) != 0) || ::fdatasync(fd) != 0) {
        const int error = errno;
        ::close(fd);
        return systemError(error);
    }
    if (::close(fd) != 0)
        return systemError(errno);
    return std::nullopt;
}

int RemoveAbandonedFiles(const QString& folder)
{
    const QByteArray dir = EncodeFileName(folder);
    const int dirFd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return 0;
    DIR* entries = ::fdopendir(dirFd);
    if (!entries) {
        ::close(dirFd);
        return 0;
    }
    int removed = 0;
    while (const dirent* entry = ::readdir(entries)) {
        const QByteArray name(entry->d_name);
        if (!isTempName(name))
            continue;
        const int fd = ::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat held, named;
        // Ours only when nobody holds it and the name still stands for the file we hold.
        // A file of another user is never ours, whatever its name.
        if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && held.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(dirFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_ino == held.st_ino &&
            named.st_dev == held.st_dev && ::unlinkat(dirFd, entry->d_name, 0) == 0)
            ++removed;
        ::close(fd);
    }
    ::closedir(entries);
    return removed;
}

std::optional<FileWriteError> MoveNoReplace(const QString& from, const QString& to)
{
    const QByteArray target = EncodeFileName(to);
    if (const int error = renameNoReplace(EncodeFileName(from), target))
        return systemError(error);
    const qsizetype slash = target.lastIndexOf('/');
    return syncFolder(slash > 0 ? target.left(slash) : QByteArray("/"));
}

std::optional<FileWriteError> MakeFolders(const QString& path)
{
    const QByteArray p = EncodeFileName(path);
    if (p.isEmpty())
        return systemError(ENOENT);
    for (qsizetype slash = p.indexOf('/', 1);; slash = p.indexOf('/', slash + 1)) {
        const QByteArray prefix = slash < 0 ? p : p.left(slash);
        if (::mkdir(prefix.constData(), 0777) != 0 && errno != EEXIST)
            return systemError(errno);
        if (slash < 0)
            break;
    }
    struct stat st;
    if (::stat(p.constData(), &st) != 0)
        return systemError(errno);
    if (!S_ISDIR(st.st_mode))
        return systemError(ENOTDIR);
    return std::nullopt;
}

}  // namespace platform
