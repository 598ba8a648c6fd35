#include "store/MemoFile.h"

#include "memo/Picture.h"
#include "resources/Version.h"

#include <QBuffer>
#include <QFile>

#include <array>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kSignature[] = "\x89PNG\r\n\x1a\n";
constexpr qsizetype kSignatureSize = 8;

constexpr char kTitle[] = "Title";
constexpr char kReading[] = "Reading";
constexpr char kTitleCodes[] = "TitleCodes";
constexpr char kReadingCodes[] = "ReadingCodes";
constexpr char kArrived[] = "Arrived";
constexpr char kSoftware[] = "Software";

const std::array<uint32_t, 256>& crcTable()
{
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    return table;
}

// The CRC every PNG chunk ends with, over its type and data.
uint32_t chunkCrc(QByteArrayView typeAndData)
{
    uint32_t c = 0xFFFFFFFFu;
    for (const char byte : typeAndData)
        c = crcTable()[(c ^ uint8_t(byte)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void appendBigEndian(QByteArray& out, uint32_t value)
{
    out.append(char(value >> 24)).append(char(value >> 16)).append(char(value >> 8)).append(char(value));
}

uint32_t bigEndianAt(QByteArrayView bytes, qsizetype at)
{
    return uint32_t(uint8_t(bytes[at])) << 24 | uint32_t(uint8_t(bytes[at + 1])) << 16 |
           uint32_t(uint8_t(bytes[at + 2])) << 8 | uint32_t(uint8_t(bytes[at + 3]));
}

QByteArray chunk(const char* type, const QByteArray& data)
{
    QByteArray body = QByteArray(type, 4) + data;
    QByteArray out;
    appendBigEndian(out, uint32_t(data.size()));
    out += body;
    appendBigEndian(out, chunkCrc(body));
    return out;
}

// An uncompressed iTXt chunk without language tag or translated keyword.
QByteArray textChunk(const char* key, const QString& text)
{
    QByteArray data(key);
    data.append('\0').append('\0').append('\0');  // end of keyword, not compressed, method 0
    data.append('\0').append('\0');               // empty language tag, empty translated keyword
    data += text.toUtf8();
    return chunk("iTXt", data);
}

void takeText(TMemoMeta& meta, const QByteArray& key, const QString& text)
{
    if (key == kTitle)
        meta.Title = text;
    else if (key == kReading)
        meta.Reading = text;
    else if (key == kTitleCodes)
        meta.TitleCodes = QByteArray::fromHex(text.toLatin1());
    else if (key == kReadingCodes)
        meta.ReadingCodes = QByteArray::fromHex(text.toLatin1());
    else if (key == kArrived)
        meta.Arrived = QDateTime::fromString(text, Qt::ISODate);
    else if (key == kSoftware)
        meta.Software = text;
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
    // The header chunk comes first and is 13 bytes long: our chunks follow it.
    constexpr qsizetype afterHeader = kSignatureSize + 4 + 4 + 13 + 4;
    if (png.size() < afterHeader || !png.startsWith(QByteArrayView(kSignature, kSignatureSize)))
        return {};
    QByteArray text = textChunk(kTitle, meta.Title) + textChunk(kReading, meta.Reading);
    if (!meta.TitleCodes.isEmpty())
        text += textChunk(kTitleCodes, QString::fromLatin1(meta.TitleCodes.toHex().toUpper()));
    if (!meta.ReadingCodes.isEmpty())
        text += textChunk(kReadingCodes, QString::fromLatin1(meta.ReadingCodes.toHex().toUpper()));
    if (meta.Arrived.isValid())
        text += textChunk(kArrived, IsoTimeWithOffset(meta.Arrived));
    text += textChunk(kSoftware, meta.Software.isEmpty() ? SoftwareName() : meta.Software);
    png.insert(afterHeader, text);
    return png;
}

namespace {

// The chunks of BYTES (a PNG's signature already checked) into META; true when they reached
// the pixels or the end, false when BYTES stop before.
bool parseChunks(QByteArrayView bytes, TMemoMeta& meta)
{
    qsizetype at = kSignatureSize;
    while (at + 12 <= bytes.size()) {
        const uint32_t length = bigEndianAt(bytes, at);
        const QByteArrayView type = bytes.sliced(at + 4, 4);
        if (type == "IDAT" || type == "IEND")
            return true;  // no text of ours beyond
        if (length > uint32_t(bytes.size() - at - 12))
            return false;  // cut off here
        const QByteArrayView data = bytes.sliced(at + 8, length);
        const qsizetype keyEnd = data.indexOf('\0');
        if (keyEnd > 0 && (type == "iTXt" || type == "tEXt")) {
            const QByteArray key = data.first(keyEnd).toByteArray();
            if (type == "tEXt") {
                takeText(meta, key, QString::fromLatin1(data.sliced(keyEnd + 1)));
            } else if (keyEnd + 3 <= data.size() && data[keyEnd + 1] == '\0') {  // not compressed
                // Skip the language tag and the translated keyword, each ended by a NUL.
                const qsizetype language = data.indexOf('\0', keyEnd + 3);
                const qsizetype translated = language < 0 ? -1 : data.indexOf('\0', language + 1);
                if (translated >= 0)
                    takeText(meta, key, QString::fromUtf8(data.sliced(translated + 1)));
            }
        }
        at += 12 + qsizetype(length);
    }
    return false;
}

}  // namespace

std::optional<TMemoMeta> ParseMemoMeta(QByteArrayView bytes)
{
    if (!bytes.startsWith(QByteArrayView(kSignature, kSignatureSize)))
        return std::nullopt;
    TMemoMeta meta;
    parseChunks(bytes.first(std::min<qsizetype>(bytes.size(), MaxMetaBytes)), meta);
    return meta;
}

std::optional<TMemoMeta> ReadMemoMeta(const QString& path)
{
    // Opened without waiting (a FIFO would wait for a writer); only a regular file is read.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
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
    // The chunks sit in front of the pixels: in our files the first few kilobytes hold them.
    QByteArray head = file.read(16 * 1024);
    if (!head.startsWith(QByteArrayView(kSignature, kSignatureSize)))
        return std::nullopt;
    TMemoMeta meta;
    if (!parseChunks(head, meta) && !file.atEnd()) {
        head += file.read(MaxMetaBytes - head.size());
        meta = TMemoMeta();
        parseChunks(head, meta);
    }
    return meta;
}
