// The tool bar's pictures: each shows on a light bar and on a dark one, and each is drawn for
// the screen's scale rather than enlarged from a small picture.
#include "gui/Icons.h"
#include "support/GuiApp.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

namespace {

constexpr ToolPicture kPictures[] = {ToolPicture::New,  ToolPicture::Open,  ToolPicture::SaveAs,   ToolPicture::Close,
                                     ToolPicture::Copy, ToolPicture::Paste, ToolPicture::Cut,      ToolPicture::Transmit,
                                     ToolPicture::Receive, ToolPicture::Settings};

// Of the pixels the picture covers, the share that stands out from BACKGROUND (a difference in
// grey of at least a quarter of the scale). A fifth of it is enough to make out its shape.
double visibleShare(const QIcon& icon, const QColor& background)
{
    const QImage picture = icon.pixmap(QSize(18, 18), 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
    QImage shown(picture.size(), QImage::Format_ARGB32);
    shown.fill(background);
    QPainter(&shown).drawImage(0, 0, picture);
    int covered = 0;
    int visible = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            if (qAlpha(picture.pixel(x, y)) < 128)
                continue;
            ++covered;
            if (std::abs(qGray(shown.pixel(x, y)) - qGray(background.rgb())) >= 64)
                ++visible;
        }
    return covered ? double(visible) / covered : 0;
}

TEST(ToolPictures, EachReadsOnALightAndADarkBar)
{
    GuiApp();
    const QColor bars[] = {QColor(239, 239, 239), QColor(66, 66, 66), QColor(53, 53, 53)};
    for (ToolPicture picture : kPictures)
        for (const QColor& bar : bars)
            EXPECT_GE(visibleShare(ToolIcon(picture), bar), 0.2) << "picture " << int(picture) << " on " << bar.name().toStdString();
}

TEST(ToolPictures, AreDrawnForTheScreensScale)
{
    GuiApp();
    for (ToolPicture picture : kPictures)
        for (qreal scale : {1.5, 2.0}) {
            const QPixmap pm = ToolIcon(picture).pixmap(QSize(18, 18), scale);
            EXPECT_EQ(pm.size(), QSize(18, 18) * scale) << "picture " << int(picture) << " at " << scale;
        }
}

}  // namespace
