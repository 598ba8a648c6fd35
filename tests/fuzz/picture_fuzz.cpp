// The picture loading path of the memo windows: arbitrary bytes as a picture file through
// ReadPictureFile, and what a memo window then does with the picture (the monochrome
// conversion of Save and Copy); and the same bytes as 送信用に変換 reads them: upright, a
// JPEG decoded at an eighth of its size; and a PNG or JPEG read a row at a time, which must give
// exactly the pixels of the loader wherever both take the file.
#include "FuzzTarget.h"

#include "picture/Picture.h"
#include "picture/PictureRows.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QImage>

#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

const QString& picturePath()
{
    static const QString path = [] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/vexlo-fuzz-XXXXXX";
        FuzzCheck(mkdtemp(pattern.data()) != nullptr);
        return QString::fromStdString(pattern + "/picture");
    }();
    return path;
}

// Qt's decoders explain every damaged input on standard error; the fuzzer needs none of it.
void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

// Inputs claiming more pixels than this are passed over: a few header bytes can ask for the
// 30-million-pixel limit, and filling that much memory for each of them would slow the search
// a thousandfold without reaching any other code.
constexpr qint64 kSearchedPixels = 1 << 20;

bool claimsHugePicture(const uint8_t* data, size_t size)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    const QSize claimed = reader.size();
    return claimed.isValid() && qint64(claimed.width()) * claimed.height() > kSearchedPixels;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const auto previous = qInstallMessageHandler(quiet);
    (void)previous;
    if (claimsHugePicture(data, size))
        return 0;
    {
        QFile out(picturePath());
        FuzzCheck(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FuzzCheck(out.write(reinterpret_cast<const char*>(data), qint64(size)) == qint64(size));
    }
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const std::optional<QSize> upright = UprightPictureSize(bytes)) {
        FuzzCheck(PictureSizeAccepted(upright->width(), upright->height()));
        if (const std::optional<QImage> reduced = ReadUprightPicture(bytes, 8)) {
            // An eighth of a JPEG, rounded up, or any other kind whole; never larger.
            FuzzCheck(!reduced->isNull() && reduced->width() <= upright->width() && reduced->height() <= upright->height());
        }
    }
    const std::optional<QImage> picture = ReadPictureFile(picturePath());
    if (!picture)
        return 0;
    FuzzCheck(!picture->isNull() && PictureSizeAccepted(picture->width(), picture->height()));
    if (IsPngStart(bytes) || IsJpegStart(bytes)) {
        // Every pixel handed out lies inside the picture, and once both readers take a file
        // they agree on every pixel.
        const QImage loaded = picture->convertToFormat(QImage::Format_RGB32);
        QImage rows(loaded.size(), QImage::Format_RGB32);
        rows.fill(0u);
        const TPictureRowSink sink = [&rows](int y, int x0, int step, const QRgb* pixels, int count) {
            FuzzCheck(y >= 0 && y < rows.height() && x0 >= 0 && step >= 1 && count >= 0 &&
                      x0 + qint64(count - 1) * step < rows.width());
            for (int i = 0; i < count; ++i)
                rows.setPixel(x0 + i * step, y, pixels[i]);
        };
        bool read = false;
        if (IsPngStart(bytes)) {
            QFile file(picturePath());
            FuzzCheck(file.open(QIODevice::ReadOnly));
            read = ReadPngRows(file, sink);
        } else {
            read = ReadJpegRows(bytes, 1, [&rows](QSize size) { return size == rows.size(); }, sink);
        }
        if (read)
            FuzzCheck(rows == loaded);
    }
    FuzzCheck(!picture->hasAlphaChannel());
    const QImage mono = ToMonochrome(*picture);
    FuzzCheck(mono.size() == picture->size() && mono.depth() == 1);
    // Every pixel of the result is black or white; reading them all touches every byte.
    unsigned blacks = 0;
    for (int y = 0; y < mono.height(); ++y)
        for (int x = 0; x < mono.width(); ++x)
            blacks += mono.pixelIndex(x, y) == 0;
    FuzzCheck(blacks <= unsigned(mono.width()) * unsigned(mono.height()));
    return 0;
}
