// The record-stream reader and the drawing of what it kept, as decode runs them: arbitrary
// characters from the line, memos drawn and let go at each end-of-memo record, the rest drawn
// at the end, titles and readings turned into text.
#include "FuzzTarget.h"

#include "transfer/DeviceText.h"
#include "transfer/ReceivedMemos.h"
#include "transfer/RecordReader.h"

namespace {

void drawAndFree(TRecordReader& link)
{
    WalkReceivedMemos(link.Records, [](TReceivedMemo& memo) {
        FuzzCheck(memo.Error.isEmpty() != memo.Picture.Image.isNull());
        if (!memo.Picture.Image.isNull()) {
            FuzzCheck(memo.Picture.Image.width() == memo.Picture.ImageWidth);
            FuzzCheck(memo.Picture.Image.height() == memo.Picture.ImageHeight);
        }
        DeviceCodesToText(memo.TitleCodes);
        ReadingBytesToText(memo.ReadingBytes);
    });
    link.Records.clear();
    link.MemoStart.reset();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TRecordReader link;
    RecvStart(link);
    TRecordStreamReader reader(link);
    for (size_t i = 0; i < size; ++i) {
        const RecvEvent event = reader.Put(data[i]);
        FuzzCheck(link.MemoRecords <= MaxMemoRecords);
        FuzzCheck(link.Records.size() <= size_t(MaxMemoRecords) + 1);  // decode keeps no more than one memo
        FuzzCheck(!link.MemoStart || *link.MemoStart < link.Records.size());
        if (event == RecvEvent::MemoComplete)
            drawAndFree(link);
        else if (event == RecvEvent::ExchangeEnded || event == RecvEvent::MemoTooLong)
            break;
    }
    drawAndFree(link);
    return 0;
}
