#include "tools/qm10sim/MemoWriter.h"

#include "tools/qm10sim/TitleCode.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace qm10sim {

namespace {

QString hex(const Bytes& b)
{
    return QByteArray(reinterpret_cast<const char*>(b.data()), static_cast<qsizetype>(b.size())).toHex(' ').toUpper();
}

}  // namespace

bool MemoWriter::prepare(QString& error)
{
    if (!QDir().mkpath(dir_) || !QFileInfo(dir_).isWritable()) {
        error = QStringLiteral("%1: cannot create or write the directory").arg(dir_);
        return false;
    }
    return true;
}

QString MemoWriter::write(const QImage& image, const Bytes& titleCodes, const Bytes& reading, int strayBits,
                          QString& error)
{
    const QDir dir(dir_);
    QString base;
    for (int n = 1; n < 100000; ++n) {  // never overwrite a memo of an earlier exchange
        base = dir.filePath(QStringLiteral("%1").arg(n, 3, 10, QLatin1Char('0')));
        if (!QFileInfo::exists(base + ".bmp") && !QFileInfo::exists(base + ".json"))
            break;
    }
    const QString bmp = base + ".bmp";
    if (!image.save(bmp, "BMP")) {
        error = QStringLiteral("%1: cannot write the image").arg(bmp);
        return {};
    }
    int unknownTitle = 0, unknownReading = 0;
    QJsonObject o;
    o["title"] = decodeTitle(titleCodes, &unknownTitle);
    o["reading"] = decodeReading(reading, &unknownReading);
    o["width"] = image.width();
    o["height"] = image.height();
    o["titleCodes"] = hex(titleCodes);
    o["readingBytes"] = hex(reading);
    if (unknownTitle)
        o["unknownTitleCodes"] = unknownTitle;
    if (unknownReading)
        o["unknownReadingBytes"] = unknownReading;
    if (strayBits)
        o["bitsPastWidth"] = strayBits;
    QSaveFile json(base + ".json");
    if (!json.open(QIODevice::WriteOnly) || json.write(QJsonDocument(o).toJson()) < 0 || !json.commit()) {
        error = QStringLiteral("%1.json: cannot write").arg(base);
        return {};
    }
    return bmp;
}

}  // namespace qm10sim
