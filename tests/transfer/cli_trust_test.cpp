// vexlo-cli where it meets others: standard output that cannot take what is written, a named
// output that is a link another user planted, and the words of --exec.
#include "tools/cli/ShellWords.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

struct CliRun {
    int status;
    QString err;
};

QString cliPath()
{
    return qEnvironmentVariable("VEXLO_BINARY_DIR") + QStringLiteral("/tools/cli/vexlo-cli");
}

// vexlo-cli ARGS with standard output going to OUT (a file or a device) and INPUT on standard input.
CliRun cli(const QStringList& args, const QString& out, const QByteArray& input = {}, const QString& workDir = {})
{
    QProcess p;
    if (!workDir.isEmpty())
        p.setWorkingDirectory(workDir);
    p.setStandardOutputFile(out);
    p.start(cliPath(), args);
    EXPECT_TRUE(p.waitForStarted());
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(-1);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardError())};
}

struct StdoutCase {
    const char* name;
    QStringList args;  // "@" stands for the folder of the test's files
    const char* input;
};

void PrintTo(const StdoutCase& c, std::ostream* os) { *os << c.name; }

class FullStandardOutput : public testing::TestWithParam<StdoutCase> {};

// What a command prints but cannot get out is a failure like a file that cannot be written;
// the same command with room to write succeeds.
TEST_P(FullStandardOutput, IsAFailedWrite)
{
    if (!QFileInfo::exists(QStringLiteral("/dev/full")))
        GTEST_SKIP() << "no /dev/full";
    const StdoutCase c = GetParam();
    QTemporaryDir dir;
    QImage memo(16, 8, QImage::Format_Mono);
    memo.fill(1);
    ASSERT_TRUE(memo.save(dir.filePath(QStringLiteral("m.bmp"))));
    QStringList args;
    for (const QString& a : c.args)
        args << (a.startsWith(u'@') ? dir.path() + a.mid(1) : a);

    QByteArray input = c.input;
    if (input == "@encode") {  // the records of a memo, as sending it would put them on the line
        QProcess encode;
        encode.start(cliPath(), {QStringLiteral("encode"), dir.filePath(QStringLiteral("m.bmp")), QStringLiteral("--title"),
                                 QStringLiteral("t"), QStringLiteral("--reading"), QStringLiteral("t")});
        ASSERT_TRUE(encode.waitForFinished(-1));
        input = encode.readAllStandardOutput();
    }
    const CliRun ok = cli(args, dir.filePath(QStringLiteral("out.txt")), input, dir.path());
    EXPECT_EQ(ok.status, 0) << ok.err.toStdString();
    EXPECT_GT(QFileInfo(dir.filePath(QStringLiteral("out.txt"))).size(), 0);

    const CliRun full = cli(args, QStringLiteral("/dev/full"), input, dir.path());
    EXPECT_EQ(full.status, 2) << full.err.toStdString();
    EXPECT_TRUE(full.err.contains(QStringLiteral("cannot write to standard output: no space left on device")))
        << full.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cli, FullStandardOutput,
    testing::Values(StdoutCase{"Title", {"title", "memo"}, ""}, StdoutCase{"Reading", {"reading", "ﾒﾓ"}, ""},
                    StdoutCase{"Encode", {"encode", "@/m.bmp", "--title", "t", "--reading", "t"}, ""},
                    StdoutCase{"Decode", {"decode", "-", "--out", "@/o"}, "@encode"},
                    StdoutCase{"Export", {"export", "@/m.bmp", "--out", "@/x.png"}, ""},
                    StdoutCase{"Version", {"--version"}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// A named output that another user's link stands at, in a folder anyone can write, is refused
// and the file the link names is left alone; a link of our own there is followed as before.
TEST(PlantedLinkOutput, IsRefusedByConvertAndExport)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving a link to another user needs root";
    QTemporaryDir dir;
    const QString shared = dir.filePath(QStringLiteral("tmp"));
    const QString secret = dir.filePath(QStringLiteral("secret"));
    ASSERT_TRUE(QDir().mkpath(shared) && QDir().mkpath(secret));
    ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(secret).constData(), 0700), 0);
    QImage memo(16, 8, QImage::Format_Mono);
    memo.fill(1);
    ASSERT_TRUE(memo.save(dir.filePath(QStringLiteral("m.bmp"))));

    struct {
        const char* command;
        const char* out;
    } const commands[] = {{"convert", "c.bmp"}, {"export", "e.png"}};
    for (const auto& c : commands) {
        for (const bool ours : {false, true}) {
            const QString victim = secret + QLatin1Char('/') + QLatin1String(c.out);
            QFile(victim).remove();
            QFile v(victim);
            ASSERT_TRUE(v.open(QIODevice::WriteOnly));
            v.write("precious");
            v.close();
            const QString link = shared + QLatin1Char('/') + QLatin1String(c.out);
            QFile::remove(link);
            ASSERT_EQ(::symlink(QFile::encodeName(victim).constData(), QFile::encodeName(link).constData()), 0);
            if (!ours) {
                ASSERT_EQ(::lchown(QFile::encodeName(link).constData(), 65534, 65534), 0);
            }
            const CliRun r = cli({QLatin1String(c.command), dir.filePath(QStringLiteral("m.bmp")), QStringLiteral("--out"), link},
                              QStringLiteral("/dev/null"));
            QFile after(victim);
            ASSERT_TRUE(after.open(QIODevice::ReadOnly));
            if (ours) {
                EXPECT_EQ(r.status, 0) << c.command << r.err.toStdString();
                EXPECT_NE(after.readAll(), "precious") << c.command;
            } else {
                EXPECT_EQ(r.status, 2) << c.command;
                EXPECT_TRUE(r.err.contains(QStringLiteral("not followed"))) << c.command << r.err.toStdString();
                EXPECT_EQ(after.readAll(), "precious") << c.command;
            }
        }
    }
}

struct WordsCase {
    const char* command;
    QStringList words;  // empty with WHY set: refused
    const char* why;
};

TEST(ShellWords, SplitAsAShellSplitsThem)
{
    const WordsCase cases[] = {
        {"notify-send", {"notify-send"}, ""},
        {"  a   b\tc\n", {"a", "b", "c"}, ""},
        {R"(sh -c "cp \"$1\" /backup" sh)", {"sh", "-c", R"(cp "$1" /backup)", "sh"}, ""},
        {R"(echo 'it''s' "a b" c\ d)", {"echo", "its", "a b", "c d"}, ""},
        {R"(echo 'a\b' "a\b" a\b)", {"echo", R"(a\b)", R"(a\b)", "ab"}, ""},
        {R"(echo "\$HOME \` \\ \x")", {"echo", R"($HOME ` \ \x)"}, ""},
        {"echo '' \"\" x", {"echo", "", "", "x"}, ""},
        {"echo $HOME ~ *.png {}", {"echo", "$HOME", "~", "*.png", "{}"}, ""},
        {"echo a\\\nb", {"echo", "ab"}, ""},
        {"echo 'a|b' \"c;d\" e\\&f", {"echo", "a|b", "c;d", "e&f"}, ""},
        {"", {}, ""},
        {"echo 'open", {}, "single quote"},
        {"echo \"open", {}, "double quote"},
        {"echo \\", {}, "backslash"},
        {"cp {} /a | tee x", {}, "\"|\" is an operator"},
        {"a; b", {}, "\";\""},
        {"a > out", {}, "\">\""},
    };
    for (const WordsCase& c : cases) {
        QString why;
        const std::optional<QStringList> words = SplitShellWords(QString::fromUtf8(c.command), &why);
        if (std::string(c.why).empty()) {
            ASSERT_TRUE(words.has_value()) << c.command << ": " << why.toStdString();
            EXPECT_EQ(*words, c.words) << c.command;
        } else {
            EXPECT_FALSE(words.has_value()) << c.command;
            EXPECT_TRUE(why.contains(QString::fromUtf8(c.why))) << c.command << ": " << why.toStdString();
        }
    }
}

}  // namespace
