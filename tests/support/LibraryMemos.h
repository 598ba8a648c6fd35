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

#include <algorithm>
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

// A memo picture as the device sends one: a few pen strokes that wander as a hand does and a
// line of handwriting-sized text, different for every SEED (its files are about as large as
// received ones, some 800 to 900 bytes).
inline QImage HandwrittenMemo(int seed, QSize size = QSize(124, 121))
{
    // Drawn in grey levels (QPainter leaves a one-bit picture blank), then cut to black and white.
    QImage canvas(size, QImage::Format_Grayscale8);
    canvas.fill(Qt::white);
    {
        QPainter p(&canvas);
        p.setPen(QPen(Qt::black, 1));
        quint32 state = quint32(seed) * 2654435761u + 12345u;
        auto next = [&state](int n) {
            state = state * 1664525u + 1013904223u;
            return int((state >> 8) % quint32(n));
        };
        for (int stroke = 0; stroke < 8; ++stroke) {
            QPoint at(8 + next(size.width() - 16), 40 + next(size.height() - 48));
            for (int step = 0; step < 20; ++step) {
                const QPoint to(std::clamp(at.x() + next(15) - 7, 0, size.width() - 1),
                                std::clamp(at.y() + next(11) - 5, 0, size.height() - 1));
                p.drawLine(at, to);
                at = to;
            }
        }
        QFont font;
        font.setPixelSize(12);
        font.setStyleStrategy(QFont::NoAntialias);
        p.setFont(font);
        p.drawText(QRect(4, 4, size.width() - 8, 30), Qt::AlignLeft,
                   QStringLiteral("%1 %2 memo").arg(seed % 997).arg(QChar(u'A' + seed % 26)));
    }
    QImage image(size, QImage::Format_Mono);
    image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    for (int y = 0; y < size.height(); ++y) {
        const uchar* grey = canvas.constScanLine(y);
        uchar* bits = image.scanLine(y);
        std::fill(bits, bits + image.bytesPerLine(), uchar(0));
        for (int x = 0; x < size.width(); ++x)
            if (grey[x] >= 128)
                bits[x >> 3] |= uchar(0x80 >> (x & 7));
    }
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
