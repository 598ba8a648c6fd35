// The index of a library folder against the files, which are the truth: whatever happened to
// the index (gone, behind the files, damaged, of another layout), the memos come out as the
// files say, and the index is whole again afterwards (the next opening reads no file).
#include "store/LibraryIndex.h"
#include "support/LibraryMemos.h"
#include "picture/Picture.h"
#include "platform/FileNames.h"
#include "store/MemoFile.h"
#include "store/MemoRename.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QDateTime kMorning(QDate(2026, 12, 7), QTime(9, 30, 5));

TestMemo memo(const QString& title, const QString& reading, int minutes)
{
    return {title, reading, kMorning.addSecs(minutes * 60), StrokeMemo(minutes)};
}

// File name -> title, as the index gives them.
std::map<QString, QString> titles(const MemoEntries& entries)
{
    std::map<QString, QString> out;
    for (const MemoEntry& e : *entries)
        out[e.fileName()] = e.info().title;
    return out;
}

class LibraryIndexTest : public ::testing::Test {
protected:
    // A folder with two memos and a picture put in by hand (titled by its name), indexed.
    void prepare()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        folder_ = dir_->path();
        a_ = WriteTestMemo(folder_, memo(QStringLiteral("会議"), QStringLiteral("ｶｲｷﾞ"), 1));
        b_ = WriteTestMemo(folder_, memo(QStringLiteral("買い物"), QStringLiteral("ｶｲﾓﾉ"), 2));
        StrokeMemo(9).save(folder_ + QStringLiteral("/scan.bmp"));
        expected_ = {{a_, QStringLiteral("会議")}, {b_, QStringLiteral("買い物")},
                     {QStringLiteral("scan.bmp"), QStringLiteral("scan.bmp")}};
        LibraryIndex(folder_).Refresh();
    }

    QString indexPath() const { return IndexFileFor(folder_); }

    std::unique_ptr<QTemporaryDir> dir_;
    QString folder_;
    QString a_, b_;
    std::map<QString, QString> expected_;
};

TEST_F(LibraryIndexTest, TheFilesWinOverWhateverHappenedToTheIndex)
{
    struct Case {
        const char* name;
        std::function<void()> happen;
    };
    const Case cases[] = {
        {"index deleted", [&] { QFile::remove(indexPath()); }},
        {"memo added", [&] { expected_[WriteTestMemo(folder_, memo(QStringLiteral("電話"), QStringLiteral("ﾃﾞﾝﾜ"), 3))] = QStringLiteral("電話"); }},
        {"memo removed", [&] { QFile::remove(folder_ + QLatin1Char('/') + b_); expected_.erase(b_); }},
        {"memo rewritten under its name",
         [&] {
             QFile file(folder_ + QLatin1Char('/') + a_);
             file.open(QIODevice::WriteOnly | QIODevice::Truncate);
             file.write(MemoPngBytes(memo(QStringLiteral("会議の続き"), QStringLiteral("ｶｲｷﾞﾉﾂﾂﾞｷ"), 1)));
             expected_[a_] = QStringLiteral("会議の続き");
         }},
        {"memo renamed by another program",
         [&] {
             QFile::rename(folder_ + QLatin1Char('/') + b_, folder_ + QStringLiteral("/kept.png"));
             expected_.erase(b_);
             expected_[QStringLiteral("kept.png")] = QStringLiteral("買い物");
         }},
        {"index is not a database",
         [&] {
             QFile file(indexPath());
             file.open(QIODevice::WriteOnly | QIODevice::Truncate);
             file.write(QByteArray(8192, 'x'));
         }},
        {"index cut short", [&] { QFile(indexPath()).resize(QFileInfo(indexPath()).size() / 2); }},
        {"index of the same version with another table",
         [&] {
             QFile::remove(indexPath());
             const QString connection = QStringLiteral("foreign-layout");
             {
                 QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
                 db.setDatabaseName(indexPath());
                 db.open();
                 QSqlQuery q(db);
                 q.exec(QStringLiteral("CREATE TABLE memo(name TEXT)"));
                 q.exec(QStringLiteral("INSERT INTO memo VALUES ('ghost.png')"));
                 q.exec(QStringLiteral("PRAGMA user_version=%1").arg(kIndexLayout));
             }
             QSqlDatabase::removeDatabase(connection);
         }},
    };
    for (const Case& c : cases) {
        prepare();
        c.happen();
        {
            LibraryIndex index(folder_);
            EXPECT_EQ(titles(index.Refresh()), expected_) << c.name;
            EXPECT_TRUE(index.Stored()) << c.name;
        }
        LibraryIndex again(folder_);
        EXPECT_EQ(titles(again.Refresh()), expected_) << c.name << ", opened again";
        EXPECT_EQ(again.FilesRead(), 0) << c.name << ": the index was not written back whole";
    }
}

// Another program holds the index (a long write, a tool in the middle of a transaction): the
// memos come from the files for this run, and the database it has open is left to it.
TEST_F(LibraryIndexTest, AnIndexHeldByAnotherProgramIsLeftToIt)
{
    prepare();
    struct stat before {};
    ASSERT_EQ(::stat(QFile::encodeName(indexPath()).constData(), &before), 0);
    const QString connection = QStringLiteral("holder");
    {
        QSqlDatabase holder = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        holder.setDatabaseName(indexPath());
        ASSERT_TRUE(holder.open());
        QSqlQuery q(holder);
        ASSERT_TRUE(q.exec(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE")));
        ASSERT_TRUE(q.exec(QStringLiteral("BEGIN EXCLUSIVE")));
        ASSERT_TRUE(q.exec(QStringLiteral("CREATE TABLE holder(x)")));
        {
            LibraryIndex index(folder_);
            EXPECT_EQ(titles(index.Refresh()), expected_);
            EXPECT_FALSE(index.Stored());
        }
        struct stat during {};
        ASSERT_EQ(::stat(QFile::encodeName(indexPath()).constData(), &during), 0) << "the index was deleted";
        EXPECT_EQ(during.st_ino, before.st_ino) << "the index was made anew under its holder";
        EXPECT_TRUE(q.exec(QStringLiteral("COMMIT"))) << q.lastError().text().toStdString();
        holder.close();
    }
    QSqlDatabase::removeDatabase(connection);
    LibraryIndex again(folder_);
    EXPECT_EQ(titles(again.Refresh()), expected_);
    EXPECT_TRUE(again.Stored());
    EXPECT_EQ(again.FilesRead(), 0) << "the index kept what it held";
}

// Names that are bytes, not UTF-8, beside the names Qt would turn them into: each row is its
// own file, for the index, the pictures, renaming and the trash alike.
TEST(LibraryNames, ThatAreNotUtf8KeepTheirBytes)
{
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    struct {
        QByteArray name;
        int side;  // each file's picture has a size of its own
    } const files[] = {
        {"\xff-A.png", 20},
        {"\xef\xbf\xbd-A.png", 30},           // U+FFFD, what Qt makes of \xff
        {"\xc3\x28-B.png", 40},               // a cut two-byte character
        {"\xf4\x8f\xbd\x81-C.png", 50},       // U+10FF41: text that looks like an escaped byte
        {"plain.png", 60},
    };
    std::map<QByteArray, int> sides;
    for (const auto& f : files) {
        const QByteArray bytes = MemoPngBytes({QStringLiteral("t"), QString(), kMorning, StrokeMemo(f.side, QSize(f.side, 8))});
        const int fd = ::open((folder + '/' + f.name).constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, bytes.constData(), size_t(bytes.size())), bytes.size());
        ::close(fd);
        sides[f.name] = f.side;
    }
    auto bytesOf = [&](const QString& fileName) {
        const QByteArray path = platform::EncodeFileName(dir.path() + QLatin1Char('/') + fileName);
        return path.mid(folder.size() + 1);
    };
    {
        LibraryIndex index(dir.path());
        const MemoEntries entries = index.Refresh();
        ASSERT_EQ(entries->size(), std::size(files));
        std::set<QString> names;
        for (const MemoEntry& e : *entries) {
            names.insert(e.fileName());
            const QByteArray name = bytesOf(e.fileName());
            ASSERT_TRUE(sides.count(name)) << name.toHex().toStdString();
            EXPECT_EQ(e.info().size, QSize(sides[name], 8)) << name.toHex().toStdString();
            const std::optional<QImage> picture = ReadPictureFile(dir.path() + QLatin1Char('/') + e.fileName());
            ASSERT_TRUE(picture) << name.toHex().toStdString();
            EXPECT_EQ(picture->width(), sides[name]);
            EXPECT_TRUE(ReadMemoMeta(dir.path() + QLatin1Char('/') + e.fileName()).has_value());
        }
        EXPECT_EQ(names.size(), std::size(files)) << "two files under one name";
    }
    LibraryIndex again(dir.path());
    EXPECT_EQ(again.Refresh()->size(), std::size(files));
    EXPECT_EQ(again.FilesRead(), 0) << "a name came back from the index as another";

    // Renamed and trashed: the file meant, and only it.
    const QString ff = platform::DecodeFileName("\xff-A.png");
    QString renamed;
    ASSERT_FALSE(RenameMemo(dir.path(), ff, QStringLiteral("新"), QString(), &renamed).has_value());
    EXPECT_TRUE(QFile::exists(dir.path() + QLatin1Char('/') + renamed));
    EXPECT_NE(::access((folder + "/\xff-A.png").constData(), F_OK), 0);
    EXPECT_EQ(::access((folder + "/\xef\xbf\xbd-A.png").constData(), F_OK), 0);

    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
    const QString cut = platform::DecodeFileName("\xc3\x28-B.png");
    EXPECT_FALSE(platform::MoveToTrash(dir.path() + QLatin1Char('/') + cut).has_value());
    qunsetenv("XDG_DATA_HOME");
    EXPECT_NE(::access((folder + "/\xc3\x28-B.png").constData(), F_OK), 0);
    const QByteArray trash = QFile::encodeName(data.path()) + "/Trash";
    EXPECT_EQ(::access((trash + "/files/\xc3\x28-B.png").constData(), F_OK), 0);
    QFile infoFile;
    const int infoFd = ::open((trash + "/info/\xc3\x28-B.png.trashinfo").constData(), O_RDONLY);
    ASSERT_GE(infoFd, 0);
    ASSERT_TRUE(infoFile.open(infoFd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
    EXPECT_TRUE(infoFile.readAll().contains("/%C3%28-B.png\n"));
    for (const QByteArray& kept : {QByteArray("\xef\xbf\xbd-A.png"), QByteArray("\xf4\x8f\xbd\x81-C.png")})
        EXPECT_EQ(::access((folder + '/' + kept).constData(), F_OK), 0) << kept.toHex().toStdString();
}

// The arrival carries its offset from UTC (the tests run in New York, five hours behind).
TEST_F(LibraryIndexTest, MemosAreDatedByTheirArrivalOthersByTheirFile)
{
    prepare();
    const QDateTime touched(QDate(2020, 5, 6), QTime(7, 8, 9));
    QFile scan(folder_ + QStringLiteral("/scan.bmp"));
    scan.open(QIODevice::ReadWrite);
    scan.setFileTime(touched, QFileDevice::FileModificationTime);
    scan.close();
    LibraryIndex index(folder_);
    for (const MemoEntry& e : *index.Refresh()) {
        const qint64 expected = e.fileName() == QLatin1String("scan.bmp") ? touched.toMSecsSinceEpoch()
                                : e.fileName() == a_ ? kMorning.addSecs(60).toMSecsSinceEpoch()
                                                   : kMorning.addSecs(120).toMSecsSinceEpoch();
        EXPECT_EQ(e.info().time, expected) << e.fileName().toStdString();
        EXPECT_EQ(e.info().titled, e.fileName() != QLatin1String("scan.bmp")) << e.fileName().toStdString();
    }
}

}  // namespace
