#include "memo/Picture.h"

#include "platform/SystemError.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QSaveFile>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// The fixed part of a BMP's headers, zero-padded when the file is shorter.
struct BmpHead {
    unsigned char bytes[54] = {};
    qint64 size = 0;
    quint32 le32(int at) const
    {
        return quint32(bytes[at]) | quint32(bytes[at + 1]) << 8 | quint32(bytes[at + 2]) << 16 |
               quint32(bytes[at + 3]) << 24;
    }
    quint16 le16(int at) const { return quint16(bytes[at] | bytes[at + 1] << 8); }
};

// Qt's BMP decoder fills whatever rows a short file lacks and reports success, so a BMP's
// header is checked against the file first: sane dimensions, and for uncompressed pixel data,
// every row present.
bool bmpLooksWhole(QFile& file)
{
    const qint64 fileSize = file.size();
    BmpHead head;
    head.size = file.peek(reinterpret_cast<char*>(head.bytes), sizeof head.bytes);
    if (head.size < 26)
        return false;
    const quint32 dataOffset = head.le32(10);
    const quint32 infoSize = head.le32(14);
    qint64 width = 0;
    qint64 height = 0;
    int bitCount = 0;
    quint32 compression = 0;
    if (infoSize == 12) {  // OS/2 core header
        width = head.le16(18);
        height = head.le16(20);
        bitCount = head.le16(24);
    } else if (infoSize >= 40 && head.size >= 34) {
        width = qint32(head.le32(18));
        height = std::llabs(qint64(qint32(head.le32(22))));
        bitCount = head.le16(28);
        compression = head.le32(30);
    } else {
        return false;
    }
    if (!PictureSizeAccepted(width, height) || dataOffset >= fileSize)
        return false;
    constexpr quint32 kRgb = 0, kBitfields = 3, kAlphaBitfields = 6;
    if (compression == kRgb || compression == kBitfields || compression == kAlphaBitfields) {
        if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
            return false;
        const qint64 stride = (width * bitCount + 31) / 32 * 4;
        return qint64(dataOffset) + stride * height <= fileSize;
    }
    return true;  // run-length and embedded formats: the decoder checks them itself
}

}  // namespace

bool PictureSizeAccepted(qint64 width, qint64 height)
{
    return width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
           width * height <= kMaxPicturePixels;
}

std::optional<QImage> ReadPictureFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    if (file.peek(2) == "BM" && !bmpLooksWhole(file))
        return std::nullopt;

    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);
    const QSize claimed = reader.size();
    if (claimed.isValid() && !PictureSizeAccepted(claimed.width(), claimed.height()))
        return std::nullopt;
    QImage picture = reader.read();
    if (picture.isNull() || !PictureSizeAccepted(picture.width(), picture.height()))
        return std::nullopt;
    return picture;
}

QImage ToMonochrome(const QImage& picture)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    QImage mono(picture.size(), QImage::Format_Mono);
    mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    mono.setDotsPerMeterX(picture.dotsPerMeterX());
    mono.setDotsPerMeterY(picture.dotsPerMeterY());
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        uchar* out = mono.scanLine(y);
        std::memset(out, 0, size_t(mono.bytesPerLine()));
        for (int x = 0; x < rgb.width(); ++x)
            if ((in[x] & 0xFFFFFFu) == 0xFFFFFFu)
                out[x >> 3] |= uchar(0x80 >> (x & 7));
    }
    return mono;
}

std::optional<QString> WriteMonochromeBmp(const QImage& mono, const QString& path)
{
    // Renaming over a file needs no write permission on it, so a read-only file is refused
    // here rather than silently replaced (also for root, as a read-only mark means "keep").
    const QFileInfo existing(path);
    if (existing.exists() && (!existing.isWritable() || !(existing.permissions() & QFileDevice::WriteOwner)))
        return QStringLiteral("読み取り専用のファイルです");

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!mono.save(&buffer, "BMP"))
        return QStringLiteral("BMP を作れません");

    // The reason is told in the user's words: errno is taken at once after the failing call,
    // before anything else can change it; Qt's own English text only when the system said nothing.
    auto reasonOf = [](int error, const QFileDevice& file) {
        return error != 0 ? platform::SystemErrorText(error) : file.errorString();
    };
    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        const int error = errno;
        return reasonOf(error, file);
    }
    // QSaveFile itself would commit a file that a short write left incomplete (disk full, a
    // file size limit), so every byte is confirmed written before the old file is replaced.
    errno = 0;
    if (file.write(bytes) != bytes.size()) {
        const int error = errno;
        QString reason = reasonOf(error, file);
        file.cancelWriting();
        return reason.isEmpty() ? QStringLiteral("書き込みが途中で失敗しました") : reason;
    }
    errno = 0;
    if (!file.commit()) {
        const int error = errno;
        return reasonOf(error, file);
    }
    return std::nullopt;
}
