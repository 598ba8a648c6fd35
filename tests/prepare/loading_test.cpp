// A picture file read for preparation: a photo stands upright, a JPEG is decoded reduced, and
// the loader's refusal of a damaged file holds at every reduction.
#include "prepare/PrepareFile.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>

namespace {

struct UprightCase {
    QImageIOHandler::Transformations stored;
    QSize upright;
    const char* dark;  // the side the black half of the picture shows on when upright
};

class UprightTest : public testing::TestWithParam<UprightCase> {};

// A 64 x 32 photo, black on its left half as stored, with an EXIF orientation.
TEST_P(UprightTest, TurnsAPhotoUpright)
{
    const UprightCase& c = GetParam();
    QTemporaryDir dir;
    QImage stored(64, 32, QImage::Format_RGB32);
    stored.fill(Qt::white);
    QPainter(&stored).fillRect(0, 0, 32, 32, Qt::black);
    QImageWriter writer(dir.filePath(QStringLiteral("photo.jpg")), "jpeg");
    writer.setTransformation(c.stored);
    ASSERT_TRUE(writer.write(stored));

    const std::shared_ptr<TPictureSource> source = OpenPictureForPreparation(dir.filePath(QStringLiteral("photo.jpg")));
    ASSERT_TRUE(source);
    EXPECT_EQ(source->Nominal(), c.upright);
    // Fitted into a quarter of its size, the picture is decoded at a quarter.
    TPrepareSettings s;
    s.Size = TSizeMode::Fit;
    s.Box = c.upright / 4;
    s.Conversion = TConversion::Threshold;
    const QImage mono = TPreparation(source).Render(s);
    ASSERT_EQ(mono.size(), c.upright / 4);
    // The middle of each quarter: dark exactly in the two on the dark side.
    const int w = mono.width(), h = mono.height();
    const std::string dark = c.dark;
    EXPECT_EQ(mono.pixelIndex(w / 4, h / 4), dark == "left" || dark == "top" ? 0 : 1);
    EXPECT_EQ(mono.pixelIndex(3 * w / 4, h / 4), dark == "right" || dark == "top" ? 0 : 1);
    EXPECT_EQ(mono.pixelIndex(w / 4, 3 * h / 4), dark == "left" || dark == "bottom" ? 0 : 1);
    EXPECT_EQ(mono.pixelIndex(3 * w / 4, 3 * h / 4), dark == "right" || dark == "bottom" ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(All, UprightTest,
                         testing::Values(UprightCase{QImageIOHandler::TransformationNone, {64, 32}, "left"},
                                         UprightCase{QImageIOHandler::TransformationRotate90, {32, 64}, "top"},
                                         UprightCase{QImageIOHandler::TransformationRotate180, {64, 32}, "right"},
                                         UprightCase{QImageIOHandler::TransformationRotate270, {32, 64}, "bottom"},
                                         UprightCase{QImageIOHandler::TransformationMirror, {64, 32}, "right"}));

// A JPEG cut short is refused whether it is decoded whole or reduced.
TEST(DamagedTest, RefusedAtEveryReduction)
{
    QTemporaryDir dir;
    QImage photo(256, 256, QImage::Format_RGB32);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            photo.setPixel(x, y, qRgb(x, y, (x * y) & 255));
    QByteArray bytes;
    {
        QImageWriter writer(dir.filePath(QStringLiteral("whole.jpg")), "jpeg");
        ASSERT_TRUE(writer.write(photo));
        QFile whole(dir.filePath(QStringLiteral("whole.jpg")));
        ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
        bytes = whole.readAll();
    }
    QFile cut(dir.filePath(QStringLiteral("cut.jpg")));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(bytes.left(bytes.size() / 2));
    cut.close();
    const std::shared_ptr<TPictureSource> source = OpenPictureForPreparation(cut.fileName());
    ASSERT_TRUE(source);  // the headers are whole
    for (const QSize box : {QSize(256, 256), QSize(16, 16)}) {
        TPrepareSettings s;
        s.Size = TSizeMode::Fit;
        s.Box = box;
        TPreparation preparation(source);
        EXPECT_TRUE(preparation.Render(s).isNull()) << box.width();
        EXPECT_FALSE(preparation.Error().isEmpty());
    }
}

}  // namespace
