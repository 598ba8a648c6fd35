#include "store/MonoPdf.h"

#include "picture/Picture.h"

#include <QDateTime>

#include <zlib.h>

namespace {

constexpr int CatalogObject = 1;
constexpr int PagesObject = 2;
constexpr int InfoObject = 3;
constexpr double EdgeWidth = 0.3;  // points

// A number as PDF wants it: no exponent, no needless zeros, a point whatever the locale.
QByteArray num(double value)
{
    QByteArray text = QByteArray::number(value, 'f', 4);
    while (text.endsWith('0'))
        text.chop(1);
    if (text.endsWith('.'))
        text.chop(1);
    return text == "-0" ? QByteArray("0") : text;
}

// TEXT as a PDF text string: UTF-16BE with its byte order mark, in hex (nothing to escape).
QByteArray textString(const QString& text)
{
    QByteArray hex = "<FEFF";
    for (const QChar c : text)
        hex += QByteArray::number(c.unicode() | 0x10000, 16).mid(1).toUpper();
    return hex + '>';
}

QByteArray deflate(const QByteArray& data)
{
    uLongf size = compressBound(uLong(data.size()));
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.constData()),
                  uLong(data.size()), Z_BEST_COMPRESSION) != Z_OK)
        return {};
    out.resize(qsizetype(size));
    return out;
}

}  // namespace

TMonoPdf::TMonoPdf(const QString& title, const QString& creator) : Title(title), Creator(creator)
{
    Out = "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n";
    Offsets = {0, 0, 0};  // the catalog, the page tree and the information come last
}

int TMonoPdf::beginObject()
{
    Offsets.append(Out.size());
    const int number = int(Offsets.size());
    Out += QByteArray::number(number) + " 0 obj\n";
    return number;
}

int TMonoPdf::addImage(const QImage& picture)
{
    const QImage mono = ToMonochrome(picture);  // colour 0 black, 1 white: DeviceGray's 0 and 1
    const int w = mono.width();
    const int h = mono.height();
    const int rowBytes = (w + 7) / 8;
    // The bits past the width are left white, so that equal pictures have equal bytes.
    const uchar tail = uchar(0xff >> (w % 8 == 0 ? 8 : w % 8));
    QByteArray bits;
    bits.reserve(qsizetype(rowBytes) * h + 8);
    for (int y = 0; y < h; ++y) {
        const char* line = reinterpret_cast<const char*>(mono.constScanLine(y));
        bits.append(line, rowBytes);
        bits[bits.size() - 1] = char(uchar(bits.back()) | tail);
    }
    QByteArray key = bits;
    key += QByteArray::number(w) + 'x' + QByteArray::number(h);
    if (const auto known = Images.constFind(key); known != Images.constEnd())
        return *known;
    const QByteArray packed = deflate(bits);
    const int number = beginObject();
    Out += "<</Type/XObject/Subtype/Image/Width " + QByteArray::number(w) + "/Height " + QByteArray::number(h) +
           "/ColorSpace/DeviceGray/BitsPerComponent 1/Interpolate false/Filter/FlateDecode/Length " +
           QByteArray::number(packed.size()) + ">>\nstream\n" + packed + "\nendstream\nendobj\n";
    Images.insert(key, number);
    return number;
}

void TMonoPdf::AddPage(QSizeF pageSize, const QImage& picture, const QRectF& place)
{
    QByteArray content;
    QByteArray resources;
    if (!picture.isNull() && picture.width() > 0 && picture.height() > 0 && !place.isEmpty()) {
        const int image = addImage(picture);
        const QByteArray x = num(place.x());
        const QByteArray y = num(pageSize.height() - place.bottom());
        const QByteArray w = num(place.width());
        const QByteArray h = num(place.height());
        // The edge: a thin line just outside the picture, touching none of its pixels.
        const QRectF edge = place.adjusted(-EdgeWidth / 2, -EdgeWidth / 2, EdgeWidth / 2, EdgeWidth / 2);
        content = "q 0 G " + num(EdgeWidth) + " w " + num(edge.x()) + ' ' + num(pageSize.height() - edge.bottom()) +
                  ' ' + num(edge.width()) + ' ' + num(edge.height()) + " re S Q\nq " + w + " 0 0 " + h + ' ' + x + ' ' +
                  y + " cm /I Do Q\n";
        resources = "/Resources<</XObject<</I " + QByteArray::number(image) + " 0 R>>>>";
    }
    // Pages of one size showing pictures of one size draw the same: they share the stream.
    int stream = Contents.value(content);
    if (stream == 0) {
        stream = beginObject();
        Out += "<</Length " + QByteArray::number(content.size()) + ">>\nstream\n" + content + "\nendstream\nendobj\n";
        Contents.insert(content, stream);
    }
    const int page = beginObject();
    Out += "<</Type/Page/Parent " + QByteArray::number(PagesObject) + " 0 R/MediaBox[0 0 " + num(pageSize.width()) +
           ' ' + num(pageSize.height()) + ']' + resources + "/Contents " + QByteArray::number(stream) +
           " 0 R>>\nendobj\n";
    Pages.append(page);
}

QByteArray TMonoPdf::Finish()
{
    Offsets[PagesObject - 1] = Out.size();
    Out += QByteArray::number(PagesObject) + " 0 obj\n<</Type/Pages/Count " + QByteArray::number(Pages.size()) +
           "/Kids[";
    for (qsizetype i = 0; i < Pages.size(); ++i)
        Out += (i ? " " : "") + QByteArray::number(Pages[i]) + " 0 R";
    Out += "]>>\nendobj\n";
    Offsets[CatalogObject - 1] = Out.size();
    Out += QByteArray::number(CatalogObject) + " 0 obj\n<</Type/Catalog/Pages " + QByteArray::number(PagesObject) +
           " 0 R>>\nendobj\n";
    Offsets[InfoObject - 1] = Out.size();
    const QByteArray now = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1();
    Out += QByteArray::number(InfoObject) + " 0 obj\n<</Title" + textString(Title) + "/Creator" + textString(Creator) +
           "/Producer" + textString(Creator) + "/CreationDate(D:" + now + "Z)>>\nendobj\n";
    const qint64 xref = Out.size();
    Out += "xref\n0 " + QByteArray::number(Offsets.size() + 1) + "\n0000000000 65535 f \n";
    for (const qint64 offset : Offsets)
        Out += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    Out += "trailer\n<</Size " + QByteArray::number(Offsets.size() + 1) + "/Root " +
           QByteArray::number(CatalogObject) + " 0 R/Info " + QByteArray::number(InfoObject) +
           " 0 R>>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return std::move(Out);
}
