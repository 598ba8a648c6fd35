// Reading received records, one step at a time.
//
// The receive exchange reads, between records, one raw byte from the port, and at every other
// step one hexadecimal pair (only once both characters have arrived), and hands the value to
// RecvRecordStep. The same function serves the exchange and the offline decoder, so both keep
// and drop exactly the same records.
//
// What a finished record does to the list of the reader (Records):
//   good record          stored at the end (Count, RecType, Address, the 256 bytes of InData).
//                        An end-of-memo record (type 1, count 0) then sets AwaitMemo, adds 1
//                        to MemoCount and clears MemoStart; any other record becomes
//                        MemoStart when a memo is awaited.
//   bad checksum         the stored part of the current memo (from MemoStart) is dropped,
//                        MemoStart cleared, AwaitMemo set. Acknowledged memos stay.
//   one record too many  a memo in progress that would hold more than MaxMemoRecords records
//                        is dropped the same way and reported as MemoTooLong: a device that
//                        never ends its memo cannot fill the memory.
//
// The end-of-memo record is what ends a memo, for everyone: the exchange acknowledges it, the
// drawing walk stops at it (see ReceivedMemos), and what lies before it can be drawn and let
// go at once. Records already kept never change how an earlier memo is drawn.
#pragma once

#include "transfer/Records.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

// Records one memo may hold before its end-of-memo record: room for a 4096 x 4096 memo (about
// 8300 full records) and a bound on memory (about 1 KiB a record).
inline constexpr int MaxMemoRecords = 16384;

// What the caller has to do after a step.
enum class RecvEvent {
    None,           // nothing
    MemoComplete,   // an end-of-memo record was stored: answer "#"
    BadRecord,      // a record failed its checksum: answer "?"
    ExchangeEnded,  // the end-of-exchange record (type 255) was stored: the exchange is over
    MemoTooLong,    // the memo in progress passed MaxMemoRecords and was dropped
};

// The part of a record the next step reads.
enum class RecordField {
    Start,        // between records: a raw byte, ":" starts a record
    Count,        // then hexadecimal pairs: the count,
    AddressHigh,  // the address, high byte first,
    AddressLow,
    Type,         // the type,
    Data,         // DataRead of InCount data bytes,
    Checksum,     // and the checksum
};

// The working state of a receive: the record being read and the records kept so far.
struct TRecordReader {
    RecordField Field = RecordField::Start;
    int DataRead = 0;  // data bytes of the record read so far
    uint8_t InSum = 0;  // running checksum of the record, wraps
    int InCount = 0;    // its data byte count, 0 to 255
    uint8_t InType = 0;
    uint16_t InAddress = 0;
    uint8_t InCheck = 0;  // its checksum byte, as read
    std::array<uint8_t, 256> InData{};

    TRecordList Records;
    // Where in Records the memo being received begins; none between memos.
    std::optional<std::size_t> MemoStart;
    // Records stored since MemoStart: how much the memo in progress holds.
    int MemoRecords = 0;
    // Memos completed so far.
    int MemoCount = 0;
    // The next record stored begins a new memo.
    bool AwaitMemo = true;

    bool BetweenRecords() const { return Field == RecordField::Start; }
};

// Prepares READER for a receive: no records, between records, no MemoStart, a memo awaited,
// MemoCount 0, MemoRecords 0.
void RecvStart(TRecordReader& reader);

// Whether the next step takes a hexadecimal pair (true) or a raw byte (false, between records).
bool RecvWantsHexPair(const TRecordReader& reader);

// One step. VALUE is the raw byte between records, otherwise the value of a hexadecimal pair
// (0-255). Bytes before a ":" are dropped. A ":" inside a record is read as part of a pair.
RecvEvent RecvRecordStep(TRecordReader& reader, uint8_t value);

// The characters the record being read still needs, from the pair that the next step reads
// to its checksum; 0 between records. Its data are counted once its count is known.
int RecordCharsLeft(const TRecordReader& reader);

// Turns a stream of received characters into steps, as the exchange reads the port: a single
// byte between records, otherwise a hexadecimal pair. Used where the characters come from
// memory.
class TRecordStreamReader {
public:
    explicit TRecordStreamReader(TRecordReader& reader) : reader_(reader) {}

    // Takes the next character; returns the event of the step it completes (None while the
    // first character of a pair waits for its second).
    RecvEvent Put(uint8_t byte);

    // True when a record has begun and has not been finished.
    bool InRecord() const { return !reader_.BetweenRecords() || pending_ >= 0; }

private:
    TRecordReader& reader_;
    int pending_ = -1;  // first character of a pair, or -1
};
