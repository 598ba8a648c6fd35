// MemoContent — what makes two memos the same memo: the same pixels and the same raw title and
// reading codes from the device. A memo file carries it as its Content chunk
// (store/MemoFile.h), written when the memo is stored, so that it is found without decoding.
//
// Contract
//   MemoContentKey(picture, titleCodes, readingCodes)
//       64 lower-case hex digits: SHA-256 over the picture's size, its pixels as one bit each
//       (a pixel that is not exactly white once transparency is laid onto white is ink, as the
//       memo file stores it) and both codes. Equal keys for memos that the device would show
//       alike; a picture that differs by one pixel, or a title that differs by one code, gives
//       another key. Empty for a null picture.
//   ReadMemoContentKey(path)
//       The key of the memo file PATH: its Content chunk when it has one (64 hex digits), else
//       computed from the decoded picture and the TitleCodes and ReadingCodes chunks (a file
//       written before the chunk existed, or by another program). Empty when the file cannot be
//       read as a picture.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QString>

QByteArray MemoContentKey(const QImage& picture, QByteArrayView titleCodes, QByteArrayView readingCodes);

QByteArray ReadMemoContentKey(const QString& path);
