#include "store/MemoFile.h"

#include "picture/Picture.h"
#include "resources/Version.h"
#include "store/PngText.h"
#include "platform/FileNames.h"

#include <QBuffer>
#include <QtEndian>

#include <zlib.h>
#include <QFile>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A file name's bytes: under 255 with room for the writer's temporary name beside it
// (".NAME.xxxxxxxx.part", platform/DurableFile.h).
constexpr int kMaxNameBytes = 240;
const QString kNameTimeFormat = QStringLiteral("yyyy-MM-dd HH.mm.ss");
constexpr int kNameTimeLength = 19;

void takeText(TMemoMeta& meta, const QString& key, const QString& text)
{
    if (key == kMemoTitleKey)
        meta.Title = text;
    else if (key == kMemoReadingKey)
        meta.Reading = text;
    else if (key == kMemoTitleCodesKey)
        meta.TitleCodes = QByteArray::fromHex(text.toLatin1());
    else if (key == kMemoReadingCodesKey)
        meta.ReadingCodes = QByteArray::fromHex(text.toLatin1());
    else if (key == kMemoArrivedKey)
        meta.Arrived = QDateTime::fromString(text, Qt::ISODate);
    else if (key == kMemoSoftwareKey)
        meta.Software = text;
    else if (key == kMemoContentKey)
        meta.Content = text.toLatin1();
    else
        return;
    meta.Carried = true;
}

void appendChunk(QByteArray& out, const char* type, QByteArrayView data)
{
    const quint32 length = qToBigEndian(quint32(data.size()));
    out.append(reinterpret_cast<const char*>(&length), 4);
    const qsizetype start = out.size();
    out.append(type, 4);
    out.append(data);
    const quint32 crc = qToBigEndian(quint32(
        crc32(0, reinterpret_cast<const Bytef*>(out.constData() + start), uInt(out.size() - start))));
    out.append(reinterpret_cast<const char*>(&crc), 4);
}

QByteArray bigEndian(std::initializer_list<quint32> values)
{
    QByteArray out;
    for (const quint32 v : values) {
        const quint32 be = qToBigEndian(v);
        out.append(reinterpret_cast<const char*>(&be), 4);
    }
    return out;
}

// MONO (one bit a pixel, colour 0 black, colour 1 white) as a PNG of one-bit grey levels, whose
// bits are the same: written here in one pass rather than through an image writer, as every
// received memo is.
QByteArray monochromePng(const QImage& mono)
{
    const qsizetype rowBytes = (mono.width() + 7) / 8;
    QByteArray rows;
    rows.reserve((rowBytes + 1) * mono.height());
    for (int y = 0; y < mono.height(); ++y) {
        rows.append('\0');  // no filter: one-bit rows gain nothing from one
        rows.append(reinterpret_cast<const char*>(mono.constScanLine(y)), rowBytes);
    }
    // Level 4: some 2 % larger than the best zlib can do, and a tenth of its time (a memo's
    // long white runs make the higher levels search long chains for nothing).
    constexpr int kPackLevel = 4;
    // A window no larger than the rows: zlib then sets up a few kilobytes instead of some
    // hundreds, which would cost more than packing a memo.
    int windowBits = 9;
    while (windowBits < 15 && (qsizetype(1) << windowBits) < rows.size())
        ++windowBits;
    z_stream z {};
    if (deflateInit2(&z, kPackLevel, Z_DEFLATED, windowBits, 5, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    QByteArray packed(qsizetype(deflateBound(&z, uLong(rows.size()))), Qt::Uninitialized);
    z.next_in = reinterpret_cast<Bytef*>(rows.data());
    z.avail_in = uInt(rows.size());
    z.next_out = reinterpret_cast<Bytef*>(packed.data());
    z.avail_out = uInt(packed.size());
    const int result = deflate(&z, Z_FINISH);
    const qsizetype packedSize = qsizetype(z.total_out);
    deflateEnd(&z);
    if (result != Z_STREAM_END)
        return {};
    packed.truncate(packedSize);
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    QByteArray header = bigEndian({quint32(mono.width()), quint32(mono.height())});
    header.append("\x01\x00\x00\x00\x00", 5);  // 1 bit, grey levels, deflate, no filter, no interlace
    appendChunk(png, "IHDR", header);
    if (mono.dotsPerMeterX() > 0 && mono.dotsPerMeterY() > 0) {
        QByteArray physical = bigEndian({quint32(mono.dotsPerMeterX()), quint32(mono.dotsPerMeterY())});
        physical.append('\x01');  // per metre
        appendChunk(png, "pHYs", physical);
    }
    appendChunk(png, "IDAT", packed);
    appendChunk(png, "IEND", {});
    return png;
}

}  // namespace

QString IsoTimeWithOffset(const QDateTime& time)
{
    const int offset = time.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + QLatin1Char(offset < 0 ? '-' : '+') +
           QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString SoftwareName()
{
    return QStringLiteral("VEXLO " VEXLO_VERSION);
}

QByteArray EncodeMemoPng(const QImage& picture, const TMemoMeta& meta)
{
    if (picture.isNull())
        return {};
    const QByteArray png = monochromePng(ToMonochrome(picture));
    if (png.isEmpty())
        return {};
    QList<QPair<QString, QString>> texts{{kMemoTitleKey, meta.Title}, {kMemoReadingKey, meta.Reading}};
    if (!meta.TitleCodes.isEmpty())
        texts.append({kMemoTitleCodesKey, QString::fromLatin1(meta.TitleCodes.toHex().toUpper())});
    if (!meta.ReadingCodes.isEmpty())
        texts.append({kMemoReadingCodesKey, QString::fromLatin1(meta.ReadingCodes.toHex().toUpper())});
    if (meta.Arrived.isValid())
        texts.append({kMemoArrivedKey, IsoTimeWithOffset(meta.Arrived)});
    texts.append({kMemoSoftwareKey, meta.Software.isEmpty() ? SoftwareName() : meta.Software});
    if (!meta.Content.isEmpty())
        texts.append({kMemoContentKey, QString::fromLatin1(meta.Content)});
    return WithPngText(png, texts).value_or(QByteArray());
}

std::optional<TMemoMeta> ParseMemoMeta(QByteArrayView bytes)
{
    static const QList<QByteArray> keys = {kMemoTitleKey,   kMemoReadingKey,  kMemoTitleCodesKey, kMemoReadingCodesKey,
                                           kMemoArrivedKey, kMemoSoftwareKey, kMemoContentKey};
    const std::optional<PngText> png =
        ReadPngText(bytes.first(std::min<qsizetype>(bytes.size(), MaxMetaBytes)).toByteArray(), keys);
    if (!png)
        return std::nullopt;
    TMemoMeta meta;
    for (const auto& [key, text] : png->texts)
        takeText(meta, key, text);
    return meta;
}

std::optional<TMemoMeta> ReadMemoMeta(const QString& path)
{
    // Opened without waiting (a FIFO would wait for a writer); only a regular file is read.
    const int fd = ::open(platform::EncodeFileName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    QFile file;
    struct stat st;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return std::nullopt;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return ParseMemoMeta(file.read(MaxMetaBytes));
}

QString FileNameTitle(const QString& title, int reserve)
{
    QString safe;
    for (const char32_t c : title.toUcs4()) {
        const bool bad = c == U'/' || c < 0x20 || c == 0x7f || (c >= 0x80 && c < 0xa0);
        safe += bad ? QStringLiteral("_") : QString::fromUcs4(&c, 1);
    }
    for (qsizetype i = 0; i < safe.size() && safe[i] == QLatin1Char('.'); ++i)
        safe[i] = QLatin1Char('_');
    for (qsizetype i = safe.size() - 1; i >= 0 && (safe[i] == QLatin1Char('.') || safe[i] == QLatin1Char(' ')); --i)
        safe[i] = QLatin1Char('_');
    // Cut at a character boundary until the UTF-8 form fits.
    const qsizetype room = std::max(0, kMaxNameBytes - reserve);
    while (safe.toUtf8().size() > room) {
        safe.chop(1);
        if (!safe.isEmpty() && safe.back().isHighSurrogate())
            safe.chop(1);
    }
    return safe;
}

QString MemoFileName(const QDateTime& time, const QString& title, int n, const QString& extension,
                     const QString& machine)
{
    QString prefix = time.isValid() ? time.toString(kNameTimeFormat) : QString();
    if (!prefix.isEmpty() && !machine.isEmpty())
        prefix += QLatin1Char('-') + machine;
    const QString number = n > 1 ? QStringLiteral(" (%1)").arg(n) : QString();
    const int reserve = int((prefix + QLatin1Char(' ') + number + extension).toUtf8().size());
    QString part = FileNameTitle(title, reserve);
    if (prefix.isEmpty() && part.isEmpty())
        part = QStringLiteral("_");  // a name must not start with the extension's dot
    QString name = prefix;
    if (!part.isEmpty())
        name += (prefix.isEmpty() ? QString() : QStringLiteral(" ")) + part;
    return name + number + extension;
}

QString MachinePartOfMemoFileName(const QString& name)
{
    constexpr int kMachineLength = 4;
    const qsizetype end = kNameTimeLength + 1 + kMachineLength;  // where the time's end is
    if (name.size() <= end || name[kNameTimeLength] != QLatin1Char('-') ||
        (name[end] != QLatin1Char(' ') && name[end] != QLatin1Char('.')))
        return {};
    const QString part = name.mid(kNameTimeLength + 1, kMachineLength);
    for (const QChar c : part)
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))))
            return {};
    return QDateTime::fromString(name.left(kNameTimeLength), kNameTimeFormat).isValid() ? part : QString();
}

QDateTime TimeOfMemoFileName(const QString& name)
{
    const bool machine = !MachinePartOfMemoFileName(name).isEmpty();
    if (name.size() < kNameTimeLength ||
        (name.size() > kNameTimeLength && name[kNameTimeLength] != QLatin1Char(' ') &&
         name[kNameTimeLength] != QLatin1Char('.') && !machine))
        return {};
    return QDateTime::fromString(name.left(kNameTimeLength), kNameTimeFormat);
}
