#include "store/PngText.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace {

constexpr char kSignature[] = "\x89PNG\r\n\x1a\n";
constexpr qsizetype kSignatureSize = 8;

quint32 be32(const char* p)
{
    return quint32(uchar(p[0])) << 24 | quint32(uchar(p[1])) << 16 | quint32(uchar(p[2])) << 8 | quint32(uchar(p[3]));
}

void appendBe32(QByteArray& out, quint32 v)
{
    const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    out.append(b, 4);
}

struct Chunk {
    QByteArray type;
    qsizetype start = 0;  // of the length field
    qsizetype dataStart = 0;
    quint32 length = 0;
    qsizetype end() const { return dataStart + length + 4; }
};

// The chunk at AT, or nothing when its length runs past the bytes.
std::optional<Chunk> chunkAt(const QByteArray& bytes, qsizetype at)
{
    if (bytes.size() - at < 12)
        return std::nullopt;
    Chunk c;
    c.start = at;
    c.length = be32(bytes.constData() + at);
    c.type = bytes.mid(at + 4, 4);
    c.dataStart = at + 8;
    if (c.length > quint32(bytes.size() - at - 12))
        return std::nullopt;
    return c;
}

// Inflates DATA; nothing when it is damaged or holds more than kMaxPngText bytes.
std::optional<QByteArray> inflateBounded(QByteArrayView data)
{
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return std::nullopt;
    QByteArray out(kMaxPngText + 1, Qt::Uninitialized);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    const int result = inflate(&z, Z_FINISH);
    const qsizetype produced = out.size() - z.avail_out;
    inflateEnd(&z);
    if (result != Z_STREAM_END || produced > kMaxPngText)
        return std::nullopt;
    out.truncate(produced);
    return out;
}

// Keyword and text of a text chunk's data; nothing when it is malformed.
std::optional<QPair<QString, QString>> parseText(const QByteArray& type, QByteArrayView data)
{
    const qsizetype nul = data.indexOf('\0');
    if (nul < 1 || nul > 79)
        return std::nullopt;
    const QString keyword = QString::fromLatin1(data.first(nul));
    QByteArrayView rest = data.sliced(nul + 1);
    if (type == "tEXt")
        return qMakePair(keyword, QString::fromLatin1(rest));
    if (type == "zTXt") {
        if (rest.isEmpty() || rest[0] != 0)
            return std::nullopt;
        const std::optional<QByteArray> text = inflateBounded(rest.sliced(1));
        return text ? std::optional(qMakePair(keyword, QString::fromLatin1(*text))) : std::nullopt;
    }
    // iTXt: compression flag and method, language tag, translated keyword, text.
    if (rest.size() < 2)
        return std::nullopt;
    const bool compressed = rest[0] != 0;
    if (compressed && rest[1] != 0)
        return std::nullopt;
    rest = rest.sliced(2);
    for (int field = 0; field < 2; ++field) {
        const qsizetype end = rest.indexOf('\0');
        if (end < 0)
            return std::nullopt;
        rest = rest.sliced(end + 1);
    }
    if (!compressed)
        return qMakePair(keyword, QString::fromUtf8(rest));
    const std::optional<QByteArray> text = inflateBounded(rest);
    return text ? std::optional(qMakePair(keyword, QString::fromUtf8(*text))) : std::nullopt;
}

bool isTextChunk(const QByteArray& type)
{
    return type == "tEXt" || type == "zTXt" || type == "iTXt";
}

// The IHDR chunk right after the signature, or nothing when BYTES is no PNG.
std::optional<Chunk> header(const QByteArray& bytes)
{
    if (!bytes.startsWith(QByteArrayView(kSignature, kSignatureSize)))
        return std::nullopt;
    std::optional<Chunk> c = chunkAt(bytes, kSignatureSize);
    if (!c || c->type != "IHDR" || c->length != 13)
        return std::nullopt;
    return c;
}

}  // namespace

QString PngText::text(const QString& keyword) const
{
    for (const auto& [key, value] : texts)
        if (key == keyword)
            return value;
    return {};
}

std::optional<PngText> ReadPngText(const QByteArray& bytes, const QList<QByteArray>& keywords)
{
    const std::optional<Chunk> ihdr = header(bytes);
    if (!ihdr)
        return std::nullopt;
    PngText result;
    const char* d = bytes.constData() + ihdr->dataStart;
    result.size = QSize(int(std::min<quint32>(be32(d), INT_MAX)), int(std::min<quint32>(be32(d + 4), INT_MAX)));
    qsizetype at = ihdr->end();
    qsizetype budget = kMaxPngTextTotal;  // characters of text still to be taken from the file
    while (const std::optional<Chunk> c = chunkAt(bytes, at)) {
        at = c->end();
        if (c->type == "IEND")
            break;
        // Only text chunks, of a size text can have, while the file's budget lasts: the rest is
        // passed over without being looked into.
        if (!isTextChunk(c->type) || c->length > kMaxPngTextChunk || budget <= 0)
            continue;
        const QByteArrayView data = QByteArrayView(bytes).sliced(c->dataStart, c->length);
        if (!keywords.isEmpty()) {
            const qsizetype nul = data.indexOf('\0');
            if (nul < 0 || !keywords.contains(data.first(nul)))
                continue;
        }
        if (auto text = parseText(c->type, data)) {
            const bool seen = std::any_of(result.texts.cbegin(), result.texts.cend(),
                                          [&](const auto& t) { return t.first == text->first; });
            budget -= text->second.size();
            if (!seen)
                result.texts.push_back(*text);
        }
    }
    return result;
}

std::optional<QByteArray> WithPngText(const QByteArray& bytes, const QList<QPair<QString, QString>>& texts,
                                      const QStringList& removed)
{
    const std::optional<Chunk> ihdr = header(bytes);
    if (!ihdr)
        return std::nullopt;
    QByteArray out = bytes.first(ihdr->end());
    for (const auto& [keyword, text] : texts) {
        QByteArray chunk = "iTXt" + keyword.toLatin1();
        chunk += '\0';                  // end of the keyword
        chunk += QByteArray(2, '\0');   // not compressed (method 0)
        chunk += QByteArray(2, '\0');   // no language tag, no translated keyword
        chunk += text.toUtf8();
        appendBe32(out, quint32(chunk.size() - 4));
        out += chunk;
        appendBe32(out, quint32(crc32(0, reinterpret_cast<const Bytef*>(chunk.constData()), uInt(chunk.size()))));
    }
    for (qsizetype at = ihdr->end();;) {
        const std::optional<Chunk> c = chunkAt(bytes, at);
        if (!c)
            return std::nullopt;  // cut short before IEND
        bool replaced = false;
        if (isTextChunk(c->type)) {
            const QByteArrayView data = QByteArrayView(bytes).sliced(c->dataStart, c->length);
            const qsizetype nul = data.indexOf('\0');
            const QString keyword = QString::fromLatin1(data.first(nul < 0 ? 0 : nul));
            replaced = std::any_of(texts.cbegin(), texts.cend(), [&](const auto& t) { return t.first == keyword; }) ||
                       removed.contains(keyword);
        }
        if (!replaced)
            out += QByteArrayView(bytes).sliced(c->start, c->end() - c->start);
        at = c->end();
        if (c->type == "IEND")
            return out;
    }
}
