// Pictures made to cost far more than their size: a progressive JPEG that repeats its scans, and
// PNG files whose text chunks inflate to gigabytes. Each is refused or read cheaply by every
// loader (the memo windows', the preparation's, the library's), with the reason given.
#include "picture/Picture.h"
#include "picture/PictureChecks.h"
#include "picture/PictureRows.h"
#include "prepare/PrepareFile.h"
#include "store/LibraryFile.h"
#include "store/MemoFile.h"
#include "store/PngText.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

namespace {

// ---- A progressive grey JPEG of W x H whose picture is all mid-grey: one DC scan, then SCANS
// identical AC scans, each a single run of empty blocks.

void be16(QByteArray& out, int v)
{
    out.append(char(v >> 8));
    out.append(char(v));
}

QByteArray segment(uchar marker, const QByteArray& data)
{
    QByteArray out("\xFF");
    out.append(char(marker));
    be16(out, int(data.size()) + 2);
    return out + data;
}

// A Huffman table of one symbol of one bit.
QByteArray oneSymbolTable(int tableClass, uchar symbol)
{
    QByteArray data;
    data.append(char(tableClass << 4));
    data.append(char(1));
    data.append(QByteArray(15, '\0'));
    data.append(char(symbol));
    return segment(0xC4, data);
}

QByteArray scanHeader(int ss, int se)
{
    QByteArray data("\x01\x01\x00", 3);
    data.append(char(ss));
    data.append(char(se));
    data.append(char(0));
    return segment(0xDA, data);
}

QByteArray progressiveJpeg(int w, int h, int scans)
{
    QByteArray f("\xFF\xD8");
    f += segment(0xDB, QByteArray(1, '\0') + QByteArray(64, '\x01'));
    QByteArray frame;
    frame.append(char(8));
    be16(frame, h);
    be16(frame, w);
    frame.append("\x01\x01\x11\x00", 4);
    f += segment(0xC2, frame);
    f += oneSymbolTable(0, 0x00);  // DC: difference of category 0
    f += oneSymbolTable(1, 0x00);  // AC: EOB (a run of one block)
    const int blocks = ((w + 7) / 8) * ((h + 7) / 8);
    // Each block costs one bit in either kind of scan; the last byte is padded with ones.
    QByteArray bits((blocks + 7) / 8, '\0');
    if (blocks % 8)
        bits[bits.size() - 1] = char((1 << (8 - blocks % 8)) - 1);
    f += scanHeader(0, 0) + bits;
    for (int i = 0; i < scans; ++i)
        f += scanHeader(1, 63) + bits;
    return f + "\xFF\xD9";
}

// ---- PNG chunks.

QByteArray chunk(const QByteArray& type, const QByteArray& data)
{
    QByteArray out;
    const quint32 n = quint32(data.size());
    out.append(char(n >> 24)).append(char(n >> 16)).append(char(n >> 8)).append(char(n));
    out += type + data;
    const quint32 crc = quint32(crc32(crc32(0, reinterpret_cast<const Bytef*>(type.constData()), 4),
                                      reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size())));
    out.append(char(crc >> 24)).append(char(crc >> 16)).append(char(crc >> 8)).append(char(crc));
    return out;
}

QByteArray compressed(qsizetype bytes, char fill)
{
    const QByteArray plain(bytes, fill);
    return qCompress(plain, 9).sliced(4);  // qCompress puts the length before the zlib stream
}

// A zTXt chunk of KEYWORD whose text inflates to BYTES bytes.
QByteArray ztxt(const QByteArray& keyword, qsizetype bytes)
{
    return chunk("zTXt", keyword + QByteArray(2, '\0') + compressed(bytes, 'A'));
}

// PICTURE as a PNG with EXTRA inserted right after IHDR (before the pixels, where decoders
// read text).
QByteArray pngWith(const QImage& picture, const QByteArray& extra)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(picture.save(&buffer, "PNG"));
    const qsizetype afterHeader = 8 + 12 + 13;
    return png.first(afterHeader) + extra + png.sliced(afterHeader);
}

QImage checkerboard(QImage::Format format)
{
    QImage image(9, 7, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, (x + y) % 2 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    return image.convertToFormat(format, Qt::ThresholdDither);
}

// ---- The JPEG scan limit.

struct ScanCase {
    int scans;
    bool accepted;
};

class JpegScans : public testing::TestWithParam<ScanCase> {};

TEST_P(JpegScans, AreBoundedInEveryLoader)
{
    const ScanCase c = GetParam();
    const QByteArray jpeg = progressiveJpeg(64, 48, c.scans);
    const QString scansSaid = QStringLiteral("more than %1 scans").arg(kMaxJpegScans);

    QString why;
    const std::optional<QImage> picture = ReadPictureBytes(jpeg, &why);
    EXPECT_EQ(picture.has_value(), c.accepted) << why.toStdString();
    if (picture) {
        EXPECT_EQ(picture->size(), QSize(64, 48));
        EXPECT_EQ(QColor(picture->pixel(10, 10)).red(), 128);  // mid-grey: DC 0 at level shift 128
    } else {
        EXPECT_TRUE(why.contains(scansSaid)) << why.toStdString();
    }
    for (int reduction : {1, 8}) {
        QString whyUpright;
        const std::optional<QImage> upright = ReadUprightPicture(jpeg, reduction, &whyUpright);
        EXPECT_EQ(upright.has_value(), c.accepted) << reduction;
        if (!upright) {
            EXPECT_TRUE(whyUpright.contains(scansSaid)) << whyUpright.toStdString();
        }
    }
    EXPECT_EQ(JpegLooksWhole(jpeg), c.accepted);

    // Read in rows for preparation, from the file.
    QString whyRows;
    EXPECT_EQ(ReadJpegRows(jpeg, 8, [](QSize) { return true; }, [](int, int, int, const QRgb*, int) {}, &whyRows),
              c.accepted);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("scans.jpg"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(jpeg);
    file.close();
    const std::shared_ptr<TPictureSource> source = OpenPictureForPreparation(path);
    ASSERT_TRUE(source);  // the headers are sound
    TPrepareSettings fit;
    fit.Size = TSizeMode::Fit;
    TPreparation preparation(source);
    EXPECT_EQ(preparation.Render(fit).isNull(), !c.accepted);
    if (!c.accepted) {
        EXPECT_TRUE(whyRows.contains(scansSaid)) << whyRows.toStdString();
        EXPECT_TRUE(preparation.Error().contains(scansSaid)) << preparation.Error().toStdString();
    }
}

// The larger the picture, the fewer scans it may have: the work stays bounded.
TEST(JpegScanLimit, IsLowerTheLargerThePicture)
{
    struct {
        qint64 blocks;
        int allowed;
    } const cases[] = {
        {0, kMaxJpegScans},
        {48, kMaxJpegScans},                                    // 64 x 48 grey
        {kMaxJpegScanBlocks / kMaxJpegScans, kMaxJpegScans},    // the largest that may have them all
        {685 * 685, int(kMaxJpegScanBlocks / (685 * 685))},     // 5477 x 5477 grey: some dozens
        {3 * 685 * 685, kMinJpegScans},                         // the same in colour, at full resolution
    };
    for (const auto& c : cases)
        EXPECT_EQ(JpegScansAllowed(c.blocks), c.allowed) << c.blocks;
    EXPECT_GT(JpegScansAllowed(685 * 685), 40);
    EXPECT_LT(JpegScansAllowed(685 * 685), 100);
}

INSTANTIATE_TEST_SUITE_P(Picture, JpegScans,
                         testing::Values(ScanCase{0, true}, ScanCase{3, true}, ScanCase{kMaxJpegScans - 1, true},
                                         ScanCase{kMaxJpegScans, false}, ScanCase{2000, false}));

// ---- PNG chunks the picture does not need.

struct PngCase {
    const char* name;
    QImage::Format format;
    QByteArray extra;
};

class PngExtras : public testing::TestWithParam<PngCase> {};

// The pixels come out as from the plain file, and none of the text is taken in: a decoder that
// read it would put it into the picture's text.
TEST_P(PngExtras, LeaveThePixelsAndAreNotRead)
{
    const PngCase c = GetParam();
    const QImage picture = checkerboard(c.format);
    const std::optional<QImage> plain = ReadPictureBytes(pngWith(picture, {}));
    ASSERT_TRUE(plain);
    const QByteArray bytes = pngWith(picture, c.extra);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("memo.png"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();

    const std::optional<QImage> fromBytes = ReadPictureBytes(bytes);
    const std::optional<QImage> fromFile = ReadPictureFile(path);
    const std::optional<QImage> upright = ReadUprightPicture(bytes, 1);
    for (const auto& read : {fromBytes, fromFile, upright}) {
        ASSERT_TRUE(read);
        EXPECT_EQ(read->convertToFormat(QImage::Format_RGB32), plain->convertToFormat(QImage::Format_RGB32));
        EXPECT_TRUE(read->textKeys().isEmpty()) << read->textKeys().join(u',').toStdString();
    }
    EXPECT_EQ(UprightPictureSize(bytes), std::optional(picture.size()));
    EXPECT_FALSE(ReadThumbnail(path).isNull());
}

INSTANTIATE_TEST_SUITE_P(
    Picture, PngExtras,
    testing::Values(PngCase{"Text", QImage::Format_Mono, chunk("tEXt", "Comment\0hello")},
                    PngCase{"CompressedText", QImage::Format_Mono, ztxt("Comment", 1000)},
                    PngCase{"ManyBombs", QImage::Format_Indexed8, ztxt("Comment", 8 << 20).repeated(20)},
                    PngCase{"Profile", QImage::Format_RGB32,
                            chunk("iCCP", QByteArray("icc\0\0", 5) + compressed(16 << 20, '\0'))},
                    PngCase{"Unknown", QImage::Format_ARGB32, chunk("vpAg", QByteArray(9, 'x'))}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- The memo's own text chunks: only those VEXLO uses, bounded a chunk and a file.

struct TextCase {
    const char* name;
    QByteArray extra;
    QString title;  // what the memo's Title reads
};

class MemoText : public testing::TestWithParam<TextCase> {};

TEST_P(MemoText, IsReadWithinBounds)
{
    const TextCase c = GetParam();
    const QByteArray bytes = pngWith(checkerboard(QImage::Format_Mono), c.extra);
    const std::optional<TMemoMeta> meta = ParseMemoMeta(bytes);
    ASSERT_TRUE(meta);
    EXPECT_EQ(meta->Title, c.title);
    const std::optional<PngText> all = ReadPngText(bytes);
    ASSERT_TRUE(all);
    qsizetype taken = 0;
    for (const auto& text : all->texts)
        taken += text.second.size();
    EXPECT_LE(taken, kMaxPngTextTotal);
}

QByteArray itxt(const QByteArray& keyword, const QByteArray& text)
{
    return chunk("iTXt", keyword + QByteArray(5, '\0') + text);
}

INSTANTIATE_TEST_SUITE_P(
    Store, MemoText,
    testing::Values(
        TextCase{"Plain", itxt("Title", "memo"), QStringLiteral("memo")},
        // A title longer than a chunk may be is not taken; the next one is.
        TextCase{"HugeChunkPassedOver", itxt("Title", QByteArray(kMaxPngTextChunk, 'C')) + itxt("Title", "second"),
                 QStringLiteral("second")},
        // Other keywords do not use up the budget the memo's own texts have.
        TextCase{"OthersCostNothing",
                 (itxt("Comment", QByteArray(60 * 1024, 'x')) + ztxt("Comment", 60 * 1024)).repeated(3) +
                     itxt("Title", "after"),
                 QStringLiteral("after")},
        TextCase{"InflatingTooFar", ztxt("Title", kMaxPngText + 1) + itxt("Title", "kept"), QStringLiteral("kept")}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
