// A memo image in transfer: packing pixels into transfer bytes for a send, cutting them into
// records, and drawing a received memo from its records.
//
// Transfer bytes: rows from the top, each of RowByteCount(W) bytes; pixel x is bit 7 - x mod 8
// of byte x div 8; 1 is black, 0 white; bits past the width are 0. The device sends its rows
// with W div 8 + 1 bytes (W + 1 bits, the last one outside the image), which differs from what
// we send only when W is a multiple of 8.
#pragma once

#include "transfer/Records.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

// The largest image the device takes.
inline constexpr int MaxSendWidth = 124;
inline constexpr int MaxSendHeight = 121;
inline constexpr int MaxTransferBytes = 1936;
// A received header may claim up to 65535 x 65535; anything wider or higher than this is
// refused before any memory is taken for it.
inline constexpr int MaxReceivedSide = 4096;

inline constexpr char16_t TooLargeWarning[] = u"選択した画像は大きすぎますので、範囲を絞り込んで下さい";

// Lets the next ConvPixToBitmap pass over its size check; false at start. Send sets it after
// every conversion (ConvertForSend does), a conversion clears it.
extern bool SkipSizeCheck;

// The image side of a memo window: its picture, the stored size, and the accepted region
// (right and bottom inclusive; SelLeft < 0 means none).
struct TMemoPicture {
    QImage Image;
    uint16_t ImageWidth = 0;
    uint16_t ImageHeight = 0;
    int SelLeft = -1;
    int SelTop = -1;
    int SelRight = -1;
    int SelBottom = -1;
};

// Packed pixels ready for AddImageRecords.
struct TTransferBitmap {
    uint16_t Width = 0;
    uint16_t Height = 0;
    std::vector<uint8_t> Bits;  // Height rows of RowByteCount(Width) bytes
};

enum class ConvResult {
    Converted,
    TooLarge,  // over 124 x 121 with the size check on: nothing converted
    NoImage,   // no image (width or height 0) or an empty region: nothing to send
};

// What the window does around a conversion.
struct TConvHooks {
    // A too-large image was refused: show TooLargeWarning, then arm region selection.
    std::function<void()> Refused;
    // true before the pixels are read, false after (the hourglass cursor).
    std::function<void(bool)> Busy;
};

// After each drawn image data record (the window refreshes its status).
struct TDrawHooks {
    std::function<void()> AfterBlock;
};

// Bytes a row takes when sending: W div 8, plus 1 when W is not a multiple of 8.
constexpr int RowByteCount(int width) { return width / 8 + (width % 8 != 0 ? 1 : 0); }

// ImageWidth and ImageHeight.
void GetImageSize(const TMemoPicture& pic, uint16_t& width, uint16_t& height);

// Packs the region (or the whole image) into OUT. Refuses an image over 124 x 121 unless
// SkipSizeCheck is set (calls hooks.Refused; OUT untouched); otherwise crops the region to
// 124 x 121 around its middle, clears SkipSizeCheck and converts: exactly white (FFFFFF) is 0,
// every other colour 1. Pixels of the region that lie outside the image read as black.
ConvResult ConvPixToBitmap(const TMemoPicture& pic, TTransferBitmap& out,
                           const TConvHooks& hooks = {});

// ConvPixToBitmap followed by what Send does with its result: SkipSizeCheck becomes true after
// a refusal for size and stays false after a conversion. A picture without an image leaves it
// as it was.
ConvResult ConvertForSend(const TMemoPicture& pic, TTransferBitmap& out,
                          const TConvHooks& hooks = {});

// Appends the image header record (01 41 53, width, height, byte total) and the image data
// records: 116 div RowByteCount(WIDTH) rows each, the first row number ahead of them. Throws
// std::invalid_argument when WIDTH or HEIGHT is 0 or BITS is shorter than the rows.
void AddImageRecords(TRecordList& chain, uint16_t height, uint16_t width, uint16_t byteTotal,
                     std::span<const uint8_t> bits);

// The width and height an image header record claims (data bytes 3-4 and 5-6, high byte
// first); 0 x 0 when it is shorter than 7 data bytes.
QSize ClaimedImageSize(const TRecord& header);

// True when a received image of SIZE can be drawn: at least one pixel, at most
// MaxReceivedSide either way.
bool DrawableImageSize(QSize size);

// True for the end-of-memo record (type 1, no data), whatever its address.
inline bool IsEndOfMemo(const TRecord& block) { return block.RecType == 1 && block.Count == 0; }

// Draws the memo whose image header record is RECORDS[HEADER] into PIC (ImageWidth, ImageHeight
// and a white one-bit image of that size), walking the image data records that follow it; each
// takes W + 1 bits a row. Returns the index of the record the walk stopped at: the first
// following record whose Address is not A000 or that ends the memo (IsEndOfMemo), or the last
// record reached (HEADER itself when it is past the end).
// So a memo never takes records from beyond its end-of-memo record. A header that claims no pixels or more
// than MaxReceivedSide either way, or that is shorter than 7 data bytes, is not drawn: ERROR
// says why, PIC keeps a null image, and the walk still runs so the caller can go on after it.
std::size_t DispGraphMemo(TMemoPicture& pic, const TRecordList& records, std::size_t header, QString& error,
                          const TDrawHooks& hooks = {});
