#include "transfer/MemoImage.h"

#include "transfer/HexRecord.h"

#include <algorithm>
#include <stdexcept>

bool SkipSizeCheck = false;

namespace {

constexpr uint16_t ImageAddress = 0xA000;
constexpr uint8_t HeaderType = 0x80;
constexpr uint8_t DataType = 0x00;
constexpr int MaxRowBytesPerRecord = 116;

// Black unless the pixel lies inside the image and is exactly white.
bool IsBlack(const TMemoPicture& pic, int64_t x, int64_t y)
{
    const int64_t w = std::min<int64_t>(pic.ImageWidth, pic.Image.width());
    const int64_t h = std::min<int64_t>(pic.ImageHeight, pic.Image.height());
    if (x < 0 || y < 0 || x >= w || y >= h)
        return true;
    return (pic.Image.pixel(static_cast<int>(x), static_cast<int>(y)) & 0xFFFFFF) != 0xFFFFFF;
}

class BusyGuard {
public:
    explicit BusyGuard(const std::function<void(bool)>& busy) : busy_(busy)
    {
        if (busy_)
            busy_(true);
    }
    ~BusyGuard()
    {
        if (busy_)
            busy_(false);
    }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

private:
    const std::function<void(bool)>& busy_;
};

// Shrinks [lo, hi] to LIMIT around its middle; an odd excess loses its extra one at the high end.
void CropAroundMiddle(int64_t& lo, int64_t& hi, int64_t limit)
{
    const int64_t extent = hi - lo + 1;
    if (extent <= limit)
        return;
    const int64_t e = extent - limit;
    lo += e / 2;
    hi -= e - e / 2;
}

}  // namespace

void GetImageSize(const TMemoPicture& pic, uint16_t& width, uint16_t& height)
{
    width = pic.ImageWidth;
    height = pic.ImageHeight;
}

ConvResult ConvPixToBitmap(const TMemoPicture& pic, TTransferBitmap& out, const TConvHooks& hooks)
{
    if (pic.ImageWidth == 0 || pic.ImageHeight == 0 || pic.Image.isNull())
        return ConvResult::NoImage;

    if (!SkipSizeCheck && (pic.ImageWidth > MaxSendWidth || pic.ImageHeight > MaxSendHeight)) {
        if (hooks.Refused)
            hooks.Refused();
        return ConvResult::TooLarge;
    }

    int64_t left = 0, top = 0, right = pic.ImageWidth - 1, bottom = pic.ImageHeight - 1;
    if (pic.SelLeft >= 0) {
        left = pic.SelLeft;
        top = pic.SelTop;
        right = pic.SelRight;
        bottom = pic.SelBottom;
    }
    if (right < left || bottom < top)
        return ConvResult::NoImage;
    CropAroundMiddle(left, right, MaxSendWidth);
    CropAroundMiddle(top, bottom, MaxSendHeight);
    const int w = static_cast<int>(right - left + 1);
    const int h = static_cast<int>(bottom - top + 1);

    SkipSizeCheck = false;
    BusyGuard busy(hooks.Busy);

    const int rowBytes = RowByteCount(w);
    out.Width = static_cast<uint16_t>(w);
    out.Height = static_cast<uint16_t>(h);
    out.Bits.assign(static_cast<size_t>(rowBytes) * h, 0);
    size_t at = 0;
    for (int y = 0; y < h; ++y) {
        for (int k = 0; k < rowBytes; ++k) {
            uint8_t byte = 0;
            for (int i = 0; i < 8; ++i) {
                const int x = 8 * k + i;
                if (x < w && IsBlack(pic, left + x, top + y))
                    byte |= static_cast<uint8_t>(0x80 >> i);
            }
            out.Bits[at++] = byte;
        }
    }
    return ConvResult::Converted;
}

ConvResult ConvertForSend(const TMemoPicture& pic, TTransferBitmap& out, const TConvHooks& hooks)
{
    const ConvResult result = ConvPixToBitmap(pic, out, hooks);
    if (result != ConvResult::NoImage)
        SkipSizeCheck = result != ConvResult::Converted;
    return result;
}

void AddImageRecords(TRecordList& chain, uint16_t height, uint16_t width, uint16_t byteTotal,
                     std::span<const uint8_t> bits)
{
    const int rowBytes = RowByteCount(width);
    if (width == 0 || height == 0)
        throw std::invalid_argument("an image to send needs at least one pixel");
    if (bits.size() < static_cast<size_t>(rowBytes) * height)
        throw std::invalid_argument("fewer transfer bytes than the image has rows");

    const uint8_t header[9] = {0x01, 0x41, 0x53,
                               static_cast<uint8_t>(width >> 8), static_cast<uint8_t>(width),
                               static_cast<uint8_t>(height >> 8), static_cast<uint8_t>(height),
                               static_cast<uint8_t>(byteTotal >> 8), static_cast<uint8_t>(byteTotal)};
    AddHexRecord(chain, ImageAddress, HeaderType, header);

    const int rowsPerRecord = std::max(1, MaxRowBytesPerRecord / rowBytes);
    std::vector<uint8_t> data;
    for (int first = 0; first < height;) {
        const int rows = std::min(rowsPerRecord, height - first);
        data.assign({static_cast<uint8_t>(first >> 8), static_cast<uint8_t>(first)});
        const auto from = bits.begin() + static_cast<ptrdiff_t>(first) * rowBytes;
        data.insert(data.end(), from, from + static_cast<ptrdiff_t>(rows) * rowBytes);
        AddHexRecord(chain, ImageAddress, DataType, data);
        first += rows;
    }
}

namespace {

// Sets the pixels of one image data record: W + 1 bits a row, the row ending with the byte that
// holds the bit for column W. IMAGE is W pixels wide, one bit a pixel, most significant bit
// first (Format_Mono) with index 0 black: a set bit on the wire is a clear bit in the image.
// A row starts at a byte of the record, so every byte covers eight columns from a multiple of
// eight on; the bits of the image past its width stay as they were.
void DrawBlock(QImage& image, int width, const TRecord& block)
{
    int y = block.Data[0] * 256 + block.Data[1];
    int x = 0;
    const int end = std::min<int>(block.Count, TRecord::DataSize);
    const int height = image.height();
    uchar* row = y < height ? image.scanLine(y) : nullptr;
    for (int k = 2; k < end && y < height; ++k) {
        const int columns = std::min(width - x, 8);  // pixels of the image in this byte
        if (columns > 0) {
            const auto mask = static_cast<uchar>(0xFF00 >> columns);
            uchar& pixels = row[x / 8];
            pixels = static_cast<uchar>((pixels & ~mask) | (~block.Data[k] & mask));
        }
        if (columns < 8) {  // the bit for column W lies in this byte: the row ends with it
            x = 0;
            if (++y < height)
                row = image.scanLine(y);
        } else {
            x += 8;
        }
    }
}

}  // namespace

QSize ClaimedImageSize(const TRecord& header)
{
    if (header.Count < 7)
        return {0, 0};
    return {header.Data[3] << 8 | header.Data[4], header.Data[5] << 8 | header.Data[6]};
}

bool DrawableImageSize(QSize size)
{
    return size.width() > 0 && size.height() > 0 && size.width() <= MaxReceivedSide
           && size.height() <= MaxReceivedSide;
}

std::size_t DispGraphMemo(TMemoPicture& pic, const TRecordList& records, std::size_t at, QString& error,
                          const TDrawHooks& hooks)
{
    error.clear();
    pic.Image = QImage();
    pic.ImageWidth = 0;
    pic.ImageHeight = 0;
    if (at >= records.size())
        return at;

    const TRecord* header = &records[at];
    const QSize claimed = ClaimedImageSize(*header);
    const int width = claimed.width();
    const int height = claimed.height();
    bool draw = true;
    if (header->Count < 7) {
        error = QStringLiteral("image header record too short (%1 data bytes)").arg(header->Count);
        draw = false;
    } else if (width == 0 || height == 0) {
        error = QStringLiteral("image of %1x%2 pixels has nothing to draw").arg(width).arg(height);
        draw = false;
    } else if (width > MaxReceivedSide || height > MaxReceivedSide) {
        error = QStringLiteral("image of %1x%2 pixels is larger than %3x%3; not drawn")
                    .arg(width)
                    .arg(height)
                    .arg(MaxReceivedSide);
        draw = false;
    }
    if (draw) {
        QImage image(width, height, QImage::Format_Mono);
        if (image.isNull()) {
            error = QStringLiteral("no memory for an image of %1x%2 pixels").arg(width).arg(height);
            draw = false;
        } else {
            image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
            image.fill(1);
            pic.Image = image;
            pic.ImageWidth = static_cast<uint16_t>(width);
            pic.ImageHeight = static_cast<uint16_t>(height);
        }
    }

    while (at + 1 < records.size() && records[at].RecType != 0xFF) {
        const TRecord& cur = records[++at];
        if (cur.Address != ImageAddress || IsEndOfMemo(cur))
            break;
        if (draw) {
            DrawBlock(pic.Image, width, cur);
            if (hooks.AfterBlock)
                hooks.AfterBlock();
        }
    }
    return at;
}
