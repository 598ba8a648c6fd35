#include "store/IndexRefresher.h"

#include <QMetaObject>

IndexRefresher::IndexRefresher(const QString& folder, QObject* parent)
    : QObject(parent), folder_(folder), thread_([this] { run(); })
{
}

IndexRefresher::~IndexRefresher()
{
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
    }
    stop_ = true;
    wake_.notify_one();
    thread_.join();
    // Whatever it posted before it ended goes with this object (Qt drops the events posted to
    // an object that is destroyed).
}

void IndexRefresher::Request()
{
    const quint64 number = ++asked_;
    {
        std::lock_guard lock(mutex_);
        wanted_ = number;
    }
    wake_.notify_one();
}

void IndexRefresher::run()
{
    LibraryIndex index(folder_);
    quint64 done = 0;
    for (;;) {
        quint64 number = 0;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return closing_ || wanted_ > done; });
            if (closing_)
                return;
            number = wanted_;  // all the requests so far, at once
        }
        bool changed = false;
        const auto meanwhile = [this](MemoEntries known) {
            QMetaObject::invokeMethod(
                this, [this, known = std::move(known)]() mutable { emit Meanwhile(std::move(known)); },
                Qt::QueuedConnection);
        };
        MemoEntries entries = index.Refresh(&changed, &stop_, meanwhile);
        if (stop_)
            return;
        done = number;
        QMetaObject::invokeMethod(
            this,
            [this, number, entries = std::move(entries), changed, problem = index.Problem()]() mutable {
                handed_ = number;
                problem_ = problem;
                emit Refreshed(std::move(entries), changed);
            },
            Qt::QueuedConnection);
    }
}
