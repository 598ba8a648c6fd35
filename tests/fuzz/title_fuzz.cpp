// The title and reading conversions on arbitrary Shift-JIS bytes, with both switches: the
// first byte picks the switches, the rest is the typed text. Whatever is typed, the records
// are built (no record over its limit) and their codes read back as text.
#include "FuzzTarget.h"

#include "transfer/DeviceText.h"
#include "transfer/HexRecord.h"
#include "transfer/TitleConv.h"

#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const bool kataToHira = data[0] & 1;
    const bool zenToHan = data[0] & 2;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    const std::string codes = ConvTitle(text, TitleLimit, kataToHira, zenToHan);
    FuzzCheck(codes.size() % 2 == 0);
    FuzzCheck(codes.size() <= 2 * (TitleLimit + 1));
    const std::string reading = ConvTitleReader(text);
    FuzzCheck(reading.size() <= text.size());

    TRecordList link;
    AddTitleRecord(link, text, {kataToHira, zenToHan});
    AddReaderRecord(link, text);
    for (const TRecord& b : link) {
        FuzzCheck(b.Count >= 11 && b.Count <= 2 * MaxRecordData + 11);
        FuzzCheck(RecordText(b).size() == b.Count);
    }
    DeviceCodesToText(codes);
    ReadingBytesToText(reading);
    return 0;
}
