// Writing received memos as image files, the way decode and receive both do: DIR/memo-001.bmp
// (one bit per pixel) or .png, and one line per memo on standard output: file name,
// WIDTHxHEIGHT, title and reading as text, separated by tabs.
//
// Nothing in DIR is ever replaced: the numbers go on after the highest memo-N.bmp or
// memo-N.png already there, and a name another program takes meanwhile is passed over. Each
// file is on disk (written, flushed, renamed into place) before its line is printed.
#pragma once

#include "transfer/ReceivedMemos.h"

#include <QString>

class TMemoOutput {
public:
    TMemoOutput(QString dir, QString format);

    // Writes MEMO as the next file. A memo that was not drawn, or a file that cannot be
    // written, is reported on standard error with the reason; returns false then.
    bool Write(const TReceivedMemo& memo);

    int Count() const { return memos_; }

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
