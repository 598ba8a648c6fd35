#include "transfer/DeviceText.h"

#include "platform/Cp932.h"
#include "transfer/TitleConv.h"

#include <array>
#include <map>
#include <string>

namespace {

constexpr char16_t Replacement = 0xFFFD;

// The Shift-JIS bytes of JIS X 0208 ROW/CELL (both 21-7E).
std::string JisToSjis(int row, int cell)
{
    const int first = row <= 0x5E ? (row + 0xE1) / 2 : (row + 0x161) / 2;
    int second;
    if (row % 2 == 1)  // odd rows use the lower half of the trail bytes
        second = cell + (cell >= 0x60 ? 0x20 : 0x1F);
    else
        second = cell + 0x7E;
    return {static_cast<char>(first), static_cast<char>(second)};
}

QString JisChar(int row, int cell)
{
    if (row < 0x21 || row > 0x7E || cell < 0x21 || cell > 0x7E)
        return QString(Replacement);
    QString text, error;
    if (!platform::FromCp932(JisToSjis(row, cell), text, error) || text.isEmpty())
        return QString(Replacement);
    return text;
}

// For every device code that a typed single byte (or half-width kana with its mark) produces,
// the first such text: the inverse of the title conversion's half-width branch.
const std::map<unsigned, std::string>& HalfWidthSources()
{
    static const std::map<unsigned, std::string> table = [] {
        std::map<unsigned, std::string> t;
        auto add = [&](std::string typed) {
            const std::string code = ConvTitle(typed, TitleLimit, false, false);
            if (code.size() != 2)
                return;
            const unsigned c = static_cast<uint8_t>(code[0]) * 256u + static_cast<uint8_t>(code[1]);
            t.emplace(c, std::move(typed));
        };
        for (int b = 0x20; b <= 0xDF; ++b)
            add(std::string(1, static_cast<char>(b)));
        for (int b = 0xA6; b <= 0xDD; ++b)
            for (int mark : {0xDE, 0xDF})
                add(std::string{static_cast<char>(b), static_cast<char>(mark)});
        return t;
    }();
    return table;
}

QString HalfWidthChar(int row, int cell)
{
    const auto& t = HalfWidthSources();
    const auto it = t.find(static_cast<unsigned>(row * 256 + cell));
    if (it != t.end()) {
        QString text, error;
        if (platform::FromCp932(it->second, text, error))
            return text;
    }
    return JisChar(row + 0x10, cell);
}

}  // namespace

QString DeviceCodesToText(std::string_view codes)
{
    QString out;
    for (size_t i = 0; i + 1 < codes.size(); i += 2) {
        const int row = static_cast<uint8_t>(codes[i]);
        const int cell = static_cast<uint8_t>(codes[i + 1]);
        switch (row) {
        case 0x11:
        case 0x15:
            out += HalfWidthChar(row, cell);
            break;
        case 0x12:
        case 0x14:
            out += JisChar(row + 0x10, cell);
            break;
        case 0x13:
            out += (cell >= 0x20 && cell <= 0x7E) ? QString(QChar(cell)) : QString(Replacement);
            break;
        default:
            out += JisChar(row, cell);
            break;
        }
    }
    return out;
}

QString ReadingBytesToText(std::string_view bytes)
{
    QString out;
    for (const char ch : bytes) {
        const uint8_t b = static_cast<uint8_t>(ch);
        if (b >= 0x20 && b <= 0x7E)
            out += QChar(b);
        else if (b >= 0xA1 && b <= 0xDF)
            out += QChar(static_cast<char16_t>(0xFF61 + (b - 0xA1)));  // half-width katakana
        else
            out += QChar(Replacement);
    }
    return out;
}
