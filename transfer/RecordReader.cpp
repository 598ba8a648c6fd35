#include "transfer/RecordReader.h"

#include "transfer/HexRecord.h"

namespace {

// Frees the stored part of the memo in progress; a memo is awaited again.
void DropMemoInProgress(TCommLink& link)
{
    FreeBlocks(link, link.MemoStart);
    link.MemoStart = nullptr;
    link.MemoRecords = 0;
    link.AwaitMemo = true;
}

RecvEvent FinishRecord(TCommLink& link)
{
    if (link.InSum != link.InCheck) {
        DropMemoInProgress(link);
        return RecvEvent::BadRecord;
    }
    const bool endOfMemo = link.InType == 1 && link.InCount == 0;
    if (!endOfMemo && link.InType != 255 && !link.AwaitMemo && link.MemoRecords >= MaxMemoRecords) {
        DropMemoInProgress(link);
        return RecvEvent::MemoTooLong;
    }

    auto node = std::make_unique<MemoBlock>();
    node->Count = static_cast<uint16_t>(link.InCount);
    node->RecType = link.InType;
    node->Address = link.InAddress;
    std::copy(link.InData.begin(), link.InData.end(), node->Data.begin());
    MemoBlock* stored = AppendBlock(link, std::move(node));

    RecvEvent event = RecvEvent::None;
    if (endOfMemo) {
        link.AwaitMemo = true;
        link.MemoCount += 1;
        link.MemoStart = nullptr;
        link.MemoRecords = 0;
        event = RecvEvent::MemoComplete;
    } else if (link.AwaitMemo) {
        link.MemoStart = stored;
        link.MemoRecords = 1;
        link.AwaitMemo = false;
    } else {
        link.MemoRecords += 1;
    }
    if (link.InType == 255)
        event = RecvEvent::ExchangeEnded;
    return event;
}

}  // namespace

void RecvStart(TCommLink& link)
{
    FreeBlocks(link, link.Head.get());
    link.Step = 0;
    link.MemoStart = nullptr;
    link.AwaitMemo = true;
    link.MemoCount = 0;
    link.MemoRecords = 0;
}

bool RecvWantsHexPair(const TCommLink& link)
{
    return link.Step != 0;
}

RecvEvent RecvRecordStep(TCommLink& link, uint8_t value)
{
    switch (link.Step) {
    case 0:
        if (value == ':') {
            link.Step = 1;
            link.InCount = 0;
            link.InAddress = 0;
            link.InType = 0;
            link.InSum = 0;
        }
        return RecvEvent::None;
    case 1:
        link.InCount = value;
        link.InSum = static_cast<uint8_t>(link.InSum - value);
        link.Step = 2;
        return RecvEvent::None;
    case 2:
        link.InAddress = static_cast<uint16_t>(value * 256);
        link.InSum = static_cast<uint8_t>(link.InSum - value);
        link.Step = 3;
        return RecvEvent::None;
    case 3:
        link.InAddress = static_cast<uint16_t>(link.InAddress | value);
        link.InSum = static_cast<uint8_t>(link.InSum - value);
        link.Step = 4;
        return RecvEvent::None;
    case 4:
        link.InType = value;
        link.InSum = static_cast<uint8_t>(link.InSum - value);
        link.Step = 10;
        return RecvEvent::None;
    default:
        break;
    }

    // Step 10 and on: data bytes, then the checksum. InCount is at most 255, so i stays
    // inside InData. A Step outside the known states (set by someone else) starts over.
    const int i = link.Step - 10;
    if (i < 0) {
        link.Step = 0;
        return RecvEvent::None;
    }
    if (link.InCount != 0 && i < link.InCount && i < static_cast<int>(link.InData.size())) {
        link.InData[i] = value;
        link.InSum = static_cast<uint8_t>(link.InSum - value);
        link.Step += 1;
        return RecvEvent::None;
    }
    link.InCheck = value;
    link.Step = 0;
    return FinishRecord(link);
}

RecvEvent TRecordStreamReader::Put(uint8_t byte)
{
    if (!RecvWantsHexPair(link_))
        return RecvRecordStep(link_, byte);
    if (pending_ < 0) {
        pending_ = byte;
        return RecvEvent::None;
    }
    const int value = HexPairValue(static_cast<char>(pending_), static_cast<char>(byte));
    pending_ = -1;
    return RecvRecordStep(link_, static_cast<uint8_t>(value));
}
