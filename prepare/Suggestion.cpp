#include "prepare/Suggestion.h"

#include <array>

TConversion SuggestedConversion(const QImage& picture)
{
    if (picture.isNull())
        return TConversion::Threshold;
    QImage seen = picture;
    if (seen.width() > 256 || seen.height() > 256)
        seen = seen.scaled(256, 256, Qt::KeepAspectRatio, Qt::FastTransformation);
    const QImage grey = seen.convertToFormat(QImage::Format_Grayscale8);
    std::array<qint64, 256> count{};
    for (int y = 0; y < grey.height(); ++y) {
        const uchar* row = grey.constScanLine(y);
        for (int x = 0; x < grey.width(); ++x)
            ++count[row[x]];
    }
    const qint64 pixels = qint64(grey.width()) * grey.height();
    qint64 middle = 0;
    int levels = 0;
    for (int g = 0; g < 256; ++g) {
        if (g >= 32 && g <= 223)
            middle += count[size_t(g)];
        if (count[size_t(g)] * 1000 >= pixels)
            ++levels;
    }
    const bool photo = middle * 4 >= pixels && levels >= 32;
    return photo ? TConversion::FloydSteinberg : TConversion::Threshold;
}

TPrepareSettings SuggestedSettings(TPrepareSettings settings, const QImage& picture)
{
    settings.Conversion = SuggestedConversion(picture);
    if (picture.width() > PrepareBoxWidth || picture.height() > PrepareBoxHeight) {
        settings.Size = TSizeMode::Fit;
        settings.Box = QSize(PrepareBoxWidth, PrepareBoxHeight);
    }
    return settings;
}
