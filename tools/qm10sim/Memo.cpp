#include "tools/qm10sim/Memo.h"

#include "tools/qm10sim/Bitmap.h"
#include "tools/qm10sim/TitleCode.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>

namespace qm10sim {

namespace {

constexpr uint8_t kTypeData = 0x00, kTypeEndOfMemo = 0x01, kTypeSegment = 0x02, kTypeHeader = 0x80;
constexpr uint16_t kImageAddress = 0xA000, kReadingAddress = 0x8000;
constexpr int kMaxPixelBytes = 116;  // per image data record, after the 2-byte row number

void put16(Bytes& b, int v)
{
    b.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
    b.push_back(static_cast<uint8_t>(v & 0xFF));
}

bool loadOne(const QString& path, std::vector<Memo>& memos, QString& error)
{
    QImageReader reader(path);
    const QImage picture = reader.read();
    if (picture.isNull()) {
        error = QStringLiteral("%1: cannot read the image (%2)").arg(path, reader.errorString());
        return false;
    }
    if (picture.width() > kMaxWidth || picture.height() > kMaxHeight) {
        error = QStringLiteral("%1: %2 x %3 pixels is larger than a memo (at most %4 x %5)")
                    .arg(path).arg(picture.width()).arg(picture.height()).arg(kMaxWidth).arg(kMaxHeight);
        return false;
    }
    const QString name = QFileInfo(path).completeBaseName();
    memos.push_back({name, name, toMemoImage(picture)});
    return true;
}

}  // namespace

std::vector<Record> memoRecords(const Memo& memo)
{
    const int w = memo.image.width(), h = memo.image.height();
    const int rowBytes = deviceRowBytes(w);
    const Bytes pixels = packRows(memo.image, rowBytes);

    std::vector<Record> out;
    out.push_back({kTypeSegment, 0x0000, {0x9F, 0x20}});
    out.push_back({kTypeData, 0x0000, encodeTitle(memo.title)});
    out.push_back({kTypeData, kReadingAddress, encodeReading(memo.reading)});
    Bytes header = {0x01, 'A', 'S'};
    put16(header, w);
    put16(header, h);
    put16(header, rowBytes * h);
    out.push_back({kTypeHeader, kImageAddress, header});
    const int rowsPerRecord = kMaxPixelBytes / rowBytes;
    for (int first = 0; first < h; first += rowsPerRecord) {
        const int rows = std::min(rowsPerRecord, h - first);
        Bytes data;
        put16(data, first);
        const auto from = pixels.begin() + static_cast<std::ptrdiff_t>(first) * rowBytes;
        data.insert(data.end(), from, from + static_cast<std::ptrdiff_t>(rows) * rowBytes);
        out.push_back({kTypeData, kImageAddress, data});
    }
    out.push_back({kTypeEndOfMemo, 0x0000, {}});
    return out;
}

Record endOfExchangeRecord() { return {0xFF, 0x0000, {}}; }

bool loadMemos(const QStringList& paths, std::vector<Memo>& memos, QString& error)
{
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (!info.exists()) {
            error = QStringLiteral("%1: no such file or directory").arg(path);
            return false;
        }
        if (!info.isDir()) {
            if (!loadOne(path, memos, error))
                return false;
            continue;
        }
        QStringList filters;
        for (const QByteArray& suffix : QImageReader::supportedImageFormats())
            filters << QStringLiteral("*.") + QString::fromLatin1(suffix);
        const QFileInfoList files = QDir(path).entryInfoList(filters, QDir::Files | QDir::Readable, QDir::Name);
        if (files.isEmpty()) {
            error = QStringLiteral("%1: the directory holds no image files").arg(path);
            return false;
        }
        for (const QFileInfo& f : files)
            if (!loadOne(f.filePath(), memos, error))
                return false;
    }
    return true;
}

}  // namespace qm10sim
