// Pictures prepared a row at a time: each kind of PNG and JPEG gives, at every reduction, the
// plane the whole picture decoded at once gives; a picture that claims more pixels than VEXLO
// takes, or whose data stops early, is still refused.
#include "picture/Picture.h"
#include "picture/PictureRows.h"
#include "prepare/PrepareFile.h"
#include "prepare/RowPlane.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QTransform>

#include <cmath>
#include <vector>

#include <png.h>
#include <zlib.h>

namespace {

// A picture with smooth shades, hard edges, exact white and (where it has alpha) every degree
// of transparency, W x H in FORMAT.
QImage testPicture(int w, int h, QImage::Format format)
{
    QImage picture(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool white = (x / 5 + y / 7) % 4 == 0;
            const int alpha = (x * 7 + y * 3) % 256;
            picture.setPixel(x, y, white ? qRgba(255, 255, 255, alpha)
                                         : qRgba(x * 255 / w, y * 255 / h, (x ^ y) & 255, alpha));
        }
    if (format == QImage::Format_Indexed8 || format == QImage::Format_Mono)
        return picture.convertToFormat(format, Qt::ThresholdDither | Qt::AvoidDither);
    QImage out = picture.convertToFormat(format);
    if (out.depth() == 64) {  // levels between those of 8 bits, which must be rounded, not cut
        for (int y = 0; y < h; ++y) {
            auto* row = reinterpret_cast<QRgba64*>(out.scanLine(y));
            for (int x = 0; x < w; ++x)
                if (row[x].red() != 65535 || row[x].green() != 65535 || row[x].blue() != 65535)
                    row[x] = QRgba64::fromRgba64(quint16(row[x].red() + (x * 131) % 250), quint16(row[x].green() / 2 + y * 97),
                                                 quint16((x * y * 37) & 0xFFFF), row[x].alpha());
        }
    }
    return out;
}

void appendPng(png_structp png, png_bytep data, size_t length)
{
    static_cast<QByteArray*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), qsizetype(length));
}

void flushPng(png_structp) {}

// PICTURE as an interlaced 8-bit RGBA PNG (Qt writes none).
QByteArray interlacedPng(const QImage& picture)
{
    const QImage rgba = picture.convertToFormat(QImage::Format_RGBA8888);
    QByteArray bytes;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &bytes, appendPng, flushPng);
    png_set_IHDR(png, info, png_uint_32(rgba.width()), png_uint_32(rgba.height()), 8, PNG_COLOR_TYPE_RGB_ALPHA,
                 PNG_INTERLACE_ADAM7, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_bytep> rows;
    for (int y = 0; y < rgba.height(); ++y)
        rows.push_back(const_cast<png_bytep>(rgba.constScanLine(y)));
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return bytes;
}

QByteArray encoded(const QImage& picture, const char* kind, bool interlaced = false,
                   QImageIOHandler::Transformations turn = QImageIOHandler::TransformationNone)
{
    if (interlaced)
        return interlacedPng(picture);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, kind);
    writer.setTransformation(turn);
    EXPECT_TRUE(writer.write(picture)) << writer.errorString().toStdString();
    return bytes;
}

QString written(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
}

bool isInterlacedPng(const QByteArray& png) { return png.size() > 28 && png[28] == 1; }

QByteArray pngChunk(const QByteArray& type, const QByteArray& data)
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

// PNG with an eXIf chunk after its header that says the photo was taken turned: EXIF
// orientation ORIENTATION (6: turn a quarter clockwise to stand upright).
QByteArray withExif(const QByteArray& png, int orientation)
{
    QByteArray tiff("MM\x00\x2A\x00\x00\x00\x08\x00\x01\x01\x12\x00\x03\x00\x00\x00\x01", 18);
    tiff.append(char(0)).append(char(orientation)).append(QByteArray(6, '\0'));
    const qsizetype afterHeader = 8 + 12 + 13;
    return png.first(afterHeader) + pngChunk("eXIf", tiff) + png.sliced(afterHeader);
}

// ---- Every kind of picture, read in rows, against the picture read whole.

struct KindCase {
    const char* name;
    QImage::Format format;
    const char* kind;  // "png" or "jpeg"
    bool interlaced;
    QImageIOHandler::Transformations turn;  // a JPEG's EXIF orientation
};

class RowsTest : public testing::TestWithParam<KindCase> {};

// The plane at each reduction is the one the whole picture gives, turned upright, made linear
// and reduced; rows added in another order (an interlaced file, a turned photo) may differ by
// the rounding of a float sum, never in which blocks are exactly white.
TEST_P(RowsTest, GiveThePlaneOfTheWholePicture)
{
    const KindCase& c = GetParam();
    QTemporaryDir dir;
    const bool jpeg = QByteArrayView(c.kind) == "jpeg";
    QByteArray bytes = encoded(testPicture(301, 203, c.format), c.kind, c.interlaced, c.turn);
    if (!jpeg && c.turn == QImageIOHandler::TransformationRotate90)
        bytes = withExif(bytes, 6);
    if (c.interlaced) {
        ASSERT_TRUE(isInterlacedPng(bytes));
    }
    const QString path = written(dir, QStringLiteral("picture.") + QLatin1String(c.kind), bytes);
    const std::shared_ptr<TPictureSource> source = OpenPictureForPreparation(path);
    ASSERT_TRUE(source);
    EXPECT_EQ(source->Nominal(), c.turn & QImageIOHandler::TransformationRotate90 ? QSize(203, 301) : QSize(301, 203));
    const bool exact = !c.interlaced && (jpeg || c.turn == QImageIOHandler::TransformationNone);
    for (int reduction : {1, 2, 4, 8}) {
        SCOPED_TRACE(reduction);
        // The old way: decoded whole (a JPEG already reduced), turned, made linear, reduced.
        const std::optional<QImage> whole = ReadUprightPicture(bytes, jpeg ? reduction : 1);
        ASSERT_TRUE(whole);
        EXPECT_EQ(source->Nominal(), ReadUprightPicture(bytes, 1)->size());
        const TLinearPlane expected = ReducePlane(ToLinearPlane(*whole), jpeg ? 1 : reduction);
        const std::shared_ptr<const TPrepSource> made = source->At(reduction);
        ASSERT_TRUE(made) << source->Error().toStdString();
        ASSERT_EQ(made->Plane.Width, expected.Width);
        ASSERT_EQ(made->Plane.Height, expected.Height);
        if (exact) {
            EXPECT_EQ(made->Plane.Values, expected.Values);
            continue;
        }
        int differ = 0;
        for (size_t i = 0; i < expected.Values.size(); ++i) {
            const float a = made->Plane.Values[i], b = expected.Values[i];
            differ += std::fabs(a - b) > 1e-6f || (a == 1.0f) != (b == 1.0f);
        }
        EXPECT_EQ(differ, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Prepare, RowsTest,
    testing::Values(KindCase{"Grey", QImage::Format_Grayscale8, "png", false, {}},
                    KindCase{"Grey16", QImage::Format_Grayscale16, "png", false, {}},
                    KindCase{"OneBit", QImage::Format_Mono, "png", false, {}},
                    KindCase{"Colour", QImage::Format_RGB32, "png", false, {}},
                    KindCase{"Translucent", QImage::Format_ARGB32, "png", false, {}},
                    KindCase{"Palette", QImage::Format_Indexed8, "png", false, {}},
                    KindCase{"PaletteTurned", QImage::Format_Indexed8, "png", false, QImageIOHandler::TransformationRotate90},
                    KindCase{"ColourTurned", QImage::Format_RGB32, "png", false, QImageIOHandler::TransformationRotate90},
                    KindCase{"Colour16", QImage::Format_RGBX64, "png", false, {}},
                    KindCase{"Translucent16", QImage::Format_RGBA64, "png", false, {}},
                    KindCase{"Interlaced", QImage::Format_RGB32, "png", true, {}},
                    KindCase{"InterlacedTranslucent", QImage::Format_ARGB32, "png", true, {}},
                    KindCase{"Jpeg", QImage::Format_RGB32, "jpeg", false, {}},
                    KindCase{"JpegGrey", QImage::Format_Grayscale8, "jpeg", false, {}},
                    KindCase{"JpegTurned", QImage::Format_RGB32, "jpeg", false, QImageIOHandler::TransformationRotate90},
                    KindCase{"JpegMirrored", QImage::Format_RGB32, "jpeg", false,
                             QImageIOHandler::TransformationMirrorAndRotate90}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- The plane built in rows, for every way a photo may say it was taken turned.

struct TurnCase {
    const char* name;
    QImageIOHandler::Transformations turn;
};

class RowTurnTest : public testing::TestWithParam<TurnCase> {};

TEST_P(RowTurnTest, MatchesThePictureTurnedFirst)
{
    const QImageIOHandler::Transformations turn = GetParam().turn;
    const QImage stored = testPicture(37, 22, QImage::Format_RGB32);
    QImage upright = stored.mirrored(turn & QImageIOHandler::TransformationMirror, turn & QImageIOHandler::TransformationFlip);
    if (turn & QImageIOHandler::TransformationRotate90)
        upright = upright.transformed(QTransform().rotate(90));
    for (int factor : {1, 2, 4, 8}) {
        SCOPED_TRACE(factor);
        TRowPlane plane(stored.size(), turn, factor);
        // Bottom row first: the order rows come in does not matter.
        for (int y = stored.height() - 1; y >= 0; --y)
            plane.Add(y, 0, 1, reinterpret_cast<const QRgb*>(stored.constScanLine(y)), stored.width());
        const TLinearPlane made = plane.Take();
        const TLinearPlane expected = ReducePlane(ToLinearPlane(upright), factor);
        ASSERT_EQ(made.Width, expected.Width);
        ASSERT_EQ(made.Height, expected.Height);
        EXPECT_EQ(TRowPlane::PixelsFor(stored.size(), factor), qint64(made.Width) * made.Height);
        for (size_t i = 0; i < expected.Values.size(); ++i) {
            EXPECT_NEAR(made.Values[i], expected.Values[i], 1e-6f) << i;
            EXPECT_EQ(made.Values[i] == 1.0f, expected.Values[i] == 1.0f) << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Prepare, RowTurnTest,
    testing::Values(TurnCase{"None", QImageIOHandler::TransformationNone},
                    TurnCase{"Mirror", QImageIOHandler::TransformationMirror},
                    TurnCase{"Flip", QImageIOHandler::TransformationFlip},
                    TurnCase{"Half", QImageIOHandler::TransformationRotate180},
                    TurnCase{"Quarter", QImageIOHandler::TransformationRotate90},
                    TurnCase{"ThreeQuarters", QImageIOHandler::TransformationRotate270},
                    TurnCase{"MirrorQuarter", QImageIOHandler::TransformationMirrorAndRotate90},
                    TurnCase{"FlipQuarter", QImageIOHandler::TransformationFlipAndRotate90}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Pictures that claim more than they hold, or more than VEXLO takes.

// A grey PNG that claims W x H and holds ROWS rows of white (all of them when ROWS is H).
QByteArray claimingPng(quint32 w, quint32 h, quint32 rows)
{
    QByteArray ihdr;
    for (quint32 v : {w, h})
        ihdr.append(char(v >> 24)).append(char(v >> 16)).append(char(v >> 8)).append(char(v));
    ihdr.append("\x08\x00\x00\x00\x00", 5);
    QByteArray row(1 + qsizetype(w), '\xFF');
    row[0] = 0;  // no filter
    z_stream z{};
    deflateInit(&z, 9);
    QByteArray idat;
    std::vector<unsigned char> out(1 << 16);
    for (quint32 r = 0; r < rows; ++r) {
        z.next_in = reinterpret_cast<Bytef*>(row.data());
        z.avail_in = uInt(row.size());
        const int flush = r + 1 == rows ? Z_FINISH : Z_NO_FLUSH;
        do {
            z.next_out = out.data();
            z.avail_out = uInt(out.size());
            deflate(&z, flush);
            idat.append(reinterpret_cast<const char*>(out.data()), qsizetype(out.size() - z.avail_out));
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", ihdr) + pngChunk("IDAT", idat) + pngChunk("IEND", {});
}

struct ClaimCase {
    const char* name;
    QByteArray bytes;
    bool opens;         // the headers are taken
    const char* said;   // what the refusal says
};

class ClaimTest : public testing::TestWithParam<ClaimCase> {};

TEST_P(ClaimTest, IsRefused)
{
    const ClaimCase& c = GetParam();
    QTemporaryDir dir;
    const QString path = written(dir, QStringLiteral("claim.png"), c.bytes);
    QString why;
    const std::shared_ptr<TPictureSource> source = OpenPictureForPreparation(path, &why);
    EXPECT_EQ(source != nullptr, c.opens) << why.toStdString();
    if (source) {
        TPrepareSettings s;
        s.Size = TSizeMode::Fit;
        TPreparation preparation(source);
        EXPECT_TRUE(preparation.Render(s).isNull());
        why = preparation.Error();
    }
    EXPECT_TRUE(why.contains(QLatin1String(c.said))) << why.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Prepare, ClaimTest,
    testing::Values(
        // Beyond the sides a picture may have, or the pixels: refused from the header alone.
        ClaimCase{"HugeSides", claimingPng(65536, 16, 1), false, "more than VEXLO takes"},
        ClaimCase{"TooManyPixels", claimingPng(20000, 12000, 1), false, "at most 65535 on a side, 200000000 in all"},
        // Within the limit, but its data ends after two rows: refused where the data ends.
        ClaimCase{"DataStopsEarly", claimingPng(16320, 12240, 2), true, "damaged or cut short"},
        ClaimCase{"EmptyFile", QByteArray("\x89PNG\r\n\x1a\n", 8), false, "damaged or cut short"}),
    [](const auto& info) { return std::string(info.param.name); });

// A large picture read whole at its own size would need a plane beyond the loader's limit: the
// preparation says so and asks for a smaller result, which it then makes from the same file.
TEST(RowsLimit, KeepsTheOwnSizeWithinTheLoadersLimit)
{
    QTemporaryDir dir;
    const QString path = written(dir, QStringLiteral("large.png"), claimingPng(5478, 5478, 5478));
    const std::shared_ptr<TPictureSource> source = OpenPictureForPreparation(path);
    ASSERT_TRUE(source);
    TPreparation preparation(source);
    TPrepareSettings keep;
    EXPECT_TRUE(TooLargeToPrepare(source->Nominal(), keep));
    EXPECT_TRUE(preparation.Render(keep).isNull());
    EXPECT_TRUE(preparation.Error().contains(QLatin1String("a smaller result"))) << preparation.Error().toStdString();
    TPrepareSettings fit;
    fit.Size = TSizeMode::Fit;
    EXPECT_FALSE(TooLargeToPrepare(source->Nominal(), fit));
    const QImage mono = preparation.Render(fit);
    ASSERT_EQ(mono.size(), QSize(121, 121));
    EXPECT_EQ(mono.pixelIndex(60, 60), 1);  // white
}

}  // namespace
