#include "store/IndexPlace.h"

#include "platform/DurableFile.h"
#include "platform/FileNames.h"
#include "platform/SystemError.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kRecordSuffix[] = ".folder";
constexpr char kIndexSuffix[] = ".sqlite";

// FOLDER's path with every link resolved, as the file system has it; empty when it is no folder.
QByteArray canonicalBytes(const QString& folder)
{
    const QByteArray path = platform::EncodeFileName(folder);
    if (path.isEmpty())
        return {};
    char* resolved = ::realpath(path.constData(), nullptr);
    if (!resolved)
        return {};
    QByteArray canonical(resolved);
    std::free(resolved);
    struct stat st {};
    if (::stat(canonical.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return {};
    return canonical;
}

QString stemFor(const QByteArray& canonical)
{
    return QStringLiteral("index-") +
           QString::fromLatin1(QCryptographicHash::hash(canonical, QCryptographicHash::Sha256).toHex().left(16));
}

// PATH and the folders above it that are missing, each made with mode 0700.
int makePrivateFolders(const QByteArray& path)
{
    for (qsizetype slash = path.indexOf('/', 1);; slash = path.indexOf('/', slash + 1)) {
        const QByteArray prefix = slash < 0 ? path : path.left(slash);
        if (::mkdir(prefix.constData(), 0700) != 0 && errno != EEXIST)
            return errno;
        if (slash < 0)
            break;
    }
    struct stat st {};
    if (::stat(path.constData(), &st) != 0)
        return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

// A small regular file's bytes; nothing when it is missing, no regular file, or unreadable.
std::optional<QByteArray> readSmallFile(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > PATH_MAX + 1) {
        ::close(fd);
        return std::nullopt;
    }
    QByteArray bytes(qsizetype(st.st_size), '\0');
    const ssize_t n = ::read(fd, bytes.data(), size_t(bytes.size()));
    ::close(fd);
    if (n < 0)
        return std::nullopt;
    bytes.truncate(n);
    return bytes;
}

void removeRegular(const QByteArray& path)
{
    struct stat st {};
    if (::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode))
        ::unlink(path.constData());
}

// The indexes of folders that are gone, and not opened for kIndexKeptDays.
void pruneForgotten(const QByteArray& cache, const QString& keep)
{
    DIR* dir = ::opendir(cache.constData());
    if (!dir)
        return;
    const QByteArray keepRecord = QFile::encodeName(keep) + kRecordSuffix;
    const std::time_t oldest = std::time(nullptr) - std::time_t(kIndexKeptDays) * 24 * 3600;
    std::vector<QByteArray> stems;
    while (const dirent* e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if (name.startsWith("index-") && name.endsWith(kRecordSuffix) && name != keepRecord)
            stems.push_back(name.chopped(qsizetype(sizeof kRecordSuffix) - 1));
    }
    ::closedir(dir);
    for (const QByteArray& stem : stems) {
        const QByteArray record = cache + '/' + stem + kRecordSuffix;
        struct stat st {};
        if (::lstat(record.constData(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_mtime >= oldest)
            continue;
        const std::optional<QByteArray> named = readSmallFile(record);
        if (!named)
            continue;
        const QByteArray folder = named->endsWith('\n') ? named->chopped(1) : *named;
        struct stat there {};
        if (folder.isEmpty() || ::stat(folder.constData(), &there) == 0 || (errno != ENOENT && errno != ENOTDIR))
            continue;
        const QByteArray index = cache + '/' + stem + kIndexSuffix;
        for (const char* suffix : {"", "-wal", "-shm"})
            removeRegular(index + suffix);
        removeRegular(record);
    }
}

IndexPlaceProblem problem(const QString& where, const QString& why)
{
    return {QStringLiteral("メモ一覧の索引を %1 に置けません。\n理由: %2\n"
                           "一覧は使えますが、開くたびにすべてのメモのファイルを読み直します。")
                .arg(QDir::toNativeSeparators(where), why)};
}

}  // namespace

QString IndexCacheFolder()
{
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (!base.startsWith(QLatin1Char('/')))  // unset, empty or relative: the default
        base = QDir::homePath() + QStringLiteral("/.cache");
    return QDir::cleanPath(base) + QStringLiteral("/vexlo");
}

QString IndexFileFor(const QString& folder)
{
    const QByteArray canonical = canonicalBytes(folder);
    if (canonical.isEmpty())
        return {};
    return IndexCacheFolder() + QLatin1Char('/') + stemFor(canonical) + QLatin1String(kIndexSuffix);
}

std::variant<QString, IndexPlaceProblem> PrepareIndexPlace(const QString& folder)
{
    const QString cacheFolder = IndexCacheFolder();
    const QByteArray canonical = canonicalBytes(folder);
    if (canonical.isEmpty())
        return problem(cacheFolder, platform::SystemErrorText(ENOENT));
    const QByteArray cache = platform::EncodeFileName(cacheFolder);
    if (const int error = makePrivateFolders(cache))
        return problem(cacheFolder, platform::SystemErrorText(error));
    if (::access(cache.constData(), W_OK | X_OK) != 0)
        return problem(cacheFolder, platform::SystemErrorText(errno));

    const QString stem = stemFor(canonical);
    const QString record = cacheFolder + QLatin1Char('/') + stem + QLatin1String(kRecordSuffix);
    const QByteArray recordBytes = platform::EncodeFileName(record);
    const QByteArray wanted = canonical + '\n';
    if (const std::optional<QByteArray> held = readSmallFile(recordBytes); held && *held == wanted) {
        ::utimensat(AT_FDCWD, recordBytes.constData(), nullptr, 0);  // opened today
    } else if (held && !held->isEmpty()) {
        return problem(cacheFolder, QStringLiteral("%1 は別のフォルダー (%2) の索引です")
                                        .arg(stem, platform::DecodeFileName(held->trimmed())));
    } else if (const auto failure = platform::ReplaceFile(record, wanted)) {
        return problem(cacheFolder, failure->text());
    }
    pruneForgotten(cache, stem);
    return cacheFolder + QLatin1Char('/') + stem + QLatin1String(kIndexSuffix);
}
