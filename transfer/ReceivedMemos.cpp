#include "transfer/ReceivedMemos.h"

namespace {

std::string DataOf(const MemoBlock& block)
{
    const size_t n = std::min<size_t>(block.Count, 256);
    return std::string(reinterpret_cast<const char*>(block.Data.data()), n);
}

}  // namespace

bool IsImageHeader(const MemoBlock& block)
{
    return block.Address == 0xA000 && block.RecType == 0x80;
}

int WalkReceivedMemos(const MemoBlock* head, const std::function<void(TReceivedMemo&)>& onMemo,
                      const TDrawHooks& hooks)
{
    std::string title, reading;
    auto note = [&](const MemoBlock& block) {
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
    for (const MemoBlock* node = head; node; node = node->Next.get()) {
        if (!IsImageHeader(*node)) {
            note(*node);
            continue;
        }
        TReceivedMemo memo;
        memo.ClaimedSize = ClaimedImageSize(*node);
        memo.TitleCodes = std::move(title);
        memo.ReadingBytes = std::move(reading);
        title.clear();
        reading.clear();
        node = DispGraphMemo(memo.Picture, node, memo.Error, hooks);
        ++memos;
        onMemo(memo);
        if (!IsImageHeader(*node))  // where the drawing stopped: a record of the next memo
            note(*node);
    }
    return memos;
}
