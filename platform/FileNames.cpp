#include "platform/FileNames.h"

#include "platform/SystemError.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr char32_t kByteBase = 0x10FF00;  // U+10FF00 + byte: a byte that is not UTF-8 text

bool isByteChar(char32_t c)
{
    return c >= kByteBase && c <= kByteBase + 0xFF;
}

// The code point of the well-formed UTF-8 character at AT (its length in LENGTH), or -1.
long utf8At(const QByteArray& bytes, qsizetype at, int& length)
{
    const auto b = [&](qsizetype i) { return uchar(bytes[i]); };
    const uchar first = b(at);
    if (first < 0x80) {
        length = 1;
        return first;
    }
    long c;
    long least;
    if ((first & 0xE0) == 0xC0) {
        length = 2;
        c = first & 0x1F;
        least = 0x80;
    } else if ((first & 0xF0) == 0xE0) {
        length = 3;
        c = first & 0x0F;
        least = 0x800;
    } else if ((first & 0xF8) == 0xF0) {
        length = 4;
        c = first & 0x07;
        least = 0x10000;
    } else {
        return -1;
    }
    if (at + length > bytes.size())
        return -1;
    for (int i = 1; i < length; ++i) {
        if ((b(at + i) & 0xC0) != 0x80)
            return -1;
        c = c << 6 | (b(at + i) & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return -1;  // overlong, beyond Unicode, or a surrogate
    return c;
}

void appendChar(QString& out, char32_t c)
{
    if (c < 0x10000) {
        out += QChar(char16_t(c));
    } else {
        out += QChar(QChar::highSurrogate(c));
        out += QChar(QChar::lowSurrogate(c));
    }
}

}  // namespace

QString DecodeFileName(const QByteArray& bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (qsizetype at = 0; at < bytes.size();) {
        int length = 1;
        const long c = utf8At(bytes, at, length);
        if (c < 0 || isByteChar(char32_t(c))) {
            appendChar(out, kByteBase + uchar(bytes[at]));
            ++at;
        } else {
            appendChar(out, char32_t(c));
            at += length;
        }
    }
    return out;
}

QByteArray EncodeFileName(const QString& text)
{
    if (!NameHasForeignBytes(text))
        return QFile::encodeName(text);
    QByteArray out;
    const QList<uint> chars = text.toUcs4();
    QString plain;
    for (const uint c : chars) {
        if (isByteChar(char32_t(c))) {
            out += QFile::encodeName(plain);
            plain.clear();
            out += char(c - kByteBase);
        } else {
            appendChar(plain, char32_t(c));
        }
    }
    return out + QFile::encodeName(plain);
}

bool NameHasForeignBytes(const QString& text)
{
    // U+10FF00..U+10FFFF as UTF-16: the high surrogate U+DBFF, then U+DF00..U+DFFF.
    for (qsizetype i = 0; i + 1 < text.size(); ++i)
        if (text[i].unicode() == 0xDBFF && text[i + 1].unicode() >= 0xDF00 && text[i + 1].unicode() <= 0xDFFF)
            return true;
    return false;
}

std::optional<QString> MoveToTrash(const QString& path)
{
    // The home trash and its two folders, made when missing. Qt, when it cannot make them (a
    // file named Trash), puts the file into "files" of the working folder instead: never let it.
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty())
        dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    QDir().mkpath(dataHome);
    const QByteArray trash = EncodeFileName(dataHome) + "/Trash";
    for (const QByteArray& dir : {trash, trash + "/files", trash + "/info"}) {
        struct stat made {};
        if (::mkdir(dir.constData(), 0700) != 0 && errno != EEXIST)
            return SystemErrorText(errno);
        if (::stat(dir.constData(), &made) != 0)
            return SystemErrorText(errno);
        if (!S_ISDIR(made.st_mode))
            return SystemErrorText(ENOTDIR);
    }
    if (!NameHasForeignBytes(path)) {
        QFile file(path);
        if (file.moveToTrash())
            return std::nullopt;
        return file.errorString().isEmpty() ? SystemErrorText(EIO) : file.errorString();
    }
    // Qt cannot name this file: the home trash by hand, laid out as freedesktop.org trash folders are.
    const QByteArray source = EncodeFileName(QFileInfo(path).absoluteFilePath());
    struct stat st {};
    if (::lstat(source.constData(), &st) != 0)
        return SystemErrorText(errno);
    struct stat trashSt {};
    if (::stat((trash + "/files").constData(), &trashSt) != 0)
        return SystemErrorText(errno);
    if (trashSt.st_dev != st.st_dev)
        return SystemErrorText(EXDEV);  // a trash on another disk would take a copy
    const QByteArray base = source.mid(source.lastIndexOf('/') + 1);
    const QByteArray info = "[Trash Info]\nPath=" + source.toPercentEncoding("/") +
                            "\nDeletionDate=" +
                            QDateTime::currentDateTime().toString(Qt::ISODate).left(19).toLatin1() + "\n";
    for (int n = 1; n < 10000; ++n) {
        const QByteArray name = n == 1 ? base : base + '.' + QByteArray::number(n);
        const QByteArray infoPath = trash + "/info/" + name + ".trashinfo";
        const int fd = ::open(infoPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return SystemErrorText(errno);
        }
        const bool written = ::write(fd, info.constData(), size_t(info.size())) == info.size();
        const bool closed = ::close(fd) == 0;
        if (!written || !closed) {
            ::unlink(infoPath.constData());
            return SystemErrorText(written ? errno : ENOSPC);
        }
        if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, (trash + "/files/" + name).constData(),
                        RENAME_NOREPLACE) != 0) {
            const int error = errno;
            ::unlink(infoPath.constData());
            if (error == EEXIST)
                continue;
            return SystemErrorText(error);
        }
        return std::nullopt;
    }
    return SystemErrorText(EEXIST);
}

}  // namespace platform
