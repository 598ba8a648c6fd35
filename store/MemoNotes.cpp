#include "store/MemoNotes.h"

#include "platform/FileNames.h"
#include "store/MemoFile.h"
#include "store/PngText.h"

#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::optional<TMemoNotes> ParseMemoNotes(QByteArrayView bytes)
{
    static const QList<QByteArray> keys = {kMemoTagsKey, kMemoNoteKey, kMemoStarredKey};
    const std::optional<PngText> png =
        ReadPngText(bytes.first(std::min<qsizetype>(bytes.size(), MaxMetaBytes)).toByteArray(), keys);
    if (!png)
        return std::nullopt;
    TMemoNotes notes;
    QString note = png->text(QString::fromLatin1(kMemoNoteKey));
    note.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    note.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    notes.Note = note;
    const QString tags = png->text(QString::fromLatin1(kMemoTagsKey));
    for (const QString& line : tags.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")))) {
        const QString tag = line.trimmed();
        if (!tag.isEmpty() && !notes.Tags.contains(tag))
            notes.Tags << tag;
    }
    notes.Starred = png->text(QString::fromLatin1(kMemoStarredKey)) == QLatin1String("1");
    return notes;
}

std::optional<TMemoNotes> ReadMemoNotes(const QString& path)
{
    // Opened without waiting (a FIFO would wait for a writer); only a regular file is read.
    const int fd = ::open(platform::EncodeFileName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return std::nullopt;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return ParseMemoNotes(file.read(MaxMetaBytes));
}
