// vexlo-cli library: the memos of the library folder listed and searched, and their tags,
// note and star changed (store/MemoNotes.h), for scripts and other programs.
#include "tools/cli/CliCommon.h"

#include "platform/DurableFile.h"
#include "store/LibraryIndex.h"
#include "store/LibraryQuery.h"
#include "store/MemoNotes.h"
#include "store/MemoStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

namespace {

constexpr char Help[] =
    "Usage: vexlo-cli library list [--json] [--folder DIR]\n"
    "       vexlo-cli library search QUERY... [--json] [--folder DIR]\n"
    "       vexlo-cli library tag FILE... [+TAG...] [-TAG...] [--json] [--folder DIR]\n"
    "       vexlo-cli library note FILE TEXT|- [--json] [--folder DIR]\n"
    "       vexlo-cli library star FILE... [--off] [--json] [--folder DIR]\n"
    "\n"
    "The memos of the library folder ([Library] Folder= in VEXLO.INI, default\n"
    "$XDG_DATA_HOME/vexlo/memos; --folder DIR another one), newest first.\n"
    "  list    every memo: time, star, file, title, tags\n"
    "  search  the memos that meet every word of QUERY: a word found in the title, reading,\n"
    "          tags or note (katakana, hiragana and half-width forms alike), #TAG a tag,\n"
    "          is:star (or a star sign) the starred ones, 2026-12-07, 2026-12,\n"
    "          2026-12-01..2026-12-07, today's or yesterday's date words the memos of those days\n"
    "  tag     adds each +TAG and takes away each -TAG, on every FILE\n"
    "  note    gives FILE the note TEXT (several lines; \"-\" reads it from standard input;\n"
    "          empty takes the note away)\n"
    "  star    stars every FILE (--off takes the star away)\n"
    "FILE is a path, or the name of a memo in the library folder. Tags, note and star are kept\n"
    "in the memo's own PNG, whose picture and other text stay exactly as they were; a BMP memo\n"
    "cannot carry them (an error). --json prints the memos (for tag, note and star: as they\n"
    "are afterwards) as one JSON array of objects with file, path, title, reading, time (ISO\n"
    "8601), tags, note and starred.\n"
    "\n"
    "Exit status: 0 done, 2 bad arguments or a memo that could not be changed (the others are\n"
    "changed all the same, each failure reported).\n";

struct Options {
    QString folder;
    bool json = false;
    bool off = false;
    QStringList words;  // positional, as UTF-8
    QStringList add, remove;
};

QJsonObject toJson(const QString& folder, const MemoEntry& e)
{
    return {
        {QStringLiteral("file"), e.fileName()},
        {QStringLiteral("path"), folder + QLatin1Char('/') + e.fileName()},
        {QStringLiteral("title"), e.title().toString()},
        {QStringLiteral("reading"), e.reading().toString()},
        {QStringLiteral("time"), QDateTime::fromMSecsSinceEpoch(e.time()).toOffsetFromUtc(
                                     QDateTime::fromMSecsSinceEpoch(e.time()).offsetFromUtc()).toString(Qt::ISODate)},
        {QStringLiteral("tags"), QJsonArray::fromStringList(e.tags())},
        {QStringLiteral("note"), e.note().toString()},
        {QStringLiteral("starred"), e.starred()},
    };
}

void print(const QString& folder, std::vector<const MemoEntry*> memos, bool json)
{
    std::sort(memos.begin(), memos.end(), [](const MemoEntry* a, const MemoEntry* b) {
        return a->time() != b->time() ? a->time() > b->time() : a->fileNameView() < b->fileNameView();
    });
    if (json) {
        QJsonArray array;
        for (const MemoEntry* e : memos)
            array.append(toJson(folder, *e));
        cli::PrintLine(QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)).trimmed());
        return;
    }
    for (const MemoEntry* e : memos) {
        QString line = QDateTime::fromMSecsSinceEpoch(e->time()).toString(QStringLiteral("yyyy-MM-dd HH:mm")) +
                       (e->starred() ? QStringLiteral(" ★ ") : QStringLiteral("   ")) + e->fileName();
        if (e->title() != e->fileNameView())
            line += QStringLiteral("  「%1」").arg(e->title());
        for (const QString& tag : e->tags())
            line += QStringLiteral(" #") + tag;
        cli::PrintLine(line);
    }
}

// The memos of FOLDER as they are now; those named in NAMES only, when given.
int listMemos(const QString& folder, const std::optional<LibraryQuery>& query, const Options& options)
{
    LibraryIndex index(folder);
    const MemoEntries entries = index.Refresh();
    std::vector<const MemoEntry*> shown;
    if (query) {
        // The full-text table when the index is kept in a file; otherwise the memos in memory.
        if (const std::optional<std::vector<QString>> names = index.Search(*query)) {
            QSet<QString> found(names->begin(), names->end());
            for (const MemoEntry& e : *entries)
                if (found.contains(e.fileName()))
                    shown.push_back(&e);
        } else {
            for (const MemoEntry& e : *entries)
                if (MatchesQuery(*query, e.starred(), e.time(), e.search()))
                    shown.push_back(&e);
        }
    } else {
        for (const MemoEntry& e : *entries)
            shown.push_back(&e);
    }
    print(folder, shown, options.json);
    return cli::ExitOk;
}

// FILE as a path: as given when it names a file, else a memo of the library folder.
QString pathOf(const QString& folder, const QString& file)
{
    if (QFileInfo::exists(file) || file.contains(QLatin1Char('/')))
        return QFileInfo(file).absoluteFilePath();
    return folder + QLatin1Char('/') + file;
}

int changeMemos(const QString& folder, const QStringList& files, const MemoNotesChange& change, const Options& options)
{
    if (files.isEmpty())
        return cli::Fail(QStringLiteral("library: no memo file given"));
    int status = cli::ExitOk;
    QStringList changed;
    platform::FolderFlushes flushes;  // each folder flushed once, after all its memos
    for (const QString& file : files) {
        const QString path = pathOf(folder, file);
        if (const auto failure = ChangeMemoNotes(path, change, nullptr, &flushes)) {
            cli::Fail(QStringLiteral("library: %1: %2").arg(file, failure->englishText));
            status = cli::ExitError;
            continue;
        }
        changed << path;
    }
    if (const auto failure = flushes.Flush()) {
        cli::Fail(QStringLiteral("library: the folder could not be flushed to disk: %1").arg(failure->englishText()));
        status = cli::ExitError;
    }
    // What the memos carry afterwards, read back from their files.
    std::vector<MemoEntry> memos;
    for (const QString& path : changed) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QString name = QFileInfo(path).fileName();
        const MemoInfo info = ReadMemoInfo(name, f.read(kMemoHeadBytes), QFileInfo(path).lastModified().toMSecsSinceEpoch());
        memos.emplace_back(name, 0, 0, info, QString());
    }
    std::vector<const MemoEntry*> shown;
    for (const MemoEntry& e : memos)
        shown.push_back(&e);
    if (options.json) {
        QJsonArray array;
        for (qsizetype i = 0; i < qsizetype(memos.size()); ++i) {
            QJsonObject o = toJson(folder, memos[size_t(i)]);
            o[QStringLiteral("path")] = changed[i];
            array.append(o);
        }
        cli::PrintLine(QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)).trimmed());
    } else {
        print(QFileInfo(changed.value(0)).path(), shown, false);
    }
    return status;
}

}  // namespace

int RunLibrary(const std::vector<std::string>& args)
{
    if (args.empty())
        return cli::Fail(QStringLiteral("library: list, search, tag, note or star expected; try vexlo-cli library --help"));
    const std::string command = args[0];
    if (command == "--help" || command == "-h") {
        cli::PrintHelp(Help);
        return cli::ExitOk;
    }
    Options options;
    bool onlyWords = false;
    for (size_t i = 1; i < args.size(); ++i) {
        QString word;
        QString error;
        if (!cli::Utf8Arg(args[i], word, error))
            return cli::Fail(QStringLiteral("library: ") + error);
        if (onlyWords) {
            options.words << word;
        } else if (word == QLatin1String("--")) {
            onlyWords = true;
        } else if (word == QLatin1String("--help") || word == QLatin1String("-h")) {
            cli::PrintHelp(Help);
            return cli::ExitOk;
        } else if (word == QLatin1String("--json")) {
            options.json = true;
        } else if (word == QLatin1String("--off") && command == "star") {
            options.off = true;
        } else if (word == QLatin1String("--folder") || word.startsWith(QLatin1String("--folder="))) {
            if (word.startsWith(QLatin1String("--folder=")))
                options.folder = word.mid(9);
            else if (i + 1 < args.size())
                options.folder = QString::fromLocal8Bit(args[++i]);
            else
                return cli::Fail(QStringLiteral("library: --folder needs a folder"));
        } else if (command == "tag" && word.size() > 1 && word.startsWith(QLatin1Char('+'))) {
            options.add << word.mid(1);
        } else if (command == "tag" && word.size() > 1 && word.startsWith(QLatin1Char('-')) && !word.startsWith(QLatin1String("--"))) {
            options.remove << word.mid(1);
        } else if (word.startsWith(QLatin1String("--")) || (word.startsWith(QLatin1Char('-')) && word.size() > 1 && command != "search")) {
            return cli::Fail(QStringLiteral("library %1: unknown option \"%2\"").arg(QString::fromStdString(command), word));
        } else {
            options.words << word;
        }
    }
    const QString folder = QDir::cleanPath(options.folder.isEmpty() ? LibraryFolder(ReadLibrarySettings())
                                                                     : QFileInfo(options.folder).absoluteFilePath());
    if (command == "list") {
        if (!options.words.isEmpty())
            return cli::Fail(QStringLiteral("library list: takes no words (library search QUERY finds memos)"));
        return listMemos(folder, std::nullopt, options);
    }
    if (command == "search") {
        if (options.words.isEmpty())
            return cli::Fail(QStringLiteral("library search: what to look for is missing"));
        return listMemos(folder, ParseLibraryQuery(options.words.join(QLatin1Char(' '))), options);
    }
    if (command == "tag") {
        if (options.add.isEmpty() && options.remove.isEmpty())
            return cli::Fail(QStringLiteral("library tag: no +TAG or -TAG given"));
        return changeMemos(folder, options.words, {options.add, options.remove, {}, {}}, options);
    }
    if (command == "note") {
        if (options.words.size() != 2)
            return cli::Fail(QStringLiteral("library note: FILE and TEXT expected"));
        QString text = options.words[1];
        if (text == QLatin1String("-")) {
            QFile in;
            in.open(stdin, QIODevice::ReadOnly);
            text = QString::fromUtf8(in.readAll());
            if (text.endsWith(QLatin1Char('\n')))
                text.chop(1);
        }
        return changeMemos(folder, {options.words[0]}, {{}, {}, text, {}}, options);
    }
    if (command == "star")
        return changeMemos(folder, options.words, {{}, {}, {}, !options.off}, options);
    return cli::Fail(QStringLiteral("library: unknown command \"%1\"; try vexlo-cli library --help")
                         .arg(QString::fromStdString(command)));
}
