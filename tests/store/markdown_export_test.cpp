// Markdown export as a notebook reads it: the front matter through a YAML parser (python3-yaml),
// the note through a Markdown parser (cmark) whose image link must lead to the memo's picture;
// exporting again updates what VEXLO wrote and nothing else.
#include "support/MemoImages.h"

#include "store/MarkdownExport.h"
#include "store/MemoNotes.h"
#include "store/PngText.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>

namespace {

QByteArray run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        ADD_FAILURE() << program.toStdString() << " failed: " << p.readAllStandardError().toStdString();
        return {};
    }
    return p.readAllStandardOutput();
}

// The front matter of the note at PATH as a YAML parser reads it (times as ISO text).
QJsonObject frontMatter(const QString& path)
{
    static const char script[] =
        "import sys, json, yaml\n"
        "text = open(sys.argv[1], encoding='utf-8').read()\n"
        "assert text.startswith('---\\n')\n"
        "head = text[4:text.index('\\n---\\n', 3) + 1]\n"
        "print(json.dumps(yaml.safe_load(head), default=lambda v: v.isoformat()))\n";
    return QJsonDocument::fromJson(run(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromLatin1(script), path}))
        .object();
}

// The pictures a Markdown parser finds in the note at PATH: each link's file, resolved from
// the note's folder, and its alternative text.
QList<QPair<QString, QString>> images(const QString& path)
{
    const QString html = QString::fromUtf8(run(QStringLiteral("cmark"), {path}));
    static const QRegularExpression img(QStringLiteral("<img src=\"([^\"]*)\" alt=\"([^\"]*)\""));
    QList<QPair<QString, QString>> found;
    for (auto it = img.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        QString alt = m.captured(2);
        alt.replace(QStringLiteral("&quot;"), QStringLiteral("\"")).replace(QStringLiteral("&lt;"), QStringLiteral("<"))
            .replace(QStringLiteral("&gt;"), QStringLiteral(">")).replace(QStringLiteral("&amp;"), QStringLiteral("&"));
        found.push_back({QFileInfo(path).dir().filePath(QUrl::fromPercentEncoding(m.captured(1).toUtf8())), alt});
    }
    return found;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

TExportMemo memo(const QString& name, const QString& title, quint32 seed)
{
    TExportMemo m(RandomMemo(13 + int(seed % 5), 9, seed), name, title, QDateTime::fromString(QStringLiteral("2026-12-07T16:23:32+01:00"), Qt::ISODate));
    return m;
}

struct NoteCase {
    const char* name;
    QString memoName, title, reading, note;
    QStringList tags;
    bool starred;
    QString noteFile;  // the note's name expected in the folder
};

void PrintTo(const NoteCase& c, std::ostream* os)
{
    *os << c.name;
}

class MarkdownNote : public testing::TestWithParam<NoteCase> {};

TEST_P(MarkdownNote, ParsersReadWhatTheMemoSays)
{
    const NoteCase& c = GetParam();
    TExportMemo m = memo(c.memoName, c.title, 3);
    m.Reading = c.reading;
    m.Note = c.note;
    m.Tags = c.tags;
    m.Starred = c.starred;
    QTemporaryDir dir;
    TExportOptions options;
    options.Format = ExportFormat::Markdown;
    QString error;
    ASSERT_TRUE(ExportMemos({m}, options, dir.path(), &error)) << error.toStdString();
    const QString note = dir.filePath(c.noteFile);
    ASSERT_TRUE(QFileInfo::exists(note)) << QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden).join(' ').toStdString();

    const QJsonObject yaml = frontMatter(note);
    EXPECT_EQ(yaml.value("vexlo").toString(), QStringLiteral("memo"));
    EXPECT_EQ(yaml.value("title").toString(), c.title);
    EXPECT_EQ(yaml.value("reading").toString(), c.reading);
    EXPECT_EQ(yaml.value("note").toString(), c.note);
    EXPECT_EQ(yaml.value("arrived").toString(), QStringLiteral("2026-12-07T16:23:32+01:00"));
    EXPECT_EQ(yaml.value("starred").toBool(), c.starred);
    QStringList tags;
    for (const auto& t : yaml.value("tags").toArray())
        tags << t.toString();
    EXPECT_EQ(tags, c.tags);

    const auto found = images(note);
    ASSERT_EQ(found.size(), 1);
    EXPECT_EQ(found[0].second, QString(c.title).replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\t'), QLatin1Char(' ')));
    EXPECT_TRUE(found[0].first.startsWith(dir.filePath(QStringLiteral("attachments/"))));
    EXPECT_EQ(PixelDifference(m.Picture, QImage(found[0].first)), QString()) << found[0].first.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Memos, MarkdownNote,
    testing::Values(
        NoteCase{"Japanese", "2026-12-07 16.23.32 会議", "会議", "かいぎ", "", {"仕事"}, false, "2026-12-07 16.23.32 会議.md"},
        NoteCase{"YamlAndMarkdownSigns", "a b (1) #2 %20", "key: \"v\" #c \\ - [x](y) |z| *e* `q`", "", "", {}, true,
                 "a b (1) #2 %20.md"},
        NoteCase{"HtmlAndEntities", "m", "&amp; <b>x</b> 1. ==h== %%c%% $x$ \\*", "", "", {}, false, "m.md"},
        NoteCase{"LinesInTheNote", "m", "t", "", "  first indented\n\ttab\n\nlast\n", {}, false, "m.md"},
        NoteCase{"NoteEndingWithoutBreak", "m", "t", "", "one\ntwo: three", {}, false, "m.md"},
        NoteCase{"ControlCharacters", "m", "bell\x07 and\ttab", "", "nul-free \x01 note\nline", {}, false, "m.md"},
        NoteCase{"TagsThatLookLikeYaml", "m", "t", "", "", {"- x", "#tag", "a: b", "true", "家 族"}, false, "m.md"},
        NoteCase{"UnsafeFileName", ".hidden/slash", "", "", "", {}, false, "_hidden_slash.md"},
        NoteCase{"EmptyName", "", "", "", "", {}, false, "memo.md"}),
    [](const auto& info) { return std::string(info.param.name); });

// One note a day: each day's memos in order of arrival, each picture reachable; memos without a
// time in a note of their own; two memos of one name still get two pictures.
TEST(MarkdownExport, OneNoteADay)
{
    QList<TExportMemo> memos;
    const auto at = [](const char* iso) { return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate); };
    memos << TExportMemo(RandomMemo(11, 7, 1), "x", "late", at("2026-12-07T18:00:00+01:00"))
          << TExportMemo(RandomMemo(11, 7, 2), "x", "early", at("2026-12-07T08:00:00+01:00"))
          << TExportMemo(RandomMemo(11, 7, 3), "y", "next day", at("2026-12-08T00:10:00+01:00"))
          << TExportMemo(RandomMemo(11, 7, 4), "z", "no time", QDateTime());
    QTemporaryDir dir;
    TExportOptions options;
    options.Format = ExportFormat::Markdown;
    options.Notes = MarkdownNotes::PerDay;
    options.Attachments = QStringLiteral("files/pictures");
    QString error;
    ASSERT_TRUE(ExportMemos(memos, options, dir.path(), &error)) << error.toStdString();
    struct Day {
        QString file;
        QStringList titles;
        QList<int> memos;
    };
    for (const Day& d : {Day{"2026-12-07.md", {"early", "late"}, {1, 0}}, Day{"2026-12-08.md", {"next day"}, {2}},
                         Day{"日付なし.md", {"no time"}, {3}}}) {
        const QString note = dir.filePath(d.file);
        const QJsonObject yaml = frontMatter(note);
        EXPECT_EQ(yaml.value("vexlo").toString(), QStringLiteral("day")) << d.file.toStdString();
        EXPECT_EQ(yaml.value("memos").toInt(), d.memos.size());
        const auto found = images(note);
        ASSERT_EQ(found.size(), d.memos.size()) << d.file.toStdString();
        for (qsizetype i = 0; i < found.size(); ++i) {
            EXPECT_EQ(found[i].second, d.titles[i]);
            EXPECT_TRUE(found[i].first.contains(QStringLiteral("/files/pictures/")));
            EXPECT_EQ(PixelDifference(memos[d.memos[i]].Picture, QImage(found[i].first)), QString()) << d.file.toStdString();
        }
    }
}

// Exporting again: what VEXLO wrote and nobody changed is updated; a file it did not write,
// or one changed since, keeps every byte, and the export says which.
TEST(MarkdownExport, ExportingAgainUpdatesOnlyItsOwnFiles)
{
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("vault"));
    TExportOptions options;
    options.Format = ExportFormat::Markdown;
    QList<TExportMemo> memos{memo("a", "A", 1), memo("b", "B", 2), memo("c", "C", 3)};
    QString error;
    QStringList written;
    ASSERT_TRUE(ExportMemos(memos, options, out, &error, &written)) << error.toStdString();
    EXPECT_EQ(written.size(), 6);

    // The same again writes nothing.
    written.clear();
    ASSERT_TRUE(ExportMemos(memos, options, out, &error, &written)) << error.toStdString();
    EXPECT_EQ(written, QStringList());

    // The user writes into b's note; someone else's file sits where c's picture goes.
    const QString b = out + QStringLiteral("/b.md");
    const QByteArray edited = readAll(b) + "my own words\n";
    writeFile(b, edited);
    writeFile(out + QStringLiteral("/attachments/c.png"), "not a memo");
    writeFile(out + QStringLiteral("/d.md"), "someone's note\n");
    for (TExportMemo& m : memos)
        m.Tags = QStringList{QStringLiteral("new")};
    memos << memo("d", "D", 4);
    written.clear();
    EXPECT_FALSE(ExportMemos(memos, options, out, &error, &written));
    EXPECT_TRUE(error.contains(b) && error.contains(out + QStringLiteral("/d.md"))) << error.toStdString();
    EXPECT_FALSE(error.contains(QStringLiteral("a.md")));
    EXPECT_EQ(readAll(b), edited);
    EXPECT_EQ(readAll(out + QStringLiteral("/d.md")), "someone's note\n");
    EXPECT_EQ(readAll(out + QStringLiteral("/attachments/c.png")), "not a memo");
    EXPECT_EQ(frontMatter(out + QStringLiteral("/a.md")).value("tags").toArray().size(), 1) << "a's note not updated";
    const auto c = images(out + QStringLiteral("/c.md"));
    ASSERT_EQ(c.size(), 1);
    EXPECT_EQ(QFileInfo(c[0].first).fileName(), QStringLiteral("c-2.png"));
    EXPECT_EQ(PixelDifference(memos[2].Picture, QImage(c[0].first)), QString());

    // A record that is not VEXLO's stops the export before anything is written.
    writeFile(out + QLatin1Char('/') + QString::fromLatin1(kMarkdownRecordName), "{\"files\": {}}");
    const QByteArray aBefore = readAll(out + QStringLiteral("/a.md"));
    memos[0].Title = QStringLiteral("changed");
    EXPECT_FALSE(ExportMemos(memos, options, out, &error));
    EXPECT_TRUE(error.contains(QString::fromLatin1(kMarkdownRecordName))) << error.toStdString();
    EXPECT_EQ(readAll(out + QStringLiteral("/a.md")), aBefore);
}

// A FIFO where the export's record or one of its notes goes is never opened (it would wait
// for a writer for ever): the record's stops the export, the note's is left alone.
TEST(MarkdownExport, AFifoInTheWayHoldsNothingUp)
{
    struct Case {
        const char* fifo;
        bool written;  // the rest of the export went ahead
    };
    for (const Case& c : {Case{kMarkdownRecordName, false}, Case{"a.md", true}}) {
        QTemporaryDir dir;
        const QString fifo = dir.filePath(QString::fromLatin1(c.fifo));
        ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        TExportOptions options;
        options.Format = ExportFormat::Markdown;
        QString error;
        EXPECT_FALSE(ExportMemos({memo("a", "A", 1)}, options, dir.path(), &error)) << c.fifo;
        EXPECT_TRUE(error.contains(fifo)) << error.toStdString();
        EXPECT_EQ(QFileInfo::exists(dir.filePath(QStringLiteral("attachments/a.png"))), c.written) << c.fifo;
        struct stat st {};
        EXPECT_TRUE(::lstat(QFile::encodeName(fifo).constData(), &st) == 0 && S_ISFIFO(st.st_mode)) << c.fifo;
    }
}

TEST(MarkdownExport, PicturesFolderStaysInside)
{
    struct Case {
        QString name;
        bool accepted;
        QString picture;  // where a's picture goes, relative to the folder
    };
    for (const Case& c : {Case{"", true, "a.png"}, Case{" pics ", true, "pics/a.png"}, Case{"a/b/", true, "a/b/a.png"},
                          Case{"../out", false, {}}, Case{"/tmp/x", false, {}}, Case{".hidden", false, {}},
                          Case{"a/./b", false, {}}}) {
        QTemporaryDir dir;
        TExportOptions options;
        options.Format = ExportFormat::Markdown;
        options.Attachments = c.name;
        QString error;
        EXPECT_EQ(ExportMemos({memo("a", "A", 1)}, options, dir.path(), &error), c.accepted) << c.name.toStdString();
        if (c.accepted) {
            EXPECT_TRUE(QFileInfo::exists(dir.filePath(c.picture))) << c.name.toStdString();
        } else {
            EXPECT_TRUE(error.contains(c.name)) << error.toStdString();
            EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden), QStringList());
        }
    }
}

TEST(MemoNotes, ReadFromTheChunks)
{
    const QByteArray png = ExportPng(RandomMemo(8, 8, 1), 1, false);
    struct Case {
        const char* name;
        QList<QPair<QString, QString>> chunks;
        QStringList tags;
        QString note;
        bool starred;
    };
    for (const Case& c : {Case{"none", {}, {}, {}, false},
                          Case{"all", {{"Tags", "仕事\r\n 家 \n\n仕事\n"}, {"Note", "a\r\nb\rc"}, {"Starred", "1"}},
                               {"仕事", "家"}, "a\nb\nc", true},
                          Case{"not starred", {{"Starred", "0"}}, {}, {}, false},
                          Case{"starred as text", {{"Starred", "yes"}}, {}, {}, false}}) {
        const std::optional<QByteArray> bytes = WithPngText(png, c.chunks);
        ASSERT_TRUE(bytes) << c.name;
        const std::optional<MemoNotes> notes = ReadMemoNotes(*bytes);
        ASSERT_TRUE(notes) << c.name;
        EXPECT_EQ(notes->tags, c.tags) << c.name;
        EXPECT_EQ(notes->note, c.note) << c.name;
        EXPECT_EQ(notes->starred, c.starred) << c.name;
    }
    EXPECT_FALSE(ReadMemoNotes("not a png"));
    EXPECT_FALSE(ReadMemoNotesFile(QStringLiteral("/nonexistent/memo.png")));
}

}  // namespace
