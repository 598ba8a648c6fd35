// Where vexlo-cli's received memos go: the library folder, or DIR/memo-NNN with --out. The
// inbox (store/Inbox.h) writes each memo before its "#"; the collector says so on standard
// output, one line a memo, and runs --exec for it.
#pragma once

#include "tools/cli/CliCommon.h"
#include "tools/cli/MemoExec.h"
#include "tools/cli/MemoOutput.h"

#include "link/ReceiveExchange.h"
#include "store/Inbox.h"
#include "store/MemoStore.h"
#include "transfer/DeviceText.h"

#include <QDateTime>

#include <cerrno>
#include <functional>
#include <optional>

// Where the memos go: the library folder, or DIR/memo-NNN with --out. The inbox (store/Inbox.h)
// writes each memo before its "#"; this says so on standard output and runs --exec.
class Collector {
public:
    Collector(std::optional<TMemoStore> library, std::optional<TMemoOutput> numbered, TMemoExec* exec)
        : library_(std::move(library)), numbered_(std::move(numbered)), exec_(exec),
          inbox_(library_ ? TInbox(*library_) : TInbox(numbered_->Folder(), [this](const TReceivedMemo& memo,
                                                                                   const QDateTime& arrived,
                                                                                   QString* path) {
              return writeNumbered(memo, arrived, path);
          }))
    {
        inbox_.Stored = [this](const TReceivedMemo& memo, const QString& path) { stored(memo, path); };
        inbox_.Recognised = [this](const TReceivedMemo&, const QString& path) {
            cli::Note(QStringLiteral("memo %1: sent again by the device (its acknowledgement was lost); "
                                     "already stored as %2, not stored twice")
                          .arg(inbox_.StoredCount() + inbox_.RecognisedCount())
                          .arg(path));
        };
        inbox_.NotStored = [this](const TReceivedMemo&, const platform::FileWriteError& failure) {
            allStored_ = false;
            if (library_)  // a numbered file that cannot be written is reported by TMemoOutput
                cli::Fail(QStringLiteral("memo %1: cannot store it in %2: %3; the device still has it")
                              .arg(inbox_.StoredCount() + 1)
                              .arg(library_->Folder(), failure.englishText()));
        };
    }
    Collector(const Collector&) = delete;
    Collector& operator=(const Collector&) = delete;

    TReceiveSink Sink()
    {
        TReceiveSink sink = inbox_.Sink();
        sink.Refused = [this](const TReceivedMemo& memo) {
            allStored_ = false;
            cli::Fail(QStringLiteral("memo %1: %2; not taken (answered \"?\"), the device still has it")
                          .arg(inbox_.StoredCount() + 1)
                          .arg(memo.Error));
        };
        return sink;
    }

    bool AllStored() const { return allStored_; }

    // After each exchange: a memo sent again is looked for at the start of the next one.
    void ExchangeEnded(ReceiveOutcome outcome) { inbox_.ExchangeEnded(outcome == ReceiveOutcome::Completed); }

    // Once a memo's file is on disk and its line printed (the receiver counts what arrived).
    std::function<void(const TReceivedMemo& memo, const QString& path)> Stored;

private:
    std::optional<platform::FileWriteError> writeNumbered(const TReceivedMemo& memo, const QDateTime& arrived,
                                                          QString* path)
    {
        std::optional<platform::FileWriteError> failure;
        if (numbered_->Write(memo, arrived, path, &failure))
            return std::nullopt;
        // Only drawn memos reach the inbox, so what failed is the file (or its encoding).
        return failure ? failure : platform::FileWriteError{platform::FileWriteError::Cause::System, EIO};
    }

    void stored(const TReceivedMemo& memo, const QString& path)
    {
        if (library_)  // TMemoOutput prints its own line
            cli::PrintLine(QStringLiteral("%1\t%2x%3\t%4\t%5")
                               .arg(path)
                               .arg(memo.Picture.ImageWidth)
                               .arg(memo.Picture.ImageHeight)
                               .arg(DeviceCodesToText(memo.TitleCodes), ReadingBytesToText(memo.ReadingBytes)));
        cli::FlushStandardOutput();  // a collector's reader sees each memo as it comes
        if (exec_)
            exec_->Run(TExecMemo{path, DeviceCodesToText(memo.TitleCodes), ReadingBytesToText(memo.ReadingBytes),
                                 QDateTime::currentDateTime()});
        if (Stored)
            Stored(memo, path);
    }

    std::optional<TMemoStore> library_;
    std::optional<TMemoOutput> numbered_;
    TMemoExec* exec_;
    TInbox inbox_;
    bool allStored_ = true;
};
