// IndexRefresher — a library index refreshed on a thread of its own, so that a window that
// shows the memos never waits for the folder: thousands of new memos, a slow disk, or a file
// that takes long to read hold up this thread only.
//
// Contract
//   Request() asks for a refresh and returns at once. Requests that come while one runs are
//   coalesced: one more refresh follows, which sees everything they asked about. Each finished
//   refresh is handed to the thread that made the refresher (its event loop) by Refreshed,
//   with the memos and whether they changed; Busy() tells whether a refresh asked for has not
//   been handed over yet. While a refresh reads many files, or slow ones, Meanwhile hands over
//   the memos known so far (LibraryIndex::Refresh's MEANWHILE), for a list to show. The index (store/LibraryIndex.h) and its database connection are made,
//   used and closed on the refreshing thread alone.
//   Destroying the refresher asks a running refresh to stop between two files, waits for the
//   thread, and hands nothing more over.
#pragma once

#include "store/LibraryIndex.h"

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

class IndexRefresher : public QObject {
    Q_OBJECT
public:
    explicit IndexRefresher(const QString& folder, QObject* parent = nullptr);
    ~IndexRefresher() override;

    QString folder() const { return folder_; }
    void Request();
    bool Busy() const { return handed_ < asked_; }
    // Why the index could not be kept at the last refresh handed over (LibraryIndex::Problem);
    // empty when it was.
    QString Problem() const { return problem_; }

signals:
    void Refreshed(MemoEntries entries, bool changed);
    void Meanwhile(MemoEntries entries);

private:
    void run();

    const QString folder_;
    // Counted on the owner's thread: refreshes asked for, and the last one handed over.
    quint64 asked_ = 0;
    quint64 handed_ = 0;
    QString problem_;

    std::mutex mutex_;
    std::condition_variable wake_;
    quint64 wanted_ = 0;  // the newest request the thread has been told of
    bool closing_ = false;
    std::atomic<bool> stop_ = false;
    std::thread thread_;  // last: it starts when everything above is ready
};
