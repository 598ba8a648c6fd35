// A library folder that a sync tool carries between PCs: the index lives in the user's cache
// (one a folder, never in the folder), two PCs receiving at the same second never make one
// name, and the conflict copies sync tools make are told as such and resolved without a loss.
#include "library/LibraryModel.h"
#include "store/IndexPlace.h"
#include "store/LibraryIndex.h"
#include "store/MemoRename.h"
#include "store/MemoStore.h"
#include "store/SyncedFolder.h"
#include "support/LibraryMemos.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <ctime>
#include <map>
#include <set>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QDateTime kSecond(QDate(2026, 12, 7), QTime(16, 23, 32));

// An environment variable set for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QString& value)
        : name_(name), had_(qEnvironmentVariableIsSet(name)), saved_(qgetenv(name))
    {
        qputenv(name, QFile::encodeName(value));
    }
    ~ScopedEnv() { had_ ? qputenv(name_, saved_) : qunsetenv(name_); }

private:
    const char* name_;
    bool had_;
    QByteArray saved_;
};

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(bytes);
}

// Every file of FOLDER, hidden ones too, by name.
QStringList filesIn(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

TEST(ConflictCopies, AreToldFromNamesThatOnlyLookLikeThem)
{
    const struct {
        const char* name;
        const char* original;  // nullptr: no conflict copy
    } cases[] = {
        {"2026-12-07 16.23.32 会議.sync-conflict-20261207-162332-ABCDEF7.png", "2026-12-07 16.23.32 会議.png"},
        {"memo.SYNC-CONFLICT-20261207-162332-abcdef7.PNG", "memo.PNG"},
        {"memo.sync-conflict-20261207-162332-ABCDEF7.sync-conflict-20261208-090000-XYZ2345.png", "memo.png"},
        {"memo (Taro's conflicted copy 2026-12-07).png", "memo.png"},
        {"memo (Taro's conflicted copy 2026-12-07) (1).png", "memo.png"},
        {"memo (conflicted copy 2026-12-07 162332).png", "memo.png"},
        {"memo (Conflicted Copy 2026-12-07 162332).bmp", "memo.bmp"},
        {"memo (太郎の競合コピー 2026-12-07).png", "memo.png"},
        {"memo_conflict-20261207-162332.png", "memo.png"},
        {"memo.png.orig", "memo.png"},
        {"memo.BMP.ORIG", "memo.BMP"},
        // Names that only look like them.
        {"2026-12-07 16.23.32 conflicted copy.png", nullptr},  // a memo titled so
        {"memo (conflicted copy).png", nullptr},                // no date
        {"memo (conflicted copy 2026-13-40).png", nullptr},     // no real date
        {"memo.sync-conflict-20261399-162332-ABCDEF7.png", nullptr},
        {"memo.sync-conflict-20261207-256199-ABCDEF7.png", nullptr},  // no real time
        {"memo.sync-conflict-20261207-162332-ABC.png", nullptr},      // no device
        {"memo.sync-conflict.png", nullptr},
        {"memo (2).png", nullptr},
        {"origami.png", nullptr},
        {"memo.orig.png", nullptr},
        {"memo.txt.orig", nullptr},
        {"my_conflict-notes.png", nullptr},
        {"2026-12-07 16.23.32-3f9a 会議.png", nullptr},
    };
    for (const auto& c : cases) {
        const std::optional<QString> original = ConflictCopyOf(QString::fromUtf8(c.name));
        if (c.original)
            EXPECT_EQ(original.value_or(QStringLiteral("(none)")), QString::fromUtf8(c.original)) << c.name;
        else
            EXPECT_FALSE(original) << c.name << " -> " << original->toStdString();
    }
}

TEST(MemoNames, CarryAMachinePartAfterTheTimeOnlyWhenAsked)
{
    const struct {
        const char* title;
        int n;
        const char* machine;
        const char* name;
    } cases[] = {
        {"会議", 1, "", "2026-12-07 16.23.32 会議.png"},
        {"会議", 1, "3f9a", "2026-12-07 16.23.32-3f9a 会議.png"},
        {"", 1, "3f9a", "2026-12-07 16.23.32-3f9a.png"},
        {"会議", 2, "3f9a", "2026-12-07 16.23.32-3f9a 会議 (2).png"},
        {"-3f9a", 1, "", "2026-12-07 16.23.32 -3f9a.png"},  // a title is no machine part
    };
    for (const auto& c : cases) {
        const QString name = MemoFileName(kSecond, QString::fromUtf8(c.title), c.n, QStringLiteral(".png"),
                                          QString::fromUtf8(c.machine));
        EXPECT_EQ(name, QString::fromUtf8(c.name));
        EXPECT_EQ(MachinePartOfMemoFileName(name), QString::fromUtf8(c.machine)) << c.name;
        EXPECT_EQ(TimeOfMemoFileName(name), kSecond) << c.name;
    }
    EXPECT_FALSE(TimeOfMemoFileName(QStringLiteral("2026-12-07 16.23.32-3F9Z x.png")).isValid());
}

TEST(IndexPlace, OneIndexAFolderInTheCacheTheFoldersHoldMemosOnly)
{
    QTemporaryDir dir;
    const QString home = dir.filePath(QStringLiteral("home"));
    const QString absolute = dir.filePath(QStringLiteral("cache home"));
    QDir().mkpath(home);
    const ScopedEnv homeEnv("HOME", home);
    const struct {
        const char* xdg;  // XDG_CACHE_HOME
        QString cache;    // where the indexes go
    } cases[] = {
        {"abs", absolute + QStringLiteral("/vexlo")},
        {"relative/cache", home + QStringLiteral("/.cache/vexlo")},  // relative: ignored
        {"", home + QStringLiteral("/.cache/vexlo")},
    };
    for (const auto& c : cases) {
        const ScopedEnv cacheEnv("XDG_CACHE_HOME", qstrcmp(c.xdg, "abs") == 0 ? absolute : QString::fromUtf8(c.xdg));
        QTemporaryDir memos;
        const QString a = memos.filePath(QStringLiteral("a")), b = memos.filePath(QStringLiteral("b"));
        QDir().mkpath(a);
        QDir().mkpath(b);
        const QString memoA = WriteTestMemo(a, {QStringLiteral("会議"), {}, kSecond, StrokeMemo(1)});
        const QString memoB = WriteTestMemo(b, {QStringLiteral("電話"), {}, kSecond, StrokeMemo(2)});
        ASSERT_TRUE(QFile::link(a, memos.filePath(QStringLiteral("to-a"))));
        for (const QString& folder : {a, b}) {
            LibraryIndex index(folder);
            EXPECT_EQ(index.Refresh()->size(), 1u) << c.xdg;
            EXPECT_TRUE(index.Stored()) << c.xdg;
            EXPECT_TRUE(index.Problem().isEmpty()) << index.Problem().toStdString();
        }
        EXPECT_EQ(QFileInfo(IndexFileFor(a)).path(), c.cache) << c.xdg;
        EXPECT_TRUE(QFileInfo::exists(IndexFileFor(a))) << c.xdg;
        EXPECT_NE(IndexFileFor(a), IndexFileFor(b)) << c.xdg;
        EXPECT_EQ(IndexFileFor(memos.filePath(QStringLiteral("to-a"))), IndexFileFor(a)) << "one folder, two paths";
        QString record = IndexFileFor(b);
        record.replace(QStringLiteral(".sqlite"), QStringLiteral(".folder"));
        EXPECT_EQ(bytesOf(record), QFile::encodeName(QFileInfo(b).canonicalFilePath()) + '\n') << c.xdg;
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(c.cache).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u) << c.xdg;
        EXPECT_EQ(filesIn(a), QStringList{memoA}) << c.xdg;
        EXPECT_EQ(filesIn(b), QStringList{memoB}) << c.xdg;
        LibraryIndex again(a);
        again.Refresh();
        EXPECT_EQ(again.FilesRead(), 0) << c.xdg << ": the index in the cache was not used";
        QDir(c.cache).removeRecursively();
    }
}

TEST(IndexPlace, TheOldIndexInTheFolderGoesOnceTheNewOneIsBuilt)
{
    const struct {
        const char* name;
        bool stop;         // the first refresh is stopped before it is done
        bool foreignShm;   // a folder under the old log's name
    } cases[] = {
        {"built", false, false},
        {"stopped before it was built", true, false},
        {"a folder under one of the old names", false, true},
    };
    for (const auto& c : cases) {
        QTemporaryDir dir;
        const ScopedEnv cache("XDG_CACHE_HOME", dir.filePath(QStringLiteral("cache")));
        const QString folder = dir.filePath(QStringLiteral("memos"));
        QDir().mkpath(folder);
        const QString memo = WriteTestMemo(folder, {QStringLiteral("会議"), {}, kSecond, StrokeMemo(1)});
        const QString old = folder + QLatin1Char('/') + QLatin1String(kOldIndexFileName);
        writeFile(old, "SQLite format 3");
        writeFile(old + QStringLiteral("-wal"), "log");
        if (c.foreignShm)
            QDir().mkpath(old + QStringLiteral("-shm"));
        else
            writeFile(old + QStringLiteral("-shm"), "shared");
        LibraryIndex index(folder);
        const std::atomic<bool> stop = c.stop;
        const MemoEntries entries = index.Refresh(nullptr, &stop);
        if (c.stop) {
            EXPECT_TRUE(QFileInfo::exists(old)) << c.name << ": removed before the new index was whole";
            continue;
        }
        ASSERT_EQ(entries->size(), 1u) << c.name;
        EXPECT_EQ((*entries)[0].fileName(), memo);
        EXPECT_TRUE(index.Stored()) << c.name;
        QStringList expected{memo};
        if (c.foreignShm)
            expected << QLatin1String(kOldIndexFileName) + QStringLiteral("-shm");
        expected.sort();
        EXPECT_EQ(filesIn(folder), expected) << c.name;
    }
}

TEST(IndexPlace, AnIndexThatCannotBeKeptIsToldAndTheListStillWorks)
{
    const struct {
        const char* name;
        std::function<QString(const QString& dir)> cacheHome;  // makes the trouble; XDG_CACHE_HOME
        bool asRoot;  // the case holds for root too
    } cases[] = {
        {"a file where the cache folder goes",
         [](const QString& dir) {
             QDir().mkpath(dir + QStringLiteral("/c"));
             writeFile(dir + QStringLiteral("/c/vexlo"), "x");
             return dir + QStringLiteral("/c");
         },
         true},
        {"the cache home below a file",
         [](const QString& dir) { writeFile(dir + QStringLiteral("/f"), "x"); return dir + QStringLiteral("/f/cache"); }, true},
        {"a cache folder that cannot be written",
         [](const QString& dir) {
             QDir().mkpath(dir + QStringLiteral("/ro/vexlo"));
             ::chmod(QFile::encodeName(dir + QStringLiteral("/ro/vexlo")).constData(), 0500);
             return dir + QStringLiteral("/ro");
         },
         false},
        {"the record names another folder",
         [](const QString& dir) {
             const ScopedEnv cache("XDG_CACHE_HOME", dir + QStringLiteral("/taken"));
             QDir().mkpath(dir + QStringLiteral("/taken/vexlo"));
             QString record = IndexFileFor(dir + QStringLiteral("/memos"));
             record.replace(QStringLiteral(".sqlite"), QStringLiteral(".folder"));
             writeFile(record, "/somewhere/else\n");
             return dir + QStringLiteral("/taken");
         },
         true},
        {"a folder where the index goes",
         [](const QString& dir) {
             const ScopedEnv cache("XDG_CACHE_HOME", dir + QStringLiteral("/odd"));
             QDir().mkpath(IndexFileFor(dir + QStringLiteral("/memos")));
             return dir + QStringLiteral("/odd");
         },
         true},
    };
    for (const auto& c : cases) {
        if (!c.asRoot && ::geteuid() == 0)
            continue;  // root writes where it likes
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("memos"));
        QDir().mkpath(folder);
        const QString memo = WriteTestMemo(folder, {QStringLiteral("会議"), {}, kSecond, StrokeMemo(1)});
        const ScopedEnv cache("XDG_CACHE_HOME", c.cacheHome(dir.path()));
        LibraryIndex index(folder);
        const MemoEntries entries = index.Refresh();
        ASSERT_EQ(entries->size(), 1u) << c.name;
        EXPECT_EQ((*entries)[0].info().title, QStringLiteral("会議")) << c.name;
        EXPECT_FALSE(index.Stored()) << c.name;
        EXPECT_TRUE(index.Problem().contains(dir.path())) << c.name << ": " << index.Problem().toStdString();
        EXPECT_EQ(filesIn(folder), QStringList{memo}) << c.name << ": an index was put into the folder";
        ::chmod(QFile::encodeName(dir.filePath(QStringLiteral("ro/vexlo"))).constData(), 0700);
    }
}

TEST(IndexPlace, IndexesOfFoldersThatAreGoneAreForgottenAfterAWhile)
{
    QTemporaryDir dir;
    const ScopedEnv cache("XDG_CACHE_HOME", dir.filePath(QStringLiteral("cache")));
    const QString vexlo = dir.filePath(QStringLiteral("cache/vexlo"));
    QDir().mkpath(vexlo);
    const QString existing = dir.filePath(QStringLiteral("still here"));
    QDir().mkpath(existing);
    const struct {
        const char* stem;
        QString folder;
        int daysUnused;
        bool kept;
    } cases[] = {
        {"index-00000000000000a1", dir.filePath(QStringLiteral("gone")), kIndexKeptDays + 1, false},
        {"index-00000000000000a2", dir.filePath(QStringLiteral("gone")), kIndexKeptDays - 1, true},
        {"index-00000000000000a3", existing, kIndexKeptDays + 1, true},
    };
    for (const auto& c : cases) {
        const QString stem = vexlo + QLatin1Char('/') + QLatin1String(c.stem);
        writeFile(stem + QStringLiteral(".sqlite"), "db");
        writeFile(stem + QStringLiteral(".folder"), QFile::encodeName(c.folder) + '\n');
        const struct timespec unused[2] = {{std::time(nullptr) - c.daysUnused * 86400L, 0},
                                           {std::time(nullptr) - c.daysUnused * 86400L, 0}};
        ::utimensat(AT_FDCWD, QFile::encodeName(stem + QStringLiteral(".folder")).constData(), unused, 0);
    }
    const QString folder = dir.filePath(QStringLiteral("memos"));
    QDir().mkpath(folder);
    LibraryIndex(folder).Refresh();
    for (const auto& c : cases) {
        const QString stem = vexlo + QLatin1Char('/') + QLatin1String(c.stem);
        EXPECT_EQ(QFileInfo::exists(stem + QStringLiteral(".sqlite")), c.kept) << c.stem;
        EXPECT_EQ(QFileInfo::exists(stem + QStringLiteral(".folder")), c.kept) << c.stem;
    }
}

TEST(SyncedFolder, IsToldByTheMarksOfSyncTools)
{
    const struct {
        const char* mark;  // below the top of the synced tree
        bool file;         // a file (else a folder)
        bool synced;
    } cases[] = {
        {".stfolder", false, true},
        {"memos/.stfolder", false, true},
        {".dropbox", true, true},
        {".dropbox", false, false},  // ~/.dropbox holds Dropbox's settings
        {".sync_0123abcd.db", true, true},
        {"._sync_0123abcd.db", true, true},
        {".owncloudsync.log", true, true},
        {".nextcloudsync.log", true, true},
        {"sync_0123abcd.db", true, false},
        {".stfolder.txt", true, false},
        {nullptr, false, false},
    };
    for (const auto& c : cases) {
        QTemporaryDir dir;
        const QString memos = dir.filePath(QStringLiteral("top/memos"));
        QDir().mkpath(memos);
        if (c.mark && c.file)
            writeFile(dir.filePath(QStringLiteral("top/") + QLatin1String(c.mark)), "");
        else if (c.mark)
            QDir().mkpath(dir.filePath(QStringLiteral("top/") + QLatin1String(c.mark)));
        EXPECT_EQ(IsSyncedFolder(memos), c.synced) << (c.mark ? c.mark : "no mark");
    }
}

// The library folder is asked about before every memo stored; the answer follows every change
// of the folders that can hold a mark, and a memo written by us changes nothing.
TEST(SyncedFolder, ACheckAskedAgainFollowsTheChangesOfItsFolders)
{
    using Step = std::function<void(const QDir& top, TSyncedFolderCheck& check)>;
    auto file = [](const QString& path) { writeFile(path, ""); };
    const Step writeMemo = [&](const QDir& top, TSyncedFolderCheck& check) {
        file(top.filePath(QStringLiteral("memos/2026-12-07 16.23.32.png")));
        check.Changed();
    };
    const struct {
        const char* what;
        const char* markBefore;  // a folder below the top, or nothing
        std::vector<Step> steps;
        bool synced;
    } cases[] = {
        {"a mark put above the folder", nullptr,
         {[&](const QDir& top, TSyncedFolderCheck&) { top.mkpath(QStringLiteral(".stfolder")); }}, true},
        {"a mark put into the folder", nullptr,
         {[&](const QDir& top, TSyncedFolderCheck&) { file(top.filePath(QStringLiteral("memos/.sync_0123abcd.db"))); }},
         true},
        {"a mark taken away", ".stfolder",
         {[&](const QDir& top, TSyncedFolderCheck&) { top.rmdir(QStringLiteral(".stfolder")); }}, false},
        {"a memo of ours written", nullptr, {writeMemo}, false},
        {"a memo of ours kept, a mark found", ".stfolder", {writeMemo}, true},
        {"a mark put into the folder after a memo of ours", nullptr,
         {writeMemo,
          [&](const QDir& top, TSyncedFolderCheck&) { file(top.filePath(QStringLiteral("memos/.owncloudsync.log"))); }},
         true},
        {"a mark put above the folder, then a memo of ours", nullptr,
         {[&](const QDir& top, TSyncedFolderCheck& check) {
             top.mkpath(QStringLiteral(".stfolder"));
             writeMemo(top, check);
         }},
         true},
        {"the folder's link turned to a synced tree", nullptr,
         {[&](const QDir& top, TSyncedFolderCheck&) {
             top.mkpath(QStringLiteral("other/.stfolder"));
             top.mkpath(QStringLiteral("other/memos"));
             ::unlink(QFile::encodeName(top.filePath(QStringLiteral("library"))).constData());
             ASSERT_EQ(::symlink("other/memos", QFile::encodeName(top.filePath(QStringLiteral("library"))).constData()), 0);
         }},
         true},
    };
    for (const auto& c : cases) {
        QTemporaryDir dir;
        const QDir top(dir.path());
        top.mkpath(QStringLiteral("memos"));
        ASSERT_EQ(::symlink("memos", QFile::encodeName(top.filePath(QStringLiteral("library"))).constData()), 0);
        if (c.markBefore)
            top.mkpath(QLatin1String(c.markBefore));
        // The folders' times set back: a change within the kernel's tick of the first look
        // then shows all the same.
        for (const char* folder : {".", "memos"}) {
            const struct timespec hourAgo[2] = {{std::time(nullptr) - 3600, 0}, {std::time(nullptr) - 3600, 0}};
            ::utimensat(AT_FDCWD, QFile::encodeName(top.filePath(QLatin1String(folder))).constData(), hourAgo, 0);
        }
        TSyncedFolderCheck check(top.filePath(QStringLiteral("library")));
        ASSERT_EQ(check.IsSynced(), c.markBefore != nullptr) << c.what;
        for (const Step& step : c.steps) {
            step(top, check);
            EXPECT_EQ(check.IsSynced(), IsSyncedFolder(top.filePath(QStringLiteral("library")))) << c.what;
        }
        EXPECT_EQ(check.IsSynced(), c.synced) << c.what;
    }
}

TMemoMeta metaOf(const QString& title)
{
    TMemoMeta meta;
    meta.Carried = true;
    meta.Title = title;
    meta.Arrived = kSecond;
    return meta;
}

TEST(SyncedFolder, NamesCarryTheMachinePartOnlyWhereTheFolderIsSynced)
{
    const struct {
        bool marked;
        SyncedSetting setting;
        bool machine;
        bool markedAfterOpen = false;  // the sync tool set up while a receiver runs
    } cases[] = {
        {true, SyncedSetting::Auto, true},   {false, SyncedSetting::Auto, false},
        {false, SyncedSetting::Yes, true},   {true, SyncedSetting::No, false},
        {false, SyncedSetting::Auto, true, true},
    };
    for (const auto& c : cases) {
        QTemporaryDir dir;
        if (c.marked)
            QDir().mkpath(dir.filePath(QStringLiteral(".stfolder")));
        TMemoStore store(dir.filePath(QStringLiteral("memos")), c.setting);
        ASSERT_FALSE(store.Open());
        if (c.markedAfterOpen)
            QDir().mkpath(dir.filePath(QStringLiteral(".stfolder")));
        QString path;
        ASSERT_FALSE(store.Store(StrokeMemo(1), metaOf(QStringLiteral("会議")), &path));
        const QString expected = MemoFileName(kSecond, QStringLiteral("会議"), 1, QStringLiteral(".png"),
                                              c.machine ? MachinePart() : QString());
        EXPECT_EQ(QFileInfo(path).fileName(), expected) << int(c.setting) << c.marked;
        EXPECT_EQ(store.Synced(), c.machine);
    }
}

// PC A and PC B fill one folder that a sync tool keeps alike, simulated by copying the files
// of each PC's folder into the other's.
TEST(SyncedFolder, TwoPCsReceivingAtTheSameSecondAndTheirConflictCopies)
{
    QTemporaryDir dir;
    const ScopedEnv cache("XDG_CACHE_HOME", dir.filePath(QStringLiteral("cache")));
    const ScopedEnv data("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")));
    QDir().mkpath(dir.filePath(QStringLiteral("data")));
    const QString a = dir.filePath(QStringLiteral("A/Sync/memos")), b = dir.filePath(QStringLiteral("B/Sync/memos"));
    QDir().mkpath(dir.filePath(QStringLiteral("A/Sync/.stfolder")));
    QDir().mkpath(dir.filePath(QStringLiteral("B/Sync/.stfolder")));
    TMemoStore pcA(a), pcB(b);
    ASSERT_FALSE(pcA.Open());
    ASSERT_FALSE(pcB.Open());
    pcA.SetMachinePart(QStringLiteral("a1a1"));
    pcB.SetMachinePart(QStringLiteral("b2b2"));
    for (const QString& title : {QStringLiteral("会議"), QString()}) {
        QString path;
        ASSERT_FALSE(pcA.Store(StrokeMemo(1), metaOf(title), &path));
        ASSERT_FALSE(pcB.Store(StrokeMemo(2), metaOf(title), &path));
    }
    // The sync: each PC's files arrive at the other; not one name is taken there already.
    for (const auto& [from, to] : {std::pair{a, b}, std::pair{b, a}})
        for (const QString& name : QDir(from).entryList(QDir::Files))
            if (!QFileInfo::exists(to + QLatin1Char('/') + name)) {
                EXPECT_TRUE(QFile::copy(from + QLatin1Char('/') + name, to + QLatin1Char('/') + name)) << name.toStdString();
            }
    EXPECT_EQ(filesIn(a), filesIn(b));
    EXPECT_EQ(filesIn(a).size(), 4) << filesIn(a).join(QLatin1Char('|')).toStdString();

    // The same memo renamed on both PCs: the sync tool keeps B's as a conflict copy.
    const QString original = MemoFileName(kSecond, QStringLiteral("会議"), 1, QStringLiteral(".png"), QStringLiteral("a1a1"));
    ASSERT_FALSE(RenameMemo(a, original, QStringLiteral("会議 A"), QString()));
    ASSERT_FALSE(RenameMemo(b, original, QStringLiteral("会議 B"), QString()));
    const QString renamed = MemoFileName(kSecond, QStringLiteral("会議 A"), 1, QStringLiteral(".png"), QStringLiteral("a1a1"));
    ASSERT_TRUE(QFileInfo::exists(a + QLatin1Char('/') + renamed)) << "a rename lost the machine part";
    QString copy = renamed;
    copy.insert(copy.size() - 4, QStringLiteral(".sync-conflict-20261207-162400-BBBBBBB"));
    const QByteArray bVersion = MemoPngBytes({QStringLiteral("会議 B"), {}, kSecond, StrokeMemo(7)});
    writeFile(a + QLatin1Char('/') + copy, bVersion);
    const QByteArray aVersion = bytesOf(a + QLatin1Char('/') + renamed);

    LibraryIndex index(a);
    TLibraryModel model;
    model.setFolder(a);
    model.setEntries(index.Refresh());
    ASSERT_EQ(model.rowCount(), 5);
    EXPECT_EQ(model.conflictCount(), 1);
    for (const TLibraryModel::Order order : {TLibraryModel::Order::Newest, TLibraryModel::Order::Oldest, TLibraryModel::Order::Title}) {
        model.setOrder(order);
        const int row = model.rowOf(copy);
        ASSERT_GT(row, 0);
        EXPECT_EQ(model.entryAt(row - 1).fileName(), renamed) << "the copy is not beside its original, order " << int(order);
        EXPECT_EQ(model.conflictOriginal(row), renamed);
        EXPECT_EQ(model.versionsOf(row), (QStringList{renamed, copy}));
        EXPECT_EQ(model.versionsOf(row - 1), (QStringList{renamed, copy}));
        EXPECT_TRUE(model.conflictOriginal(row - 1).isEmpty());
    }
    for (int row = 0; row < model.rowCount(); ++row)
        if (model.entryAt(row).fileName() != copy && model.entryAt(row).fileName() != renamed) {
            EXPECT_TRUE(model.versionsOf(row).isEmpty()) << model.entryAt(row).fileName().toStdString();
        }

    // B's version is kept: it takes the original's name, A's goes to the trash.
    QString kept;
    QStringList trashed;
    EXPECT_FALSE(KeepConflictVersion(a, copy, {renamed}, &kept, &trashed));
    EXPECT_EQ(kept, renamed);
    EXPECT_EQ(trashed, QStringList{renamed});
    EXPECT_EQ(bytesOf(a + QLatin1Char('/') + renamed), bVersion);
    EXPECT_FALSE(QFileInfo::exists(a + QLatin1Char('/') + copy));
    EXPECT_EQ(bytesOf(dir.filePath(QStringLiteral("data/Trash/files/")) + renamed), aVersion);
}

// Whatever goes wrong while one version is kept, every version is still somewhere.
TEST(SyncedFolder, KeepingOneVersionNeverLosesAnother)
{
    const QString original = QStringLiteral("memo.png");
    const QString copy = QStringLiteral("memo.sync-conflict-20261207-162332-ABCDEF7.png");
    const QString other = QStringLiteral("memo (conflicted copy 2026-12-07 162332).png");
    const struct {
        const char* name;
        QString keep;
        QStringList others;
        bool trashBroken;  // the trash cannot take files
        bool fails;
    } cases[] = {
        {"the original kept", original, {copy, other}, false, false},
        {"a copy kept", copy, {original, other}, false, false},
        {"the trash cannot take them", copy, {original, other}, true, true},
        {"the original's name still taken", copy, {other}, false, true},
        {"a file that is no version of it", copy, {original, QStringLiteral("note.png")}, false, true},
    };
    for (const auto& c : cases) {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("memos"));
        QDir().mkpath(folder);
        const QString trash = dir.filePath(QStringLiteral("data/Trash"));
        QDir().mkpath(dir.filePath(QStringLiteral("data")));
        if (c.trashBroken)
            writeFile(trash, "no folder");
        const ScopedEnv data("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")));
        std::map<QString, QByteArray> versions;
        for (const QString& name : {original, copy, other, QStringLiteral("note.png")}) {
            versions[name] = name.toUtf8();
            writeFile(folder + QLatin1Char('/') + name, name.toUtf8());
        }
        const std::optional<QString> failure = KeepConflictVersion(folder, c.keep, c.others);
        EXPECT_EQ(failure.has_value(), c.fails) << c.name << ": " << failure.value_or(QString()).toStdString();
        std::multiset<QByteArray> found;
        for (const QString& where : {folder, trash + QStringLiteral("/files")})
            for (const QString& name : QDir(where).entryList(QDir::Files))
                found.insert(bytesOf(where + QLatin1Char('/') + name));
        for (const auto& [name, bytes] : versions)
            EXPECT_EQ(found.count(bytes), 1u) << c.name << ": " << name.toStdString();
        if (!c.fails) {
            EXPECT_EQ(bytesOf(folder + QLatin1Char('/') + original), versions[c.keep]) << c.name;
        }
    }
}

}  // namespace
