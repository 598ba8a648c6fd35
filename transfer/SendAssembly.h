// The chain of records of one send, in sending order: segment record 9F20, title, reading,
// image header, image data records, end-of-memo record.
#pragma once

#include "transfer/MemoImage.h"
#include "transfer/Records.h"
#include "transfer/TitleConv.h"

#include <QString>

#include <string>

// Title and reading as they go into the records: CP932 bytes.
struct TSendText {
    std::string Title;
    std::string Reading;
};

// The title dialog's answer, or the file name when the reading is empty: the reading becomes
// FILE_NAME as stored and the title its name part (after the last '/'); characters of the
// file name that have no Shift-JIS (CP932) form are left out of both. Fails, with ERROR set,
// when a character of a typed title or reading has no Shift-JIS form.
bool MakeSendText(const QString& title, const QString& reading, const QString& fileName,
                  TSendText& out, QString& error);

// The chain of BITMAP (as ConvPixToBitmap made it) and TEXT, the title converted with SWITCHES.
TRecordList BuildSendChain(const TTransferBitmap& bitmap, const TSendText& text, TTitleSwitches switches);
