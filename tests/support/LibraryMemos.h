// Memo files as the inbox stores them (a 1-bit PNG named "YYYY-MM-DD HH.MM.SS title.png" whose
// text chunks carry Title, Reading, TitleCodes, ReadingCodes, Arrived and Software), for the
// library's tests and benchmark.
#pragma once

#include "store/LibraryFile.h"
#include "store/PngText.h"

#include <QBuffer>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QPainter>

#include <cstdlib>

struct TestMemo {
    QString title;
    QString reading;
    QDateTime arrived;
    QImage picture;  // any format; stored with one bit per pixel
};

// A memo picture with a few strokes that depend on SEED.
inline QImage StrokeMemo(int seed, QSize size = QSize(124, 121))
{
    QImage image(size, QImage::Format_Mono);
    image.fill(1);
    QPainter p(&image);
    p.setPen(QPen(Qt::color0, 2));
    for (int i = 0; i < 5; ++i)
        p.drawLine((seed * 7 + i * 23) % size.width(), (seed * 13 + i * 11) % size.height(),
                   (seed * 5 + i * 31) % size.width(), (seed * 3 + i * 17) % size.height());
    return image;
}

inline QByteArray MemoPngBytes(const TestMemo& memo)
{
    QImage mono = memo.picture.convertToFormat(QImage::Format_Mono);
    mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    writer.write(mono);
    // Local time with its offset, "+00:00" included.
    const int offset = memo.arrived.offsetFromUtc();
    const QString arrived = memo.arrived.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
                            (offset < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
                            QTime(0, 0).addSecs(std::abs(offset)).toString(QStringLiteral("HH:mm"));
    return *WithPngText(png, {
                                 {QStringLiteral("Title"), memo.title},
                                 {QStringLiteral("Reading"), memo.reading},
                                 {QStringLiteral("TitleCodes"), QStringLiteral("2422")},
                                 {QStringLiteral("ReadingCodes"), QStringLiteral("B1")},
                                 {QStringLiteral("Arrived"), arrived},
                                 {QStringLiteral("Software"), QStringLiteral("VEXLO 1.0")},
                             });
}

// Writes MEMO into FOLDER under the first free name; returns that name.
inline QString WriteTestMemo(const QString& folder, const TestMemo& memo)
{
    const QByteArray bytes = MemoPngBytes(memo);
    for (int n = 1;; ++n) {
        const QString name = MemoFileName(memo.arrived, memo.title, n);
        QFile file(folder + QLatin1Char('/') + name);
        if (file.exists())
            continue;
        if (!file.open(QIODevice::NewOnly) || file.write(bytes) != bytes.size())
            return {};
        return name;
    }
}
