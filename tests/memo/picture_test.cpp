// The picture loader on files it must decode itself or refuse: run-length encoded BMPs (runs
// that skip pixels, streams cut short) and pictures with transparency.
#include "picture/Picture.h"
#include "picture/PictureRows.h"

#include <QTemporaryDir>

#include <QBuffer>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

void le(std::string& out, quint32 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(char(value >> (8 * i)));
}

// A BMP of W x H with COMPRESSION (1 RLE8, 2 RLE4), the palette black, white, red, and STREAM.
QByteArray rleBmp(int w, int h, int compression, const std::vector<int>& stream)
{
    const int colors = 3;
    std::string f = "BM";
    le(f, 0, 4);
    le(f, 0, 4);
    le(f, 14 + 40 + 4 * colors, 4);
    le(f, 40, 4);
    le(f, quint32(w), 4);
    le(f, quint32(h), 4);
    le(f, 1, 2);
    le(f, compression == 1 ? 8 : 4, 2);
    le(f, quint32(compression), 4);
    le(f, quint32(stream.size()), 4);
    le(f, 2835, 4);
    le(f, 2835, 4);
    le(f, colors, 4);
    le(f, 0, 4);
    for (quint32 bgr : {0x000000u, 0xFFFFFFu, 0xFF0000u})
        le(f, bgr, 4);
    for (int b : stream)
        f.push_back(char(b));
    return QByteArray::fromStdString(f);
}

// One letter a pixel, rows from the top: B black, W white, R red, ? anything else.
std::string lettersOf(const QImage& image)
{
    std::string s;
    for (int y = 0; y < image.height(); ++y) {
        if (y > 0)
            s += '/';
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            s += p == qRgb(0, 0, 0) ? 'B' : p == qRgb(255, 255, 255) ? 'W' : p == qRgb(255, 0, 0) ? 'R' : '?';
        }
    }
    return s;
}

struct RleCase {
    const char* name;
    int w, h, compression;
    std::vector<int> stream;
    std::string pixels;  // empty: refused as damaged
};

class RleBmp : public testing::TestWithParam<RleCase> {};

TEST_P(RleBmp, DecodesSkippedPixelsAsWhiteAndRefusesACutStream)
{
    const RleCase& c = GetParam();
    const std::optional<QImage> picture = ReadPictureBytes(rleBmp(c.w, c.h, c.compression, c.stream));
    if (c.pixels.empty()) {
        EXPECT_FALSE(picture.has_value());
        return;
    }
    ASSERT_TRUE(picture.has_value());
    EXPECT_EQ(lettersOf(*picture), c.pixels);
}

// Rows are stored from the bottom. RLE8: a run of 2 black, a delta of (1, 1), one red, end of
// line, three given pixels (red, black, red) and their pad byte, end of bitmap.
const std::vector<int> kRle8 = {2, 0, 0, 2, 1, 1, 1, 2, 0, 0, 0, 3, 2, 0, 2, 0, 0, 1};
// RLE4: five pixels alternating black and white, end of line, three given pixels (white,
// black, white), end of bitmap.
const std::vector<int> kRle4 = {5, 0x01, 0, 0, 0, 3, 0x10, 0x10, 0, 1};

INSTANTIATE_TEST_SUITE_P(
    Cases, RleBmp,
    testing::Values(RleCase{"Rle8WithDeltaAndPad", 4, 3, 1, kRle8, "RBRW/WWWR/BBWW"},
                    RleCase{"Rle8EndOfBitmapEarlyLeavesWhite", 4, 3, 1, {2, 1, 0, 1}, "WWWW/WWWW/WWWW"},
                    RleCase{"Rle8CutAfterTheFirstRow", 4, 3, 1, {2, 0, 0, 2, 1, 1, 1, 2, 0, 0}, ""},
                    RleCase{"Rle8CutInsideGivenPixels", 4, 3, 1, {0, 3, 2, 0}, ""},
                    RleCase{"Rle8RowsCompleteWithoutEndCode", 2, 1, 1, {2, 0}, "BB"},
                    RleCase{"Rle4", 5, 2, 2, kRle4, "WBWWW/BWBWB"},
                    RleCase{"Rle4Cut", 5, 2, 2, {5, 0x01, 0, 0, 0, 3, 0x10}, ""},
                    RleCase{"RunsPastTheRightEdgeAreCut", 2, 2, 1, {5, 2, 0, 0, 0, 1}, "WW/RR"}),
    [](const testing::TestParamInfo<RleCase>& info) { return std::string(info.param.name); });

// A file cut short is damaged, whatever its kind, also where Qt's decoders would fill in the
// missing part (BMP, GIF, JPEG).
TEST(PictureFile, ACutFileIsRefusedInEveryKind)
{
    QImage picture(64, 64, QImage::Format_RGB32);
    picture.fill(Qt::white);
    for (int i = 0; i < 64; ++i)
        picture.setPixel(i, (i * 7) % 64, qRgb(0, 0, 0));
    for (const char* kind : {"BMP", "PNG", "GIF", "JPEG", "PBM"}) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (kind == std::string("GIF"))  // Qt writes no GIF: an 8 x 8 one made elsewhere
            bytes = QByteArray::fromHex("47494638376108000800810000000000ffffff0000000000002c00000000080008000008"
                                        "180001041848b0a0c082080f1e44487021c3000a1f361c1810003b");
        else
            ASSERT_TRUE(picture.save(&buffer, kind)) << kind;
        EXPECT_TRUE(ReadPictureBytes(bytes).has_value()) << kind;
        EXPECT_FALSE(ReadPictureBytes(bytes.chopped(10)).has_value()) << kind;
    }
}

// Files whose blocks are all there but whose picture data stops short: Qt's decoders draw
// the missing pixels as background or grey and call that success.
TEST(PictureFile, DataThatStopsBeforeTheLastPixelIsRefused)
{
    // An 8 x 8 GIF whose LZW data (clear, one pixel, end) covers one pixel of 64.
    const QByteArray gif = QByteArray::fromHex("47494638376108000800810000000000ffffff0000000000002c00000000"
                                               "080008000008" "0400010404" "003b");
    // A JPEG cut inside its scan, its end marker put back.
    QImage picture(64, 64, QImage::Format_RGB32);
    picture.fill(Qt::white);
    for (int i = 0; i < 64; ++i)
        picture.setPixel(i, (i * 7) % 64, qRgb(0, 0, 0));
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(picture.save(&buffer, "JPEG"));
    const QByteArray cutJpeg = jpeg.left(jpeg.size() * 3 / 4) + "\xFF\xD9";

    for (const QByteArray& bytes : {gif, cutJpeg}) {
        QString why;
        EXPECT_FALSE(ReadPictureBytes(bytes, &why).has_value()) << bytes.left(4).toHex().constData();
        EXPECT_EQ(why, "the file is damaged or cut short");
    }
}

// A transparent pixel is white, whatever colour it carries, in the picture and in monochrome;
// an opaque one keeps its colour, a half transparent black one is grey.
TEST(PictureTransparency, IsLaidOntoWhite)
{
    QImage argb(3, 1, QImage::Format_ARGB32);
    argb.setPixel(0, 0, qRgba(0, 0, 0, 0));
    argb.setPixel(1, 0, qRgba(0, 0, 0, 255));
    argb.setPixel(2, 0, qRgba(0, 0, 0, 128));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(argb.save(&buffer, "PNG"));

    const std::optional<QImage> loaded = ReadPictureBytes(png);
    ASSERT_TRUE(loaded.has_value());
    EXPECT_FALSE(loaded->hasAlphaChannel());
    EXPECT_EQ(loaded->pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(loaded->pixel(1, 0), qRgb(0, 0, 0));
    EXPECT_EQ(loaded->pixel(2, 0), qRgb(127, 127, 127));
    EXPECT_EQ(lettersOf(ToMonochrome(argb).convertToFormat(QImage::Format_RGB32)), "WBB");
}

// ---- Pictures too large for a window, shown reduced.

struct ReducedCase {
    const char* name;
    QSize size;
    const char* format;
    QSize shown;  // empty: not read reduced
};

class ReducedTest : public testing::TestWithParam<ReducedCase> {};

// Black up to column 2751, white after it: each shown pixel is the average of its block, the one
// that straddles the edge mid-grey; a picture the loader takes, or a kind not read in rows, is
// left to the loader.
TEST_P(ReducedTest, ShowsTheAverageOfEachBlock)
{
    const ReducedCase& c = GetParam();
    QImage picture(c.size, QImage::Format_Grayscale8);
    picture.fill(255);
    for (int y = 0; y < picture.height(); ++y)
        std::fill_n(picture.scanLine(y), std::min(2751, picture.width()), uchar(0));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("picture"));
    ASSERT_TRUE(picture.save(path, c.format));
    QSize full;
    QString why;
    const std::optional<QImage> shown = ReadReducedPicture(path, &full, &why);
    ASSERT_EQ(shown.has_value(), !c.shown.isEmpty()) << why.toStdString();
    if (!shown)
        return;
    EXPECT_EQ(full, c.size);
    ASSERT_EQ(shown->size(), c.shown);
    const int factor = c.size.width() / c.shown.width();
    EXPECT_EQ(shown->pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(shown->pixel(2751 / factor, 1), qRgb(128, 128, 128));
    EXPECT_EQ(shown->pixel(shown->width() - 1, shown->height() - 1), qRgb(255, 255, 255));
}

INSTANTIATE_TEST_SUITE_P(Picture, ReducedTest,
                         testing::Values(ReducedCase{"LargePng", {5500, 5500}, "PNG", {2750, 2750}},
                                         ReducedCase{"WiderPng", {11000, 2800}, "PNG", {5500, 1400}},
                                         ReducedCase{"TakenWhole", {3000, 2000}, "PNG", {}},
                                         ReducedCase{"LargeBmp", {5500, 5500}, "BMP", {}}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

// The 1-bit BMP that Save, Save As and vexlo-cli receive write: byte for byte the file Qt's
// own BMP writer makes of the same image (every reader of those files has met it), and read
// back pixel for pixel, for widths around the 32-bit row padding, either colour table, bits set
// past the right edge, and another resolution.
struct MonoBmpCase {
    const char* name;
    int w, h;
    QList<QRgb> colors;  // empty: the table a new monochrome image has
    bool padBits;        // every bit past the width set
    int dotsPerMeter;    // 0: the image's own
};

class MonoBmp : public testing::TestWithParam<MonoBmpCase> {};

QImage monoPicture(const MonoBmpCase& c)
{
    QImage image(c.w, c.h, QImage::Format_Mono);
    if (!c.colors.isEmpty())
        image.setColorTable(c.colors);
    image.fill(c.padBits ? 1 : 0);
    for (int y = 0; y < c.h; ++y)  // a pattern that tells rows and columns apart
        for (int x = 0; x < c.w; ++x)
            image.setPixel(x, y, (x * 7 + y * 3) % 5 < 2 ? 0 : 1);
    if (c.dotsPerMeter > 0) {
        image.setDotsPerMeterX(c.dotsPerMeter);
        image.setDotsPerMeterY(c.dotsPerMeter + 1);
    }
    return image;
}

TEST_P(MonoBmp, IsTheFileQtWritesAndReadsBackTheSame)
{
    const QImage image = monoPicture(GetParam());
    QByteArray expected;
    QBuffer buffer(&expected);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(image.save(&buffer, "BMP"));

    const QByteArray bytes = MonochromeBmpBytes(image);
    EXPECT_EQ(bytes.toHex(), expected.toHex());
    const std::optional<QImage> back = ReadPictureBytes(bytes);
    ASSERT_TRUE(back.has_value());
    ASSERT_EQ(back->size(), image.size());
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ASSERT_EQ(back->pixel(x, y), image.pixel(x, y)) << x << "," << y;
}

const QList<QRgb> kBlackWhite = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
const QList<QRgb> kWhiteBlack = {qRgb(255, 255, 255), qRgb(0, 0, 0)};

INSTANTIATE_TEST_SUITE_P(
    Cases, MonoBmp,
    testing::Values(MonoBmpCase{"OnePixel", 1, 1, kBlackWhite, false, 0},
                    MonoBmpCase{"Width7", 7, 3, kBlackWhite, true, 0},
                    MonoBmpCase{"Width31", 31, 2, kBlackWhite, true, 0},
                    MonoBmpCase{"Width32", 32, 2, kBlackWhite, false, 0},
                    MonoBmpCase{"Width33", 33, 4, kBlackWhite, true, 0},
                    MonoBmpCase{"AMemo", 124, 121, kBlackWhite, true, 0},
                    MonoBmpCase{"WhiteFirst", 40, 5, kWhiteBlack, false, 0},
                    MonoBmpCase{"TheNewImagesTable", 9, 9, {}, true, 0},
                    MonoBmpCase{"OtherResolution", 17, 6, kBlackWhite, false, 11811}),
    [](const testing::TestParamInfo<MonoBmpCase>& info) { return std::string(info.param.name); });

TEST(MonoBmpBytes, NothingForANullImageOrAnotherFormat)
{
    EXPECT_TRUE(MonochromeBmpBytes(QImage()).isEmpty());
    QImage grey(4, 4, QImage::Format_Grayscale8);
    grey.fill(0);
    EXPECT_TRUE(MonochromeBmpBytes(grey).isEmpty());
}
