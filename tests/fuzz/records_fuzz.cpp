// The record-stream reader and the drawing of what it kept, as decode runs them: arbitrary
// characters from the line, memos drawn and let go at each end-of-memo record, the rest drawn
// at the end, titles and readings turned into text.
#include "FuzzTarget.h"

#include "link/CommLink.h"
#include "transfer/DeviceText.h"
#include "transfer/ReceivedMemos.h"
#include "transfer/RecordReader.h"

namespace {

int listLength(const TCommLink& link, const MemoBlock** last)
{
    int n = 0;
    *last = nullptr;
    for (const MemoBlock* b = link.Head.get(); b; b = b->Next.get(), ++n)
        *last = b;
    return n;
}

void drawAndFree(TCommLink& link)
{
    WalkReceivedMemos(link.Head.get(), [](TReceivedMemo& memo) {
        FuzzCheck(memo.Error.isEmpty() != memo.Picture.Image.isNull());
        if (!memo.Picture.Image.isNull()) {
            FuzzCheck(memo.Picture.Image.width() == memo.Picture.ImageWidth);
            FuzzCheck(memo.Picture.Image.height() == memo.Picture.ImageHeight);
        }
        DeviceCodesToText(memo.TitleCodes);
        ReadingBytesToText(memo.ReadingBytes);
    });
    FreeBlocks(link, link.Head.get());
    FuzzCheck(!link.Head && !link.Tail && !link.MemoStart);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TCommLink link;
    RecvStart(link);
    TRecordStreamReader reader(link);
    for (size_t i = 0; i < size; ++i) {
        const RecvEvent event = reader.Put(data[i]);
        const MemoBlock* last = nullptr;
        const int length = listLength(link, &last);
        FuzzCheck(link.Tail == last);  // appends go to the real end
        FuzzCheck(link.MemoRecords <= MaxMemoRecords);
        FuzzCheck(length <= MaxMemoRecords + 1);  // decode keeps no more than one memo
        if (event == RecvEvent::MemoComplete)
            drawAndFree(link);
        else if (event == RecvEvent::ExchangeEnded || event == RecvEvent::MemoTooLong)
            break;
    }
    drawAndFree(link);
    return 0;
}
