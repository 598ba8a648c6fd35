// Wire records: the hexadecimal text of one record and the chain of records of one send.
//
// A record is ":" count address type data checksum, every byte as two upper-case hex digits,
// 2 x count + 11 characters, nothing after it. The checksum is the 8-bit two's complement of
// the sum of count, both address bytes, type and data.
//
// A record to send (transfer/Records.h) holds the record text in Data and its length in Count;
// the chain of one send is a TRecordList in sending order.
#pragma once

#include "transfer/Records.h"

#include <cstdint>
#include <span>
#include <string>

// Longest data a record can hold as text: 2 x 507 + 11 = 1025 of the record's 1026 bytes.
inline constexpr int MaxRecordData = (TRecord::DataSize - 11) / 2;

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
                   TRecord& node);

// Builds a record with MakeHexRecord and appends it to CHAIN.
TRecord& AddHexRecord(TRecordList& chain, uint16_t address, uint8_t type, std::span<const uint8_t> data);

// Segment record carrying VALUE: AddSegRecord(chain, 0x9F20) appends ":020000029F203D".
void AddSegRecord(TRecordList& chain, uint16_t value);

// End-of-memo record ":00000001FF".
void AddEndRecord(TRecordList& chain);

// The text of a record to send.
std::string RecordText(const TRecord& node);
