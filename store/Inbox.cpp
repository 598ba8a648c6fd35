#include "store/Inbox.h"

#include <utility>

TInbox::TInbox(QString folder, Writer writer) : folder_(std::move(folder)), writer_(std::move(writer)) {}

TInbox::TInbox(TMemoStore& store)
    : TInbox(store.Folder(), [&store](const TReceivedMemo& memo, const QDateTime& arrived, QString* path) {
          return store.Store(memo.Picture.Image, MemoMetaOf(memo, arrived), path);
      })
{
}

bool TInbox::Arrived(const TReceivedMemo& memo, QString& error)
{
    QString path;
    if (const auto failure = writer_(memo, QDateTime::currentDateTime(), &path)) {
        if (NotStored)
            NotStored(memo, *failure);
        error = StoreFailureText(folder_, *failure, stored_);
        return false;
    }
    ++stored_;
    paths_.push_back(path);
    if (Stored)
        Stored(memo, path);
    return true;
}

TReceiveSink TInbox::Sink()
{
    TReceiveSink sink;
    sink.Arrived = [this](const TReceivedMemo& memo, QString& error) { return Arrived(memo, error); };
    sink.Delivered = [this](TReceivedMemo& memo) {
        // Memos are delivered in the order they arrived, and only those that were written.
        QString path;
        if (!paths_.empty()) {
            path = std::move(paths_.front());
            paths_.pop_front();
        }
        if (Delivered)
            Delivered(memo, path);
    };
    return sink;
}
