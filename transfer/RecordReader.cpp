#include "transfer/RecordReader.h"

#include "transfer/HexRecord.h"

#include <algorithm>

namespace {

// Drops the stored part of the memo in progress; a memo is awaited again.
void DropMemoInProgress(TRecordReader& r)
{
    if (r.MemoStart)
        r.Records.erase(r.Records.begin() + static_cast<std::ptrdiff_t>(*r.MemoStart), r.Records.end());
    r.MemoStart.reset();
    r.MemoRecords = 0;
    r.AwaitMemo = true;
}

RecvEvent FinishRecord(TRecordReader& r)
{
    r.Field = RecordField::Start;
    if (r.InSum != r.InCheck) {
        DropMemoInProgress(r);
        return RecvEvent::BadRecord;
    }
    const bool endOfMemo = r.InType == 1 && r.InCount == 0;
    if (!endOfMemo && r.InType != 255 && !r.AwaitMemo && r.MemoRecords >= MaxMemoRecords) {
        DropMemoInProgress(r);
        return RecvEvent::MemoTooLong;
    }

    TRecord& stored = r.Records.emplace_back();
    stored.Count = static_cast<uint16_t>(r.InCount);
    stored.RecType = r.InType;
    stored.Address = r.InAddress;
    std::copy(r.InData.begin(), r.InData.end(), stored.Data.begin());

    RecvEvent event = RecvEvent::None;
    if (endOfMemo) {
        r.AwaitMemo = true;
        r.MemoCount += 1;
        r.MemoStart.reset();
        r.MemoRecords = 0;
        event = RecvEvent::MemoComplete;
    } else if (r.AwaitMemo) {
        r.MemoStart = r.Records.size() - 1;
        r.MemoRecords = 1;
        r.AwaitMemo = false;
    } else {
        r.MemoRecords += 1;
    }
    if (r.InType == 255)
        event = RecvEvent::ExchangeEnded;
    return event;
}

void Subtract(TRecordReader& r, uint8_t value) { r.InSum = static_cast<uint8_t>(r.InSum - value); }

}  // namespace

void RecvStart(TRecordReader& r)
{
    r.Records.clear();
    r.Field = RecordField::Start;
    r.DataRead = 0;
    r.MemoStart.reset();
    r.AwaitMemo = true;
    r.MemoCount = 0;
    r.MemoRecords = 0;
}

bool RecvWantsHexPair(const TRecordReader& r)
{
    return r.Field != RecordField::Start;
}

RecvEvent RecvRecordStep(TRecordReader& r, uint8_t value)
{
    switch (r.Field) {
    case RecordField::Start:
        if (value == ':') {
            r.Field = RecordField::Count;
            r.InCount = 0;
            r.InAddress = 0;
            r.InType = 0;
            r.InSum = 0;
        }
        return RecvEvent::None;
    case RecordField::Count:
        r.InCount = value;
        Subtract(r, value);
        r.Field = RecordField::AddressHigh;
        return RecvEvent::None;
    case RecordField::AddressHigh:
        r.InAddress = static_cast<uint16_t>(value * 256);
        Subtract(r, value);
        r.Field = RecordField::AddressLow;
        return RecvEvent::None;
    case RecordField::AddressLow:
        r.InAddress = static_cast<uint16_t>(r.InAddress | value);
        Subtract(r, value);
        r.Field = RecordField::Type;
        return RecvEvent::None;
    case RecordField::Type:
        r.InType = value;
        Subtract(r, value);
        r.DataRead = 0;
        r.Field = r.InCount != 0 ? RecordField::Data : RecordField::Checksum;
        return RecvEvent::None;
    case RecordField::Data:
        // InCount is at most 255, so DataRead stays inside InData.
        r.InData[static_cast<std::size_t>(r.DataRead)] = value;
        Subtract(r, value);
        if (++r.DataRead >= r.InCount)
            r.Field = RecordField::Checksum;
        return RecvEvent::None;
    case RecordField::Checksum:
        r.InCheck = value;
        return FinishRecord(r);
    }
    r.Field = RecordField::Start;
    return RecvEvent::None;
}

int RecordCharsLeft(const TRecordReader& r)
{
    int pairs = 0;
    switch (r.Field) {
    case RecordField::Start: return 0;
    case RecordField::Count: pairs = 5; break;  // count, address, type, checksum: the least a record has
    case RecordField::AddressHigh: pairs = 4 + r.InCount; break;
    case RecordField::AddressLow: pairs = 3 + r.InCount; break;
    case RecordField::Type: pairs = 2 + r.InCount; break;
    case RecordField::Data: pairs = std::max(r.InCount - r.DataRead, 0) + 1; break;
    case RecordField::Checksum: pairs = 1; break;
    }
    return 2 * pairs;
}

RecvEvent TRecordStreamReader::Put(uint8_t byte)
{
    if (!RecvWantsHexPair(reader_))
        return RecvRecordStep(reader_, byte);
    if (pending_ < 0) {
        pending_ = byte;
        return RecvEvent::None;
    }
    const int value = HexPairValue(static_cast<char>(pending_), static_cast<char>(byte));
    pending_ = -1;
    return RecvRecordStep(reader_, static_cast<uint8_t>(value));
}
