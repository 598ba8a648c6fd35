#include "store/MarkdownExport.h"

#include "platform/DurableFile.h"
#include "store/MemoFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>
#include <map>

namespace {

// No file of ours is larger: a larger one there is someone else's, and is not read.
constexpr qint64 MaxOwnFile = 16 << 20;
constexpr char RecordWriter[] = "VEXLO";

struct Failure {
    QString* japanese;
    QString* english;
    bool operator()(const QString& ja, const QString& en) const
    {
        if (japanese)
            *japanese = ja;
        if (english)
            *english = en;
        return false;
    }
};

QByteArray sha256(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

// The folder for the pictures, as a clean relative path ("" for OUT itself); nothing when NAME
// leaves OUT, or has a part that is hidden or empty.
std::optional<QString> attachmentsFolder(const QString& name)
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty())
        return QString();
    if (trimmed.startsWith(QLatin1Char('/')))
        return std::nullopt;
    QStringList parts;
    for (const QString& part : trimmed.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part.startsWith(QLatin1Char('.')) || FileNameTitle(part, 0) != part)
            return std::nullopt;
        parts << part;
    }
    return parts.join(QLatin1Char('/'));
}

// A relative path as a Markdown link destination: characters a link cannot hold, and those a
// reader could take for a scheme, a query or a fragment, percent-encoded; other text (Japanese
// too) as it is.
QString linkTarget(const QString& path)
{
    QByteArray out;
    for (const char c : path.toUtf8()) {
        const auto u = static_cast<unsigned char>(c);
        const bool keep = u >= 0x80 || (u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') ||
                          QByteArrayView("-._~/!$&'*+,;=@").contains(c);
        if (keep)
            out += c;
        else
            out += '%' + QByteArray::number(u | 0x100, 16).mid(1).toUpper();
    }
    return QString::fromUtf8(out);
}

// TEXT as Markdown inline text that shows as it is: the characters that start links, emphasis,
// code, HTML, entities, a heading's closing marks or a notebook's own marks (==, %%, $) escaped,
// line breaks as spaces.
QString markdownText(const QString& text)
{
    QString out;
    for (const QChar c : text) {
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char('\t')) {
            out += QLatin1Char(' ');
            continue;
        }
        if (c.unicode() < 0x80 && QByteArrayView("\\`*_[]()#<>!|~$&{}^%=").contains(char(c.unicode())))
            out += QLatin1Char('\\');
        out += c;
    }
    return out;
}

bool yamlPrintable(char32_t c)
{
    return c == U'\t' || c == U'\n' || (c >= 0x20 && c <= 0x7e) || c == 0x85 || (c >= 0xa0 && c <= 0xd7ff) ||
           (c >= 0xe000 && c <= 0xfffd && c != 0xfeff) || (c >= 0x10000 && c <= 0x10ffff);
}

// KEY: TEXT, a text of several lines as a literal block (its line breaks kept exactly).
QString yamlText(const QString& key, const QString& text)
{
    const std::u32string chars = text.toStdU32String();
    const bool block = text.contains(QLatin1Char('\n')) &&
                       std::all_of(chars.begin(), chars.end(), [](char32_t c) { return yamlPrintable(c); });
    if (!block)
        return key + QStringLiteral(": ") + YamlQuoted(text) + QLatin1Char('\n');
    QStringList lines = text.split(QLatin1Char('\n'));
    const bool keepEnd = text.endsWith(QLatin1Char('\n'));
    if (keepEnd)
        lines.removeLast();  // the last line break ends the last line
    // The indentation is said outright when the first lines could make a reader guess wrong.
    bool indent = false;
    for (const QString& line : lines) {
        if (line.startsWith(QLatin1Char(' ')))
            indent = true;
        if (!line.trimmed().isEmpty())
            break;
    }
    QString out = key + QStringLiteral(": |") + (indent ? QStringLiteral("2") : QString()) +
                  (keepEnd ? QLatin1Char('+') : QLatin1Char('-')) + QLatin1Char('\n');
    for (const QString& line : lines)
        out += line.isEmpty() ? QStringLiteral("\n") : QStringLiteral("  ") + line + QLatin1Char('\n');
    return out;
}

QString frontMatter(const TExportMemo& memo)
{
    QString out = QStringLiteral("---\nvexlo: memo\n") + yamlText(QStringLiteral("title"), memo.Title);
    if (!memo.Reading.isEmpty())
        out += yamlText(QStringLiteral("reading"), memo.Reading);
    if (memo.Arrived.isValid())
        out += QStringLiteral("arrived: ") + IsoTimeWithOffset(memo.Arrived) + QLatin1Char('\n');
    if (!memo.Tags.isEmpty()) {
        out += QStringLiteral("tags:\n");
        for (const QString& tag : memo.Tags)
            out += QStringLiteral("  - ") + YamlQuoted(tag) + QLatin1Char('\n');
    }
    if (memo.Starred)
        out += QStringLiteral("starred: true\n");
    if (!memo.Note.isEmpty())
        out += yamlText(QStringLiteral("note"), memo.Note);
    return out + QStringLiteral("---\n");
}

QString pictureLink(const TExportMemo& memo, const QString& picture)
{
    return QStringLiteral("![") + markdownText(memo.Title) + QStringLiteral("](") + linkTarget(picture) +
           QStringLiteral(")\n");
}

// The day note's part of one memo: a heading with its time and title, its picture, tags and
// note (as a quotation, so that it stands apart from the rest).
QString daySection(const TExportMemo& memo, const QString& picture)
{
    QString out = QStringLiteral("## ");
    if (memo.Arrived.isValid())
        out += memo.Arrived.toString(QStringLiteral("HH:mm")) + QLatin1Char(' ');
    out += markdownText(memo.Title) + (memo.Starred ? QStringLiteral(" ★") : QString()) + QStringLiteral("\n\n");
    out += pictureLink(memo, picture);
    if (!memo.Tags.isEmpty()) {
        QStringList tags;
        for (const QString& tag : memo.Tags)
            tags << markdownText(tag);
        out += QStringLiteral("\nタグ: ") + tags.join(QStringLiteral(", ")) + QLatin1Char('\n');
    }
    if (!memo.Note.isEmpty()) {
        out += QLatin1Char('\n');
        for (const QString& line : memo.Note.split(QLatin1Char('\n')))
            out += line.isEmpty() ? QStringLiteral(">\n") : QStringLiteral("> ") + line + QLatin1Char('\n');
    }
    return out;
}

// What .vexlo-export.json says: the files an export wrote there, relative to the folder, and
// the SHA-256 of what it wrote.
struct Record {
    QHash<QString, QByteArray> Files;
};

// The file at PATH as one of ours may find it: missing, exactly BYTES already, one the record
// holds unchanged (ours to replace), or someone else's (or changed since we wrote it).
enum class Found { Missing, Same, Ours, Foreign };

Found look(const QString& folder, const QString& rel, const QByteArray& bytes, const Record& record)
{
    const QFileInfo info(QDir(folder).filePath(rel));
    if (!info.exists() && !info.isSymLink())
        return Found::Missing;
    if (!info.isFile() || info.isSymLink() || info.size() > MaxOwnFile)
        return Found::Foreign;
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly))
        return Found::Foreign;
    const QByteArray there = file.readAll();
    if (there == bytes)
        return Found::Same;
    const auto known = record.Files.constFind(rel);
    return known != record.Files.constEnd() && *known == sha256(there) ? Found::Ours : Found::Foreign;
}

struct Planned {
    QString Rel;
    QByteArray Bytes;
};

}  // namespace

QString YamlQuoted(const QString& text)
{
    QString out = QStringLiteral("\"");
    for (const char32_t c : text.toStdU32String()) {
        switch (c) {
        case U'"': out += QStringLiteral("\\\""); continue;
        case U'\\': out += QStringLiteral("\\\\"); continue;
        case U'\n': out += QStringLiteral("\\n"); continue;
        case U'\t': out += QStringLiteral("\\t"); continue;
        case U'\r': out += QStringLiteral("\\r"); continue;
        default: break;
        }
        if (!yamlPrintable(c) || c == 0x85 || c == 0x2028 || c == 0x2029)
            out += c > 0xffff ? QStringLiteral("\\U%1").arg(uint(c), 8, 16, QLatin1Char('0'))
                              : QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0'));
        else
            out += QString::fromUcs4(&c, 1);
    }
    return out + QLatin1Char('"');
}

bool ExportMarkdown(const QList<TExportMemo>& memos, const TExportOptions& options, const QString& out,
                    QString* error, QStringList* written, QString* englishError, const ExportProgress& progress)
{
    const Failure fail{error, englishError};
    if (QFileInfo(out).exists() && !QFileInfo(out).isDir())
        return fail(QStringLiteral("%1 はフォルダーではありません\nMarkdown はフォルダーに書き出します").arg(out),
                    QStringLiteral("%1 is not a folder: Markdown notes go into a folder").arg(out));
    const std::optional<QString> attachments = attachmentsFolder(options.Attachments);
    if (!attachments)
        return fail(QStringLiteral("画像のフォルダー名 %1 は使えません\n書き出し先の中の名前にしてください "
                                   "(「.」で始まる名前、「..」、「/」で始まる名前は使えません)")
                        .arg(options.Attachments),
                    QStringLiteral("the pictures' folder %1 must be a name inside the export folder "
                                   "(not absolute, no part starting with a dot)")
                        .arg(options.Attachments));
    const QDir folder(out);
    const QString recordPath = folder.filePath(QString::fromLatin1(kMarkdownRecordName));

    Record record;
    if (QFileInfo::exists(recordPath)) {
        QFile file(recordPath);
        // Only a regular file is read: a FIFO there would wait for a writer for ever.
        const QJsonDocument doc = QFileInfo(recordPath).isFile() && !QFileInfo(recordPath).isSymLink() &&
                                          file.size() <= MaxOwnFile && file.open(QIODevice::ReadOnly)
                                      ? QJsonDocument::fromJson(file.readAll())
                                      : QJsonDocument();
        if (doc.object().value(QStringLiteral("writer")).toString() != QLatin1String(RecordWriter))
            return fail(QStringLiteral("%1 は VEXLO の書き出しの記録ではありません\n何も書き出していません").arg(recordPath),
                        QStringLiteral("%1 is not VEXLO's record of an export: nothing written").arg(recordPath));
        const QJsonObject files = doc.object().value(QStringLiteral("files")).toObject();
        for (auto it = files.begin(); it != files.end(); ++it)
            record.Files.insert(it.key(), it.value().toString().toLatin1());
    }
    // The pictures, each under the first name that is free or ours.
    QList<Planned> pictures;
    QStringList pictureOf;  // the picture's path, relative to OUT, for each memo
    QSet<QString> taken;
    const auto baseName = [](const QString& name) {
        const QString base = FileNameTitle(name, 8);
        return base.isEmpty() ? QStringLiteral("memo") : base;
    };
    for (qsizetype i = 0; i < memos.size(); ++i) {
        const TExportMemo& memo = memos[i];
        const QByteArray png = ExportPng(memo.Picture, options.Scale, false);
        if (png.isEmpty())
            return fail(QStringLiteral("%1 を書き出せません").arg(memo.Name), QStringLiteral("cannot encode %1").arg(memo.Name));
        const QString base = baseName(memo.Name);
        QString rel;
        for (int n = 1;; ++n) {
            const QString name = n == 1 ? base + QStringLiteral(".png") : QStringLiteral("%1-%2.png").arg(base).arg(n);
            rel = attachments->isEmpty() ? name : *attachments + QLatin1Char('/') + name;
            if (!taken.contains(rel) && look(out, rel, png, record) != Found::Foreign)
                break;
        }
        taken.insert(rel);
        pictures.push_back({rel, png});
        pictureOf << rel;
        if (progress && !progress(ExportStep::Writing, i + 1, memos.size())) {
            if (error)
                error->clear();
            if (englishError)
                englishError->clear();
            return false;
        }
    }

    // The notes.
    QList<Planned> notes;
    if (options.Notes == MarkdownNotes::PerMemo) {
        QSet<QString> names;
        for (qsizetype i = 0; i < memos.size(); ++i) {
            const QString base = baseName(memos[i].Name);
            QString name = base + QStringLiteral(".md");
            for (int n = 2; names.contains(name); ++n)
                name = QStringLiteral("%1-%2.md").arg(base).arg(n);
            names.insert(name);
            notes.push_back({name, (frontMatter(memos[i]) + QLatin1Char('\n') + pictureLink(memos[i], pictureOf[i])).toUtf8()});
        }
    } else {
        std::map<QString, QList<qsizetype>> days;  // "2026-12-07" (or "" without a time) -> memos
        for (qsizetype i = 0; i < memos.size(); ++i)
            days[memos[i].Arrived.isValid() ? memos[i].Arrived.toString(QStringLiteral("yyyy-MM-dd")) : QString()] << i;
        for (auto& [day, list] : days) {
            std::stable_sort(list.begin(), list.end(),
                             [&](qsizetype a, qsizetype b) { return memos[a].Arrived < memos[b].Arrived; });
            QString text = QStringLiteral("---\nvexlo: day\n");
            if (!day.isEmpty())
                text += QStringLiteral("date: ") + day + QLatin1Char('\n');
            text += QStringLiteral("memos: %1\n---\n").arg(list.size());
            for (const qsizetype i : list)
                text += QLatin1Char('\n') + daySection(memos[i], pictureOf[i]);
            notes.push_back({(day.isEmpty() ? QStringLiteral("日付なし") : day) + QStringLiteral(".md"), text.toUtf8()});
        }
    }

    const QString pictureFolder = attachments->isEmpty() ? out : folder.filePath(*attachments);
    if (auto failure = platform::MakeFolders(pictureFolder))
        return fail(QStringLiteral("フォルダー %1 を作れません\n%2").arg(pictureFolder, failure->text()),
                    QStringLiteral("cannot create %1: %2").arg(pictureFolder, failure->englishText()));

    // Written: what is missing or ours; left alone: what is someone else's.
    QStringList made, leftAlone;
    QString failedJa, failedEn;
    for (const Planned& file : pictures + notes) {
        const Found found = look(out, file.Rel, file.Bytes, record);
        if (found == Found::Foreign) {
            leftAlone << folder.filePath(file.Rel);
            continue;
        }
        if (found != Found::Same) {
            const QString path = folder.filePath(file.Rel);
            if (auto failure = platform::ReplaceFile(path, file.Bytes)) {
                failedJa = QStringLiteral("%1 に書き込めません\n%2").arg(path, failure->text());
                failedEn = QStringLiteral("cannot write %1: %2").arg(path, failure->englishText());
                break;
            }
            made << path;
        }
        record.Files.insert(file.Rel, sha256(file.Bytes));
    }
    if (written)
        written->append(made);

    // The record keeps what is still there as we wrote it.
    QJsonObject files;
    for (auto it = record.Files.constBegin(); it != record.Files.constEnd(); ++it)
        if (QFileInfo::exists(folder.filePath(it.key())))
            files.insert(it.key(), QString::fromLatin1(it.value()));
    const QJsonObject doc{{QStringLiteral("writer"), QString::fromLatin1(RecordWriter)}, {QStringLiteral("files"), files}};
    if (auto failure = platform::ReplaceFile(recordPath, QJsonDocument(doc).toJson()))
        if (failedJa.isEmpty()) {
            failedJa = QStringLiteral("%1 に書き込めません\n%2").arg(recordPath, failure->text());
            failedEn = QStringLiteral("cannot write %1: %2").arg(recordPath, failure->englishText());
        }
    if (!failedJa.isEmpty())
        return fail(failedJa, failedEn);
    if (!leftAlone.isEmpty())
        return fail(QStringLiteral("次のファイルは VEXLO が書いたものではないか、書いた後に変更されているので、"
                                   "書き換えませんでした (ほかのメモは書き出しました):\n%1")
                        .arg(leftAlone.join(QLatin1Char('\n'))),
                    QStringLiteral("left alone, as VEXLO did not write them or they changed since (the rest "
                                   "was written): %1")
                        .arg(leftAlone.join(QStringLiteral(", "))));
    return true;
}
