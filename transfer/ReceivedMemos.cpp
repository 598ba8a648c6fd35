#include "transfer/ReceivedMemos.h"

namespace {

std::string DataOf(const TRecord& block)
{
    const size_t n = std::min<size_t>(block.Count, 256);
    return std::string(reinterpret_cast<const char*>(block.Data.data()), n);
}

}  // namespace

bool IsImageHeader(const TRecord& block)
{
    return block.Address == 0xA000 && block.RecType == 0x80;
}

int WalkReceivedMemos(const TRecordList& records, std::size_t first,
                      const std::function<void(TReceivedMemo&)>& onMemo, const TDrawHooks& hooks)
{
    std::string title, reading;
    auto note = [&](const TRecord& block) {
        if (IsEndOfMemo(block)) {
            title.clear();
            reading.clear();
        }
        if (block.RecType != 0x00)
            return;
        if (block.Address == 0x0000)
            title = DataOf(block);
        else if (block.Address == 0x8000)
            reading = DataOf(block);
    };

    int memos = 0;
    for (std::size_t at = first; at < records.size(); ++at) {
        if (!IsImageHeader(records[at])) {
            note(records[at]);
            continue;
        }
        TReceivedMemo memo;
        memo.ClaimedSize = ClaimedImageSize(records[at]);
        memo.TitleCodes = std::move(title);
        memo.ReadingBytes = std::move(reading);
        title.clear();
        reading.clear();
        at = DispGraphMemo(memo.Picture, records, at, memo.Error, hooks);
        ++memos;
        onMemo(memo);
        if (!IsImageHeader(records[at]))  // where the drawing stopped: a record of the next memo
            note(records[at]);
    }
    return memos;
}
