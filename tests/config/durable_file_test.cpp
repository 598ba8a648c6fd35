// Durable writes in folders shared with others: a link planted there is not followed, and the
// cleaner of abandoned temporary files takes only what this program left.
#include "platform/DurableFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uid_t kOther = 65534;  // nobody

QByteArray contentOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

struct LinkCase {
    const char* name;
    mode_t folderMode;   // of the folder holding the link
    bool folderOurs;     // else owned by another user
    bool linkOurs;       // else the link belongs to another user
    bool linkByFolderOwner;  // the link belongs to the folder's owner
    bool followed;       // the file it names is replaced; else refused and left as it was
};

class PlantedLink : public testing::TestWithParam<LinkCase> {};

TEST_P(PlantedLink, IsFollowedOnlyWhenNobodyElseCouldHavePutItThere)
{
    const LinkCase c = GetParam();
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving a link to another user needs root";
    QTemporaryDir dir;
    const QString shared = dir.filePath(QStringLiteral("shared"));
    const QString secret = dir.filePath(QStringLiteral("secret"));
    ASSERT_TRUE(QDir().mkpath(shared));
    ASSERT_TRUE(QDir().mkpath(secret));
    ASSERT_EQ(::chmod(QFile::encodeName(secret).constData(), 0700), 0);
    const QString victim = secret + QStringLiteral("/victim");
    writeFile(victim, "precious");
    const QString out = shared + QStringLiteral("/out.bmp");
    ASSERT_EQ(::symlink(QFile::encodeName(victim).constData(), QFile::encodeName(out).constData()), 0);
    const uid_t folderOwner = c.folderOurs ? ::geteuid() : kOther;
    const uid_t linkOwner = c.linkOurs ? ::geteuid() : c.linkByFolderOwner ? folderOwner : kOther + 1;
    ASSERT_EQ(::lchown(QFile::encodeName(out).constData(), linkOwner, linkOwner), 0);
    ASSERT_EQ(::chown(QFile::encodeName(shared).constData(), folderOwner, folderOwner), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), c.folderMode), 0);

    const std::optional<platform::FileWriteError> failure = platform::ReplaceFile(out, "new");
    if (c.followed) {
        EXPECT_FALSE(failure.has_value()) << failure->englishText().toStdString();
        EXPECT_EQ(contentOf(victim), "new");
        EXPECT_TRUE(QFileInfo(out).isSymLink());
    } else {
        ASSERT_TRUE(failure.has_value());
        EXPECT_EQ(failure->cause, platform::FileWriteError::Cause::ForeignLink);
        EXPECT_TRUE(failure->englishText().contains(QStringLiteral("not followed")));
        EXPECT_EQ(contentOf(victim), "precious");
        EXPECT_TRUE(QFileInfo(out).isSymLink()) << "the link itself is left too";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Durable, PlantedLink,
    testing::Values(LinkCase{"OthersInStickyTmp", 01777, false, false, false, false},
                    LinkCase{"OthersInOurWorldWritableFolder", 0777, true, false, false, false},
                    LinkCase{"OthersInOurGroupWritableFolder", 0775, true, false, false, false},
                    LinkCase{"OursInStickyTmp", 01777, false, true, false, true},
                    // A user's link in their own folder: root writing there must not follow it.
                    LinkCase{"TheFolderOwnersInTheirOwnFolder", 0755, false, false, true, false},
                    LinkCase{"OthersInOurPrivateFolder", 0755, true, false, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

// Only temporary files of this program's own naming, of this user, that no writer holds.
TEST(AbandonedFiles, OnlyOursAreCleared)
{
    QTemporaryDir dir;
    const QString folder = dir.path();
    // Made by a writer, then abandoned: the writer's own name for it.
    ASSERT_FALSE(platform::ReplaceFile(folder + QStringLiteral("/memo.png"), "memo").has_value());
    const QStringList users = {QStringLiteral(".thesis.v2.part"), QStringLiteral(".a.b.part"),
                               QStringLiteral(".vexlo-short.x.part"), QStringLiteral(".vexlo-ABCDEFGHIJKLM.x.part"),
                               QStringLiteral("vexlo-0123456789abc.x.part")};
    for (const QString& name : users)
        writeFile(folder + QLatin1Char('/') + name, "user's");
    const QString dead = QStringLiteral(".vexlo-0123456789abc.memo.png.part");
    const QString held = QStringLiteral(".vexlo-zyxwvutsrqpon.memo.png.part");
    const QString foreign = QStringLiteral(".vexlo-00000000000aa.memo.png.part");
    for (const QString& name : {dead, held, foreign})
        writeFile(folder + QLatin1Char('/') + name, "half");
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(QFile::encodeName(folder + QLatin1Char('/') + foreign).constData(), kOther, kOther), 0);
    }
    const int lock = ::open(QFile::encodeName(folder + QLatin1Char('/') + held).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);

    EXPECT_EQ(platform::RemoveAbandonedFiles(folder), ::geteuid() == 0 ? 1 : 2);
    ::close(lock);
    QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    QStringList expected = users;
    expected << held << QStringLiteral("memo.png");
    if (::geteuid() == 0)
        expected << foreign;
    expected.sort();
    EXPECT_EQ(left, expected);
}

// A note written again over itself: exactly the new bytes whatever stood there before, never
// into a FIFO or a second name of the file, never over a file marked read-only.
TEST(RewriteNote, WritesOnlyIntoANoteOfItsOwn)
{
    using Setup = std::function<void(const QString& note, const QString& folder)>;
    const struct {
        const char* what;
        Setup before;
        std::optional<platform::FileWriteError::Cause> refused;
        const char* content;  // at the note's name afterwards (nullptr: not a readable file)
        const char* other;    // at folder/other afterwards, when the case made one
    } cases[] = {
        {"no note yet", [](const QString&, const QString&) {}, std::nullopt, "new\n\n", nullptr},
        {"a longer note", [](const QString& note, const QString&) { writeFile(note, "a much longer note\nx\n"); },
         std::nullopt, "new\n\n", nullptr},
        {"a shorter note", [](const QString& note, const QString&) { writeFile(note, "n"); }, std::nullopt, "new\n\n",
         nullptr},
        {"a second name of the note",
         [](const QString& note, const QString& folder) {
             writeFile(note, "old\n");
             ASSERT_EQ(::link(QFile::encodeName(note).constData(), QFile::encodeName(folder + "/other").constData()), 0);
         },
         std::nullopt, "new\n\n", "old\n"},
        {"a link of ours to a file", // followed as by ReplaceFile, the file it names replaced
         [](const QString& note, const QString& folder) {
             writeFile(folder + "/other", "old\n");
             ASSERT_EQ(::symlink("other", QFile::encodeName(note).constData()), 0);
         },
         std::nullopt, "new\n\n", "new\n\n"},
        {"a FIFO nobody reads",
         [](const QString& note, const QString&) { ASSERT_EQ(::mkfifo(QFile::encodeName(note).constData(), 0600), 0); },
         platform::FileWriteError::Cause::NotRegular, nullptr, nullptr},
        {"a note marked read-only",
         [](const QString& note, const QString&) {
             writeFile(note, "old\n");
             ASSERT_EQ(::chmod(QFile::encodeName(note).constData(), 0444), 0);
         },
         platform::FileWriteError::Cause::ReadOnly, "old\n", nullptr},
    };
    for (const auto& c : cases) {
        QTemporaryDir dir;
        const QString note = dir.filePath(QStringLiteral("note"));
        c.before(note, dir.path());
        const std::optional<platform::FileWriteError> failure = platform::RewriteNote(note, "new\n\n");
        EXPECT_EQ(failure ? std::optional(failure->cause) : std::nullopt, c.refused) << c.what;
        if (c.content)
            EXPECT_EQ(contentOf(note), QByteArray(c.content)) << c.what;
        if (c.other)
            EXPECT_EQ(contentOf(dir.filePath(QStringLiteral("other"))), QByteArray(c.other)) << c.what;
    }
}

// A FIFO that somebody reads gets nothing.
TEST(RewriteNote, NothingGoesIntoAFifoThatIsRead)
{
    QTemporaryDir dir;
    const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("note")));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    const int reader = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    const std::optional<platform::FileWriteError> failure = platform::RewriteNote(QFile::decodeName(fifo), "new\n");
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->cause, platform::FileWriteError::Cause::NotRegular);
    char byte;
    EXPECT_LE(::read(reader, &byte, 1), 0);
    ::close(reader);
}

}  // namespace

// Files replaced in a batch leave the flush of their folder to the end: the files are whole at
// once, and a flush that fails at the end (the folder gone meanwhile) is reported, not lost.
TEST(FolderFlushes, ABatchFlushesItsFolderOnceAndReportsAFailure)
{
    QTemporaryDir dir;
    const QString a = dir.filePath(QStringLiteral("a.png")), b = dir.filePath(QStringLiteral("b.png"));
    writeFile(a, "old a");
    writeFile(b, "old b");
    platform::FolderFlushes flushes;
    EXPECT_FALSE(platform::ReplaceFile(a, "new a", &flushes).has_value());
    EXPECT_FALSE(platform::ReplaceFile(b, "new b", &flushes).has_value());
    EXPECT_EQ(contentOf(a), "new a");
    EXPECT_EQ(contentOf(b), "new b");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2) << "no temporary file left";
    EXPECT_FALSE(flushes.Flush().has_value());

    const QString sub = dir.filePath(QStringLiteral("sub"));
    ASSERT_TRUE(QDir().mkdir(sub));
    platform::FolderFlushes pending;
    EXPECT_FALSE(platform::ReplaceFile(sub + QStringLiteral("/c.png"), "c", &pending).has_value());
    ASSERT_TRUE(QDir(sub).removeRecursively());
    const auto failure = pending.Flush();
    ASSERT_TRUE(failure.has_value()) << "a folder that could not be flushed must be reported";
    EXPECT_EQ(failure->error, ENOENT);
    EXPECT_FALSE(pending.Flush().has_value()) << "nothing is left pending after a flush";
}
