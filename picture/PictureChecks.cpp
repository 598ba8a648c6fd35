#include "picture/PictureChecks.h"

#include "picture/Picture.h"
#include "picture/PictureRows.h"

#include <QBuffer>
#include <QImageReader>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>

#include <jpeglib.h>
#include <jerror.h>

namespace {

// Reads a chain of GIF data sub-blocks (a length byte and that many bytes, ended by a zero
// length) one byte at a time. ended() tells a proper end from data that stops too soon.
class GifSubBlocks {
public:
    GifSubBlocks(const QByteArray& bytes, qint64 at) : bytes_(bytes), at_(at) {}

    // The next data byte, or -1 at the end of the chain (or of the file).
    int next()
    {
        while (left_ == 0) {
            if (at_ >= bytes_.size())
                return -1;
            left_ = uchar(bytes_[at_++]);
            if (left_ == 0) {
                ended_ = true;
                return -1;
            }
        }
        if (at_ >= bytes_.size())
            return -1;
        --left_;
        return uchar(bytes_[at_++]);
    }

    // Passes over the rest of the chain; false when the file ends first.
    bool skip()
    {
        while (next() >= 0) {
        }
        return ended_;
    }

    // Where reading stands: after skip(), the first byte after the chain.
    qint64 position() const { return at_; }

private:
    const QByteArray& bytes_;
    qint64 at_;
    int left_ = 0;
    bool ended_ = false;
};

// How many pixels the LZW data of a GIF picture yields, counted without producing them: each
// code stands for a string whose length the code table knows. Counting stops at the end code,
// at a code that is not in the table, where the data stops, or once NEEDED pixels are reached.
qint64 gifPixelsCovered(GifSubBlocks& data, int minCodeSize, qint64 needed)
{
    if (minCodeSize < 1 || minCodeSize > 11)
        return 0;
    const int clear = 1 << minCodeSize;
    const int end = clear + 1;
    std::array<uint16_t, 4096> length{};
    for (int i = 0; i < clear; ++i)
        length[size_t(i)] = 1;
    int codeSize = minCodeSize + 1;
    int next = clear + 2;
    int previous = -1;
    qint64 pixels = 0;
    uint32_t bits = 0;
    int bitCount = 0;
    for (int byte; pixels < needed && (byte = data.next()) >= 0;) {
        bits |= uint32_t(byte) << bitCount;
        bitCount += 8;
        while (bitCount >= codeSize && pixels < needed) {
            const int code = int(bits & ((1u << codeSize) - 1));
            bits >>= codeSize;
            bitCount -= codeSize;
            if (code == clear) {
                codeSize = minCodeSize + 1;
                next = clear + 2;
                previous = -1;
                continue;
            }
            if (code == end)
                return pixels;
            int size;
            if (previous < 0) {
                if (code >= clear)
                    return pixels;
                size = 1;
            } else if (code < next) {
                size = length[size_t(code)];
                if (next < 4096)
                    length[size_t(next++)] = uint16_t(length[size_t(previous)] + 1);
            } else if (code == next && next < 4096) {
                size = length[size_t(previous)] + 1;
                length[size_t(next++)] = uint16_t(size);
            } else {
                return pixels;
            }
            pixels += size;
            previous = code;
            if (next == (1 << codeSize) && codeSize < 12)
                ++codeSize;
        }
    }
    return pixels;
}

QString tooManyScans(int allowed)
{
    return QStringLiteral("the JPEG has more than %1 scans, more than VEXLO decodes for a picture of its size "
                          "(a photo has a few dozen at most)")
        .arg(allowed);
}

// libjpeg reports through these: a fatal error jumps back to the check, and the warnings that
// mean missing or damaged data mark the file.
struct JpegTrap {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    bool damaged;
    bool tooManyScans;
};

// Called by libjpeg as it works through the data (once a row of blocks): a progressive file
// may repeat its scans without end, each one costing a pass over every block of the picture,
// so the decoder stops at the scan after the last one a picture is allowed.
struct JpegWatch {
    jpeg_progress_mgr manager;
    JpegTrap* trap;
    int scans;  // allowed for this picture
};

void jpegProgress(j_common_ptr info)
{
    const auto* d = reinterpret_cast<j_decompress_ptr>(info);
    if (d->input_scan_number > reinterpret_cast<JpegWatch*>(info->progress)->scans) {
        JpegTrap* trap = reinterpret_cast<JpegWatch*>(info->progress)->trap;
        trap->tooManyScans = true;
        std::longjmp(trap->jump, 1);
    }
}

[[noreturn]] void jpegFails(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegTrap*>(info->err)->jump, 1);
}

void jpegNotes(j_common_ptr info, int level)
{
    if (level >= 0)
        return;  // trace output
    switch (info->err->msg_code) {
    case JWRN_HIT_MARKER:     // the data stops at a marker before the picture is complete
    case JWRN_JPEG_EOF:       // the file stops
    case JWRN_HUFF_BAD_CODE:  // damaged data
    case JWRN_MUST_RESYNC:
        reinterpret_cast<JpegTrap*>(info->err)->damaged = true;
        break;
    default:
        break;
    }
}

}  // namespace

bool GifLooksWhole(const QByteArray& bytes)
{
    if (bytes.size() < 13)
        return false;
    qint64 at = 13;
    const uchar screen = uchar(bytes[10]);
    if (screen & 0x80)
        at += 3 * (2 << (screen & 7));  // global colour table
    for (;;) {
        if (at >= bytes.size())
            return false;
        const uchar kind = uchar(bytes[at++]);
        if (kind == 0x21) {  // extension: its label, then sub-blocks
            GifSubBlocks blocks(bytes, at + 1);
            if (!blocks.skip())
                return false;
            at = blocks.position();
        } else if (kind == 0x2C) {  // the picture: descriptor, local colour table, code size, data
            if (at + 10 > bytes.size())
                return false;
            const qint64 width = uchar(bytes[at + 4]) | uchar(bytes[at + 5]) << 8;
            const qint64 height = uchar(bytes[at + 6]) | uchar(bytes[at + 7]) << 8;
            const uchar flags = uchar(bytes[at + 8]);
            at += 9;
            if (flags & 0x80)
                at += 3 * (2 << (flags & 7));
            if (at >= bytes.size())
                return false;
            const int minCodeSize = uchar(bytes[at]);
            GifSubBlocks data(bytes, at + 1);
            // Qt shows pixels the data does not reach as background, and calls that success.
            return gifPixelsCovered(data, minCodeSize, width * height) >= width * height && data.skip();
        } else {
            return false;  // the trailer before any picture, or not a block at all
        }
    }
}

namespace {

// Decodes the JPEG in BYTES at 1/REDUCTION of its size. Without a SINK only the check is made
// (the data read through at an eighth of the size, as cheaply as libjpeg can); otherwise BEGIN
// is told the size that comes out and SINK receives each row. ROWS says which size limit holds:
// the loader's, or that of a picture read in rows. False when the data stops early or is
// damaged, the picture is beyond the limit, or BEGIN says no.
bool decodeJpeg(const QByteArray& bytes, int reduction, bool rows, const std::function<bool(QSize)>* begin,
                const TPictureRowSink* sink, QString* whyNot)
{
    jpeg_decompress_struct info;
    JpegTrap trap;
    trap.damaged = false;
    trap.tooManyScans = false;
    info.err = jpeg_std_error(&trap.manager);
    trap.manager.error_exit = jpegFails;
    trap.manager.emit_message = jpegNotes;
    JpegWatch watch{};
    watch.manager.progress_monitor = jpegProgress;
    watch.trap = &trap;
    watch.scans = kMaxJpegScans;  // until the frame's size is known
    const QString damaged = QStringLiteral("the file is damaged or cut short");
    // No object with a destructor lives between here and the decoder calls: a jump back skips
    // nothing. Everything libjpeg allocates goes with jpeg_destroy_decompress; what BEGIN and
    // SINK make belongs to the caller.
    if (setjmp(trap.jump) != 0) {
        jpeg_destroy_decompress(&info);
        if (whyNot)
            *whyNot = trap.tooManyScans ? tooManyScans(watch.scans) : damaged;
        return false;
    }
    jpeg_create_decompress(&info);
    info.progress = &watch.manager;
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.constData()), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    if (rows ? !RowPictureSizeAccepted(info.image_width, info.image_height)
             : !PictureSizeAccepted(info.image_width, info.image_height)) {
        const qint64 w = info.image_width, h = info.image_height;
        jpeg_destroy_decompress(&info);
        if (whyNot)
            *whyNot = rows ? QStringLiteral("%1x%2 pixels is more than VEXLO takes (at most %3 on a side, %4 in all)")
                                 .arg(w)
                                 .arg(h)
                                 .arg(kMaxPictureSide)
                                 .arg(kMaxRowPicturePixels)
                           : damaged;
        return false;
    }
    watch.scans = JpegScansAllowed([&] {
        qint64 blocks = 0;
        for (int i = 0; i < info.num_components; ++i)
            blocks += qint64(info.comp_info[i].width_in_blocks) * info.comp_info[i].height_in_blocks;
        return blocks;
    }());
    // Every coefficient is decoded, but the picture comes out reduced while it is decompressed.
    info.scale_num = 1;
    info.scale_denom = sink ? unsigned(reduction) : 8;
    if (!sink) {
        info.dct_method = JDCT_IFAST;
        info.do_fancy_upsampling = FALSE;
    } else if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK) {
        info.out_color_space = JCS_CMYK;
    } else if (info.jpeg_color_space != JCS_GRAYSCALE) {
        info.out_color_space = JCS_RGB;
    }
    jpeg_start_decompress(&info);
    const int components = info.output_components;
    if (sink && !(*begin)(QSize(int(info.output_width), int(info.output_height)))) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    JSAMPARRAY row = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                               info.output_width * JDIMENSION(components), 1);
    auto* pixels = static_cast<QRgb*>((*info.mem->alloc_large)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                                               info.output_width * sizeof(QRgb)));
    while (info.output_scanline < info.output_height && !trap.damaged) {
        const int y = int(info.output_scanline);
        jpeg_read_scanlines(&info, row, 1);
        if (!sink)
            continue;
        const unsigned char* in = row[0];
        for (JDIMENSION x = 0; x < info.output_width; ++x, in += components) {
            if (components == 1) {
                pixels[x] = qRgb(in[0], in[0], in[0]);
            } else if (components == 4) {  // Adobe's inverted CMYK, as Qt reads it
                const int k = in[3];
                pixels[x] = qRgb(k * in[0] / 255, k * in[1] / 255, k * in[2] / 255);
            } else {
                pixels[x] = qRgb(in[0], in[1], in[2]);
            }
        }
        (*sink)(y, 0, 1, pixels, int(info.output_width));
    }
    if (!trap.damaged)
        jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    if (trap.damaged && whyNot)
        *whyNot = damaged;
    return !trap.damaged;
}

}  // namespace

int JpegScansAllowed(qint64 blocks)
{
    if (blocks <= 0)
        return kMaxJpegScans;
    return int(std::clamp<qint64>(kMaxJpegScanBlocks / blocks, kMinJpegScans, kMaxJpegScans));
}

bool JpegLooksWhole(const QByteArray& bytes, QString* whyNot)
{
    return decodeJpeg(bytes, 8, false, nullptr, nullptr, whyNot);
}

namespace {

int validReduction(int reduction)
{
    return reduction == 2 || reduction == 4 || reduction == 8 ? reduction : 1;
}

}  // namespace

std::optional<QImage> DecodeJpeg(const QByteArray& bytes, int reduction, QString* whyNot)
{
    QImage picture;
    const std::function<bool(QSize)> begin = [&](QSize size) {
        picture = QImage(size, QImage::Format_RGB32);
        if (picture.isNull() && whyNot)
            *whyNot = QStringLiteral("the file is damaged or cut short");
        return !picture.isNull();
    };
    const TPictureRowSink sink = [&](int y, int, int, const QRgb* pixels, int count) {
        std::memcpy(picture.scanLine(y), pixels, size_t(count) * sizeof(QRgb));
    };
    if (!decodeJpeg(bytes, validReduction(reduction), false, &begin, &sink, whyNot))
        return std::nullopt;
    return picture;
}

bool ReadJpegRows(const QByteArray& bytes, int reduction, const std::function<bool(QSize)>& begin,
                  const TPictureRowSink& sink, QString* whyNot)
{
    return decodeJpeg(bytes, validReduction(reduction), true, &begin, &sink, whyNot);
}

std::optional<TPictureHead> ReadJpegHead(const QByteArray& bytes, QString* whyNot)
{
    jpeg_decompress_struct info;
    JpegTrap trap;
    trap.damaged = false;
    trap.tooManyScans = false;
    info.err = jpeg_std_error(&trap.manager);
    trap.manager.error_exit = jpegFails;
    trap.manager.emit_message = jpegNotes;
    if (setjmp(trap.jump) != 0) {
        jpeg_destroy_decompress(&info);
        if (whyNot)
            *whyNot = QStringLiteral("the file is damaged or cut short");
        return std::nullopt;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.constData()), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    const qint64 width = info.image_width, height = info.image_height;
    jpeg_destroy_decompress(&info);
    if (!RowPictureSizeAccepted(width, height)) {
        if (whyNot)
            *whyNot = QStringLiteral("%1x%2 pixels is more than VEXLO takes (at most %3 on a side, %4 in all)")
                          .arg(width)
                          .arg(height)
                          .arg(kMaxPictureSide)
                          .arg(kMaxRowPicturePixels);
        return std::nullopt;
    }
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    TPictureHead head;
    head.Stored = QSize(int(width), int(height));
    head.Turn = reader.transformation();
    return head;
}
