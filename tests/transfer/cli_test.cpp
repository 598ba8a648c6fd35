// Runs the real vexlo-cli.
#include "TransferTestUtil.h"
#include "transfer/MemoImage.h"

#include <gtest/gtest.h>

#include "support/FileSizeLimit.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <optional>
#include <random>
#include <sys/stat.h>

namespace {

struct CliRun {
    int status;
    std::string out, err;
};

CliRun Cli(const QStringList& args, const QByteArray& input = {})
{
    const QString bin = qEnvironmentVariable("VEXLO_BINARY_DIR") + QStringLiteral("/tools/cli/vexlo-cli");
    QProcess p;
    p.start(bin, args);
    EXPECT_TRUE(p.waitForStarted()) << bin.toStdString();
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(-1);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
}

QImage RandomImage(int w, int h, unsigned seed)
{
    std::mt19937 rng(seed);
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, rng() % 3 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    return img;
}

std::vector<std::string> Lines(const std::string& s)
{
    std::vector<std::string> out;
    size_t at = 0;
    while (at < s.size()) {
        const size_t nl = s.find('\n', at);
        out.push_back(s.substr(at, nl - at));
        at = nl == std::string::npos ? s.size() : nl + 1;
    }
    return out;
}

bool SamePixels(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return false;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if ((a.pixel(x, y) == qRgb(255, 255, 255)) != (b.pixel(x, y) == qRgb(255, 255, 255)))
                return false;
    return true;
}

struct TextCase {
    QStringList args;
    int status;
    std::string out;  // exact standard output
    std::string err;  // part of standard error
};

void PrintTo(const TextCase& c, std::ostream* os)
{
    *os << "vexlo-cli " << c.args.join(QLatin1Char(' ')).toStdString();
}

class CliTextTest : public testing::TestWithParam<TextCase> {};

TEST_P(CliTextTest, PrintsHexOrFails)
{
    const TextCase& c = GetParam();
    const CliRun r = Cli(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(r.out, c.out);
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CliTextTest,
    testing::Values(
        TextCase{{"title", "--kata-to-hira", "--sjis", "B6DEB2C4DE"}, 0, "14 2C 14 24 14 49\n", ""},
        TextCase{{"title", QString::fromUtf8("é")}, 2, "", "no Shift-JIS (CP932) form"},
        TextCase{{"nonsense"}, 2, "", "unknown command"}));

class CliFiles : public testing::Test {
protected:
    QString Path(const QString& name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
};

TEST_F(CliFiles, EncodeThenDecodeGivesTheImageBack)
{
    const QImage img = RandomImage(100, 50, 3);
    ASSERT_TRUE(img.save(Path("memo.bmp"), "BMP"));
    const CliRun enc = Cli({"encode", Path("memo.bmp"), "--title", QString::fromUtf8("漢字メモ"),
                         "--reading", QString::fromUtf8("かんじめも")});
    ASSERT_EQ(enc.status, 0) << enc.err;
    const auto records = Lines(enc.out);
    ASSERT_EQ(records.size(), 12u);
    EXPECT_EQ(records[3], ":09A0008001415300640032028A20");

    // As the device would send it back: a call, junk and line ends around records, lower-case
    // digits, and a first attempt whose header is damaged.
    std::string damaged = records[3];
    damaged[12] = damaged[12] == '1' ? '2' : '1';
    std::string stream = "\r\n\x11junk ";
    for (size_t i = 0; i < records.size(); ++i)
        stream += (i == 3 ? damaged : records[i]) + "\r\n";
    for (const auto& rec : records)
        stream += QString::fromStdString(rec).toLower().toStdString() + "\n";
    stream += ":000000FF01\r\n";
    QFile f(Path("stream.txt"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(stream.data(), qint64(stream.size()));
    f.close();

    const CliRun dec = Cli({"decode", Path("stream.txt"), "--out", Path("out")});
    EXPECT_EQ(dec.status, 0) << dec.err;
    EXPECT_EQ(dec.out, "memo-001.bmp\t100x50\t漢字メモ\tｶﾝｼﾞﾒﾓ\n");
    EXPECT_NE(dec.err.find("1 record(s) failed their checksum"), std::string::npos);
    QImage back(Path("out/memo-001.bmp"));
    EXPECT_EQ(back.depth(), 1);
    EXPECT_TRUE(SamePixels(img, back));
    EXPECT_FALSE(QFile::exists(Path("out/memo-002.bmp")));
}

// Without an option of preparation, encode gives byte for byte what it gave before pictures
// could be prepared, over every picture of the picture loader's fuzz corpus.
TEST(CliDefaultOutput, UnchangedOverTheFixtures)
{
    const QString source = qEnvironmentVariable("VEXLO_SOURCE_DIR");
    QFile golden(source + QStringLiteral("/tests/transfer/data/encode_default.txt"));
    ASSERT_TRUE(golden.open(QIODevice::ReadOnly | QIODevice::Text));
    int compared = 0;
    while (!golden.atEnd()) {
        const QStringList f = QString::fromUtf8(golden.readLine()).trimmed().split(QLatin1Char(' '));
        if (f.size() != 3 || f[0].startsWith(QLatin1Char('#')))
            continue;
        const QString file = source + QLatin1Char('/') + f[0];
        if (!QFile::exists(file))
            continue;  // a fixture removed since; the others still count
        const CliRun r = Cli({"encode", file, "--crop", "--title", "t", "--reading", "r"});
        EXPECT_EQ(r.status, f[1].toInt()) << f[0].toStdString() << ": " << r.err;
        EXPECT_EQ(QCryptographicHash::hash(QByteArray::fromStdString(r.out), QCryptographicHash::Sha256).toHex(),
                  f[2].toLatin1())
            << f[0].toStdString();
        ++compared;
    }
    EXPECT_GE(compared, 50);
}

// The options of preparation: neutral ones change nothing, and convert writes exactly the
// picture encode sends with the same options.
TEST_F(CliFiles, ConvertWritesWhatEncodeSends)
{
    QImage photo(400, 300, QImage::Format_RGB32);
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x)
            photo.setPixel(x, y, qRgb(x * 255 / 399, y * 255 / 299, 128));
    photo.setPixel(3, 3, qRgb(255, 255, 255));
    ASSERT_TRUE(photo.save(Path("photo.png"), "PNG"));
    const QStringList text{"--title", "t", "--reading", "r"};
    const CliRun plain = Cli(QStringList{"encode", Path("photo.png"), "--crop"} + text);
    const CliRun neutral = Cli(QStringList{"encode", Path("photo.png"), "--crop", "--dither", "none"} + text);
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(neutral.out, plain.out);

    const QStringList options{"--fit", "--dither", "atkinson", "--contrast", "20"};
    const CliRun converted = Cli(QStringList{"convert", Path("photo.png"), "--out", Path("qm.bmp")} + options);
    ASSERT_EQ(converted.status, 0) << converted.err;
    const QImage picture(Path("qm.bmp"));
    EXPECT_EQ(picture.size(), QSize(124, 93));
    EXPECT_EQ(picture.depth(), 1);

    const CliRun encoded = Cli(QStringList{"encode", Path("photo.png")} + options + text);
    ASSERT_EQ(encoded.status, 0) << encoded.err;
    QFile stream(Path("stream.txt"));
    ASSERT_TRUE(stream.open(QIODevice::WriteOnly));
    stream.write(QByteArray::fromStdString(encoded.out) + ":000000FF01\r\n");
    stream.close();
    ASSERT_EQ(Cli({"decode", Path("stream.txt"), "--out", Path("back")}).status, 0);
    EXPECT_TRUE(SamePixels(picture, QImage(Path("back/memo-001.bmp"))));
}

TEST_F(CliFiles, TooLargeImageNeedsCropOrRegion)
{
    ASSERT_TRUE(RandomImage(200, 150, 5).save(Path("big.bmp"), "BMP"));
    const CliRun refused = Cli({"encode", Path("big.bmp")});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.out, "");
    EXPECT_NE(refused.err.find("選択した画像は大きすぎますので、範囲を絞り込んで下さい"), std::string::npos);

    const CliRun cropped = Cli({"encode", Path("big.bmp"), "--crop"});
    ASSERT_EQ(cropped.status, 0) << cropped.err;
    EXPECT_EQ(Lines(cropped.out)[3], ":09A00080014153007C00790790B6");
    const CliRun region = Cli({"encode", Path("big.bmp"), "--region", "190,140,209,149"});
    ASSERT_EQ(region.status, 0) << region.err;
    EXPECT_EQ(Lines(region.out)[3].substr(9, 18), "0141530014000A001E");
    EXPECT_EQ(Cli({"encode", Path("big.bmp"), "--region", "5,5,4,9"}).status, 2);
    EXPECT_EQ(Cli({"encode", Path("missing.bmp")}).status, 2);
}

TEST_F(CliFiles, DecodeRefusesAHugeMemoAndKeepsTheOthers)
{
    TRecordList link;
    auto memo = [&](int w, int h) {
        AddSegRecord(link, 0x9F20);
        const std::vector<uint8_t> header = {1, 0x41, 0x53, uint8_t(w >> 8), uint8_t(w), uint8_t(h >> 8),
                                             uint8_t(h), 0, 0};
        AddHexRecord(link, 0xA000, 0x80, header);
        AddHexRecord(link, 0xA000, 0x00, std::vector<uint8_t>{0, 0, 0x80, 0x00});
        AddEndRecord(link);
    };
    memo(9, 1);
    memo(65535, 65535);
    memo(3, 2);
    std::string stream;
    for (const auto& t : testutil::ChainTexts(link))
        stream += t;
    const CliRun r = Cli({"decode", "-", "--out", Path("o"), "--format", "png"}, QByteArray::fromStdString(stream));
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "memo-001.png\t9x1\t\t\nmemo-003.png\t3x2\t\t\n");
    EXPECT_NE(r.err.find("memo 2: image of 65535x65535 pixels is larger than 4096x4096"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("without the end-of-exchange record"), std::string::npos);
    const QImage third(Path("o/memo-003.png"));
    ASSERT_EQ(third.size(), QSize(3, 2));
    EXPECT_EQ(third.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(third.pixel(1, 0), qRgb(255, 255, 255));
}

// decode lets memos go at each end-of-memo record, as the drawing walk ends them there: memos
// whose end record carries the image address are all written, however many records they
// add up to (here 17600).
TEST_F(CliFiles, DecodeTakesEndOfMemoRecordsAtTheImageAddress)
{
    TRecordList link;
    AddSegRecord(link, 0x9F20);
    AddHexRecord(link, 0xA000, 0x80, std::vector<uint8_t>{1, 0x41, 0x53, 0, 2, 0, 1, 0, 1});
    for (int i = 0; i < 86; ++i)
        AddHexRecord(link, 0xA000, 0x00, std::vector<uint8_t>{0, 0, 0x40});
    AddHexRecord(link, 0xA000, 0x01, std::vector<uint8_t>{});
    std::string memo;
    for (const auto& t : testutil::ChainTexts(link))
        memo += t;
    std::string stream;
    for (int i = 0; i < 200; ++i)
        stream += memo;
    const CliRun r = Cli({"decode", "-", "--out", Path("o")}, QByteArray::fromStdString(stream + ":000000FF01"));
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(Lines(r.out).size(), 200u);
    EXPECT_EQ(Lines(r.out)[199], "memo-200.bmp\t2x1\t\t");
    const QImage last(Path("o/memo-200.bmp"));
    EXPECT_EQ(last.pixel(1, 0) & 0xFFFFFF, 0u);
}

// decode (and receive, which writes the same way) never replaces what DIR holds: the numbers
// go on after the highest memo file there, and a file that cannot be written whole is an
// error that names the cause and leaves nothing behind.
struct OutputCase {
    const char* name;
    std::vector<const char*> present;  // in DIR before: read-only files, or "fifo:NAME"
    rlim_t diskFullAt;                 // 0: room enough
    int status;
    const char* written;  // the new file, or nullptr
    const char* err;
};

class CliOutput : public CliFiles, public testing::WithParamInterface<OutputCase> {};

TEST_P(CliOutput, NeverReplacesAFileAndReportsAFailedWrite)
{
    const OutputCase& c = GetParam();
    QDir().mkpath(Path("o"));
    for (const QString entry : c.present) {
        if (entry.startsWith(QLatin1String("fifo:"))) {
            ASSERT_EQ(::mkfifo(QFile::encodeName(Path("o/" + entry.mid(5))).constData(), 0644), 0);
            continue;
        }
        QFile f(Path("o/" + entry));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old");
        f.close();
        f.setPermissions(QFile::ReadOwner);
    }
    TRecordList link;
    AddSegRecord(link, 0x9F20);
    AddHexRecord(link, 0xA000, 0x80, std::vector<uint8_t>{1, 0x41, 0x53, 0, 9, 0, 1, 0, 2});
    AddHexRecord(link, 0xA000, 0x00, std::vector<uint8_t>{0, 0, 0x80, 0x00});
    AddEndRecord(link);
    std::string stream;
    for (const auto& t : testutil::ChainTexts(link))
        stream += t;
    CliRun r;
    {
        std::optional<FileSizeLimit> full;
        if (c.diskFullAt > 0)
            full.emplace(c.diskFullAt);
        r = Cli({"decode", "-", "--out", Path("o")}, QByteArray::fromStdString(stream + ":000000FF01"));
    }
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    QStringList expected;
    for (const QString entry : c.present) {
        const QString name = entry.startsWith(QLatin1String("fifo:")) ? entry.mid(5) : entry;
        expected << name;
        const QFileInfo info(Path("o/" + name));
        if (entry.startsWith(QLatin1String("fifo:")))
            EXPECT_FALSE(info.isFile()) << "the FIFO was replaced";
        else
            EXPECT_EQ(info.size(), 3) << "the earlier file was replaced";
    }
    if (c.written) {
        expected << QString::fromLatin1(c.written);
        EXPECT_EQ(r.out, std::string(c.written) + "\t9x1\t\t\n");
        EXPECT_EQ(QImage(Path(QStringLiteral("o/") + c.written)).size(), QSize(9, 1));
    }
    expected.sort();
    EXPECT_EQ(QDir(Path("o")).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                                        QDir::Name),
              expected);  // nothing else, no temporary file left behind
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliOutput,
    testing::Values(OutputCase{"ContinuesAfterTheHighestNumber", {"memo-001.bmp", "memo-007.png"}, 0, 0,
                               "memo-008.bmp", ""},
                    OutputCase{"PassesOverAFifo", {"fifo:memo-001.bmp"}, 0, 0, "memo-002.bmp", ""},
                    OutputCase{"DiskFull", {"memo-001.bmp"}, 40, 2, nullptr, "cannot write"}),
    [](const auto& info) { return std::string(info.param.name); });

struct ExportCase {
    const char* name;
    QStringList args;         // after the two memo files a.bmp (9 x 5) and b.bmp
    int status;
    QStringList written;      // files that must exist afterwards
    const char* message;      // on standard error, or ""
};

class CliExport : public CliFiles, public testing::WithParamInterface<ExportCase> {};

TEST_P(CliExport, WritesWhatTheOptionsSayOrNothing)
{
    const ExportCase& c = GetParam();
    ASSERT_TRUE(RandomImage(9, 5, 1).save(Path("a.bmp"), "BMP"));
    ASSERT_TRUE(RandomImage(7, 7, 2).save(Path("b.bmp"), "BMP"));
    QStringList args{QStringLiteral("export"), Path("a.bmp"), Path("b.bmp")};
    for (const QString& a : c.args)
        args << (a.startsWith(QLatin1String("out")) ? Path(a) : a);
    const CliRun r = Cli(args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    for (const QString& file : c.written)
        EXPECT_TRUE(QFile::exists(Path(file))) << file.toStdString();
    if (c.written.isEmpty()) {
        EXPECT_FALSE(QFile::exists(Path("out")));
    }
    if (c.written.contains(QStringLiteral("out/a.png"))) {
        EXPECT_EQ(QImage(Path("out/a.png")).size(), QSize(27, 15));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliExport,
    testing::Values(ExportCase{"PngScaledIntoAFolder", {"--format", "png", "--scale", "3", "--out", "out"}, 0,
                               {"out/a.png", "out/b.png"}, ""},
                    ExportCase{"PdfSheetFormatFromTheName", {"--per-page", "4", "--page", "a5", "--out", "out.pdf"}, 0,
                               {"out.pdf"}, ""},
                    ExportCase{"SvgIntoAFolder", {"--format", "svg", "--out", "out/"}, 0, {"out/a.svg", "out/b.svg"}, ""},
                    ExportCase{"ScaleBeyondEight", {"--format", "png", "--scale", "9", "--out", "out"}, 2, {},
                               "--scale is a whole number from 1 to 8"},
                    ExportCase{"MarkdownANoteAMemo", {"--format", "md", "--out", "out"}, 0,
                               {"out/a.md", "out/b.md", "out/attachments/a.png", "out/attachments/b.png"}, ""},
                    ExportCase{"MarkdownANoteADay", {"--format", "md", "--notes", "day", "--attachments", "", "--scale", "3", "--out", "out"}, 0,
                               {"out/a.png", "out/b.png", "out/.vexlo-export.json"}, ""},
                    ExportCase{"MarkdownPicturesOutsideTheFolder", {"--format", "md", "--attachments", "../x", "--out", "out"},
                               2, {}, "must be a name inside the export folder"},
                    ExportCase{"NotesAreForMarkdown", {"--format", "png", "--notes", "day", "--out", "out"}, 2, {},
                               "--notes and --attachments are for --format md"},
                    ExportCase{"AFileThatIsNoPictureStopsBeforeAnyIsWritten",
                               {"/dev/null", "--format", "png", "--out", "out"}, 2, {}, "cannot read /dev/null"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
