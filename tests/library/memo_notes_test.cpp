// Tags, a note and a star kept in the memo's own PNG: the chunks are rewritten and everything
// else of the file (the pixels, every other chunk) stays byte for byte; a BMP is refused and
// keeps its bytes.
#include "store/MemoNotes.h"
#include "store/PngText.h"
#include "support/LibraryMemos.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

// The chunks of a PNG other than the three of the notes, each with its bytes, in order.
QList<QByteArray> otherChunks(const QByteArray& png)
{
    QList<QByteArray> chunks;
    for (qsizetype at = 8; at + 12 <= png.size();) {
        const quint32 length = quint32(uchar(png[at])) << 24 | quint32(uchar(png[at + 1])) << 16 |
                               quint32(uchar(png[at + 2])) << 8 | quint32(uchar(png[at + 3]));
        const QByteArray chunk = png.mid(at, qsizetype(length) + 12);
        const QByteArray keyword = chunk.mid(8, chunk.indexOf('\0', 8) - 8);
        if (!(chunk.mid(4, 4) == "iTXt" && (keyword == "Tags" || keyword == "Note" || keyword == "Starred")))
            chunks << chunk;
        at += qsizetype(length) + 12;
    }
    return chunks;
}

TEST(MemoNotes, AreRewrittenWithThePixelsAndEveryOtherChunkUnchanged)
{
    QTemporaryDir dir;
    const QString name = WriteTestMemo(dir.path(), {QStringLiteral("会議"), QStringLiteral("ｶｲｷﾞ"),
                                                     QDateTime(QDate(2026, 12, 7), QTime(9, 0)), StrokeMemo(3)});
    const QString path = dir.path() + QLatin1Char('/') + name;
    const QByteArray original = bytesOf(path);

    struct Step {
        MemoNotesChange change;
        MemoNotes expected;
    };
    const Step steps[] = {
        {{{QStringLiteral(" 仕事 "), QStringLiteral("#旅行"), QStringLiteral("仕事")}, {}, {}, {}},
         {{QStringLiteral("仕事"), QStringLiteral("旅行")}, {}, false}},
        {{{QStringLiteral("ｼｺﾞﾄ"), QStringLiteral("しごと"), QStringLiteral("")}, {QStringLiteral("旅行")},
          QStringLiteral("一行目\n二行目"), true},
         {{QStringLiteral("仕事"), QStringLiteral("ｼｺﾞﾄ")}, QStringLiteral("一行目\n二行目"), true}},
        {{{}, {QStringLiteral("シゴト"), QStringLiteral("仕事")}, QString(), false}, {}},
    };
    for (const Step& step : steps) {
        MemoNotes before;
        ASSERT_EQ(ChangeMemoNotes(path, step.change, &before), std::nullopt);
        const QByteArray bytes = bytesOf(path);
        EXPECT_EQ(ReadMemoNotes(bytes), step.expected);
        EXPECT_EQ(otherChunks(bytes), otherChunks(original));
        const std::optional<PngText> text = ReadPngText(bytes);
        ASSERT_TRUE(text);
        // An empty list, an empty note and no star leave no chunk behind.
        for (const char* key : {kMemoTagsKey, kMemoNoteKey, kMemoStarredKey})
            EXPECT_EQ(std::count_if(text->texts.cbegin(), text->texts.cend(),
                                    [&](const auto& t) { return t.first == QLatin1String(key); }),
                      key == kMemoTagsKey   ? !step.expected.tags.isEmpty()
                      : key == kMemoNoteKey ? !step.expected.note.isEmpty()
                                            : step.expected.starred)
                << key;
    }
    // All taken away again: the very file it was.
    EXPECT_EQ(bytesOf(path), original);
}

TEST(MemoNotes, ABmpOrTooMuchIsRefusedAndTheFileKept)
{
    QTemporaryDir dir;
    const QString bmp = dir.path() + QStringLiteral("/scan.bmp");
    StrokeMemo(5).save(bmp);
    const QString png = dir.path() + QLatin1Char('/') +
                        WriteTestMemo(dir.path(), {QStringLiteral("x"), {}, QDateTime::currentDateTime(), StrokeMemo(1)});
    const QString fake = dir.path() + QStringLiteral("/fake.png");
    QFile f(fake);
    f.open(QIODevice::WriteOnly);
    f.write("not a png at all");
    f.close();
    const struct {
        QString path;
        MemoNotesChange change;
    } refused[] = {
        {bmp, {{QStringLiteral("仕事")}, {}, {}, {}}},
        {fake, {{}, {}, {}, true}},
        {png, {{}, {}, QString(kMaxNoteLength + 1, QLatin1Char('x')), {}}},
        {png, {{QString(kMaxTagLength + 1, QLatin1Char('t'))}, {}, {}, {}}},
        {dir.path() + QStringLiteral("/gone.png"), {{QStringLiteral("a")}, {}, {}, {}}},
    };
    for (const auto& r : refused) {
        const QByteArray before = bytesOf(r.path);
        const std::optional<MemoNotesError> error = ChangeMemoNotes(r.path, r.change);
        ASSERT_TRUE(error) << qPrintable(r.path);
        EXPECT_FALSE(error->text.isEmpty());
        EXPECT_FALSE(error->englishText.isEmpty());
        EXPECT_EQ(bytesOf(r.path), before);
    }
}

TEST(MemoNotes, AMemoDatedByItsFileKeepsItsDate)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/hand.png");
    ASSERT_TRUE(StrokeMemo(2).save(path));
    const struct timespec old[2] = {{1'700'000'000, 0}, {1'700'000'000, 500}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), old, 0), 0);
    ASSERT_EQ(ChangeMemoNotes(path, {{}, {}, {}, true}), std::nullopt);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1'700'000'000);
    EXPECT_EQ(st.st_mtim.tv_nsec, 501);  // moved on, so that an index sees the change
    EXPECT_TRUE(ReadMemoNotes(bytesOf(path))->starred);
}

}  // namespace
