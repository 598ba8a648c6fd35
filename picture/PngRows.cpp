// PNG files read a row at a time with libpng, straight from the file.
#include "picture/PictureRows.h"

#include "picture/Picture.h"

#include <QBuffer>
#include <QImageReader>

#include <csetjmp>
#include <cstring>
#include <vector>

#include <png.h>

namespace {

constexpr char kSignature[] = "\x89PNG\r\n\x1a\n";
constexpr qint64 kSignatureSize = 8;
constexpr quint32 kMaxExifBytes = 64 * 1024;
// A chunk's length may not exceed this (the format's own limit).
constexpr quint32 kMaxChunkLength = 0x7FFFFFFFu;

quint32 be32(const char* p)
{
    return quint32(uchar(p[0])) << 24 | quint32(uchar(p[1])) << 16 | quint32(uchar(p[2])) << 8 | quint32(uchar(p[3]));
}

QString damaged() { return QStringLiteral("the file is damaged or cut short"); }

QString sizeRefusal(qint64 width, qint64 height)
{
    if (width <= 0 || height <= 0)
        return QStringLiteral("the picture has no pixels");
    return QStringLiteral("%1x%2 pixels is more than VEXLO takes (at most %3 on a side, %4 in all)")
        .arg(width)
        .arg(height)
        .arg(kMaxPictureSide)
        .arg(kMaxRowPicturePixels);
}

// What libpng reads through: the file, in large pieces, and where a decode failed.
struct PngInput {
    QIODevice* file = nullptr;
    std::vector<char> buffer;
    size_t at = 0;
    size_t end = 0;
    bool readFailed = false;
    QString readError;
    std::jmp_buf jump;
};

void pngRead(png_structp png, png_bytep out, size_t wanted)
{
    auto* in = static_cast<PngInput*>(png_get_io_ptr(png));
    while (wanted > 0) {
        if (in->at == in->end) {
            const qint64 got = in->file->read(in->buffer.data(), qint64(in->buffer.size()));
            if (got <= 0) {
                if (got < 0) {
                    in->readFailed = true;
                    in->readError = in->file->errorString();
                }
                png_error(png, "the file stops");
            }
            in->at = 0;
            in->end = size_t(got);
        }
        const size_t n = std::min(wanted, in->end - in->at);
        std::memcpy(out, in->buffer.data() + in->at, n);
        in->at += n;
        out += n;
        wanted -= n;
    }
}

[[noreturn]] void pngFails(png_structp png, png_const_charp)
{
    std::longjmp(static_cast<PngInput*>(png_get_error_ptr(png))->jump, 1);
}

void pngWarns(png_structp, png_const_charp) {}

// The reader's state lives here, apart from the frame that calls setjmp, so that nothing it
// holds is lost or left half-made by a jump back.
struct PngDecode {
    PngInput input;
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::vector<unsigned char> row;
    std::vector<QRgb> pixels;

    ~PngDecode() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

}  // namespace

bool RowPictureSizeAccepted(qint64 width, qint64 height)
{
    return width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
           width * height <= kMaxRowPicturePixels;
}

bool IsPngStart(QByteArrayView bytes) { return bytes.startsWith(QByteArrayView(kSignature, kSignatureSize)); }

bool IsJpegStart(QByteArrayView bytes) { return bytes.startsWith(QByteArrayView("\xFF\xD8\xFF", 3)); }

std::optional<TPictureHead> ReadPngHead(QIODevice& file, QString* whyNot)
{
    auto refuse = [whyNot](const QString& why) -> std::optional<TPictureHead> {
        if (whyNot)
            *whyNot = why;
        return std::nullopt;
    };
    // The chunks before the pixels that tell the size and the orientation (with the palette), and
    // the head of the first pixel chunk, where a decoder's look at the headers stops.
    QByteArray head = file.read(kSignatureSize);
    if (!IsPngStart(head))
        return refuse(QStringLiteral("not a PNG file"));
    for (;;) {
        const QByteArray chunk = file.read(8);
        if (chunk.size() < 8)
            return refuse(damaged());
        const quint32 length = be32(chunk.constData());
        const QByteArrayView type = QByteArrayView(chunk).sliced(4, 4);
        if (length > kMaxChunkLength)
            return refuse(damaged());
        if (type == "IDAT") {
            head += chunk;
            break;
        }
        // A palette picture's decoder wants its palette before the pixels, even for a look.
        if (type == "IHDR" || (type == "PLTE" && length <= 768) || (type == "eXIf" && length <= kMaxExifBytes)) {
            const QByteArray data = file.read(qint64(length) + 4);
            if (data.size() < qint64(length) + 4)
                return refuse(damaged());
            head += chunk + data;
        } else if (type == "IEND" || !file.seek(file.pos() + qint64(length) + 4)) {
            return refuse(damaged());
        }
    }
    // IHDR comes first: width and height, 4 bytes each.
    if (head.size() < kSignatureSize + 8 + 13 || QByteArrayView(head).sliced(12, 4) != "IHDR")
        return refuse(damaged());
    const qint64 width = be32(head.constData() + 16);
    const qint64 height = be32(head.constData() + 20);
    if (!RowPictureSizeAccepted(width, height))
        return refuse(sizeRefusal(width, height));
    QBuffer buffer(&head);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    TPictureHead out;
    out.Stored = QSize(int(width), int(height));
    out.Turn = reader.transformation();
    return out;
}

bool ReadPngRows(QIODevice& file, const TPictureRowSink& sink, QString* whyNot)
{
    PngDecode d;
    d.input.file = &file;
    d.input.buffer.resize(256 * 1024);
    d.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &d.input, pngFails, pngWarns);
    if (!d.png || !(d.info = png_create_info_struct(d.png))) {
        if (whyNot)
            *whyNot = QStringLiteral("out of memory");
        return false;
    }
    // A jump back from libpng comes here; what it left behind goes with D.
    if (setjmp(d.input.jump) != 0) {
        if (whyNot)
            *whyNot = d.input.readFailed ? QStringLiteral("read error: %1").arg(d.input.readError) : damaged();
        return false;
    }
    png_set_read_fn(d.png, &d.input, pngRead);
    // Text, profiles and every other chunk that does not make pixels are passed over unread.
    png_set_keep_unknown_chunks(d.png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_read_info(d.png, d.info);
    const png_uint_32 width = png_get_image_width(d.png, d.info);
    const png_uint_32 height = png_get_image_height(d.png, d.info);
    if (!RowPictureSizeAccepted(width, height)) {
        if (whyNot)
            *whyNot = sizeRefusal(width, height);
        return false;
    }
    // Every kind comes as 8-bit RGBA: palettes and low bit depths expanded, grey made colour,
    // 16 bits rounded to 8 (as the picture loader rounds them), transparency as alpha.
    png_set_expand(d.png);
    png_set_gray_to_rgb(d.png);
    if (png_get_bit_depth(d.png, d.info) == 16)
        png_set_scale_16(d.png);
    png_set_add_alpha(d.png, 0xFF, PNG_FILLER_AFTER);
    png_read_update_info(d.png, d.info);
    if (png_get_rowbytes(d.png, d.info) != size_t(width) * 4) {
        if (whyNot)
            *whyNot = damaged();
        return false;
    }
    d.row.resize(size_t(width) * 4);
    d.pixels.resize(size_t(width));
    const bool interlaced = png_get_interlace_type(d.png, d.info) == PNG_INTERLACE_ADAM7;
    // Without libpng's own interlace handling, which would need the whole picture, each pass
    // comes as a small picture of its own, its pixels spread over the whole one.
    const int passes = interlaced ? 7 : 1;
    for (int pass = 0; pass < passes; ++pass) {
        const png_uint_32 rows = interlaced ? PNG_PASS_ROWS(height, pass) : height;
        const png_uint_32 cols = interlaced ? PNG_PASS_COLS(width, pass) : width;
        if (rows == 0 || cols == 0)
            continue;
        for (png_uint_32 r = 0; r < rows; ++r) {
            png_read_row(d.png, d.row.data(), nullptr);
            const unsigned char* in = d.row.data();
            QRgb* out = d.pixels.data();
            for (png_uint_32 x = 0; x < cols; ++x, in += 4) {
                const int a = in[3];
                if (a == 255) {
                    out[x] = qRgb(in[0], in[1], in[2]);
                } else {
                    auto blend = [a](int c) { return (c * a + 255 * (255 - a) + 127) / 255; };
                    out[x] = qRgb(blend(in[0]), blend(in[1]), blend(in[2]));
                }
            }
            const int y = interlaced ? int(PNG_ROW_FROM_PASS_ROW(r, pass)) : int(r);
            const int x0 = interlaced ? int(PNG_PASS_START_COL(pass)) : 0;
            const int step = interlaced ? 1 << PNG_PASS_COL_SHIFT(pass) : 1;
            sink(y, x0, step, out, int(cols));
        }
    }
    png_read_end(d.png, nullptr);
    return true;
}
