// The inbox: what becomes of the memos of a receive exchange.
//
// Every memo is written durably (its file flushed and in its place) before the device is told
// it arrived: the inbox is the exchange's sink (link/ReceiveExchange.h), so its "#" is written
// only once the file is on disk. A memo that cannot be written is not acknowledged: the
// exchange ends there with "!", the device still has it, and the user is told where the memo
// should have gone, why it could not, and how many memos before it were kept.
//
// Where a memo goes is the writer's business: the library folder (TMemoStore) for VEXLO and
// vexlo-cli alike, or numbered files of vexlo-cli's --out.
#pragma once

#include "link/ReceiveExchange.h"
#include "platform/DurableFile.h"
#include "store/MemoStore.h"
#include "transfer/ReceivedMemos.h"

#include <QDateTime>
#include <QString>

#include <deque>
#include <functional>
#include <optional>

class TInbox {
public:
    // Writes MEMO, which arrived at ARRIVED, as a new file and puts its path into PATH; the
    // failure when it cannot.
    using Writer = std::function<std::optional<platform::FileWriteError>(const TReceivedMemo& memo,
                                                                         const QDateTime& arrived, QString* path)>;

    // Memos written by WRITER into FOLDER (the folder is named in what the user is told).
    TInbox(QString folder, Writer writer);
    // Memos written into the library folder of STORE, which must outlive the inbox.
    explicit TInbox(TMemoStore& store);

    // Once a memo's file is on disk, before its "#" is written.
    std::function<void(const TReceivedMemo& memo, const QString& path)> Stored;
    // When a memo could not be written, before the exchange ends: the file it should have
    // become and why it did not (vexlo-cli says so on standard error).
    std::function<void(const TReceivedMemo& memo, const platform::FileWriteError& failure)> NotStored;
    // Once a memo's "#" has left: the device knows it arrived. PATH is its file.
    std::function<void(TReceivedMemo& memo, const QString& path)> Delivered;

    // The exchange's sink, over this inbox (which must outlive it). Its Refused is left to
    // the caller.
    TReceiveSink Sink();

    const QString& Folder() const { return folder_; }
    // Memos written so far.
    int StoredCount() const { return stored_; }

    // What the sink does when a memo has arrived; false, with ERROR what the exchange reports,
    // when the memo could not be written.
    bool Arrived(const TReceivedMemo& memo, QString& error);

private:
    QString folder_;
    Writer writer_;
    int stored_ = 0;
    std::deque<QString> paths_;  // files of the memos whose "#" has not left yet, oldest first
};
