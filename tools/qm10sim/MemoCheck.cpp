#include "tools/qm10sim/MemoCheck.h"

#include "tools/qm10sim/Bitmap.h"
#include "tools/qm10sim/TitleCode.h"

namespace qm10sim {

namespace {

constexpr int kMaxPixelBytes = 116;

int get16(const Bytes& d, std::size_t at) { return d[at] << 8 | d[at + 1]; }

bool is(const Record& r, uint8_t type, uint16_t address) { return r.type == type && r.address == address; }

std::string got(const Record& r) { return ", got " + describe(r); }

}  // namespace

std::string MemoCheck::take(const Record& r)
{
    switch (stage_) {
    case Stage::Segment:
        if (!is(r, 0x02, 0x0000) || r.data.size() != 2)
            return "expected the segment record (type 02 at 0000, 2 bytes)" + got(r);
        stage_ = Stage::Title;
        return {};
    case Stage::Title:
        if (!is(r, 0x00, 0x0000))
            return "expected the title record (type 00 at 0000)" + got(r);
        if (r.data.size() % 2 || r.data.size() > 2u * kMaxTitleCodes)
            return "the title record must hold at most 51 two-byte codes" + got(r);
        title_ = r.data;
        stage_ = Stage::Reading;
        return {};
    case Stage::Reading:
        if (!is(r, 0x00, 0x8000))
            return "expected the reading record (type 00 at 8000)" + got(r);
        if (r.data.size() > static_cast<std::size_t>(kMaxReadingBytes))
            return "the reading record holds more than 84 bytes" + got(r);
        reading_ = r.data;
        stage_ = Stage::Header;
        return {};
    case Stage::Header: {
        if (!is(r, 0x80, 0xA000) || r.data.size() != 9)
            return "expected the image header record (type 80 at A000, 9 bytes)" + got(r);
        if (r.data[0] != 0x01 || r.data[1] != 'A' || r.data[2] != 'S')
            return "the image header must start with 01 41 53";
        width_ = get16(r.data, 3);
        height_ = get16(r.data, 5);
        const int total = get16(r.data, 7);
        if (width_ < 1 || width_ > kMaxWidth || height_ < 1 || height_ > kMaxHeight)
            return "image of " + std::to_string(width_) + " x " + std::to_string(height_) +
                   " pixels; a memo is 1 x 1 to 124 x 121";
        rowBytes_ = pcRowBytes(width_);
        if (total != rowBytes_ * height_)
            return "byte total " + std::to_string(total) + " does not match " + std::to_string(height_) +
                   " rows of " + std::to_string(rowBytes_) + " bytes";
        stage_ = Stage::Rows;
        return {};
    }
    case Stage::Rows:
        if (r.type == 0x01) {
            if (!r.data.empty())
                return "an end-of-memo record carries no data" + got(r);
            if (nextRow_ < height_)
                return "end of memo after " + std::to_string(nextRow_) + " of " + std::to_string(height_) + " rows";
            stage_ = Stage::Done;
            return {};
        }
        if (!is(r, 0x00, 0xA000))
            return "expected an image data record (type 00 at A000) or the end of the memo" + got(r);
        if (r.data.size() < 3)
            return "an image data record without rows" + got(r);
        if (const int first = get16(r.data, 0); first != nextRow_)
            return "rows start at " + std::to_string(first) + ", expected row " + std::to_string(nextRow_);
        if (const std::size_t n = r.data.size() - 2; n > kMaxPixelBytes || n % rowBytes_)
            return std::to_string(n) + " pixel bytes are not whole rows of " + std::to_string(rowBytes_) +
                   " bytes (at most 116 a record)";
        nextRow_ += static_cast<int>((r.data.size() - 2) / rowBytes_);
        if (nextRow_ > height_)
            return "rows run past the image's " + std::to_string(height_) + " rows";
        pixels_.insert(pixels_.end(), r.data.begin() + 2, r.data.end());
        return {};
    case Stage::Done:
        break;
    }
    return "a record after the end of the memo" + got(r);
}

QImage MemoCheck::image(int* strayBits) const
{
    return unpackRows(pixels_, width_, height_, rowBytes_, strayBits);
}

}  // namespace qm10sim
