#include "tools/qm10sim/Bitmap.h"

namespace qm10sim {

namespace {

QImage blankMemo(int width, int height)
{
    QImage img(width, height, QImage::Format_Mono);
    img.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    img.fill(0);
    return img;
}

}  // namespace

QImage toMemoImage(const QImage& picture)
{
    const QImage src = picture.convertToFormat(QImage::Format_ARGB32);
    QImage memo = blankMemo(src.width(), src.height());
    for (int y = 0; y < src.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        for (int x = 0; x < src.width(); ++x)
            if (qAlpha(line[x]) >= 128 && qGray(line[x]) < 128)
                memo.setPixel(x, y, 1);
    }
    return memo;
}

int deviceRowBytes(int width) { return width / 8 + 1; }

int pcRowBytes(int width) { return width / 8 + (width % 8 ? 1 : 0); }

Bytes packRows(const QImage& memo, int rowBytes)
{
    Bytes out(static_cast<std::size_t>(rowBytes) * memo.height(), 0);
    for (int y = 0; y < memo.height(); ++y)
        for (int x = 0; x < memo.width() && x / 8 < rowBytes; ++x)
            if (memo.pixelIndex(x, y) == 1)
                out[static_cast<std::size_t>(y) * rowBytes + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    return out;
}

QImage unpackRows(const Bytes& rows, int width, int height, int rowBytes, int* strayBits)
{
    QImage memo = blankMemo(width, height);
    int stray = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < rowBytes * 8; ++x) {
            const std::size_t at = static_cast<std::size_t>(y) * rowBytes + x / 8;
            if (at >= rows.size() || !(rows[at] & (0x80 >> (x % 8))))
                continue;
            if (x < width)
                memo.setPixel(x, y, 1);
            else
                ++stray;
        }
    }
    if (strayBits)
        *strayBits = stray;
    return memo;
}

}  // namespace qm10sim
