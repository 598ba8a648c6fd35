#include "platform/PrivateProfile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr int kMaxValue = 1023;
// A configuration file is small; one beyond this is not ours. Reading looks at its first part
// only, and writing refuses it rather than cut off what lies beyond.
constexpr qint64 kMaxProfileSize = qint64(16) << 20;
// Of a longer line only the start is looked at: far more than a key and a 1023-character value.
constexpr qsizetype kMaxLineKept = 64 * 1024;

struct Line {
    QByteArrayView section;  // for a section header: its name
    QByteArrayView key;      // for a key line: its name and value
    QByteArrayView value;
    bool isSection = false;
    bool isKey = false;
};

Line parse(QByteArrayView raw)
{
    Line line;
    const QByteArrayView t = raw.trimmed();
    if (t.startsWith('[')) {
        const qsizetype close = t.indexOf(']');
        if (close > 0) {
            line.isSection = true;
            line.section = t.sliced(1, close - 1).trimmed();
        }
    } else if (!t.startsWith(';')) {
        const qsizetype eq = t.indexOf('=');
        if (eq > 0) {
            line.isKey = true;
            line.key = t.first(eq).trimmed();
            line.value = t.sliced(eq + 1).trimmed();
        }
    }
    return line;
}

bool sameName(QByteArrayView a, const std::string& b)
{
    return a.compare(QByteArrayView(b.data(), qsizetype(b.size())), Qt::CaseInsensitive) == 0;
}

// Cuts bytes that arrive in pieces into lines and shows each line that holds anything to
// VISIT(text, start, end, next): its text without the leading blanks (at most kMaxLineKept
// bytes), the offset where it starts, where its line end starts (a CR before the LF belongs to
// the line end) and where the next line starts. Blank lines are passed over at the speed of a
// byte comparison. VISIT returns false to stop.
template <typename Visit>
class LineScanner {
public:
    explicit LineScanner(Visit visit) : visit_(std::move(visit)) {}

    bool feed(QByteArrayView data)
    {
        const char* const begin = data.data();
        const char* const end = begin + data.size();
        const char* p = begin;
        while (p < end && !stopped_) {
            if (!inLine_) {
                while (p < end && (*p == '\n' || *p == '\r' || *p == ' ' || *p == '\t')) {
                    if (*p == '\n')
                        lineStart_ = offset_ + (p - begin) + 1;
                    ++p;
                }
                if (p == end)
                    break;
                inLine_ = true;
                text_.clear();
            }
            const char* newline = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
            const char* stop = newline ? newline : end;
            if (text_.size() < kMaxLineKept)
                text_.append(p, std::min<qsizetype>(stop - p, kMaxLineKept - text_.size()));
            if (stop > p)
                lastChar_ = stop[-1];
            p = stop;
            if (newline) {
                const qint64 at = offset_ + (newline - begin);
                endLine(lastChar_ == '\r' ? at - 1 : at, at + 1);
                lastChar_ = '\n';
                ++p;
            }
        }
        offset_ += data.size();
        return !stopped_;
    }

    // The last line, when the text does not end with a line end.
    void finish()
    {
        if (inLine_ && !stopped_)
            endLine(offset_, offset_);
    }

private:
    void endLine(qint64 end, qint64 next)
    {
        if (!visit_(QByteArrayView(text_), lineStart_, end, next))
            stopped_ = true;
        inLine_ = false;
        lineStart_ = next;
    }

    Visit visit_;
    QByteArray text_;
    qint64 offset_ = 0;     // of the first byte of the piece being fed
    qint64 lineStart_ = 0;  // of the line being read (or the next one)
    char lastChar_ = '\n';
    bool inLine_ = false;
    bool stopped_ = false;
};

// The profile opened for reading when it is a regular file (never blocking on a FIFO or a
// device); -1 otherwise. The caller closes it.
int openRegular(const std::string& path, struct stat& st)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Feeds the first kMaxProfileSize bytes of the file at FD to SCAN, a piece at a time.
template <typename Scanner>
void scanFile(int fd, Scanner& scan)
{
    char buffer[64 * 1024];
    qint64 total = 0;
    while (total < kMaxProfileSize) {
        const ssize_t n = ::read(fd, buffer, size_t(std::min<qint64>(sizeof buffer, kMaxProfileSize - total)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || !scan.feed(QByteArrayView(buffer, n)))
            return;
        total += n;
    }
}

FileWriteError systemFailure(int error)
{
    FileWriteError failure;
    failure.error = error;
    return failure;
}

}  // namespace

std::string ProfilePath(const std::string& fileName)
{
    if (fileName.find('/') != std::string::npos)
        return fileName;
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return (base + QLatin1Char('/') + QString::fromStdString(fileName)).toStdString();
}

ProfileFile ProfileFileKind(const std::string& fileName)
{
    struct stat st;
    if (::stat(ProfilePath(fileName).c_str(), &st) != 0)
        return ProfileFile::Missing;
    return S_ISREG(st.st_mode) ? ProfileFile::Regular : ProfileFile::NotRegular;
}

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, const std::string& fileName)
{
    struct stat st;
    const int fd = openRegular(ProfilePath(fileName), st);
    if (fd < 0)
        return defaultValue;
    std::string found = defaultValue;
    bool inSection = false;
    LineScanner scan([&](QByteArrayView text, qint64, qint64, qint64) {
        const Line line = parse(text);
        if (line.isSection) {
            inSection = sameName(line.section, section);
        } else if (inSection && line.isKey && sameName(line.key, key)) {
            QByteArrayView value = line.value;
            if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
                value = value.sliced(1, value.size() - 2);
            found = value.first(std::min<qsizetype>(value.size(), kMaxValue)).toByteArray().toStdString();
            return false;
        }
        return true;
    });
    scanFile(fd, scan);
    scan.finish();
    ::close(fd);
    return found;
}

bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& fileName,
                               FileWriteError* failure)
{
    auto fail = [&](const FileWriteError& why) {
        if (failure)
            *failure = why;
        return false;
    };
    const std::string path = ProfilePath(fileName);
    const QString qpath = QString::fromStdString(path);

    QByteArray text;
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            // Told apart here, before anything is opened: a FIFO would block the open.
            if (S_ISDIR(st.st_mode))
                return fail(systemFailure(EISDIR));
            FileWriteError notRegular;
            notRegular.cause = FileWriteError::Cause::NotRegular;
            notRegular.mode = st.st_mode;
            return fail(notRegular);
        }
        if (st.st_size > kMaxProfileSize)
            return fail(systemFailure(EFBIG));
        const int fd = openRegular(path, st);
        if (fd < 0)
            return fail(systemFailure(errno));
        QFile file;
        const bool read = file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
        text = read ? file.read(kMaxProfileSize + 1) : QByteArray();
        if (!read || file.error() != QFileDevice::NoError)
            return fail(systemFailure(EIO));
        if (text.size() > kMaxProfileSize)
            return fail(systemFailure(EFBIG));
    } else if (errno != ENOENT) {
        return fail(systemFailure(errno));
    }

    // Where the key goes: over its old line, else after the last key of its section (or after
    // the section's header), else into a new section at the end.
    qint64 replaceFrom = -1, replaceTo = -1, insertAt = -1;
    bool inSection = false;
    LineScanner scan([&](QByteArrayView raw, qint64 start, qint64 end, qint64 next) {
        const Line line = parse(raw);
        if (line.isSection) {
            inSection = sameName(line.section, section);
            if (inSection && insertAt < 0)
                insertAt = next;
        } else if (inSection && line.isKey) {
            if (sameName(line.key, key)) {
                replaceFrom = start;
                replaceTo = end;
                return false;
            }
            insertAt = next;
        }
        return true;
    });
    if (scan.feed(text))
        scan.finish();

    // A new line ends as the file's first line does; CR LF in a file that has no line end yet.
    const qsizetype firstNewline = text.indexOf('\n');
    const bool lf = firstNewline == 0 || (firstNewline > 0 && text[firstNewline - 1] != '\r');
    const QByteArray eol = lf ? "\n" : "\r\n";
    const QByteArray newLine = QByteArray::fromStdString(key) + '=' + QByteArray::fromStdString(value);
    auto lineEndBefore = [&](qint64 at) { return at > 0 && text[at - 1] != '\n' ? eol : QByteArray(); };
    QByteArray out;
    if (replaceFrom >= 0) {
        out = text.first(replaceFrom) + newLine + text.sliced(replaceTo);
    } else if (insertAt >= 0) {
        out = text.first(insertAt) + lineEndBefore(insertAt) + newLine + eol + text.sliced(insertAt);
    } else {
        out = text + lineEndBefore(text.size()) + '[' + QByteArray::fromStdString(section) + ']' + eol + newLine +
              eol;
    }

    if (std::optional<FileWriteError> why = MakeFolders(QFileInfo(qpath).absolutePath()))
        return fail(*why);
    if (std::optional<FileWriteError> why = ReplaceFile(qpath, out))
        return fail(*why);
    return true;
}

}  // namespace platform
