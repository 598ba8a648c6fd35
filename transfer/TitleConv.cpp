#include "transfer/TitleConv.h"

#include "transfer/HexRecord.h"

#include <array>
#include <span>

namespace {

// Row-1 cells (from 26, ・) that the device has a half-width form for.
constexpr bool Row1HasHalfWidth(uint8_t cell)
{
    switch (cell) {
    case 0x26: case 0x27: case 0x28: case 0x29: case 0x2A:  // ・：；？！
    case 0x39: case 0x3A: case 0x3C: case 0x3D: case 0x3F:  // 々〆ー―／
    case 0x41: case 0x45: case 0x47: case 0x49:             // ～‥’”
    case 0x4A: case 0x4B: case 0x52: case 0x53:             // （）〈〉
    case 0x56: case 0x57: case 0x5A: case 0x5B:             // 「」【】
    case 0x5C: case 0x5D: case 0x5E: case 0x5F: case 0x60:  // ＋－±×÷
    case 0x61: case 0x6F: case 0x70: case 0x73:             // ＝￥＄％
    case 0x74: case 0x75: case 0x76: case 0x77:             // ＃＆＊＠
    case 0x7B: case 0x7C: case 0x7E:                        // ○●◇
        return true;
    default:
        return false;
    }
}

// Row-2 cells 21-2D (◆ to ↓): all but □■▽▼ have a half-width form.
constexpr bool Row2HasHalfWidth(uint8_t cell)
{
    return cell >= 0x21 && cell <= 0x2D && cell != 0x22 && cell != 0x23 && cell != 0x26 &&
           cell != 0x27;
}

// Half-width symbols to row-11 cells; 0 = no entry.
constexpr std::array<uint8_t, 256> MakeSymbolCells()
{
    std::array<uint8_t, 256> t{};
    t[0x20] = 0x21; t[0x21] = 0x2A; t[0x22] = 0x49; t[0x23] = 0x74; t[0x24] = 0x70;
    t[0x25] = 0x73; t[0x26] = 0x75; t[0x27] = 0x47; t[0x28] = 0x4A; t[0x29] = 0x4B;
    t[0x2A] = 0x76; t[0x2B] = 0x5C; t[0x2C] = 0x24; t[0x2D] = 0x5D; t[0x2E] = 0x25;
    t[0x2F] = 0x3F; t[0x3A] = 0x27; t[0x3B] = 0x28; t[0x3C] = 0x52; t[0x3D] = 0x61;
    t[0x3E] = 0x53; t[0x3F] = 0x29; t[0x40] = 0x77; t[0x5B] = 0x5A; t[0x5C] = 0x6F;
    t[0x5D] = 0x5B; t[0x7B] = 0x5A; t[0x7C] = 0x21; t[0x7D] = 0x5B; t[0x7E] = 0x41;
    t[0xA1] = 0x23; t[0xA2] = 0x56; t[0xA3] = 0x57; t[0xA4] = 0x22; t[0xA5] = 0x25;
    t[0xB0] = 0x3C;
    return t;
}
constexpr auto SymbolCells = MakeSymbolCells();

// Half-width katakana (A6-DD) to the kana cell of rows 14/15; 0 = no entry.
constexpr std::array<uint8_t, 256> MakeKanaCells()
{
    std::array<uint8_t, 256> t{};
    constexpr uint8_t cells[] = {
        0x72, 0x21, 0x23, 0x25, 0x27, 0x29, 0x63, 0x65, 0x67, 0x43,  // ｦｧｨｩｪｫｬｭｮｯ (A6-AF)
        0x00,                                                        // ｰ (B0)
        0x22, 0x24, 0x26, 0x28, 0x2A,                                // ｱｲｳｴｵ
        0x2B, 0x2D, 0x2F, 0x31, 0x33,                                // ｶｷｸｹｺ
        0x35, 0x37, 0x39, 0x3B, 0x3D,                                // ｻｼｽｾｿ
        0x3F, 0x41, 0x44, 0x46, 0x48,                                // ﾀﾁﾂﾃﾄ
        0x4A, 0x4B, 0x4C, 0x4D, 0x4E,                                // ﾅﾆﾇﾈﾉ
        0x4F, 0x52, 0x55, 0x58, 0x5B,                                // ﾊﾋﾌﾍﾎ
        0x5E, 0x5F, 0x60, 0x61, 0x62,                                // ﾏﾐﾑﾒﾓ
        0x64, 0x66, 0x68,                                            // ﾔﾕﾖ
        0x69, 0x6A, 0x6B, 0x6C, 0x6D,                                // ﾗﾘﾙﾚﾛ
        0x6F, 0x73,                                                  // ﾜﾝ (DC, DD)
    };
    for (size_t i = 0; i < sizeof cells; ++i)
        t[0xA6 + i] = cells[i];
    return t;
}
constexpr auto KanaCells = MakeKanaCells();

constexpr uint8_t Voiced = 0xDE;      // ﾞ
constexpr uint8_t SemiVoiced = 0xDF;  // ﾟ

// Full-width row-1 symbols to a reading byte; 0 = none (a blank is sent).
constexpr std::array<uint8_t, 128> MakeReadingSymbols()
{
    std::array<uint8_t, 128> t{};
    t[0x2A] = 0x21;                                   // ！
    t[0x48] = t[0x49] = t[0x6D] = 0x22;               // “ ” ″
    t[0x74] = 0x23; t[0x70] = 0x24; t[0x73] = 0x25;   // ＃ ＄ ％
    t[0x75] = 0x26;                                   // ＆
    t[0x2D] = t[0x2E] = t[0x6C] = 0x27;               // ´ ｀ ′
    t[0x4A] = 0x28; t[0x4B] = 0x29;                   // （ ）
    t[0x76] = 0x2A; t[0x5C] = 0x2B; t[0x24] = 0x2C;   // ＊ ＋ ，
    t[0x3D] = t[0x5D] = 0x2D;                         // ― －
    t[0x25] = 0x2E;                                   // ．
    t[0x27] = 0x3A; t[0x28] = 0x3B;                   // ： ；
    t[0x52] = t[0x54] = t[0x63] = 0x3C;               // 〈 《 ＜
    t[0x61] = 0x3D;                                   // ＝
    t[0x53] = t[0x55] = t[0x64] = 0x3E;               // 〉 》 ＞
    t[0x29] = 0x3F; t[0x77] = 0x40;                   // ？ ＠
    t[0x4C] = t[0x4E] = t[0x5A] = 0x5B;               // 〔 ［ 【
    t[0x6F] = 0x5C;                                   // ￥
    t[0x4D] = t[0x4F] = t[0x5B] = 0x5D;               // 〕 ］ 】
    t[0x30] = 0x5E; t[0x32] = 0x5F;                   // ＾ ＿
    t[0x5F] = 0x78;                                   // ×
    t[0x50] = 0x7B; t[0x51] = 0x7D; t[0x31] = 0x7E;   // ｛ ｝ ￣
    t[0x23] = 0xA1;                                   // 。
    t[0x56] = t[0x58] = 0xA2;                         // 「 『
    t[0x57] = t[0x59] = 0xA3;                         // 」 』
    t[0x22] = 0xA4; t[0x26] = 0xA5; t[0x3C] = 0xB0;   // 、 ・ ー
    t[0x2B] = 0xDE; t[0x2C] = 0xDF;                   // ゛ ゜
    return t;
}
constexpr auto ReadingSymbols = MakeReadingSymbols();

// Kana cells of rows 4 and 5 to half-width katakana: one or two bytes (letter, mark).
struct HalfKana {
    uint8_t Letter = 0x20;
    uint8_t Mark = 0;
};

constexpr std::array<HalfKana, 128> MakeReadingKana()
{
    std::array<HalfKana, 128> t{};
    // Plain and small kana: the inverse of the half-width table.
    for (int b = 0xA6; b <= 0xDD; ++b)
        if (KanaCells[b] != 0)
            t[KanaCells[b]] = {static_cast<uint8_t>(b), 0};
    // ｶﾞ to ﾄﾞ: the voiced kana sit right after their plain one (ﾂﾃﾄ after small っ too).
    for (int b = 0xB6; b <= 0xC4; ++b)
        t[0x2C + 2 * (b - 0xB6) + (b >= 0xC2 ? 1 : 0)] = {static_cast<uint8_t>(b), Voiced};
    // ﾊ to ﾎ: plain, voiced, semi-voiced in threes.
    for (int b = 0xCA; b <= 0xCE; ++b) {
        t[0x50 + 3 * (b - 0xCA)] = {static_cast<uint8_t>(b), Voiced};
        t[0x51 + 3 * (b - 0xCA)] = {static_cast<uint8_t>(b), SemiVoiced};
    }
    t[0x6E] = {0xDC, 0};       // ゎ ﾜ
    t[0x70] = {0xB2, 0};       // ゐ ｲ
    t[0x71] = {0xB4, 0};       // ゑ ｴ
    t[0x74] = {0xB3, Voiced};  // ヴ ｳﾞ
    t[0x75] = {0xB6, 0};       // ヵ ｶ
    t[0x76] = {0xB9, 0};       // ヶ ｹ
    return t;                  // 77-7E stay blank
}
constexpr auto ReadingKana = MakeReadingKana();

void PutCode(std::string& out, int row, int cell)
{
    out.push_back(static_cast<char>(row));
    out.push_back(static_cast<char>(cell));
}

// Full-width characters that have a half-width form when ZenToHan is on: the row-1 symbols
// ・ to ◇, row-2 ◆ to ↓, digits, Latin letters, hiragana and katakana.
bool InHalfWidthRange(unsigned u)
{
    return (u >= 0x8145 && u <= 0x819E) || (u >= 0x819F && u <= 0x81AB) ||
           (u >= 0x824F && u <= 0x8258) || (u >= 0x8260 && u <= 0x8279) ||
           (u >= 0x8281 && u <= 0x829A) || (u >= 0x829F && u <= 0x82F1) ||
           (u >= 0x8340 && u <= 0x8396);
}

}  // namespace

bool IsSjisLead(uint8_t b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

bool IsSjisTrail(uint8_t b)
{
    return b >= 0x40 && b <= 0xFC && b != 0x7F;
}

JisCode SjisToJis(uint8_t first, uint8_t second)
{
    int row = first <= 0x9F ? 2 * first - 0xE1 : 2 * first - 0x161;
    if (second >= 0x9F)
        row += 1;
    int cell;
    if (second < 0x7F)
        cell = second - 0x1F;
    else if (second < 0x9F)
        cell = second - 0x20;
    else
        cell = second - 0x7E;
    return {static_cast<uint8_t>(row), static_cast<uint8_t>(cell)};
}

std::string ConvTitle(std::string_view text, int limit, bool kataToHira, bool zenToHan)
{
    std::string out;
    const int kanaRow = kataToHira ? 0x14 : 0x15;
    int codes = 0;
    size_t i = 0;
    auto byteAt = [&](size_t k) { return static_cast<uint8_t>(text[k]); };

    while (i < text.size() && codes <= limit) {
        const uint8_t b = byteAt(i);

        if (IsSjisLead(b)) {
            if (i + 1 >= text.size() || !IsSjisTrail(byteAt(i + 1))) {
                ++i;  // the lone lead byte goes; the next byte is a character of its own
                continue;
            }
            const uint8_t second = byteAt(i + 1);
            i += 2;
            const JisCode jis = SjisToJis(b, second);
            int row = jis.Row;
            if (zenToHan && InHalfWidthRange(b * 256u + second)) {
                if (row == 0x21 && !Row1HasHalfWidth(jis.Cell))
                    continue;
                if (row == 0x22 && !Row2HasHalfWidth(jis.Cell))
                    continue;
                row -= 0x10;
            }
            PutCode(out, row, jis.Cell);
            ++codes;
            continue;
        }

        const bool markFollows = i + 1 < text.size() && byteAt(i + 1) == Voiced;
        const bool semiFollows = i + 1 < text.size() && byteAt(i + 1) == SemiVoiced;
        ++i;
        int row = 0, cell = 0;
        if ((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z')) {
            row = 0x13;
            cell = b;
        } else if (b >= 0xB6 && b <= 0xC4 && markFollows) {
            ++i;
            row = kanaRow;
            cell = 0x2C + 2 * (b - 0xB6) + (b >= 0xC2 ? 1 : 0);
        } else if (b >= 0xCA && b <= 0xCE && (markFollows || semiFollows)) {
            ++i;
            row = kanaRow;
            cell = (markFollows ? 0x50 : 0x51) + 3 * (b - 0xCA);
        } else if (b >= 0x20 && b <= 0xBF && SymbolCells[b] != 0) {
            row = 0x11;
            cell = SymbolCells[b];
        } else if (b >= 0xA0 && b <= 0xDF && KanaCells[b] != 0) {
            row = kanaRow;
            cell = KanaCells[b];
        } else {
            continue;  // no device form
        }
        PutCode(out, row, cell);
        ++codes;
    }
    return out;
}

std::string ConvTitleReader(std::string_view text)
{
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        const uint8_t b = static_cast<uint8_t>(text[i]);
        if (IsSjisLead(b)) {
            if (i + 1 >= text.size() || !IsSjisTrail(static_cast<uint8_t>(text[i + 1]))) {
                ++i;
                continue;
            }
            const JisCode jis = SjisToJis(b, static_cast<uint8_t>(text[i + 1]));
            i += 2;
            const uint8_t cell = jis.Cell & 0x7F;
            switch (jis.Row) {
            case 0x23:
                out.push_back(static_cast<char>(cell >= 'a' && cell <= 'z' ? cell - 0x20 : cell));
                break;
            case 0x21:
                out.push_back(static_cast<char>(ReadingSymbols[cell] ? ReadingSymbols[cell] : 0x20));
                break;
            case 0x24:
            case 0x25: {
                const HalfKana k = ReadingKana[cell];
                out.push_back(static_cast<char>(k.Letter));
                if (k.Mark)
                    out.push_back(static_cast<char>(k.Mark));
                break;
            }
            default:
                break;  // kanji and the rest have no reading form
            }
            continue;
        }
        out.push_back(static_cast<char>(b >= 'a' && b <= 'z' ? b - 0x20 : b));
        ++i;
    }
    return out;
}

namespace {

std::span<const uint8_t> Bytes(const std::string& s)
{
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

}  // namespace

void AddTitleRecord(TRecordList& chain, std::string_view title, TTitleSwitches switches)
{
    const std::string codes = ConvTitle(title, TitleLimit, switches.KataToHira, switches.ZenToHan);
    AddHexRecord(chain, 0x0000, 0x00, Bytes(codes));
}

void AddReaderRecord(TRecordList& chain, std::string_view reading)
{
    std::string bytes = ConvTitleReader(reading);
    if (bytes.size() > static_cast<size_t>(ReadingRecordMax))
        bytes.resize(ReadingRecordMax);
    AddHexRecord(chain, 0x8000, 0x00, Bytes(bytes));
}
