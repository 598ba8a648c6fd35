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
//
// A memo sent again. When a "#" is lost on the line, the device never learns that its memo
// arrived: the exchange breaks off there, and the next exchange starts with that memo again.
// An inbox over the library recognises it and acknowledges it without storing it twice: the
// first memo of an exchange that has the same pixels and the same raw title and reading codes
// (store/MemoContent.h) as the newest memo of the library folder, when that memo arrived at
// most kResendMinutes ago and no exchange that ended normally has vouched for its "#" since.
// An exchange that ends normally vouches for the newest memo it stored or recognised, one that
// broke off for the newest one the device went on from (it sent a record after that memo's
// "#", TReceiveSink::Heard): its name is kept in
// a small file of the user's data folder (DeliveredNotePath), not in the library folder. So the same drawing sent on purpose after
// an exchange that went well, a memo that looks alike later in the same exchange, or one that
// comes later than kResendMinutes, is stored as a memo of its own; a memo that only looks
// alike written at another time never has the same pixels and codes in practice, and is
// stored. A kill of the program between storing a memo and its "#" counts as a broken
// exchange too: nothing has vouched for that memo.
#pragma once

#include "link/ReceiveExchange.h"
#include "platform/DurableFile.h"
#include "store/MemoStore.h"
#include "transfer/ReceivedMemos.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <deque>
#include <functional>
#include <optional>

// How long after a memo arrived a memo sent again is still taken for it.
inline constexpr int kResendMinutes = 10;
// The note of the last exchange into FOLDER: the newest memo whose "#" the device is known to
// have had, and the one stored last whose "#" it may not have heard. While nothing has come or
// gone in the folder since it was written, no listing of the folder is needed to find the
// memo a memo sent again repeats. $XDG_DATA_HOME/vexlo/delivered/ and 16 hex digits that
// stand for the folder.
QString DeliveredNotePath(const QString& folder);

// The library memo that a memo sent again at NOW may repeat: the newest memo file of FOLDER
// (by the time its name starts with), when it arrived within kResendMinutes before NOW and
// DeliveredNotePath does not name it. PATH and its content key (store/MemoContent.h).
struct TUnconfirmedMemo {
    QString path;
    QByteArray key;
};
std::optional<TUnconfirmedMemo> FindUnconfirmedMemo(const QString& folder, const QDateTime& now);

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
    // A memo recognised as sent again, before its "#" is written: it is not stored, and PATH
    // is the file that already holds it (Delivered gets that path too).
    std::function<void(const TReceivedMemo& memo, const QString& path)> Recognised;

    // The exchange has ended (COMPLETED: normally, every memo acknowledged); the next memo
    // starts a new exchange. An inbox over the library then notes the newest memo the device
    // has vouched for.
    void ExchangeEnded(bool completed);

    // The exchange's sink, over this inbox (which must outlive it). Its Refused is left to
    // the caller.
    TReceiveSink Sink();

    const QString& Folder() const { return folder_; }
    // Memos written so far.
    int StoredCount() const { return stored_; }
    // Memos recognised as sent again so far.
    int RecognisedCount() const { return recognised_; }

    // What the sink does when a memo has arrived; false, with ERROR what the exchange reports,
    // when the memo could not be written.
    bool Arrived(const TReceivedMemo& memo, QString& error);

private:
    std::optional<TUnconfirmedMemo> unconfirmedMemo(const QDateTime& now) const;
    const QString& notePath() const;

    QString folder_;
    Writer writer_;
    TMemoStore* store_ = nullptr;  // the library, when the memos go there
    int stored_ = 0;
    int recognised_ = 0;
    bool firstOfExchange_ = true;
    QString newest_;   // file name of the newest memo stored or recognised in this exchange
    QString vouched_;  // the newest one the device has heard the "#" of
    mutable QString notePath_;  // DeliveredNotePath(folder_), once asked for
    std::deque<QString> paths_;  // files of the memos whose "#" has not left yet, oldest first
};
