#include "store/MemoFile.h"

#include "picture/Picture.h"
#include "resources/Version.h"
#include "store/PngText.h"
#include "platform/FileNames.h"

#include <QBuffer>
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
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!ToMonochrome(picture).save(&buffer, "PNG"))
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

QString MemoFileName(const QDateTime& time, const QString& title, int n, const QString& extension)
{
    const QString prefix = time.isValid() ? time.toString(kNameTimeFormat) : QString();
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

QDateTime TimeOfMemoFileName(const QString& name)
{
    if (name.size() < kNameTimeLength ||
        (name.size() > kNameTimeLength && name[kNameTimeLength] != QLatin1Char(' ') &&
         name[kNameTimeLength] != QLatin1Char('.')))
        return {};
    return QDateTime::fromString(name.left(kNameTimeLength), kNameTimeFormat);
}
