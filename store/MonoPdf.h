// MonoPdf — a PDF document of black-and-white pictures, written directly: each picture one
// image of one bit per pixel (/DeviceGray, /BitsPerComponent 1, compressed with Flate), drawn
// with /Interpolate false so that a viewer shows its pixels as sharp squares at any zoom, and
// stored once however many pages show it (and so is a page's drawing). A page holds nothing else but the picture's thin
// edge, so a memo costs little more than its compressed pixels (about a PNG's size).
//
// Contract
//   TMonoPdf pdf(title, creator);
//       TITLE and CREATOR go into the document's information (UTF-16, so any script shows).
//   AddPage(pageSize, picture, place)
//       A new page of PAGESIZE points with PICTURE (any format; ToMonochrome decides black and
//       white) filling PLACE (points, measured from the page's top left corner), and a thin line
//       just outside PLACE so that a white edge shows where the picture ends.
//       A null or empty picture leaves the page blank. Pages keep the order they were added.
//   Finish()
//       The whole file (PDF 1.4). Adding pages after Finish starts no new document: Finish
//       once.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QList>
#include <QRectF>
#include <QSizeF>
#include <QString>

class TMonoPdf {
public:
    TMonoPdf(const QString& title, const QString& creator);

    void AddPage(QSizeF pageSize, const QImage& picture, const QRectF& place);
    QByteArray Finish();

private:
    int beginObject();
    int addImage(const QImage& picture);

    QByteArray Out;
    QList<qint64> Offsets;        // of object n at n - 1
    QList<int> Pages;             // object numbers of the pages
    QHash<QByteArray, int> Images;    // the bits of a picture and its size -> its image object
    QHash<QByteArray, int> Contents;  // a page's drawing -> its content stream
    QString Title;
    QString Creator;
};
