#include "tools/qm10sim/TitleCode.h"

#include <iconv.h>

#include <array>
#include <cctype>
#include <optional>

namespace qm10sim {

namespace {

constexpr QChar kUnknown(0xFFFD);

// Half-width symbols and the JIS row-1 cell of the same symbol (row 11 on the device).
struct SymbolCell {
    uint8_t byte;  // ASCII, or CP932 half-width punctuation
    uint8_t cell;
};
constexpr SymbolCell kSymbols[] = {
    {0x20, 0x21}, {0x21, 0x2A}, {0x22, 0x49}, {0x23, 0x74}, {0x24, 0x70}, {0x25, 0x73}, {0x26, 0x75},
    {0x27, 0x47}, {0x28, 0x4A}, {0x29, 0x4B}, {0x2A, 0x76}, {0x2B, 0x5C}, {0x2C, 0x24}, {0x2D, 0x5D},
    {0x2E, 0x25}, {0x2F, 0x3F}, {0x3A, 0x27}, {0x3B, 0x28}, {0x3C, 0x52}, {0x3D, 0x61}, {0x3E, 0x53},
    {0x3F, 0x29}, {0x40, 0x77}, {0x5B, 0x5A}, {0x5C, 0x6F}, {0x5D, 0x5B}, {0x7B, 0x5A}, {0x7C, 0x21},
    {0x7D, 0x5B}, {0x7E, 0x41}, {0xA1, 0x23}, {0xA2, 0x56}, {0xA3, 0x57}, {0xA4, 0x22}, {0xA5, 0x25},
    {0xB0, 0x3C},
};

// Half-width katakana A6..DD and the kana cell of the same sound (rows 14/15).
constexpr std::array<uint8_t, 0xDE - 0xA6> kKanaCells = {
    0x72, 0x21, 0x23, 0x25, 0x27, 0x29, 0x63, 0x65, 0x67, 0x43,  // ｦ ｧ ｨ ｩ ｪ ｫ ｬ ｭ ｮ ｯ
    0x00,                                                        // ｰ is a symbol
    0x22, 0x24, 0x26, 0x28, 0x2A, 0x2B, 0x2D, 0x2F, 0x31, 0x33,  // ｱ ｲ ｳ ｴ ｵ ｶ ｷ ｸ ｹ ｺ
    0x35, 0x37, 0x39, 0x3B, 0x3D, 0x3F, 0x41, 0x44, 0x46, 0x48,  // ｻ ｼ ｽ ｾ ｿ ﾀ ﾁ ﾂ ﾃ ﾄ
    0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F, 0x52, 0x55, 0x58, 0x5B,  // ﾅ ﾆ ﾇ ﾈ ﾉ ﾊ ﾋ ﾌ ﾍ ﾎ
    0x5E, 0x5F, 0x60, 0x61, 0x62, 0x64, 0x66, 0x68, 0x69, 0x6A,  // ﾏ ﾐ ﾑ ﾒ ﾓ ﾔ ﾕ ﾖ ﾗ ﾘ
    0x6B, 0x6C, 0x6D, 0x6F, 0x73,                                // ﾙ ﾚ ﾛ ﾜ ﾝ
};

constexpr uint8_t kVoiced = 0xDE;      // ﾞ
constexpr uint8_t kSemiVoiced = 0xDF;  // ﾟ

std::optional<QByteArray> convert(const char* to, const char* from, const QByteArray& in)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    QByteArray out(in.size() * 4 + 8, '\0');
    char* src = const_cast<char*>(in.constData());
    size_t srcLeft = static_cast<size_t>(in.size());
    char* dst = out.data();
    size_t dstLeft = static_cast<size_t>(out.size());
    const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1) || srcLeft != 0)
        return std::nullopt;
    out.resize(out.size() - static_cast<int>(dstLeft));
    return out;
}

// The JIS X 0208 code of a full-width character, through its EUC-JP form.
std::optional<uint16_t> jisCode(const QString& ch)
{
    const auto euc = convert("EUC-JP-MS", "UTF-8", ch.toUtf8());
    if (!euc || euc->size() != 2)
        return std::nullopt;
    const auto hi = static_cast<uint8_t>(euc->at(0)), lo = static_cast<uint8_t>(euc->at(1));
    if (hi < 0xA1 || hi > 0xFE || lo < 0xA1 || lo > 0xFE)
        return std::nullopt;
    return static_cast<uint16_t>((hi - 0x80) << 8 | (lo - 0x80));
}

QString fromJis(uint8_t row, uint8_t cell)
{
    if (row < 0x21 || row > 0x7E || cell < 0x21 || cell > 0x7E)
        return {};
    QByteArray euc;
    euc.append(static_cast<char>(row | 0x80));
    euc.append(static_cast<char>(cell | 0x80));
    const auto utf8 = convert("UTF-8", "EUC-JP-MS", euc);
    return utf8 ? QString::fromUtf8(*utf8) : QString();
}

// CP932 byte of a half-width katakana or punctuation character, 0 for any other.
uint8_t halfWidthKanaByte(char32_t c)
{
    return (c >= 0xFF61 && c <= 0xFF9F) ? static_cast<uint8_t>(c - 0xFF61 + 0xA1) : 0;
}

const SymbolCell* symbolFor(uint8_t byte)
{
    for (const auto& s : kSymbols)
        if (s.byte == byte)
            return &s;
    return nullptr;
}

void appendCode(Bytes& out, uint8_t row, uint8_t cell)
{
    out.push_back(row);
    out.push_back(cell);
}

}  // namespace

Bytes encodeTitle(const QString& title)
{
    const QList<uint> chars = title.toUcs4();
    Bytes out;
    for (qsizetype i = 0; i < chars.size() && out.size() < 2u * kMaxTitleCodes; ++i) {
        const char32_t c = chars[i];
        if (c < 0x80 && std::isalnum(static_cast<int>(c))) {
            appendCode(out, 0x13, static_cast<uint8_t>(c));
        } else if (const uint8_t kana = halfWidthKanaByte(c); kana != 0 || c < 0x80) {
            const uint8_t byte = kana ? kana : static_cast<uint8_t>(c);
            const uint8_t next = i + 1 < chars.size() ? halfWidthKanaByte(chars[i + 1]) : 0;
            if (byte >= 0xB6 && byte <= 0xC4 && next == kVoiced) {  // ｶﾞ .. ﾄﾞ
                appendCode(out, 0x15, static_cast<uint8_t>(0x2C + 2 * (byte - 0xB6) + (byte >= 0xC2 ? 1 : 0)));
                ++i;
            } else if (byte >= 0xCA && byte <= 0xCE && (next == kVoiced || next == kSemiVoiced)) {  // ﾊﾞ ﾊﾟ ..
                appendCode(out, 0x15, static_cast<uint8_t>((next == kVoiced ? 0x50 : 0x51) + 3 * (byte - 0xCA)));
                ++i;
            } else if (const SymbolCell* s = symbolFor(byte)) {
                appendCode(out, 0x11, s->cell);
            } else if (byte >= 0xA6 && byte <= 0xDD && kKanaCells[byte - 0xA6] != 0) {
                appendCode(out, 0x15, kKanaCells[byte - 0xA6]);
            }
        } else if (const auto jis = jisCode(QString::fromUcs4(&c, 1))) {
            appendCode(out, static_cast<uint8_t>(*jis >> 8), static_cast<uint8_t>(*jis & 0xFF));
        }
    }
    return out;
}

Bytes encodeReading(const QString& reading)
{
    Bytes out;
    for (const uint c : reading.toUcs4()) {
        if (out.size() >= static_cast<std::size_t>(kMaxReadingBytes))
            break;
        if (c >= 0x20 && c < 0x7F)
            out.push_back(static_cast<uint8_t>(std::toupper(static_cast<int>(c))));
        else if (c >= 0xFF01 && c <= 0xFF5E)  // full-width ASCII
            out.push_back(static_cast<uint8_t>(std::toupper(static_cast<int>(c - 0xFF01 + 0x21))));
        else if (const uint8_t kana = halfWidthKanaByte(c))
            out.push_back(kana);
    }
    return out;
}

QString decodeTitle(const Bytes& codes, int* unknown)
{
    QString text;
    int bad = codes.size() % 2;
    for (std::size_t i = 0; i + 1 < codes.size(); i += 2) {
        const uint8_t row = codes[i], cell = codes[i + 1];
        QString ch;
        if (row == 0x13 && cell < 0x80 && std::isalnum(cell)) {
            ch = QChar(cell);
        } else if (row == 0x11) {
            for (const auto& s : kSymbols)
                if (s.cell == cell && s.byte < 0x80) {
                    ch = QChar(s.byte);
                    break;
                }
            if (ch.isEmpty())
                ch = fromJis(0x21, cell);
        } else if (row == 0x12 || row == 0x14 || row == 0x15) {
            ch = fromJis(static_cast<uint8_t>(row + 0x10), cell);  // shown in its full-width form
        } else {
            ch = fromJis(row, cell);
        }
        if (ch.isEmpty()) {
            ch = kUnknown;
            ++bad;
        }
        text += ch;
    }
    if (unknown)
        *unknown = bad;
    return text;
}

QString decodeReading(const Bytes& bytes, int* unknown)
{
    QString text;
    int bad = 0;
    for (const uint8_t b : bytes) {
        if (b >= 0x20 && b < 0x7F) {
            text += QChar(b);
        } else if (b >= 0xA1 && b <= 0xDF) {
            text += QChar(static_cast<char16_t>(0xFF61 + (b - 0xA1)));
        } else {
            text += kUnknown;
            ++bad;
        }
    }
    if (unknown)
        *unknown = bad;
    return text;
}

}  // namespace qm10sim
