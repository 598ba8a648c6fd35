// Walking a received record list memo by memo, as the Receive command does: at every image
// header record (type 80, address A000) one memo is drawn with DispGraphMemo, and the walk goes
// on after the block the drawing stopped at.
#pragma once

#include "transfer/MemoImage.h"

#include <QSize>
#include <QString>

#include <cstddef>
#include <functional>
#include <string>

struct TReceivedMemo {
    TMemoPicture Picture;      // null Image when Error is set
    QString Error;             // why the memo was not drawn
    QSize ClaimedSize;         // the width and height its image header claims
    std::string TitleCodes;    // data of the memo's title record (0000, type 00), or empty
    std::string ReadingBytes;  // data of the memo's reading record (8000, type 00), or empty
};

// True for the image header record that starts a memo.
bool IsImageHeader(const TRecord& block);

// Calls ON_MEMO once per image header of RECORDS from FIRST on, in list order. A memo's title and reading are the last
// title and reading records met since the previous memo's header and since the last
// end-of-memo record, so the memos before an end-of-memo record come out the same whether the
// list is walked whole or let go memo by memo. HOOKS go to DispGraphMemo.
// Returns the number of memos.
int WalkReceivedMemos(const TRecordList& records, std::size_t first,
                      const std::function<void(TReceivedMemo&)>& onMemo, const TDrawHooks& hooks = {});
inline int WalkReceivedMemos(const TRecordList& records, const std::function<void(TReceivedMemo&)>& onMemo,
                             const TDrawHooks& hooks = {})
{
    return WalkReceivedMemos(records, 0, onMemo, hooks);
}
