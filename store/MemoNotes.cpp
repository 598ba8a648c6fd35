#include "store/MemoNotes.h"

#include "store/KanaFold.h"
#include "store/LibraryFile.h"
#include "store/PngText.h"
#include "picture/Picture.h"
#include "platform/DurableFile.h"
#include "platform/FileNames.h"
#include "platform/SystemError.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

MemoNotesError systemError(int error)
{
    return {platform::SystemErrorText(error), platform::SystemErrorTextEnglish(error)};
}

bool isPngName(const QString& path)
{
    return path.endsWith(QLatin1String(".png"), Qt::CaseInsensitive);
}

// The whole file at PATH as it is now, with its status; a FIFO under a memo's name must not
// hold us up (O_NONBLOCK).
std::optional<MemoNotesError> readWhole(const QString& path, QByteArray& bytes, struct stat& st)
{
    const QByteArray local = platform::EncodeFileName(path);
    const int fd = ::open(local.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return systemError(errno);
    QFile file;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxPictureFileBytes ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return MemoNotesError{QStringLiteral("メモのファイルではありません"), QStringLiteral("not a memo file")};
    }
    bytes = file.readAll();
    if (bytes.size() != st.st_size)
        return systemError(EIO);
    return std::nullopt;
}

std::optional<MemoNotesError> tooLong(const MemoNotes& notes)
{
    if (notes.note.size() > kMaxNoteLength)
        return MemoNotesError{QStringLiteral("メモ書きが長すぎます (%1 文字まで)").arg(kMaxNoteLength),
                              QStringLiteral("the note is too long (at most %1 characters)").arg(kMaxNoteLength)};
    if (notes.tags.size() > kMaxTags)
        return MemoNotesError{QStringLiteral("タグが多すぎます (%1 個まで)").arg(kMaxTags),
                              QStringLiteral("too many tags (at most %1)").arg(kMaxTags)};
    for (const QString& tag : notes.tags)
        if (tag.size() > kMaxTagLength)
            return MemoNotesError{QStringLiteral("タグが長すぎます (%1 文字まで): %2").arg(kMaxTagLength).arg(tag.left(20)),
                                  QStringLiteral("a tag is too long (at most %1 characters)").arg(kMaxTagLength)};
    return std::nullopt;
}

}  // namespace

QStringList CleanTags(const QStringList& tags)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    QStringList clean;
    QSet<QString> seen;
    for (QString tag : tags) {
        tag = tag.trimmed();
        while (tag.startsWith(QLatin1Char('#')) || tag.startsWith(QChar(0xFF03)))  // # or ＃
            tag = tag.mid(1).trimmed();
        // Most tags have no blanks at all: the expression only for those that have.
        if (std::any_of(tag.cbegin(), tag.cend(), [](QChar c) { return c.isSpace(); }))
            tag.replace(blanks, QStringLiteral(" "));
        if (tag.isEmpty())
            continue;
        const QString key = SearchKey(tag);
        if (seen.contains(key))
            continue;
        seen.insert(key);
        clean << tag;
    }
    return clean;
}

std::optional<MemoNotes> ReadMemoNotes(const QByteArray& bytes)
{
    static const QList<QByteArray> keys = {kMemoTagsKey, kMemoNoteKey, kMemoStarredKey};
    const std::optional<PngText> png = ReadPngText(bytes, keys);
    if (!png)
        return std::nullopt;
    MemoNotes notes;
    for (const auto& [key, value] : png->texts) {
        if (key == QLatin1StringView(kMemoTagsKey))
            notes.tags = CleanTags(value.split(QLatin1Char('\n')));
        else if (key == QLatin1StringView(kMemoNoteKey))  // another program's line ends read as "\n"
            notes.note = QString(value).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
        else if (key == QLatin1StringView(kMemoStarredKey))
            notes.starred = value.trimmed() == QLatin1String("1");
    }
    return notes;
}

std::optional<MemoNotes> ReadMemoNotesFile(const QString& path)
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
    return ReadMemoNotes(file.read(kMemoHeadBytes));
}

MemoNotes ApplyNotesChange(const MemoNotes& notes, const MemoNotesChange& change)
{
    MemoNotes changed = notes;
    QSet<QString> removed;
    for (const QString& tag : CleanTags(change.removeTags))
        removed.insert(SearchKey(tag));
    changed.tags.removeIf([&](const QString& tag) { return removed.contains(SearchKey(tag)); });
    changed.tags = CleanTags(changed.tags + change.addTags);
    if (change.note)
        changed.note = *change.note;
    if (change.starred)
        changed.starred = *change.starred;
    return changed;
}

namespace {

// Writes NOTES into the PNG whose bytes (read with status ST) are BYTES.
std::optional<MemoNotesError> writeNotes(const QString& path, const QByteArray& bytes, const struct stat& st,
                                         const MemoNotes& given, const std::function<MemoNotes(const MemoNotes&)>& change,
                                         MemoNotes* before, platform::FolderFlushes* later)
{
    const std::optional<MemoNotes> old = ReadMemoNotes(bytes);
    if (!old)
        return MemoNotesError{QStringLiteral("PNG のファイルではありません"), QStringLiteral("not a PNG file")};
    if (before)
        *before = *old;
    MemoNotes notes = change ? change(*old) : given;
    notes.tags = CleanTags(notes.tags);
    if (const auto failure = tooLong(notes))
        return failure;
    if (*old == notes)
        return std::nullopt;
    QList<QPair<QString, QString>> texts;
    QStringList removed;
    auto put = [&](const char* key, bool present, const QString& text) {
        if (present)
            texts.append({QLatin1String(key), text});
        else
            removed << QLatin1String(key);
    };
    put(kMemoTagsKey, !notes.tags.isEmpty(), notes.tags.join(QLatin1Char('\n')));
    put(kMemoNoteKey, !notes.note.isEmpty(), notes.note);
    put(kMemoStarredKey, notes.starred, QStringLiteral("1"));
    const std::optional<QByteArray> rewritten = WithPngText(bytes, texts, removed);
    if (!rewritten)
        return MemoNotesError{QStringLiteral("ファイルが壊れています"), QStringLiteral("the file is damaged")};
    const bool datedByFile = ReadPngText(bytes, {kMemoArrivedKey})->texts.isEmpty();
    if (const auto failure = platform::ReplaceFile(path, *rewritten, later))
        return MemoNotesError{failure->text(), failure->englishText()};
    if (datedByFile) {
        struct timespec times[2] = {st.st_atim, st.st_mtim};
        if (++times[1].tv_nsec >= 1'000'000'000) {
            times[1].tv_nsec = 0;
            ++times[1].tv_sec;
        }
        ::utimensat(AT_FDCWD, platform::EncodeFileName(path).constData(), times, 0);
    }
    return std::nullopt;
}

std::optional<MemoNotesError> rewrite(const QString& path, const MemoNotes& notes,
                                      const std::function<MemoNotes(const MemoNotes&)>& change, MemoNotes* before,
                                      platform::FolderFlushes* later)
{
    if (!isPngName(path))
        return MemoNotesError{QStringLiteral("BMP のメモにはタグ・メモ書き・スターを付けられません (PNG のメモだけに付けられます)"),
                              QStringLiteral("only a PNG memo can carry tags, a note or a star")};
    QByteArray bytes;
    struct stat st {};
    if (const auto failure = readWhole(path, bytes, st))
        return failure;
    return writeNotes(path, bytes, st, notes, change, before, later);
}

}  // namespace

std::optional<MemoNotesError> WriteMemoNotes(const QString& path, const MemoNotes& notes, MemoNotes* before,
                                             platform::FolderFlushes* later)
{
    return rewrite(path, notes, {}, before, later);
}

std::optional<MemoNotesError> ChangeMemoNotes(const QString& path, const MemoNotesChange& change, MemoNotes* before,
                                              platform::FolderFlushes* later)
{
    return rewrite(path, {}, [&](const MemoNotes& old) { return ApplyNotesChange(old, change); }, before, later);
}
