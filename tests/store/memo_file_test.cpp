// The library's memo files: their text chunks, their names, and a store that writes nothing
// over and clears what writers that died left behind.
#include "support/MemoImages.h"

#include "store/MemoFile.h"
#include "store/MemoStore.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTimeZone>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

struct MetaCase {
    const char* name;
    TMemoMeta meta;
};

TMemoMeta meta(const QString& title, const QString& reading, const QByteArray& codes, const QDateTime& arrived)
{
    TMemoMeta m;
    m.Title = title;
    m.Reading = reading;
    m.TitleCodes = codes;
    m.ReadingCodes = reading.isEmpty() ? QByteArray() : QByteArray("\xB6\xB2\xB7\xDE");
    m.Arrived = arrived;
    return m;
}

void PrintTo(const MetaCase& c, std::ostream* os) { *os << c.name; }

class MemoFileChunks : public testing::TestWithParam<MetaCase> {};

TEST_P(MemoFileChunks, ComeBackBeforeThePixelsAndThePictureStaysOneBit)
{
    const TMemoMeta& in = GetParam().meta;
    const QImage picture = RandomMemo(37, 21, 7);
    const QByteArray png = EncodeMemoPng(picture, in);
    // Whoever reads the chunks reads no pixels: they all stand before the first IDAT.
    const qsizetype pixels = png.indexOf("IDAT");
    ASSERT_GT(pixels, 0);
    const std::optional<TMemoMeta> out = ParseMemoMeta(png.first(pixels));
    ASSERT_TRUE(out.has_value());
    EXPECT_TRUE(out->Carried);
    EXPECT_EQ(out->Title, in.Title);
    EXPECT_EQ(out->Reading, in.Reading);
    EXPECT_EQ(out->TitleCodes, in.TitleCodes);
    EXPECT_EQ(out->ReadingCodes, in.ReadingCodes);
    EXPECT_EQ(out->Arrived, in.Arrived);
    if (in.Arrived.isValid()) {
        EXPECT_EQ(out->Arrived.offsetFromUtc(), in.Arrived.offsetFromUtc());
    }
    EXPECT_EQ(out->Software, SoftwareName());
    if (!in.TitleCodes.isEmpty()) {
        EXPECT_TRUE(png.contains(QByteArray("TitleCodes\0\0\0\0\0", 15) + in.TitleCodes.toHex().toUpper()));
    }

    QBuffer buffer(const_cast<QByteArray*>(&png));
    QImageReader reader(&buffer, "PNG");
    EXPECT_EQ(reader.text(QStringLiteral("Title")), in.Title) << "another reader finds the chunks too";
    const QImage back = reader.read();
    EXPECT_EQ(back.depth(), 1);
    EXPECT_EQ(PixelDifference(picture, back), QString());
}

const QDateTime kTokyo(QDate(2026, 12, 7), QTime(16, 23, 32), QTimeZone(9 * 3600));
const QDateTime kNewfoundland(QDate(2027, 1, 2), QTime(3, 4, 5), QTimeZone(-(3 * 3600 + 1800)));

INSTANTIATE_TEST_SUITE_P(
    Cases, MemoFileChunks,
    testing::Values(MetaCase{"Japanese", meta(QStringLiteral("会議 15時"), QStringLiteral("ｶｲｷﾞ"),
                                              QByteArray("\x32\x71\x35\x44\x0D\x31", 6), kTokyo)},
                    MetaCase{"NegativeOffset", meta(QStringLiteral("a"), QString(), QByteArray("\x0D\x41", 2), kNewfoundland)},
                    MetaCase{"Nothing", meta(QString(), QString(), QByteArray(), QDateTime())}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MemoFileChunks, ThePngOfAnotherProgramCarriesNone)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    RandomMemo(5, 5, 1).save(&buffer, "PNG");
    const std::optional<TMemoMeta> meta = ParseMemoMeta(png);
    ASSERT_TRUE(meta.has_value());
    EXPECT_FALSE(meta->Carried);
    EXPECT_FALSE(ParseMemoMeta(QByteArray("BM not a png")).has_value());
}

struct NameCase {
    const char* name;
    QString title;
    QString base;
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.name; }

class LibraryNames : public testing::TestWithParam<NameCase> {};

TEST_P(LibraryNames, HoldTimeAndTitleAsAFileNameCan)
{
    const QDateTime arrived(QDate(2026, 12, 7), QTime(16, 23, 32));
    const QString base = MemoFileName(arrived, GetParam().title, 1).chopped(4);
    if (!GetParam().base.isNull()) {
        EXPECT_EQ(base, GetParam().base);
    }
    // Room is left beside it for what a temporary name adds.
    EXPECT_LE(QFile::encodeName(MemoFileName(arrived, GetParam().title, 99999)).size() + 15, 255);
    EXPECT_FALSE(base.contains(QChar(QChar::ReplacementCharacter)) && !GetParam().title.contains(QChar(QChar::ReplacementCharacter)));
    EXPECT_EQ(QString::fromUtf8(base.toUtf8()), base) << "no character cut in half";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LibraryNames,
    testing::Values(NameCase{"Plain", QStringLiteral("会議 15時"), QStringLiteral("2026-12-07 16.23.32 会議 15時")},
                    NameCase{"NoTitle", QString(), QStringLiteral("2026-12-07 16.23.32")},
                    NameCase{"SlashAndControls", QStringLiteral("a/b\u0001c\u007fd"), QStringLiteral("2026-12-07 16.23.32 a_b_c_d")},
                    NameCase{"LeadingDots", QStringLiteral("..x"), QStringLiteral("2026-12-07 16.23.32 __x")},
                    NameCase{"TrailingBlankAndDot", QStringLiteral("x. "), QStringLiteral("2026-12-07 16.23.32 x__")},
                    NameCase{"Long", QString(200, QChar(0x3042)), QString()},
                    NameCase{"LongOutsideTheBasicPlane", QString::fromUcs4(std::u32string(100, U'\U0002000B').c_str()), QString()}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MemoStore, NeverWritesOverAndClearsOnlyWhatDeadWritersLeft)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("memos"));
    QDir().mkpath(folder);
    auto plant = [&](const char* name) {
        QFile f(QDir(folder).filePath(QString::fromUtf8(name)));
        f.open(QIODevice::WriteOnly);
        f.write("half a memo");
    };
    plant(".vexlo-00000000k3j4h.2026-12-07 16.23.32 a.png.part");  // its writer was killed
    plant(".vexlo-00000000x9y8z.2026-12-07 16.23.33 b.png.part");  // its writer is still at work
    plant(".vexlo-index.sqlite");
    plant(".thesis.v2.part");  // the user's own
    const int held = ::open(QFile::encodeName(QDir(folder).filePath(".vexlo-00000000x9y8z.2026-12-07 16.23.33 b.png.part")).constData(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    TMemoStore store(folder);
    ASSERT_FALSE(store.Open().has_value());
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden),
              QStringList({".thesis.v2.part", ".vexlo-00000000x9y8z.2026-12-07 16.23.33 b.png.part", ".vexlo-index.sqlite"}));
    ::close(held);

    const QDateTime arrived(QDate(2026, 12, 7), QTime(16, 23, 32));
    TMemoMeta m = meta(QStringLiteral("a"), QString(), QByteArray(), arrived);
    QString first, second;
    ASSERT_FALSE(store.Store(RandomMemo(9, 9, 1), m, &first).has_value());
    ASSERT_FALSE(store.Store(RandomMemo(9, 9, 2), m, &second).has_value());
    EXPECT_EQ(QFileInfo(first).fileName(), "2026-12-07 16.23.32 a.png");
    EXPECT_EQ(QFileInfo(second).fileName(), "2026-12-07 16.23.32 a (2).png");
    EXPECT_EQ(PixelDifference(RandomMemo(9, 9, 1), QImage(first)), QString());
}

}  // namespace
