#include "store/MemoContent.h"

#include "picture/Picture.h"
#include "store/MemoFile.h"

#include <QCryptographicHash>
#include <QtEndian>

namespace {

void addNumber(QCryptographicHash& hash, quint32 n)
{
    const quint32 be = qToBigEndian(n);
    hash.addData(QByteArrayView(reinterpret_cast<const char*>(&be), sizeof be));
}

bool isWellFormedKey(const QByteArray& key)
{
    if (key.size() != 64)
        return false;
    for (const char c : key)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

}  // namespace

QByteArray MemoContentKey(const QImage& picture, QByteArrayView titleCodes, QByteArrayView readingCodes)
{
    if (picture.isNull())
        return {};
    // One bit a pixel, 1 for white, the bits after the last pixel of a row cleared.
    const QImage mono = ToMonochrome(picture);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData("VEXLO memo\n");
    addNumber(hash, quint32(mono.width()));
    addNumber(hash, quint32(mono.height()));
    const qsizetype rowBytes = (mono.width() + 7) / 8;
    const uchar lastMask = uchar(0xFF << ((8 - mono.width() % 8) % 8));
    QByteArray row(rowBytes, Qt::Uninitialized);
    for (int y = 0; y < mono.height(); ++y) {
        std::memcpy(row.data(), mono.constScanLine(y), size_t(rowBytes));
        row[rowBytes - 1] = char(uchar(row[rowBytes - 1]) & lastMask);
        hash.addData(row);
    }
    addNumber(hash, quint32(titleCodes.size()));
    hash.addData(titleCodes);
    addNumber(hash, quint32(readingCodes.size()));
    hash.addData(readingCodes);
    return hash.result().toHex();
}

QByteArray ReadMemoContentKey(const QString& path)
{
    const std::optional<TMemoMeta> meta = ReadMemoMeta(path);
    if (meta && isWellFormedKey(meta->Content))
        return meta->Content;
    const std::optional<QImage> picture = ReadPictureFile(path);
    if (!picture || picture->isNull())
        return {};
    return MemoContentKey(*picture, meta ? meta->TitleCodes : QByteArray(), meta ? meta->ReadingCodes : QByteArray());
}
