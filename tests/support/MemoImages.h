// Test memos: random black-and-white images written as BMP files.
#pragma once

#include <QImage>
#include <QRandomGenerator>
#include <QSize>
#include <QString>
#include <QStringList>

#include <vector>

inline QImage RandomMemo(int width, int height, quint32 seed)
{
    QRandomGenerator random(seed);
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, random.bounded(3) == 0 ? 0xff000000u : 0xffffffffu);
    return image;
}

// Random memos of SIZES written as DIR/m1.bmp, DIR/m2.bmp, ... (seeds FIRSTSEED, FIRSTSEED + 1,
// ...); the images are appended to IMAGES, and the paths returned.
inline QStringList WriteRandomMemos(const QString& dir, const std::vector<QSize>& sizes, quint32 firstSeed,
                                    std::vector<QImage>& images)
{
    QStringList paths;
    for (size_t i = 0; i < sizes.size(); ++i) {
        images.push_back(RandomMemo(sizes[i].width(), sizes[i].height(), firstSeed + quint32(i)));
        const QString path = dir + QStringLiteral("/m%1.bmp").arg(i + 1);
        images.back().save(path, "BMP");
        paths << path;
    }
    return paths;
}

// Compares pixel by pixel as black (anything not white) or white; empty when equal.
inline QString PixelDifference(const QImage& expected, const QImage& actual)
{
    if (expected.size() != actual.size())
        return QStringLiteral("size %1x%2, expected %3x%4")
            .arg(actual.width()).arg(actual.height()).arg(expected.width()).arg(expected.height());
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x) {
            const bool e = (expected.pixel(x, y) & 0xffffff) != 0xffffff;
            const bool a = (actual.pixel(x, y) & 0xffffff) != 0xffffff;
            if (e != a)
                return QStringLiteral("pixel (%1,%2) differs").arg(x).arg(y);
        }
    return {};
}
