// Titles and readings in the device's codes, and back into readable text.
//
// A title is a run of 16-bit codes, row byte first: full-width characters carry their
// JIS X 0208 code (rows 21..7E); half-width characters live in rows 11 (symbols),
// 13 (ASCII letters and digits), 14/15 (hiragana/katakana). A reading is single bytes:
// ASCII in upper case and half-width katakana (the CP932 bytes A1..DF).
#pragma once

#include "tools/qm10sim/HexRecord.h"

#include <QList>
#include <QString>

namespace qm10sim {

constexpr int kMaxTitleCodes = 51;
constexpr int kMaxReadingBytes = 84;

// Characters the device cannot show are left out.
Bytes encodeTitle(const QString& title);
Bytes encodeReading(const QString& reading);

// Codes the device does not know come back as U+FFFD; *unknown (when given) counts them.
QString decodeTitle(const Bytes& codes, int* unknown = nullptr);
QString decodeReading(const Bytes& bytes, int* unknown = nullptr);

}  // namespace qm10sim
