// The device's own hexadecimal text records: ":" count address type data checksum, each
// byte as two hex digits, checksum chosen so that all bytes add up to 0 modulo 256.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qm10sim {

using Bytes = std::vector<uint8_t>;

struct Record {
    uint8_t type = 0;
    uint16_t address = 0;
    Bytes data;  // at most 255 bytes: the count field is one byte
};

// The record's text; with damage the checksum is deliberately wrong.
std::string recordText(const Record& r, bool damage = false);

// Describes a record for messages: "type 80 at A000, 9 bytes".
std::string describe(const Record& r);

// Reads records one byte at a time. Bytes before a ":" are skipped (and counted);
// inside a record every byte belongs to it, a ":" included.
class RecordReader {
public:
    struct Result {
        Record record;
        bool good = false;        // checksum matched and every character was a hex digit
        uint8_t checksum = 0;     // as received
        uint8_t expected = 0;     // as it should have been
        bool badCharacter = false;
    };

    std::optional<Result> feed(uint8_t byte);
    bool inRecord() const { return inRecord_; }
    std::size_t skipped() const { return skipped_; }

private:
    bool inRecord_ = false;
    int highNibble_ = -1;
    std::vector<uint8_t> fields_;  // count, address high, address low, type, data..., checksum
    bool badCharacter_ = false;
    std::size_t skipped_ = 0;
};

}  // namespace qm10sim
