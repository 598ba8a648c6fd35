// The records of a memo exchange, in order: those a receive keeps, or the chain a send writes.
#pragma once

#include <array>
#include <cstdint>
#include <deque>

// One record. A received record keeps count, type, address and the 256 bytes of the receive
// buffer; a record to send keeps its text in Data and the text's length in Count.
struct TRecord {
    static constexpr int DataSize = 1026;

    uint16_t Count = 0;
    uint8_t RecType = 0;
    uint16_t Address = 0;
    std::array<uint8_t, DataSize> Data{};
};

// Appending never moves the records already there, and the list grows in pieces rather than by
// copying itself, so a long memo costs no more than its records.
using TRecordList = std::deque<TRecord>;
