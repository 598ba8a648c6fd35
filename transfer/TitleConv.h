// Title and title reading into the device's codes.
//
// Both conversions take Shift-JIS (CP932) bytes. The title becomes 16-bit device codes (row,
// cell), two bytes each, high byte first: rows 21 and up are JIS X 0208 codes, rows 11-15 the
// device's half-width forms (JIS code minus 1000 hex), row 13 the ASCII digits and letters.
// The reading becomes single bytes: upper-case ASCII and half-width katakana.
//
// Nothing fails: characters without a device form are dropped (title) or become nothing or a
// blank (reading).
#pragma once

#include "transfer/Records.h"

#include <cstdint>
#include <string>
#include <string_view>

// The title conversion stops after the code that goes past this many (so at most 51 codes).
inline constexpr int TitleLimit = 50;
// The reading record carries at most this many bytes.
inline constexpr int ReadingRecordMax = 84;

// The two switches of the title conversion, as the user set them (see ConvTitle).
struct TTitleSwitches {
    bool KataToHira = false;
    bool ZenToHan = false;
};

struct JisCode {
    uint8_t Row = 0;
    uint8_t Cell = 0;
};

// 81-9F and E0-FC start a double-byte character.
bool IsSjisLead(uint8_t b);
// 40-FC except 7F may follow a lead byte.
bool IsSjisTrail(uint8_t b);
// The JIS X 0208 row and cell of the Shift-JIS character FIRST SECOND (FIRST a lead byte).
JisCode SjisToJis(uint8_t first, uint8_t second);

// Device codes of TEXT, two bytes a code, high byte first. Stops once more than LIMIT codes
// were produced. KATA_TO_HIRA sends typed half-width katakana in the half-width hiragana row;
// ZEN_TO_HAN sends full-width digits, letters, kana and some symbols in their half-width form.
std::string ConvTitle(std::string_view text, int limit, bool kataToHira, bool zenToHan);

// The reading bytes of TEXT, whole. A lead byte at the end, or one followed by a byte that
// cannot follow it, is dropped on its own and the next byte is read as a character.
std::string ConvTitleReader(std::string_view text);

// Appends the title record (address 0000, type 00) with ConvTitle(TITLE, TitleLimit,
// SWITCHES).
void AddTitleRecord(TRecordList& chain, std::string_view title, TTitleSwitches switches);

// Appends the reading record (address 8000, type 00) with the first 84 bytes of
// ConvTitleReader(READING).
void AddReaderRecord(TRecordList& chain, std::string_view reading);
