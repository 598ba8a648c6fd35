#include "tools/qm10sim/HexRecord.h"

#include <cstdio>

namespace qm10sim {

namespace {

void appendHex(std::string& out, uint8_t b)
{
    static const char digits[] = "0123456789ABCDEF";
    out += digits[b >> 4];
    out += digits[b & 0x0F];
}

int hexValue(uint8_t c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

}  // namespace

std::string recordText(const Record& r, bool damage)
{
    const uint8_t head[4] = {static_cast<uint8_t>(r.data.size()), static_cast<uint8_t>(r.address >> 8),
                             static_cast<uint8_t>(r.address & 0xFF), r.type};
    std::string text = ":";
    unsigned sum = 0;
    for (uint8_t b : head) {
        appendHex(text, b);
        sum += b;
    }
    for (uint8_t b : r.data) {
        appendHex(text, b);
        sum += b;
    }
    uint8_t check = static_cast<uint8_t>(0x100 - (sum & 0xFF));
    if (damage)
        check = static_cast<uint8_t>(check + 0x5A);
    appendHex(text, check);
    return text;
}

std::string describe(const Record& r)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "type %02X at %04X, %zu data bytes", r.type, r.address, r.data.size());
    return buf;
}

std::optional<RecordReader::Result> RecordReader::feed(uint8_t byte)
{
    if (!inRecord_) {
        if (byte == ':') {
            inRecord_ = true;
            highNibble_ = -1;
            fields_.clear();
            badCharacter_ = false;
        } else {
            ++skipped_;
        }
        return std::nullopt;
    }
    int v = hexValue(byte);
    if (v < 0) {
        badCharacter_ = true;
        v = 0;
    }
    if (highNibble_ < 0) {
        highNibble_ = v;
        return std::nullopt;
    }
    fields_.push_back(static_cast<uint8_t>(highNibble_ * 16 + v));
    highNibble_ = -1;
    // count + 2 address bytes + type + data + checksum
    if (fields_.size() < 5u + fields_[0])
        return std::nullopt;

    inRecord_ = false;
    Result res;
    res.record.address = static_cast<uint16_t>(fields_[1] << 8 | fields_[2]);
    res.record.type = fields_[3];
    res.record.data.assign(fields_.begin() + 4, fields_.end() - 1);
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < fields_.size(); ++i)
        sum += fields_[i];
    res.checksum = fields_.back();
    res.expected = static_cast<uint8_t>(0x100 - (sum & 0xFF));
    res.badCharacter = badCharacter_;
    res.good = !badCharacter_ && res.checksum == res.expected;
    return res;
}

}  // namespace qm10sim
