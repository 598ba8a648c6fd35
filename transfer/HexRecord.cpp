#include "transfer/HexRecord.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

int HexToVal(char c)
{
    if (c >= 'a' && c <= 'z')
        c = static_cast<char>(c - 'a' + 'A');
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 0;
}

int HexPairValue(char hi, char lo)
{
    return HexToVal(hi) * 16 + HexToVal(lo);
}

std::string ByteToHex(uint8_t value)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    return {digits[value >> 4], digits[value & 0x0F]};
}

namespace {

void PutHex(uint8_t value, uint8_t* at)
{
    const std::string hex = ByteToHex(value);
    at[0] = static_cast<uint8_t>(hex[0]);
    at[1] = static_cast<uint8_t>(hex[1]);
}

}  // namespace

void MakeHexRecord(uint16_t address, uint8_t type, std::span<const uint8_t> data, uint16_t count,
                   TRecord& node)
{
    if (count > MaxRecordData)
        throw std::length_error("record data longer than a record node holds");
    if (data.size() < count)
        throw std::length_error("record data shorter than its count");

    uint8_t* out = node.Data.data();
    const uint8_t head[4] = {static_cast<uint8_t>(count & 0xFF), static_cast<uint8_t>(address >> 8),
                             static_cast<uint8_t>(address & 0xFF), type};
    out[0] = ':';
    uint8_t sum = 0;
    int pos = 1;
    for (uint8_t b : head) {
        PutHex(b, out + pos);
        pos += 2;
        sum = static_cast<uint8_t>(sum - b);
    }
    for (int i = 0; i < count; ++i) {
        PutHex(data[i], out + pos);
        pos += 2;
        sum = static_cast<uint8_t>(sum - data[i]);
    }
    PutHex(sum, out + pos);
    node.Count = static_cast<uint16_t>(2 * count + 11);
}

TRecord& AddHexRecord(TRecordList& chain, uint16_t address, uint8_t type, std::span<const uint8_t> data)
{
    TRecord node;
    MakeHexRecord(address, type, data, static_cast<uint16_t>(std::min<size_t>(data.size(), 0xFFFF)), node);
    return chain.emplace_back(node);
}

void AddSegRecord(TRecordList& chain, uint16_t value)
{
    TRecord& node = chain.emplace_back();
    std::memcpy(node.Data.data(), ":02000002000000", 15);
    const uint8_t high = static_cast<uint8_t>(value >> 8);
    const uint8_t low = static_cast<uint8_t>(value & 0xFF);
    PutHex(high, node.Data.data() + 9);
    PutHex(low, node.Data.data() + 11);
    PutHex(static_cast<uint8_t>(0 - 4 - high - low), node.Data.data() + 13);
    node.Count = 15;
}

void AddEndRecord(TRecordList& chain)
{
    TRecord& node = chain.emplace_back();
    std::memcpy(node.Data.data(), ":00000001FF", 11);
    node.Count = 11;
}

std::string RecordText(const TRecord& node)
{
    const size_t n = std::min<size_t>(node.Count, node.Data.size());
    return std::string(reinterpret_cast<const char*>(node.Data.data()), n);
}
