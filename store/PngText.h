// PngText — the text chunks and header of a PNG file, read and rewritten without decoding
// its pixels.
//
// Contract
//   ReadPngText(bytes)
//       Walks the chunks of BYTES (a whole file or its first part) up to IEND or the end of
//       the bytes. Returns nothing when BYTES does not start with the PNG signature and a
//       well-formed IHDR chunk. Otherwise the size from IHDR and every tEXt, zTXt and iTXt
//       chunk, keyed by keyword (Latin-1 text as it is, iTXt as UTF-8,
//       compressed text inflated to at most kMaxPngText bytes; a chunk that inflates to more,
//       or not at all, is left out). A text chunk of more than kMaxPngTextChunk bytes is passed
//       over unread, and once kMaxPngTextTotal characters of text are taken the later chunks
//       are too: a file of a thousand compressed chunks costs no more than a few. The first chunk of a keyword wins. A chunk whose length
//       runs past the bytes ends the walk: what came before it counts.
//   WithPngText(bytes, texts)
//       The same file with the text of each keyword in TEXTS as one uncompressed iTXt chunk
//       (UTF-8) right after IHDR, and every earlier text chunk of those keywords gone; all
//       other chunks stay byte for byte. Nothing when BYTES is no PNG (as above) or is cut
//       short before IEND. Every text chunk of a keyword in REMOVED goes too, with nothing in
//       its place.
//   ReadPngText(bytes, keywords) reads only the text of the keywords listed (all when empty).
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QSize>
#include <QString>
#include <QStringList>

#include <optional>

inline constexpr int kMaxPngText = 64 * 1024;
inline constexpr quint32 kMaxPngTextChunk = kMaxPngText + 128;  // the text and its keyword and flags
inline constexpr qsizetype kMaxPngTextTotal = 256 * 1024;

struct PngText {
    QSize size;
    QList<QPair<QString, QString>> texts;  // keyword, text; in file order

    QString text(const QString& keyword) const;
};

std::optional<PngText> ReadPngText(const QByteArray& bytes, const QList<QByteArray>& keywords = {});

std::optional<QByteArray> WithPngText(const QByteArray& bytes, const QList<QPair<QString, QString>>& texts,
                                      const QStringList& removed = {});
