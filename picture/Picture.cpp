#include "picture/Picture.h"

#include "picture/PictureChecks.h"
#include "picture/PictureRows.h"
#include "platform/DurableFile.h"
#include "platform/SystemError.h"
#include "platform/FileNames.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QTransform>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr quint32 kRgb = 0, kRle8 = 1, kRle4 = 2, kBitfields = 3, kAlphaBitfields = 6;

// The fixed part of a BMP's headers, read from a byte array that may be shorter.
struct BmpHead {
    const QByteArray& bytes;
    quint32 le32(qint64 at) const { return at + 4 <= bytes.size() ? quint32(le16(at)) | quint32(le16(at + 2)) << 16 : 0; }
    quint16 le16(qint64 at) const
    {
        if (at + 2 > bytes.size())
            return 0;
        return quint16(uchar(bytes[at]) | uchar(bytes[at + 1]) << 8);
    }

    quint32 dataOffset = 0;
    quint32 infoSize = 0;
    qint64 width = 0;
    qint64 height = 0;     // rows, always positive
    bool topDown = false;  // rows stored from the top (a negative height in the header)
    int bitCount = 0;
    quint32 compression = kRgb;
    quint32 colorsUsed = 0;

    // False when the header itself is short or of an unknown kind.
    bool parse()
    {
        if (bytes.size() < 26)
            return false;
        dataOffset = le32(10);
        infoSize = le32(14);
        if (infoSize == 12) {  // OS/2 core header
            width = le16(18);
            height = le16(20);
            bitCount = le16(24);
            return true;
        }
        if (infoSize < 40 || bytes.size() < 14 + 40)
            return false;
        width = qint32(le32(18));
        const qint64 rows = qint32(le32(22));
        topDown = rows < 0;
        height = std::llabs(rows);
        bitCount = le16(28);
        compression = le32(30);
        colorsUsed = le32(46);
        return true;
    }
};

QString englishError(int error)
{
    return platform::SystemErrorTextEnglish(error);
}

QString sizeRefusal(qint64 width, qint64 height)
{
    if (width <= 0 || height <= 0)
        return QStringLiteral("the picture has no pixels");
    return QStringLiteral("%1x%2 pixels is more than VEXLO takes (at most %3 on a side, %4 in all)")
        .arg(width)
        .arg(height)
        .arg(kMaxPictureSide)
        .arg(kMaxPicturePixels);
}

// Qt's BMP decoder fills whatever rows a short file lacks and reports success, so a BMP's
// header is checked against the file first: sane dimensions, and for uncompressed pixel data,
// every row present.
bool bmpLooksWhole(const BmpHead& head)
{
    const qint64 fileSize = head.bytes.size();
    if (!PictureSizeAccepted(head.width, head.height) || head.dataOffset >= fileSize)
        return false;
    if (head.compression == kRgb || head.compression == kBitfields || head.compression == kAlphaBitfields) {
        const int b = head.bitCount;
        if (b != 1 && b != 4 && b != 8 && b != 16 && b != 24 && b != 32)
            return false;
        const qint64 stride = (head.width * b + 31) / 32 * 4;
        return qint64(head.dataOffset) + stride * head.height <= fileSize;
    }
    return true;  // embedded formats: the decoder refuses them itself
}

// A run-length encoded BMP (8 or 4 bits a pixel). Qt's decoder leaves the pixels that the
// runs skip as whatever the memory held, and takes a stream cut short as complete; here they
// are white and the cut stream is damaged. Nothing when the file is damaged.
std::optional<QImage> decodeRle(const BmpHead& head)
{
    const bool four = head.compression == kRle4;
    if (head.bitCount != (four ? 4 : 8) || head.topDown || head.infoSize < 40 ||
        !PictureSizeAccepted(head.width, head.height))
        return std::nullopt;
    const QByteArray& bytes = head.bytes;
    const qint64 fileSize = bytes.size();
    const qint64 paletteAt = 14 + qint64(head.infoSize);
    const qint64 maxColors = four ? 16 : 256;
    const qint64 colors = head.colorsUsed == 0 ? maxColors : std::min<qint64>(head.colorsUsed, maxColors);
    if (paletteAt + 4 * colors > fileSize || head.dataOffset < paletteAt || head.dataOffset > fileSize)
        return std::nullopt;
    // Indices past the palette come out black, as they do for Qt's own decoder.
    QRgb palette[256];
    for (int i = 0; i < 256; ++i) {
        if (i < colors) {
            const qint64 at = paletteAt + 4 * i;
            palette[i] = qRgb(uchar(bytes[at + 2]), uchar(bytes[at + 1]), uchar(bytes[at]));
        } else {
            palette[i] = qRgb(0, 0, 0);
        }
    }

    const int w = int(head.width);
    const int h = int(head.height);
    QImage image(w, h, QImage::Format_RGB32);
    if (image.isNull())
        return std::nullopt;
    image.fill(Qt::white);
    image.setDotsPerMeterX(qint32(head.le32(38)));
    image.setDotsPerMeterY(qint32(head.le32(42)));

    const uchar* in = reinterpret_cast<const uchar*>(bytes.constData());
    qint64 at = head.dataOffset;
    qint64 x = 0;
    qint64 row = 0;  // counted from the bottom of the picture
    auto put = [&](int index) {
        if (x < w && row < h)
            reinterpret_cast<QRgb*>(image.scanLine(int(h - 1 - row)))[x] = palette[index];
        ++x;
    };
    while (row < h) {
        if (at + 2 > fileSize) {
            // The stream stops: complete once the top row is full, damaged before.
            if (row == h - 1 && x >= w)
                return image;
            return std::nullopt;
        }
        const int count = in[at];
        const int value = in[at + 1];
        at += 2;
        if (count > 0) {  // a run of COUNT pixels
            for (int i = 0; i < count && x < w; ++i)
                put(four ? (i % 2 == 0 ? value >> 4 : value & 15) : value);
            continue;
        }
        switch (value) {
        case 0:  // end of line
            x = 0;
            ++row;
            break;
        case 1:  // end of bitmap: the rest stays white
            return image;
        case 2:  // delta: skip right and up, leaving white behind
            if (at + 2 > fileSize)
                return std::nullopt;
            x += in[at];
            row += in[at + 1];
            at += 2;
            break;
        default: {  // VALUE pixels given one by one, padded to an even number of bytes
            const qint64 dataBytes = four ? (value + 1) / 2 : value;
            if (at + dataBytes > fileSize)
                return std::nullopt;
            for (int i = 0; i < value && x < w; ++i)
                put(four ? (i % 2 == 0 ? in[at + i / 2] >> 4 : in[at + i / 2] & 15) : in[at + i]);
            at += dataBytes + (dataBytes & 1);
            break;
        }
        }
    }
    return image;  // every row reached; an end-of-bitmap code after them is not needed
}

// The PNG chunks that make a picture's pixels. Everything else (text, colour profiles, unknown
// chunks) is passed over unread: Qt's decoder would inflate every compressed text chunk and keep
// its text, so that a small file could cost minutes and gigabytes.
constexpr char kPngSignature[] = "\x89PNG\r\n\x1a\n";
constexpr qint64 kPngSignatureSize = 8;
constexpr quint32 kMaxPngExifBytes = 64 * 1024;

quint32 be32(const char* p)
{
    return quint32(uchar(p[0])) << 24 | quint32(uchar(p[1])) << 16 | quint32(uchar(p[2])) << 8 | quint32(uchar(p[3]));
}

bool isPng(QByteArrayView bytes)
{
    return bytes.startsWith(QByteArrayView(kPngSignature, kPngSignatureSize));
}

// TYPE of LENGTH bytes is needed to draw the picture (or to turn it upright: a small eXIf).
bool pngChunkKept(QByteArrayView type, quint32 length)
{
    for (const char* kept : {"IHDR", "PLTE", "tRNS", "IDAT", "IEND", "pHYs"})
        if (type == QByteArrayView(kept, 4))
            return true;
    return type == QByteArrayView("eXIf", 4) && length <= kMaxPngExifBytes;
}

// The PNG in BYTES with only the chunks pngChunkKept keeps, in their order. A chunk that runs
// past the end is kept as far as it goes, so that the decoder finds the file cut short.
QByteArray pngPixelChunks(const QByteArray& bytes)
{
    QByteArray out = bytes.first(kPngSignatureSize);
    for (qint64 at = kPngSignatureSize; at < bytes.size();) {
        if (bytes.size() - at < 8) {
            out += bytes.sliced(at);
            break;
        }
        const quint32 length = be32(bytes.constData() + at);
        const QByteArrayView type(bytes.constData() + at + 4, 4);
        const qint64 end = std::min<qint64>(bytes.size(), at + 12 + qint64(length));
        if (pngChunkKept(type, length))
            out += QByteArrayView(bytes).sliced(at, end - at);
        if (type == QByteArrayView("IEND", 4))
            break;
        at = end;
    }
    return out;
}

// The same read from FILE (at its start, SIZE bytes long): the chunks passed over are not
// read at all. Nothing (WHYNOT saying why) when reading fails.
std::optional<QByteArray> readPngPixelChunks(QFile& file, qint64 size, QString* whyNot)
{
    QByteArray out = file.read(kPngSignatureSize);
    for (qint64 at = out.size(); at < size && file.error() == QFileDevice::NoError;) {
        const QByteArray head = file.read(8);
        out += head;
        if (head.size() < 8)
            break;
        const quint32 length = be32(head.constData());
        const QByteArrayView type = QByteArrayView(head).sliced(4, 4);
        const qint64 rest = std::min<qint64>(size - at - 8, qint64(length) + 4);
        if (pngChunkKept(type, length)) {
            out += file.read(rest);
        } else {
            out.chop(8);
            if (!file.seek(at + 8 + rest))
                break;
        }
        if (type == QByteArrayView("IEND", 4))
            break;
        at += 8 + rest;
    }
    if (file.error() != QFileDevice::NoError) {
        if (whyNot)
            *whyNot = QStringLiteral("read error: %1").arg(file.errorString());
        return std::nullopt;
    }
    return out;
}

}  // namespace

bool PictureSizeAccepted(qint64 width, qint64 height)
{
    return width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
           width * height <= kMaxPicturePixels;
}

QImage FlattenOntoWhite(const QImage& picture)
{
    if (!picture.hasAlphaChannel())
        return picture;
    const QImage argb = picture.convertToFormat(QImage::Format_ARGB32);
    QImage out(picture.size(), QImage::Format_RGB32);
    out.setDotsPerMeterX(picture.dotsPerMeterX());
    out.setDotsPerMeterY(picture.dotsPerMeterY());
    for (int y = 0; y < argb.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        auto* to = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            const int a = qAlpha(in[x]);
            auto blend = [a](int c) { return (c * a + 255 * (255 - a) + 127) / 255; };
            to[x] = qRgb(blend(qRed(in[x])), blend(qGreen(in[x])), blend(qBlue(in[x])));
        }
    }
    return out;
}

std::optional<QImage> ReadPictureBytes(const QByteArray& bytes, QString* whyNot)
{
    auto refuse = [whyNot](const QString& why) -> std::optional<QImage> {
        if (whyNot)
            *whyNot = why;
        return std::nullopt;
    };
    const QString damaged = QStringLiteral("the file is damaged or cut short");
    if (bytes.startsWith("BM")) {
        BmpHead head{bytes};
        if (!head.parse())
            return refuse(damaged);
        if (!PictureSizeAccepted(head.width, head.height))
            return refuse(sizeRefusal(head.width, head.height));
        if (head.infoSize >= 40 && (head.compression == kRle8 || head.compression == kRle4)) {
            std::optional<QImage> picture = decodeRle(head);
            return picture ? picture : refuse(damaged);
        }
        if (!bmpLooksWhole(head))
            return refuse(damaged);
    }

    QBuffer buffer;
    buffer.setData(isPng(bytes) ? pngPixelChunks(bytes) : bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);
    if (reader.format().isEmpty())
        return refuse(QStringLiteral("not a picture format VEXLO reads (BMP, PNG, GIF, JPEG, ...)"));
    const QSize claimed = reader.size();
    if (claimed.isValid() && !PictureSizeAccepted(claimed.width(), claimed.height()))
        return refuse(sizeRefusal(claimed.width(), claimed.height()));
    if (bytes.startsWith("GIF8") && !GifLooksWhole(bytes))
        return refuse(damaged);
    if (QString why; bytes.startsWith("\xFF\xD8\xFF") && !JpegLooksWhole(bytes, &why))
        return refuse(why);
    QImage picture = reader.read();
    if (picture.isNull())
        return refuse(damaged);
    if (!PictureSizeAccepted(picture.width(), picture.height()))
        return refuse(sizeRefusal(picture.width(), picture.height()));
    return FlattenOntoWhite(picture);
}

std::unique_ptr<QFile> OpenPictureFile(const QString& path, qint64 maxBytes, QString* whyNot)
{
    auto refuse = [whyNot](const QString& why) -> std::unique_ptr<QFile> {
        if (whyNot)
            *whyNot = why;
        return nullptr;
    };
    // Opened without waiting (a FIFO would block until a writer came) and looked at before
    // anything is read: only a regular file of bounded size is read, and no more than its size.
    const int fd = ::open(platform::EncodeFileName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return refuse(englishError(errno));
    auto file = std::make_unique<QFile>();
    if (!file->open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return refuse(englishError(EIO));
    }
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return refuse(englishError(errno));
    if (S_ISDIR(st.st_mode))
        return refuse(englishError(EISDIR));
    if (!S_ISREG(st.st_mode))
        return refuse(QStringLiteral("not a regular file"));
    if (st.st_size > maxBytes)
        return refuse(QStringLiteral("larger than %1 MiB").arg(maxBytes >> 20));
    return file;
}

std::optional<QByteArray> ReadPictureFileBytes(const QString& path, QString* whyNot)
{
    const std::unique_ptr<QFile> file = OpenPictureFile(path, kMaxPictureFileBytes, whyNot);
    if (!file)
        return std::nullopt;
    const qint64 size = file->size();
    if (isPng(file->peek(kPngSignatureSize)))
        return readPngPixelChunks(*file, size, whyNot);
    QByteArray bytes = file->read(size);
    if (file->error() != QFileDevice::NoError) {
        if (whyNot)
            *whyNot = QStringLiteral("read error: %1").arg(file->errorString());
        return std::nullopt;
    }
    if (bytes.size() != size) {
        if (whyNot)
            *whyNot = QStringLiteral("the file changed while it was read");
        return std::nullopt;
    }
    return bytes;
}

std::optional<QImage> ReadPictureFile(const QString& path, QString* whyNot)
{
    const std::optional<QByteArray> bytes = ReadPictureFileBytes(path, whyNot);
    if (!bytes)
        return std::nullopt;
    return ReadPictureBytes(*bytes, whyNot);
}

namespace {

// How the picture in BYTES says it should be turned to stand upright.
QImageIOHandler::Transformations orientationOf(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(isPng(bytes) ? pngPixelChunks(bytes) : bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    return reader.transformation();
}

// PICTURE turned as TURN says: mirrored first, then a quarter turn clockwise.
QImage turned(const QImage& picture, QImageIOHandler::Transformations turn)
{
    QImage out = picture.mirrored(turn & QImageIOHandler::TransformationMirror, turn & QImageIOHandler::TransformationFlip);
    if (turn & QImageIOHandler::TransformationRotate90)
        out = out.transformed(QTransform().rotate(90));
    return out;
}

bool isJpeg(const QByteArray& bytes) { return bytes.startsWith("\xFF\xD8\xFF"); }

}  // namespace

std::optional<QImage> ReadUprightPicture(const QByteArray& bytes, int reduction, QString* whyNot)
{
    std::optional<QImage> picture;
    if (isJpeg(bytes)) {
        if (!UprightPictureSize(bytes, whyNot))
            return std::nullopt;
        picture = DecodeJpeg(bytes, reduction, whyNot);
        if (!picture)
            return std::nullopt;
    } else {
        picture = ReadPictureBytes(bytes, whyNot);
        if (!picture)
            return std::nullopt;
    }
    const QImageIOHandler::Transformations turn = orientationOf(bytes);
    return turn == QImageIOHandler::TransformationNone ? picture : turned(*picture, turn);
}

std::optional<QSize> UprightPictureSize(const QByteArray& bytes, QString* whyNot)
{
    QBuffer buffer;
    buffer.setData(isPng(bytes) ? pngPixelChunks(bytes) : bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    QSize size = reader.size();
    if (reader.format().isEmpty() || !size.isValid()) {
        // The headers do not tell: the picture itself does (and is refused here if it must be).
        const std::optional<QImage> picture = ReadPictureBytes(bytes, whyNot);
        if (!picture)
            return std::nullopt;
        size = picture->size();
    } else if (!PictureSizeAccepted(size.width(), size.height())) {
        if (whyNot)
            *whyNot = sizeRefusal(size.width(), size.height());
        return std::nullopt;
    }
    if (reader.transformation() & QImageIOHandler::TransformationRotate90)
        size.transpose();
    return size;
}

QImage ToMonochrome(const QImage& picture)
{
    // A received memo is drawn so already: nothing to convert.
    if (picture.format() == QImage::Format_Mono && picture.colorTable() == QList<QRgb>{qRgb(0, 0, 0), qRgb(255, 255, 255)})
        return picture;
    const QImage rgb = FlattenOntoWhite(picture).convertToFormat(QImage::Format_RGB32);
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

bool IsBlackAndWhite(const QImage& picture)
{
    if (picture.isNull())
        return true;
    const QRgb black = qRgb(0, 0, 0);
    const QRgb white = qRgb(255, 255, 255);
    if ((picture.format() == QImage::Format_Mono || picture.format() == QImage::Format_MonoLSB)
        && !picture.colorTable().isEmpty()) {
        for (const QRgb colour : picture.colorTable())
            if (colour != black && colour != white)
                return false;
        return true;
    }
    const QImage rgb = FlattenOntoWhite(picture).convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) {
            const QRgb colour = row[x] | 0xFF000000u;
            if (colour != black && colour != white)
                return false;
        }
    }
    return true;
}

QByteArray MonochromeBmpBytes(const QImage& mono)
{
    if (mono.isNull() || mono.format() != QImage::Format_Mono)
        return {};
    const qint64 width = mono.width();
    const qint64 height = mono.height();
    const qint64 rowBytes = (width + 31) / 32 * 4;  // rows padded to 32 bits, as the image's own
    const QList<QRgb> colors = mono.colorTable();
    const qint64 offset = 14 + 40 + 4 * qint64(colors.size());
    const qint64 size = offset + rowBytes * height;
    if (size > INT32_MAX)
        return {};
    QByteArray bytes(qsizetype(size), '\0');
    char* out = bytes.data();
    const auto put = [&out](quint32 value, int count) {
        for (int i = 0; i < count; ++i)
            *out++ = char(value >> (8 * i));
    };
    // The file header, then the information header.
    put('B' | 'M' << 8, 2);
    put(quint32(size), 4);
    put(0, 4);
    put(quint32(offset), 4);
    put(40, 4);
    put(quint32(width), 4);
    put(quint32(height), 4);
    put(1, 2);  // planes
    put(1, 2);  // bits a pixel
    put(0, 4);  // not compressed
    put(quint32(rowBytes * height), 4);
    put(quint32(mono.dotsPerMeterX()), 4);
    put(quint32(mono.dotsPerMeterY()), 4);
    put(quint32(colors.size()), 4);  // colours used
    put(quint32(colors.size()), 4);  // and all of them important
    for (const QRgb c : colors) {
        put(quint32(qBlue(c)) | quint32(qGreen(c)) << 8 | quint32(qRed(c)) << 16, 4);
    }
    const qint64 copied = std::min<qint64>(rowBytes, mono.bytesPerLine());
    for (qint64 y = height - 1; y >= 0; --y, out += rowBytes)
        std::memcpy(out, mono.constScanLine(int(y)), size_t(copied));
    return bytes;
}

namespace {

std::optional<QByteArray> bmpBytes(const QImage& mono)
{
    if (mono.format() == QImage::Format_Mono) {
        QByteArray bytes = MonochromeBmpBytes(mono);
        if (bytes.isEmpty())
            return std::nullopt;
        return bytes;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!mono.save(&buffer, "BMP"))
        return std::nullopt;
    return bytes;
}

}  // namespace

std::optional<QString> WriteMonochromeBmp(const QImage& mono, const QString& path)
{
    const std::optional<QByteArray> bytes = bmpBytes(mono);
    if (!bytes)
        return QStringLiteral("BMP を作れません");
    if (const std::optional<platform::FileWriteError> failure = platform::ReplaceFile(path, *bytes))
        return failure->text();
    return std::nullopt;
}

std::optional<QString> WriteNewMonochromeBmp(const QImage& mono, const QString& folder,
                                             const std::function<QString(int)>& nameFor, QString& path)
{
    const std::optional<QByteArray> bytes = bmpBytes(mono);
    if (!bytes)
        return QStringLiteral("BMP を作れません");
    if (const std::optional<platform::FileWriteError> failure = platform::WriteNewFile(folder, nameFor, 1, *bytes, &path))
        return failure->text();
    return std::nullopt;
}
