#include "platform/PrivateProfile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSaveFile>
#include <QStandardPaths>

namespace platform {

namespace {

constexpr int kMaxValue = 1023;

struct Line {
    QByteArray raw;       // the line as stored, without its line end
    QByteArray section;   // for a section header: its name
    QByteArray key;       // for a key line: its name
    QByteArray value;     // for a key line: its value
    bool isSection = false;
    bool isKey = false;
};

QList<Line> parse(const QByteArray& text)
{
    QList<Line> lines;
    for (QByteArray raw : text.split('\n')) {
        if (raw.endsWith('\r'))
            raw.chop(1);
        Line line;
        line.raw = raw;
        const QByteArray t = raw.trimmed();
        if (t.startsWith('[')) {
            const int close = t.indexOf(']');
            if (close > 0) {
                line.isSection = true;
                line.section = t.mid(1, close - 1).trimmed();
            }
        } else if (!t.startsWith(';')) {
            const int eq = t.indexOf('=');
            if (eq > 0) {
                line.isKey = true;
                line.key = t.left(eq).trimmed();
                line.value = t.mid(eq + 1).trimmed();
            }
        }
        lines.push_back(line);
    }
    if (!lines.isEmpty() && lines.back().raw.isEmpty())
        lines.pop_back();  // the final line end
    return lines;
}

bool sameName(const QByteArray& a, const std::string& b)
{
    return a.compare(QByteArray::fromStdString(b), Qt::CaseInsensitive) == 0;
}

// A configuration file is small; one beyond this is not ours. Reading looks at its first part
// only, and writing refuses it rather than cut off what lies beyond.
constexpr qint64 kMaxProfileSize = qint64(16) << 20;

QByteArray readAll(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(kMaxProfileSize);
}

// A file marked read-only is kept even where the system would let the owner replace it (a
// rename needs no write permission on the file, and root may write anything).
bool markedReadOnly(const QFileInfo& info)
{
    const auto writeBits = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return !info.isWritable() || !(info.permissions() & writeBits);
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

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, const std::string& fileName)
{
    bool inSection = false;
    for (const Line& line : parse(readAll(ProfilePath(fileName)))) {
        if (line.isSection)
            inSection = sameName(line.section, section);
        else if (inSection && line.isKey && sameName(line.key, key)) {
            QByteArray value = line.value;
            if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
                value = value.mid(1, value.size() - 2);
            return value.left(kMaxValue).toStdString();
        }
    }
    return defaultValue;
}

bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& fileName)
{
    const std::string path = ProfilePath(fileName);
    const QString qpath = QString::fromStdString(path);
    if (const QFileInfo info(qpath); info.exists() && (markedReadOnly(info) || info.size() > kMaxProfileSize))
        return false;
    QList<Line> lines = parse(readAll(path));
    const QByteArray newLine = QByteArray::fromStdString(key) + '=' + QByteArray::fromStdString(value);

    int sectionAt = -1;  // header line of the section
    int insertAt = -1;   // after the section's last key line
    bool inSection = false;
    bool replaced = false;
    for (int i = 0; i < lines.size() && !replaced; ++i) {
        const Line& line = lines[i];
        if (line.isSection) {
            inSection = sameName(line.section, section);
            if (inSection && sectionAt < 0) {
                sectionAt = i;
                insertAt = i + 1;
            }
        } else if (inSection && line.isKey) {
            if (sameName(line.key, key)) {
                lines[i].raw = newLine;
                replaced = true;
            }
            insertAt = i + 1;
        }
    }
    if (!replaced) {
        Line line;
        line.raw = newLine;
        if (sectionAt >= 0) {
            lines.insert(insertAt, line);
        } else {
            Line header;
            header.raw = '[' + QByteArray::fromStdString(section) + ']';
            lines.push_back(header);
            lines.push_back(line);
        }
    }

    QByteArray text;
    for (const Line& line : lines)
        text += line.raw + "\r\n";

    QDir().mkpath(QFileInfo(qpath).absolutePath());
    QSaveFile file(qpath);
    // Unbuffered, so a short write (a full disk) shows here and not as a truncated file.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    if (file.write(text) != text.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

}  // namespace platform
