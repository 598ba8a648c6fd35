// vexlo-cli library: the memos of a folder listed and searched, their tags, note and star
// changed from a script, with JSON for other programs; a BMP is refused and the others are
// changed all the same.
#include "store/MemoNotes.h"
#include "support/LibraryMemos.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct CliRun {
    int status;
    QByteArray out, err;
};

CliRun cli(const QStringList& args, const QByteArray& input = {})
{
    QProcess p;
    p.start(qEnvironmentVariable("VEXLO_BINARY_DIR") + QStringLiteral("/tools/cli/vexlo-cli"), args);
    p.waitForStarted();
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(-1);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

QByteArray bytesOf(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

TEST(CliLibrary, TagsNotesStarsAndSearchFromAScript)
{
    QTemporaryDir dir;
    const QString folder = dir.path();
    const QDateTime day(QDate(2026, 12, 7), QTime(9, 0));
    const QString a = WriteTestMemo(folder, {QStringLiteral("会議"), QStringLiteral("ｶｲｷﾞ"), day, StrokeMemo(1)});
    const QString b = WriteTestMemo(folder, {QStringLiteral("電話"), QStringLiteral("ﾃﾞﾝﾜ"), day.addDays(-1), StrokeMemo(2)});
    StrokeMemo(3).save(folder + QStringLiteral("/scan.bmp"));
    const QByteArray bmp = bytesOf(folder + QStringLiteral("/scan.bmp"));
    const QStringList in = {QStringLiteral("--folder"), folder};

    const struct {
        const char* name;
        QStringList args;
        QByteArray input;
        int status;
        QStringList files;  // --json: the files printed, in order
    } steps[] = {
        {"two tags on both, by name and by path", {"tag", a, folder + QLatin1Char('/') + b, "+仕事", "+下書き"}, {}, 0, {a, b}},
        {"one taken away again", {"tag", b, "-下書き"}, {}, 0, {b}},
        {"a BMP refused, the other changed", {"star", "scan.bmp", a}, {}, 2, {a}},
        {"a note from standard input", {"note", b, "-"}, "予算の件\n来週まで\n", 0, {b}},
        {"a tag", {"search", "#シゴト"}, {}, 0, {}},
        {"the tag as written", {"search", "#仕事"}, {}, 0, {a, b}},
        {"a word of the note, in other kana", {"search", "ﾖｻﾝ"}, {}, 0, {}},
        {"a word of the note", {"search", "予算の"}, {}, 0, {b}},
        {"starred and of a day", {"search", "is:star", "2026-12-07"}, {}, 0, {a}},
        {"the star taken away", {"star", "--off", a}, {}, 0, {a}},
        {"nothing starred", {"search", "★"}, {}, 0, {}},
        {"every memo, newest first", {"list"}, {}, 0, {"scan.bmp", a, b}},
        {"no tag given", {"tag", a}, {}, 2, {}},
        {"an unknown option", {"list", "--bogus"}, {}, 2, {}},
    };
    for (const auto& s : steps) {
        const CliRun run = cli(QStringList{QStringLiteral("library")} + s.args + in + QStringList{QStringLiteral("--json")}, s.input);
        EXPECT_EQ(run.status, s.status) << s.name << "\n" << run.err.toStdString();
        if (s.status != 0 && s.files.isEmpty())
            continue;
        QStringList files;
        for (const QJsonValue& v : QJsonDocument::fromJson(run.out).array())
            files << v.toObject().value(QStringLiteral("file")).toString();
        EXPECT_EQ(files, s.files) << s.name << "\n" << run.out.toStdString();
    }
    EXPECT_EQ(ReadMemoNotes(bytesOf(folder + QLatin1Char('/') + a)),
              (MemoNotes{{QStringLiteral("仕事"), QStringLiteral("下書き")}, {}, false}));
    EXPECT_EQ(ReadMemoNotes(bytesOf(folder + QLatin1Char('/') + b)),
              (MemoNotes{{QStringLiteral("仕事")}, QStringLiteral("予算の件\n来週まで"), false}));
    EXPECT_EQ(bytesOf(folder + QStringLiteral("/scan.bmp")), bmp);

    // What a program reads of one memo.
    const CliRun run = cli(QStringList{QStringLiteral("library"), QStringLiteral("search"), QStringLiteral("来週")} + in +
                        QStringList{QStringLiteral("--json")});
    const QJsonObject memo = QJsonDocument::fromJson(run.out).array().at(0).toObject();
    EXPECT_EQ(memo.value(QStringLiteral("title")).toString(), QStringLiteral("電話"));
    EXPECT_EQ(memo.value(QStringLiteral("reading")).toString(), QStringLiteral("ﾃﾞﾝﾜ"));
    EXPECT_EQ(memo.value(QStringLiteral("path")).toString(), folder + QLatin1Char('/') + b);
    EXPECT_EQ(memo.value(QStringLiteral("tags")).toArray(), QJsonArray{QStringLiteral("仕事")});
    EXPECT_EQ(memo.value(QStringLiteral("note")).toString(), QStringLiteral("予算の件\n来週まで"));
    EXPECT_FALSE(memo.value(QStringLiteral("starred")).toBool());
    EXPECT_EQ(QDateTime::fromString(memo.value(QStringLiteral("time")).toString(), Qt::ISODate), day.addDays(-1));
}

}  // namespace
