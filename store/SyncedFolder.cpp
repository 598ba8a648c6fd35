#include "store/SyncedFolder.h"

#include "platform/DurableFile.h"
#include "platform/FileNames.h"

#include <QCryptographicHash>
#include <QDate>
#include <QRegularExpression>
#include <QSysInfo>
#include <QTime>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>

namespace {

// The marks of a sync tool in the folder at PATH (its bytes).
bool holdsSyncMark(const QByteArray& path)
{
    struct stat st {};
    auto is = [&](const char* name) { return ::lstat((path + '/' + name).constData(), &st) == 0; };
    if (is(".stfolder") || is(".owncloudsync.log") || is(".nextcloudsync.log"))
        return true;
    // A file at the top of a Dropbox; ~/.dropbox, a folder, is only its settings.
    if (is(".dropbox") && S_ISREG(st.st_mode))
        return true;
    DIR* dir = ::opendir(path.isEmpty() ? "/" : path.constData());
    if (!dir)
        return false;
    bool found = false;
    while (const dirent* e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if ((name.startsWith(".sync_") || name.startsWith("._sync_")) && name.endsWith(".db")) {
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

bool realDate(const QString& yyyymmdd, const QString& hhmmss = {})
{
    const QDate date = QDate::fromString(yyyymmdd, QStringLiteral("yyyyMMdd"));
    return date.isValid() && (hhmmss.isEmpty() || QTime::fromString(hhmmss, QStringLiteral("HHmmss")).isValid());
}

// The name one conflict copy stands for, one level down; nothing when NAME is none.
std::optional<QString> oneLevelDown(const QString& name)
{
    // Most names are none: the expressions only for those that may be (a list of thousands).
    if (!name.contains(QLatin1String("conflict"), Qt::CaseInsensitive) && !name.contains(QStringLiteral("競合コピー")) &&
        !name.endsWith(QLatin1String(".orig"), Qt::CaseInsensitive))
        return std::nullopt;
    constexpr auto ci = QRegularExpression::CaseInsensitiveOption;
    static const QRegularExpression syncthing(
        QStringLiteral(R"(^(.+)\.sync-conflict-(\d{8})-(\d{6})-[0-9a-z]{7}(\.[^./]+)?$)"), ci);
    static const QRegularExpression copy(
        QStringLiteral(R"(^(.+?) \(([^()]*(?:conflicted copy|競合コピー)[^()]*)\)( \(\d+\))?(\.[^./ ]+)$)"), ci);
    static const QRegularExpression copyDate(QStringLiteral(R"((\d{4})-(\d{2})-(\d{2}))"));
    static const QRegularExpression owncloud(QStringLiteral(R"(^(.+)_conflict-(\d{8})-(\d{6})(\.[^./]+)$)"), ci);
    static const QRegularExpression orig(QStringLiteral(R"(^(.+\.(?:png|bmp))\.orig$)"), ci);

    if (const QRegularExpressionMatch m = syncthing.match(name); m.hasMatch() && realDate(m.captured(2), m.captured(3)))
        return m.captured(1) + m.captured(4);
    if (const QRegularExpressionMatch m = copy.match(name); m.hasMatch()) {
        const QRegularExpressionMatch date = copyDate.match(m.captured(2));
        if (date.hasMatch() && realDate(date.captured(1) + date.captured(2) + date.captured(3)))
            return m.captured(1) + m.captured(4);
    }
    if (const QRegularExpressionMatch m = owncloud.match(name); m.hasMatch() && realDate(m.captured(2), m.captured(3)))
        return m.captured(1) + m.captured(4);
    if (const QRegularExpressionMatch m = orig.match(name); m.hasMatch())
        return m.captured(1);
    return std::nullopt;
}

QByteArray resolvedPath(const QString& folder)
{
    QByteArray path = platform::EncodeFileName(folder);
    if (char* resolved = ::realpath(path.constData(), nullptr)) {
        path = resolved;
        std::free(resolved);
    }
    return path;
}

// The folders from PATH up to the root, the root as an empty path.
template <typename Visit>
bool anyLevel(QByteArray path, const Visit& visit)
{
    while (!path.isEmpty()) {
        if (visit(path))
            return true;
        const qsizetype slash = path.lastIndexOf('/');
        if (slash <= 0)
            break;
        path.truncate(slash);
    }
    return visit(QByteArray());
}

}  // namespace

bool IsSyncedFolder(const QString& folder)
{
    // From the folder up to the root; a part not made yet has no marks.
    return anyLevel(resolvedPath(folder), holdsSyncMark);
}

TSyncedFolderCheck::TSyncedFolderCheck(QString folder) : folder_(std::move(folder)) {}

TSyncedFolderCheck::Level TSyncedFolderCheck::levelAt(const QByteArray& path)
{
    Level level;
    level.path = path;
    struct stat st {};
    if (::stat(path.isEmpty() ? "/" : path.constData(), &st) == 0) {
        level.exists = true;
        level.device = st.st_dev;
        level.inode = st.st_ino;
        level.changed = st.st_mtim;
    }
    return level;
}

bool TSyncedFolderCheck::same(const Level& a, const Level& b)
{
    return a.exists == b.exists && a.device == b.device && a.inode == b.inode &&
           a.changed.tv_sec == b.changed.tv_sec && a.changed.tv_nsec == b.changed.tv_nsec;
}

bool TSyncedFolderCheck::IsSynced()
{
    // A mark comes or goes with a change of the folder that holds it. Folder times are kept
    // to the kernel's tick, so a mark put there in the same tick as the last look shows the
    // same time: the folders are looked through again once a minute all the same.
    const auto now = std::chrono::steady_clock::now();
    const QByteArray path = resolvedPath(folder_);
    if (known_ && path == resolved_ && now - lookedAt_ < std::chrono::minutes(1) &&
        std::all_of(levels_.begin(), levels_.end(), [](const Level& level) { return same(level, levelAt(level.path)); }))
        return synced_;
    levels_.clear();
    // Each folder's time taken before it is looked through: a mark put there meanwhile
    // changes it again.
    synced_ = anyLevel(path, [this](const QByteArray& level) {
        levels_.push_back(levelAt(level));
        return holdsSyncMark(level);
    });
    resolved_ = path;
    lookedAt_ = now;
    known_ = true;
    return synced_;
}

void TSyncedFolderCheck::Changed()
{
    if (known_ && !levels_.empty())
        levels_.front() = levelAt(levels_.front().path);
}

QString MachinePart()
{
    static const QString part = [] {
        QByteArray id = QSysInfo::machineUniqueId();
        if (id.isEmpty())
            id = QSysInfo::machineHostName().toUtf8();
        return QString::fromLatin1(
            QCryptographicHash::hash("VEXLO machine part\n" + id, QCryptographicHash::Sha256).toHex().left(4));
    }();
    return part;
}

std::optional<QString> ConflictCopyOf(const QString& fileName)
{
    std::optional<QString> original;
    QString name = fileName;
    for (int level = 0; level < 8; ++level) {
        std::optional<QString> down = oneLevelDown(name);
        if (!down)
            break;
        name = *down;
        original = name;
    }
    return original;
}

std::optional<QString> KeepConflictVersion(const QString& folder, const QString& keep, const QStringList& others,
                                           QString* kept, QStringList* trashed)
{
    const QString original = ConflictCopyOf(keep).value_or(keep);
    for (const QString& other : others)
        if (other == keep || ConflictCopyOf(other).value_or(other) != original)
            return QStringLiteral("%1 は %2 の別の版ではありません").arg(other, keep);
    if (kept)
        *kept = keep;
    // The copies first, the original last: when one cannot go, the original is still there.
    QStringList order = others;
    std::stable_partition(order.begin(), order.end(), [&](const QString& name) { return name != original; });
    for (const QString& other : order) {
        if (const std::optional<QString> why = platform::MoveToTrash(folder + QLatin1Char('/') + other))
            return QStringLiteral("%1 をごみ箱に移動できません (ファイルはそのままです)\n%2").arg(other, *why);
        if (trashed)
            *trashed << other;
    }
    if (keep == original)
        return std::nullopt;
    if (const auto failure =
            platform::MoveNoReplace(folder + QLatin1Char('/') + keep, folder + QLatin1Char('/') + original)) {
        if (failure->cause == platform::FileWriteError::Cause::System && failure->error == EEXIST)
            return QStringLiteral("%1 の名前を %2 に戻せません: その名前のファイルが新しくできています。"
                                  "残したファイルは %1 のままです。")
                .arg(keep, original);
        return QStringLiteral("%1 の名前を %2 に戻せません (残したファイルは %1 のままです)\n%3")
            .arg(keep, original, failure->text());
    }
    if (kept)
        *kept = original;
    return std::nullopt;
}
