// The conversion offered for a picture that is not black and white: a dither for a photo, a
// threshold for a drawing, a page or a screenshot.
#include "prepare/Suggestion.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QRandomGenerator>

#include <functional>

namespace {

QImage Photo(int w, int h)
{
    // Light falling across a scene, with the grain of a camera.
    QImage image(w, h, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int base = 20 + 210 * (x + y) / (w + h);
            const int v = std::clamp(base + int(random.bounded(21)) - 10, 0, 255);
            image.setPixel(x, y, qRgb(v, std::min(255, v + 10), std::max(0, v - 15)));
        }
    return image;
}

QImage Drawn(int w, int h, const std::function<void(QPainter&)>& draw)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    draw(painter);
    return image;
}

TEST(Suggestion, APhotoIsDitheredAndADrawingThresholded)
{
    const struct {
        const char* name;
        QImage picture;
        TConversion expected;
    } rows[] = {
        {"photo", Photo(300, 200), TConversion::FloydSteinberg},
        {"large photo", Photo(3000, 2000), TConversion::FloydSteinberg},
        {"grey pen drawing",
         Drawn(200, 150,
               [](QPainter& p) {
                   p.setRenderHint(QPainter::Antialiasing);
                   p.setPen(QPen(QColor(90, 90, 90), 3));
                   for (int i = 0; i < 12; ++i)
                       p.drawLine(10 + 15 * i, 10, 190 - 12 * i, 140);
                   p.drawEllipse(QRect(40, 30, 100, 80));
               }),
         TConversion::Threshold},
        {"screenshot of flat colours",
         Drawn(240, 160,
               [](QPainter& p) {
                   p.fillRect(0, 0, 240, 24, QColor(40, 80, 160));
                   p.fillRect(0, 24, 60, 136, QColor(220, 220, 220));
                   p.fillRect(80, 40, 120, 80, QColor(200, 120, 40));
                   p.fillRect(90, 130, 30, 12, Qt::black);
               }),
         TConversion::Threshold},
    };
    for (const auto& row : rows)
        EXPECT_EQ(SuggestedConversion(row.picture), row.expected) << row.name;
}

TEST(Suggestion, APictureLargerThanTheScreenIsFittedToIt)
{
    TPrepareSettings mine;
    mine.Brightness = 20;
    const TPrepareSettings large = SuggestedSettings(mine, Photo(400, 300));
    EXPECT_EQ(large.Size, TSizeMode::Fit);
    EXPECT_EQ(large.Box, QSize(124, 121));
    EXPECT_EQ(large.Brightness, 20) << "the user's own settings stay";
    const TPrepareSettings small = SuggestedSettings(mine, Photo(100, 80));
    EXPECT_EQ(small.Size, TSizeMode::Keep);
}

}  // namespace
