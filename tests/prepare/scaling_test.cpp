// Size, turn and area average of the preparation.
#include "picture/Picture.h"
#include "prepare/AreaAverage.h"
#include "prepare/Geometry.h"
#include "prepare/Preparation.h"

#include "MonoPattern.h"

#include <gtest/gtest.h>

#include <QPainter>

#include <string>
#include <vector>

namespace {

QImage FromPattern(const std::vector<std::string>& rows)
{
    QImage img(int(rows.front().size()), int(rows.size()), QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            img.setPixel(x, y, rows[size_t(y)][size_t(x)] == '#' ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    return img;
}

TPrepareSettings Mode(TSizeMode mode, QSize box = {PrepareBoxWidth, PrepareBoxHeight}, int rotation = 0)
{
    TPrepareSettings s;
    s.Size = mode;
    s.Box = box;
    s.Rotation = rotation;
    return s;
}

struct GeometryCase {
    QSize source;
    TPrepareSettings settings;
    QSize result;
    int reduction;
};

class GeometryTest : public testing::TestWithParam<GeometryCase> {};

TEST_P(GeometryTest, SizeAndReduction)
{
    const GeometryCase& c = GetParam();
    EXPECT_EQ(ResultGeometry(c.source, c.settings).Size, c.result);
    EXPECT_EQ(ReductionFor(c.source, c.settings), c.reduction);
}

INSTANTIATE_TEST_SUITE_P(
    All, GeometryTest,
    testing::Values(
        GeometryCase{{400, 300}, Mode(TSizeMode::Fit), {124, 93}, 1},
        GeometryCase{{300, 400}, Mode(TSizeMode::Fit), {91, 121}, 1},        // 90.75 rounds up
        GeometryCase{{400, 300}, Mode(TSizeMode::Fit, {124, 121}, 90), {91, 121}, 1},
        GeometryCase{{50, 40}, Mode(TSizeMode::Fit), {124, 99}, 1},          // small pictures grow
        GeometryCase{{10000, 1}, Mode(TSizeMode::Fit), {124, 1}, 1},         // never below one pixel
        GeometryCase{{1000, 1000}, Mode(TSizeMode::Fit), {121, 121}, 4},     // 8.3 pixels each: a quarter
        GeometryCase{{6000, 4000}, Mode(TSizeMode::Fit), {124, 83}, 8},
        GeometryCase{{6000, 4000}, Mode(TSizeMode::Fill), {124, 121}, 8},
        GeometryCase{{400, 300}, Mode(TSizeMode::Exact, {60, 20}), {60, 20}, 2},      // 6.7 and 15 pixels each
        GeometryCase{{400, 300}, Mode(TSizeMode::Keep, {60, 20}, 270), {300, 400}, 1}));

// Fill shows the box's aspect at CropAt: of a picture in thirds (black; white; black above
// white), a square shows one third.
TEST(FillTest, CropsWhereAsked)
{
    QImage thirds(300, 100, QImage::Format_RGB32);
    thirds.fill(Qt::white);
    QPainter(&thirds).fillRect(0, 0, 100, 100, Qt::black);
    QPainter(&thirds).fillRect(200, 0, 100, 50, Qt::black);
    const TPrepSource source{ToLinearPlane(thirds), thirds.size()};
    struct Case {
        double at;
        int top, bottom;  // colour index in rows 2 and 8
    };
    for (const Case& c : {Case{0.0, 0, 0}, Case{0.5, 1, 1}, Case{1.0, 0, 1}}) {
        TPrepareSettings s = Mode(TSizeMode::Fill, {10, 10});
        s.CropAt = QPointF(c.at, 0.5);
        const QImage mono = PreparePicture(source, s);
        ASSERT_EQ(mono.size(), QSize(10, 10));
        for (int x = 0; x < 10; ++x) {
            EXPECT_EQ(mono.pixelIndex(x, 2), c.top) << "crop at " << c.at << ", x " << x;
            EXPECT_EQ(mono.pixelIndex(x, 8), c.bottom) << "crop at " << c.at << ", x " << x;
        }
    }
}

struct TurnCase {
    int rotation;
    bool flip;
    std::vector<std::string> expected;
};

class TurnTest : public testing::TestWithParam<TurnCase> {};

// An L of three black pixels, turned clockwise and mirrored after the turn.
TEST_P(TurnTest, TurnsAndMirrors)
{
    const TurnCase& c = GetParam();
    const QImage l = FromPattern({"##.", "#.."});
    TPrepareSettings s;
    s.Rotation = c.rotation;
    s.Flip = c.flip;
    EXPECT_EQ(Pattern(PreparePicture(l, s)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(All, TurnTest,
                         testing::Values(TurnCase{0, false, {"##.", "#.."}},
                                         TurnCase{90, false, {"##", ".#", ".."}},
                                         TurnCase{180, false, {"..#", ".##"}},
                                         TurnCase{270, false, {"..", "#.", "##"}},
                                         TurnCase{0, true, {".##", "..#"}},
                                         TurnCase{90, true, {"##", "#.", ".."}}));

struct AverageCase {
    const char* name;
    std::vector<std::string> source;
    QSize result;
    std::vector<int> grey;  // row by row
};

class AreaAverageTest : public testing::TestWithParam<AverageCase> {};

TEST_P(AreaAverageTest, AveragesLight)
{
    const AverageCase& c = GetParam();
    const QImage img = FromPattern(c.source);
    const TGreyImage g = AreaAverage(ToLinearPlane(img), img.size(), 0, false, {c.result, QRectF(QPointF(), img.size())});
    EXPECT_EQ(std::vector<int>(g.Values.begin(), g.Values.end()), c.grey);
}

INSTANTIATE_TEST_SUITE_P(
    All, AreaAverageTest,
    testing::Values(
        // Half the light: sRGB level 188, not the 128 of averaging the file's numbers.
        AverageCase{"half_light", {"#.", ".#"}, {1, 1}, {188}},
        // One black pixel among three white ones: 3/4 of the light, level 225; white stays 255
        // only where no black pixel is touched.
        AverageCase{"quarter_dark", {"#...", "...."}, {2, 1}, {225, 255}},
        // Growing repeats pixels; a result pixel that straddles two gets both.
        AverageCase{"grow", {"#."}, {3, 1}, {0, 188, 255}}),
    [](const testing::TestParamInfo<AverageCase>& info) { return std::string(info.param.name); });

// A one-pixel line in a picture 3.2 times the result's width: the result keeps it as a line of
// its own (taking the nearest pixel at each result pixel's middle would skip column 202).
TEST(ThinLineTest, SurvivesShrinking)
{
    QImage img(400, 300, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter(&img).fillRect(202, 0, 1, 300, Qt::black);
    TPrepareSettings s = Mode(TSizeMode::Fit);
    s.Conversion = TConversion::Otsu;
    const QImage mono = PreparePicture(img, s);
    ASSERT_EQ(mono.size(), QSize(124, 93));
    for (int y = 0; y < mono.height(); y += 23)
        for (int x = 0; x < mono.width(); ++x)
            EXPECT_EQ(mono.pixelIndex(x, y), x == 62 ? 0 : 1) << x << "," << y;
}

// Untouched settings give what Send takes today: only exactly white stays white.
TEST(NeutralTest, KeepsSendsRule)
{
    QImage img(5, 1, QImage::Format_RGB32);
    const QRgb colours[] = {qRgb(255, 255, 255), qRgb(255, 255, 254), qRgb(254, 255, 255), qRgb(200, 30, 30), qRgb(0, 0, 0)};
    for (int x = 0; x < 5; ++x)
        img.setPixel(x, 0, colours[x]);
    const TPrepareSettings neutral;
    const QImage mono = PreparePicture(img, neutral);
    EXPECT_EQ(Pattern(mono), Pattern(ToMonochrome(img)));
    EXPECT_EQ(Pattern(mono), std::vector<std::string>{".####"});
}

}  // namespace
