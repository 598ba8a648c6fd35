// Writing received memos as image files, the way decode and receive both do: DIR/memo-001.bmp
// (one bit per pixel) or .png, and one line per memo on standard output: file name,
// WIDTHxHEIGHT, title and reading as text, separated by tabs.
#pragma once

#include "transfer/ReceivedMemos.h"

#include <QString>

class TMemoOutput {
public:
    TMemoOutput(QString dir, QString format) : dir_(std::move(dir)), format_(std::move(format)) {}

    // Writes MEMO as the next file. A memo that was not drawn, or a file that cannot be
    // written, is reported on standard error; returns false then.
    bool Write(const TReceivedMemo& memo);

    int Count() const { return number_; }

private:
    QString dir_;
    QString format_;
    int number_ = 0;
};

// Checks the --out and --format options shared by decode and receive; makes DIR. Returns
// false with ERROR set when they are unusable.
bool PrepareMemoOutput(const std::string& out, const std::string* format, QString& dir,
                       QString& formatOut, QString& error);
