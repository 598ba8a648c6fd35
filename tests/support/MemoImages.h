// Test memos: random black-and-white images written as BMP files.
#pragma once

#include <QImage>
#include <QRandomGenerator>
#include <QString>

inline QImage RandomMemo(int width, int height, quint32 seed)
{
    QRandomGenerator random(seed);
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, random.bounded(3) == 0 ? 0xff000000u : 0xffffffffu);
    return image;
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
