#include "store/MemoRename.h"

#include "store/LibraryFile.h"
#include "store/PngText.h"
#include "picture/Picture.h"
#include "platform/DurableFile.h"
#include "platform/SystemError.h"
#include "platform/FileNames.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The time a memo's name starts with, else its arrival in local time, else none.
QDateTime nameTime(const QString& fileName, const QByteArray& bytes)
{
    const QDateTime fromName = TimeOfMemoFileName(fileName);
    if (fromName.isValid())
        return fromName;
    if (const std::optional<PngText> png = ReadPngText(bytes, {kMemoArrivedKey})) {
        const QDateTime arrived = QDateTime::fromString(png->text(QLatin1String(kMemoArrivedKey)), Qt::ISODate);
        if (arrived.isValid())
            return arrived.toLocalTime();
    }
    return {};
}

}  // namespace

std::optional<QString> RenameMemo(const QString& folder, const QString& fileName, const QString& title,
                                  const QString& reading, QString* newName)
{
    const QString path = folder + QLatin1Char('/') + fileName;
    struct stat st {};
    if (::stat(platform::EncodeFileName(path).constData(), &st) != 0)
        return platform::SystemErrorText(errno);
    if (!S_ISREG(st.st_mode) || st.st_size > kMaxPictureFileBytes)
        return QStringLiteral("メモのファイルではありません");
    const int fd = ::open(platform::EncodeFileName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return platform::SystemErrorText(errno);
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return platform::SystemErrorText(EACCES);
    }
    const QByteArray bytes = file.readAll();
    file.close();
    if (bytes.size() != st.st_size)
        return platform::SystemErrorText(EIO);

    const bool png = fileName.endsWith(QLatin1String(".png"), Qt::CaseInsensitive);
    QByteArray renamed = bytes;
    if (png) {
        const std::optional<QByteArray> withText =
            WithPngText(bytes, {{QLatin1String(kMemoTitleKey), title}, {QLatin1String(kMemoReadingKey), reading}});
        if (!withText)
            return QStringLiteral("ファイルが壊れています");
        renamed = *withText;
    }
    const QString extension = fileName.mid(fileName.lastIndexOf(QLatin1Char('.')));
    const QDateTime time = nameTime(fileName, bytes);
    // A machine part after the time stays with it (store/SyncedFolder.h).
    const QString machine = MachinePartOfMemoFileName(fileName);
    auto nameFor = [&](int n) { return MemoFileName(time, title, n, extension, machine); };

    // The same title keeps the same name, number included.
    for (int n = 1; n <= 1000; ++n) {
        if (nameFor(n) != fileName)
            continue;
        if (renamed != bytes)
            if (const auto failure = platform::ReplaceFile(path, renamed))
                return failure->text();
        if (newName)
            *newName = fileName;
        return std::nullopt;
    }

    QString written;
    if (const auto failure = platform::WriteNewFile(folder, nameFor, 1, renamed, &written))
        return failure->text();
    // A memo without an arrival time is dated by its file: the new file keeps the old time.
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::utimensat(AT_FDCWD, platform::EncodeFileName(written).constData(), times, 0);
    if (newName)
        *newName = written.mid(folder.size() + 1);
    if (::unlink(platform::EncodeFileName(path).constData()) != 0)
        return QStringLiteral("%1 を削除できません\n%2").arg(fileName, platform::SystemErrorText(errno));
    return std::nullopt;
}
