// One memo as the device holds it, and the records it goes out as.
#pragma once

#include "tools/qm10sim/HexRecord.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <vector>

namespace qm10sim {

struct Memo {
    QString title;
    QString reading;
    QImage image;  // Format_Mono as made by toMemoImage, at most 124 x 121
};

// Segment, title, reading, image header, image data (device row layout), end of memo.
std::vector<Record> memoRecords(const Memo& memo);

Record endOfExchangeRecord();

// Image files, or directories of them (their images in name order). The title is the
// file's name without its suffix. Fails with a message naming the file.
bool loadMemos(const QStringList& paths, std::vector<Memo>& memos, QString& error);

}  // namespace qm10sim
