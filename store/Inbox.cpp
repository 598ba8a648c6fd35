#include "store/Inbox.h"

#include "platform/DurableFile.h"
#include "platform/FileNames.h"
#include "store/MemoContent.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// "YYYY-MM-DD HH.MM.SS": the start of a memo file's name, which sorts as the times do.
constexpr int kNameTimeBytes = 19;

bool startsWithNameTime(const char* name, size_t length)
{
    static const char pattern[] = "dddd-dd-dd dd.dd.dd";
    if (length < size_t(kNameTimeBytes) + 4 || name[0] == '.')
        return false;
    for (int i = 0; i < kNameTimeBytes; ++i)
        if (pattern[i] == 'd' ? (name[i] < '0' || name[i] > '9') : name[i] != pattern[i])
            return false;
    return true;
}

// The note of a library folder: the newest memo the device is known to have had, and the
// memo stored last whose "#" it may not have heard (empty when none), one a line.
struct DeliveredNote {
    QString vouched;
    QString unconfirmed;
    bool current = false;  // written after the last change of the folder
};

DeliveredNote readNote(const QString& folder, const QString& path)
{
    DeliveredNote note;
    // Opened without waiting (a FIFO would wait for a writer); only a regular file is read.
    const int fd = ::open(platform::EncodeFileName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return note;
    struct stat noted {};
    if (::fstat(fd, &noted) != 0 || !S_ISREG(noted.st_mode)) {
        ::close(fd);
        return note;
    }
    char text[4096];
    ssize_t length = 0;
    while (length < ssize_t(sizeof text)) {
        const ssize_t n = ::read(fd, text + length, sizeof text - size_t(length));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        length += n;
    }
    ::close(fd);
    const QByteArrayView bytes(text, length);
    const qsizetype first = bytes.indexOf('\n');
    note.vouched = QString::fromUtf8(bytes.first(first < 0 ? length : first));
    if (first >= 0) {
        const QByteArrayView rest = bytes.sliced(first + 1);
        const qsizetype second = rest.indexOf('\n');
        note.unconfirmed = QString::fromUtf8(second < 0 ? rest : rest.first(second));
    }
    // Nothing has come or gone in the folder since the note: it tells the newest memo too. (A
    // program killed after storing a memo, or a file added or removed, changes the folder.)
    struct stat changed {};
    note.current = ::stat(platform::EncodeFileName(folder).constData(), &changed) == 0 &&
                   (noted.st_mtim.tv_sec > changed.st_mtim.tv_sec ||
                    (noted.st_mtim.tv_sec == changed.st_mtim.tv_sec && noted.st_mtim.tv_nsec >= changed.st_mtim.tv_nsec));
    return note;
}

std::optional<TUnconfirmedMemo> recentMemo(const QString& folder, const QString& name, const QDateTime& now)
{
    const QDateTime arrived = TimeOfMemoFileName(name);
    // A memo of the future (a clock set back) is not taken for a recent one either.
    if (!arrived.isValid() || arrived < now.addSecs(-60 * kResendMinutes) || arrived > now.addSecs(60))
        return std::nullopt;
    TUnconfirmedMemo memo;
    memo.path = folder + QLatin1Char('/') + name;
    memo.key = ReadMemoContentKey(memo.path);
    if (memo.key.isEmpty())
        return std::nullopt;
    return memo;
}

}  // namespace

QString DeliveredNotePath(const QString& folder)
{
    const QByteArray id = QCryptographicHash::hash(QDir::cleanPath(QFileInfo(folder).absoluteFilePath()).toUtf8(),
                                                   QCryptographicHash::Sha1)
                              .toHex()
                              .left(16);
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/vexlo/delivered/") +
           QString::fromLatin1(id);
}

std::optional<TUnconfirmedMemo> FindUnconfirmedMemo(const QString& folder, const QDateTime& now)
{
    DIR* dir = ::opendir(platform::EncodeFileName(folder).constData());
    if (!dir)
        return std::nullopt;
    // The names with the latest time; the one written last among them when several share it.
    QByteArray newestTime;
    std::vector<QByteArray> newest;
    while (const dirent* e = ::readdir(dir)) {
        const size_t length = std::strlen(e->d_name);
        if (!startsWithNameTime(e->d_name, length) || qstrnicmp(e->d_name + length - 4, ".png", 4) != 0)
            continue;
        const int order = std::memcmp(e->d_name, newestTime.constData(), newestTime.isEmpty() ? 0 : kNameTimeBytes);
        if (newestTime.isEmpty() || order > 0) {
            newestTime = QByteArray(e->d_name, kNameTimeBytes);
            newest.assign(1, QByteArray(e->d_name, qsizetype(length)));
        } else if (order == 0) {
            newest.emplace_back(e->d_name, qsizetype(length));
        }
    }
    QByteArray chosen;
    qint64 chosenNs = -1;
    for (const QByteArray& name : newest) {
        struct stat st {};
        if (::fstatat(::dirfd(dir), name.constData(), &st, 0) != 0 || !S_ISREG(st.st_mode))
            continue;
        const qint64 ns = qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
        if (ns > chosenNs) {
            chosenNs = ns;
            chosen = name;
        }
    }
    ::closedir(dir);
    if (chosen.isEmpty())
        return std::nullopt;
    const QString name = platform::DecodeFileName(chosen);
    if (readNote(folder, DeliveredNotePath(folder)).vouched == name)
        return std::nullopt;
    return recentMemo(folder, name, now);
}

std::optional<TUnconfirmedMemo> TInbox::unconfirmedMemo(const QDateTime& now) const
{
    // The note of the last exchange tells it, unless the folder has changed since: then the
    // folder is listed.
    const DeliveredNote note = readNote(folder_, notePath());
    if (!note.current)
        return FindUnconfirmedMemo(folder_, now);
    if (note.unconfirmed.isEmpty())
        return std::nullopt;
    return recentMemo(folder_, note.unconfirmed, now);
}

TInbox::TInbox(QString folder, Writer writer) : folder_(std::move(folder)), writer_(std::move(writer)) {}

TInbox::TInbox(TMemoStore& store) : folder_(store.Folder()), store_(&store) {}

bool TInbox::Arrived(const TReceivedMemo& memo, QString& error)
{
    QString path;
    const QDateTime now = QDateTime::currentDateTime();
    std::optional<platform::FileWriteError> failure;
    if (store_) {
        TMemoMeta meta = MemoMetaOf(memo, now);
        meta.Content = MemoContentKey(memo.Picture.Image, meta.TitleCodes, meta.ReadingCodes);
        if (std::exchange(firstOfExchange_, false)) {
            const std::optional<TUnconfirmedMemo> before = unconfirmedMemo(now);
            if (before && before->key == meta.Content) {
                ++recognised_;
                vouched_ = std::exchange(newest_, before->path.mid(folder_.size() + 1));
                paths_.push_back(before->path);
                if (Recognised)
                    Recognised(memo, before->path);
                return true;
            }
        }
        failure = store_->Store(memo.Picture.Image, meta, &path);
    } else {
        failure = writer_(memo, now, &path);
    }
    if (failure) {
        if (NotStored)
            NotStored(memo, *failure);
        error = StoreFailureText(folder_, *failure, stored_);
        return false;
    }
    ++stored_;
    if (store_)
        vouched_ = std::exchange(newest_, path.mid(folder_.size() + 1));
    paths_.push_back(path);
    if (Stored)
        Stored(memo, path);
    return true;
}

void TInbox::ExchangeEnded(bool completed)
{
    firstOfExchange_ = true;
    paths_.clear();
    // A memo that another one followed in the same exchange had its "#": the device went on.
    // Only a note: when it cannot be written, a memo sent again on purpose may be taken for a
    // repeat (it is in the library all the same).
    if (store_ && !newest_.isEmpty()) {
        const QString vouched = completed ? newest_ : vouched_;
        const QString unconfirmed = completed || vouched == newest_ ? QString() : newest_;
        // Written after the memos, so that it is newer than the folder's last change, over the
        // note of the exchange before where it stands (one flush to disk, no new file) and
        // never onto a FIFO that nobody reads. A note that cannot be written, or that a power
        // cut leaves torn, names no memo (or no memo there is), and the next look lists the
        // folder or finds none.
        const QString& path = notePath();
        const QByteArray text = (vouched + QLatin1Char('\n') + unconfirmed + QLatin1Char('\n')).toUtf8();
        if (platform::RewriteNote(path, text) && !platform::MakeFolders(QFileInfo(path).path()))
            (void)platform::ReplaceFile(path, text);
    }
    newest_.clear();
    vouched_.clear();
}

const QString& TInbox::notePath() const
{
    if (notePath_.isEmpty())
        notePath_ = DeliveredNotePath(folder_);
    return notePath_;
}

TReceiveSink TInbox::Sink()
{
    TReceiveSink sink;
    sink.Arrived = [this](const TReceivedMemo& memo, QString& error) { return Arrived(memo, error); };
    // The device went on: the memos so far had their "#".
    sink.Heard = [this] { vouched_ = newest_; };
    sink.Delivered = [this](TReceivedMemo& memo) {
        // Memos are delivered in the order they arrived, and only those that were written.
        QString path;
        if (!paths_.empty()) {
            path = std::move(paths_.front());
            paths_.pop_front();
        }
        if (Delivered)
            Delivered(memo, path);
    };
    return sink;
}
