// The index of a library folder against the files, which are the truth: whatever happened to
// the index (gone, behind the files, damaged, of another layout), the memos come out as the
// files say, and the index is whole again afterwards (the next opening reads no file).
#include "store/LibraryIndex.h"
#include "support/LibraryMemos.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <sys/stat.h>

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
        out[e.fileName] = e.info.title;
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

    QString indexPath() const { return folder_ + QLatin1Char('/') + QLatin1String(kIndexFileName); }

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
        const qint64 expected = e.fileName == QLatin1String("scan.bmp") ? touched.toMSecsSinceEpoch()
                                : e.fileName == a_ ? kMorning.addSecs(60).toMSecsSinceEpoch()
                                                   : kMorning.addSecs(120).toMSecsSinceEpoch();
        EXPECT_EQ(e.info.time, expected) << e.fileName.toStdString();
        EXPECT_EQ(e.info.titled, e.fileName != QLatin1String("scan.bmp")) << e.fileName.toStdString();
    }
}

}  // namespace
