// Pictures too large for a memo window, read in rows and shown reduced.
#include "picture/PictureRows.h"

#include "picture/Picture.h"

#include <algorithm>
#include <vector>

namespace {

// Colours summed a block at a time: a block of at most 16 x 16 pixels fits 16 bits a channel.
class ColourBlocks {
public:
    ColourBlocks(QSize size, int factor)
        : size_(size), factor_(factor), width_((size.width() + factor - 1) / factor),
          height_((size.height() + factor - 1) / factor), sums_(size_t(width_) * size_t(height_) * 3)
    {
    }

    void add(int y, int x0, int step, const QRgb* pixels, int count)
    {
        if (y < 0 || y >= size_.height())
            return;
        quint16* row = &sums_[size_t(y / factor_) * size_t(width_) * 3];
        for (int i = 0, x = x0; i < count && x < size_.width(); ++i, x += step) {
            quint16* at = row + size_t(x / factor_) * 3;
            at[0] = quint16(at[0] + qRed(pixels[i]));
            at[1] = quint16(at[1] + qGreen(pixels[i]));
            at[2] = quint16(at[2] + qBlue(pixels[i]));
        }
    }

    QImage picture() const
    {
        QImage out(width_, height_, QImage::Format_RGB32);
        if (out.isNull())
            return out;
        for (int by = 0; by < height_; ++by) {
            const int rows = std::min(size_.height(), (by + 1) * factor_) - by * factor_;
            auto* to = reinterpret_cast<QRgb*>(out.scanLine(by));
            const quint16* from = &sums_[size_t(by) * size_t(width_) * 3];
            for (int bx = 0; bx < width_; ++bx, from += 3) {
                const int n = rows * (std::min(size_.width(), (bx + 1) * factor_) - bx * factor_);
                to[bx] = qRgb((from[0] + n / 2) / n, (from[1] + n / 2) / n, (from[2] + n / 2) / n);
            }
        }
        return out;
    }

private:
    QSize size_;
    int factor_;
    int width_;
    int height_;
    std::vector<quint16> sums_;
};

int viewFactor(QSize size)
{
    int factor = 1;
    while ((qint64(size.width()) + factor - 1) / factor * ((qint64(size.height()) + factor - 1) / factor) > kMaxViewPixels)
        factor *= 2;
    return factor;
}

}  // namespace

std::optional<QImage> ReadReducedPicture(const QString& path, QSize* full, QString* whyNot)
{
    auto refuse = [whyNot](const QString& why) -> std::optional<QImage> {
        if (whyNot)
            *whyNot = why;
        return std::nullopt;
    };
    const std::unique_ptr<QFile> file = OpenPictureFile(path, kMaxRowPngFileBytes, whyNot);
    if (!file)
        return std::nullopt;
    const bool bigFile = file->size() > kMaxPictureFileBytes;
    const QString fits = QStringLiteral("the picture is not too large to be read whole");
    std::optional<ColourBlocks> blocks;
    QSize size;
    if (IsPngStart(file->peek(8))) {
        const std::optional<TPictureHead> head = ReadPngHead(*file, whyNot);
        if (!head)
            return std::nullopt;
        size = head->Stored;
        if (!bigFile && PictureSizeAccepted(size.width(), size.height()))
            return refuse(fits);
        blocks.emplace(size, viewFactor(size));
        if (!file->seek(0))
            return refuse(QStringLiteral("read error: %1").arg(file->errorString()));
        if (!ReadPngRows(*file, [&](int y, int x0, int step, const QRgb* p, int n) { blocks->add(y, x0, step, p, n); },
                         whyNot))
            return std::nullopt;
    } else if (IsJpegStart(file->peek(3))) {
        if (bigFile)
            return refuse(QStringLiteral("larger than %1 MiB").arg(kMaxPictureFileBytes >> 20));
        const QByteArray bytes = file->readAll();
        const std::optional<TPictureHead> head = ReadJpegHead(bytes, whyNot);
        if (!head)
            return std::nullopt;
        size = head->Stored;
        if (PictureSizeAccepted(size.width(), size.height()))
            return refuse(fits);
        // libjpeg reduces by up to 8 while it decompresses; the blocks do the rest.
        const int factor = viewFactor(size);
        const int decoded = std::min(factor, 8);
        if (!ReadJpegRows(
                bytes, decoded,
                [&](QSize at) {
                    blocks.emplace(at, factor / decoded);
                    return true;
                },
                [&](int y, int x0, int step, const QRgb* p, int n) { blocks->add(y, x0, step, p, n); }, whyNot))
            return std::nullopt;
    } else {
        return refuse(QStringLiteral("only a PNG or a JPEG is read reduced"));
    }
    QImage picture = blocks->picture();
    if (picture.isNull())
        return refuse(QStringLiteral("out of memory"));
    if (full)
        *full = size;
    return picture;
}
