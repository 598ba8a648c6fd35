// Wire records: the hexadecimal text of one record and the chain of records of one send.
//
// A record is ":" count address type data checksum, every byte as two upper-case hex digits,
// 2 x count + 11 characters, nothing after it. The checksum is the 8-bit two's complement of
// the sum of count, both address bytes, type and data.
//
// A SendRecord (see link/CommLink.h) holds the record text in Data and its length in Count.
// The SendChain of one send is the list at CommLink.Head, in sending order.
#pragma once

#include "link/CommLink.h"

#include <cstdint>
#include <span>
#include <string>

using SendChain = MemoBlock*;

// Longest data a record node can hold as text: 2 x 507 + 11 = 1025 of the node's 1026 bytes.
inline constexpr int MaxRecordData = (MemoBlock::DataSize - 11) / 2;

// '0'-'9' -> 0-9, 'A'-'F' and 'a'-'f' -> 10-15, anything else -> 0.
int HexToVal(char c);

// The value of the hex pair HI LO, 0-255 (non-digits count as 0).
int HexPairValue(char hi, char lo);

// Two upper-case digits, high nibble first.
std::string ByteToHex(uint8_t value);

// Writes the record text into NODE.Data and 2 x COUNT + 11 into NODE.Count. The count field
// carries the low 8 bits of COUNT. Throws std::length_error when COUNT exceeds MaxRecordData
// or DATA holds fewer than COUNT bytes.
void MakeHexRecord(uint16_t address, uint8_t type, std::span<const uint8_t> data, uint16_t count,
                   SendRecord& node);

// Appends NODE at the tail of the list at link.Head (an empty list takes it as Head).
SendRecord* AddSendRecord(TCommLink& link, std::unique_ptr<SendRecord> node);

// Builds a record with MakeHexRecord into a new node and appends it.
SendRecord* AddHexRecord(TCommLink& link, uint16_t address, uint8_t type,
                         std::span<const uint8_t> data);

// Segment record carrying VALUE: AddSegRecord(link, 0x9F20) appends ":020000029F203D".
void AddSegRecord(TCommLink& link, uint16_t value);

// End-of-memo record ":00000001FF".
void AddEndRecord(TCommLink& link);

// The text of a record to send.
std::string RecordText(const SendRecord& node);
