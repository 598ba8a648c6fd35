// Writing received memos as image files, the way decode and receive --out both do:
// DIR/memo-001.bmp (one bit per pixel) or .png (one bit per pixel, with the title, reading,
// codes and, for receive, the time of arrival in its text chunks, as the library's files), and
// one line per memo on standard output: file name, WIDTHxHEIGHT, title and reading as text,
// separated by tabs.
//
// Nothing in DIR is ever replaced: the numbers go on after the highest memo-N.bmp or
// memo-N.png already there, and a name another program takes meanwhile is passed over. Each
// file is on disk (written, flushed, renamed into place) before its line is printed.
#pragma once

#include "platform/DurableFile.h"
#include "transfer/ReceivedMemos.h"

#include <QDateTime>
#include <QString>

#include <optional>

class TMemoOutput {
public:
    TMemoOutput(QString dir, QString format);

    // Writes MEMO as the next file (ARRIVED, when valid, goes into a PNG's chunks). A memo
    // that was not drawn, or a file that cannot be written, is reported on standard error with
    // the reason; returns false then, with FAILURE set when the file could not be written.
    // PATH receives the file written.
    bool Write(const TReceivedMemo& memo, const QDateTime& arrived = QDateTime(), QString* path = nullptr,
               std::optional<platform::FileWriteError>* failure = nullptr);

    int Count() const { return memos_; }
    const QString& Folder() const { return dir_; }

private:
    QString dir_;
    QString format_;
    int memos_ = 0;     // memos handed to Write, in stream order
    int nextFile_ = 1;  // the number the next file gets unless that name is taken
};

// Checks the --out and --format options shared by decode and receive; makes DIR and checks
// that files can be made in it. Returns false with ERROR set (and the reason) when they are
// unusable.
bool PrepareMemoOutput(const std::string& out, const std::string* format, QString& dir,
                       QString& formatOut, QString& error);

// "--format is bmp or png" unless FORMAT is one of them (in either case); FORMATOUT the name
// in lower case, "bmp" without FORMAT.
bool CheckMemoFormat(const std::string* format, QString& formatOut, QString& error);
