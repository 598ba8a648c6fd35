// Renaming a memo of the library: the picture and the other text stay exactly, the name keeps
// its time, a name that is taken is never overwritten, and a picture put in by hand keeps its
// bytes and its date.
#include "store/MemoRename.h"
#include "store/PngText.h"
#include "support/LibraryMemos.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

TEST(MemoRename, KeepsThePictureTheTimeAndEveryOtherFile)
{
    QTemporaryDir dir;
    const QString folder = dir.path();
    const TestMemo original{QStringLiteral("会議"), QStringLiteral("ｶｲｷﾞ"), QDateTime(QDate(2026, 12, 7), QTime(16, 23, 32)),
                            StrokeMemo(3)};
    const QString name = WriteTestMemo(folder, original);
    // Another memo already carries the name the new title gives.
    const QString taken = WriteTestMemo(folder, {QStringLiteral("定例会議"), {}, original.arrived, StrokeMemo(4)});
    const QByteArray takenBytes = bytesOf(folder + QLatin1Char('/') + taken);
    StrokeMemo(5).save(folder + QStringLiteral("/scan.bmp"));
    const QByteArray scanBytes = bytesOf(folder + QStringLiteral("/scan.bmp"));
    const QDateTime scanTime = QFileInfo(folder + QStringLiteral("/scan.bmp")).lastModified();

    QString renamed;
    ASSERT_EQ(RenameMemo(folder, name, QStringLiteral("定例会議"), QStringLiteral("ﾃｲﾚｲｶｲｷﾞ"), &renamed), std::nullopt);
    EXPECT_EQ(renamed, QStringLiteral("2026-12-07 16.23.32 定例会議 (2).png"));
    EXPECT_FALSE(QFile::exists(folder + QLatin1Char('/') + name));
    EXPECT_EQ(bytesOf(folder + QLatin1Char('/') + taken), takenBytes);
    const QByteArray bytes = bytesOf(folder + QLatin1Char('/') + renamed);
    const std::optional<PngText> text = ReadPngText(bytes);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->text(QStringLiteral("Title")), QStringLiteral("定例会議"));
    EXPECT_EQ(text->text(QStringLiteral("Reading")), QStringLiteral("ﾃｲﾚｲｶｲｷﾞ"));
    EXPECT_EQ(text->text(QStringLiteral("TitleCodes")), QStringLiteral("2422"));
    EXPECT_EQ(text->text(QStringLiteral("Arrived")), ReadPngText(MemoPngBytes(original))->text(QStringLiteral("Arrived")));
    QImage picture;
    ASSERT_TRUE(picture.loadFromData(bytes, "png"));
    EXPECT_EQ(picture.convertToFormat(QImage::Format_Mono), original.picture.convertToFormat(QImage::Format_Mono));

    ASSERT_EQ(RenameMemo(folder, QStringLiteral("scan.bmp"), QStringLiteral("領収書"), {}, &renamed), std::nullopt);
    EXPECT_EQ(renamed, QStringLiteral("領収書.bmp"));
    EXPECT_EQ(bytesOf(folder + QStringLiteral("/領収書.bmp")), scanBytes);
    EXPECT_EQ(QFileInfo(folder + QStringLiteral("/領収書.bmp")).lastModified(), scanTime);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 3);  // nothing left behind
}

}  // namespace
