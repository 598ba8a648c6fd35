// Reading received records, one step at a time, on the working fields of CommLink.
//
// The receive exchange reads, at Step 0, one raw byte from the port, and at every other step
// one hexadecimal pair (only once both characters have arrived), and hands the value to
// RecvRecordStep. The same function serves the exchange and the offline decoder, so both keep
// and drop exactly the same records.
//
// What a finished record does to the list at Head:
//   good record          stored as a MemoBlock at the tail (Count, RecType, Address, the 256
//                        bytes of InData). An end-of-memo record (type 1, count 0) then sets
//                        AwaitMemo, adds 1 to MemoCount and clears MemoStart; any other record
//                        becomes MemoStart when a memo is awaited.
//   bad checksum         the stored part of the current memo (from MemoStart) is freed,
//                        MemoStart cleared, AwaitMemo set. Acknowledged memos stay.
//   one record too many  a memo in progress that would hold more than MaxMemoRecords records
//                        is freed the same way and reported as MemoTooLong: a device that
//                        never ends its memo cannot fill the memory.
//
// The end-of-memo record is what ends a memo, for everyone: the exchange acknowledges it, the
// drawing walk stops at it (see ReceivedMemos), and what lies before it can be drawn and let
// go at once. Records already kept never change how an earlier memo is drawn.
#pragma once

#include "link/CommLink.h"

#include <cstdint>

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

// Prepares LINK for a receive: empties the list at Head, Step 0, no MemoStart, a memo awaited,
// MemoCount 0, MemoRecords 0.
void RecvStart(TCommLink& link);

// Whether the next step takes a hexadecimal pair (true) or a raw byte (false, at Step 0).
bool RecvWantsHexPair(const TCommLink& link);

// One step. VALUE is the raw byte at Step 0, otherwise the value of a hexadecimal pair
// (0-255). Bytes before a ":" are dropped. A ":" inside a record is read as part of a pair.
RecvEvent RecvRecordStep(TCommLink& link, uint8_t value);

// Turns a stream of received characters into steps, as the exchange reads the port: a single
// byte at Step 0, otherwise a hexadecimal pair. Used where the characters come from memory.
class TRecordStreamReader {
public:
    explicit TRecordStreamReader(TCommLink& link) : link_(link) {}

    // Takes the next character; returns the event of the step it completes (None while the
    // first character of a pair waits for its second).
    RecvEvent Put(uint8_t byte);

    // True when a record has begun and has not been finished.
    bool InRecord() const { return link_.Step != 0 || pending_ >= 0; }

private:
    TCommLink& link_;
    int pending_ = -1;  // first character of a pair, or -1
};
