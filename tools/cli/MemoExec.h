// The command of `receive --exec CMD`, run for each stored memo with the file's path.
//
// CMD is split into words as a POSIX shell splits them (SplitShellWords), but no shell runs
// it: the path is one argument of its own (the last, or in place of each word "{}"), so no
// title can inject a command. A program that cannot be found or run is refused before anything
// is received. The commands run one at a time in the order the memos were stored, beside the
// exchange (the exchange does not wait for them); their output goes where ours goes. One that
// cannot be started, ends with a status other than 0 or is killed is reported on standard
// error and counted (Failures): the receive then ends with status 2.
//
// Each command also finds the memo in its environment: VEXLO_FILE (the path), VEXLO_TITLE,
// VEXLO_READING and VEXLO_ARRIVED (ISO 8601 with the offset). A command that has not ended
// within its time limit is ended (SIGTERM, then SIGKILL, to its process group: what it started
// ends with it) and reported; at most kMaxWaiting
// commands wait behind a running one, and a memo that finds the queue full is reported and
// gets no command, so a hook that hangs costs neither memory nor the memos.
#pragma once

#include <QDateTime>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <memory>

// The stored memo a command runs for.
struct TExecMemo {
    QString Path;
    QString Title;
    QString Reading;
    QDateTime Arrived;
};

class TMemoExec {
public:
    static constexpr int kDefaultTimeoutSeconds = 60;
    static constexpr int kMaxWaiting = 64;

    explicit TMemoExec(const QString& command, int timeoutSeconds = kDefaultTimeoutSeconds);
    ~TMemoExec();

    // False when COMMAND holds no words, cannot be split, or names a program that cannot run;
    // Error() says why.
    bool Valid() const { return error_.isEmpty(); }
    QString Error() const { return error_; }

    // Runs the command for MEMO (at once, or after those still running).
    void Run(const TExecMemo& memo);
    void Run(const QString& path) { Run(TExecMemo{path, {}, {}, {}}); }
    // Waits until every command has run.
    void Finish();

    int Failures() const { return failures_; }

private:
    void startNext();
    void finished();
    void timedOut();
    static void SignalGroup(const QProcess& process, int signal);

    QStringList words_;
    QString error_;
    int timeoutMs_;
    std::deque<TExecMemo> pending_;
    std::unique_ptr<QProcess> running_;
    std::unique_ptr<QProcess> retired_;  // the last one that ended
    QString runningPath_;
    bool ended_ = false;  // the running command outlived its time and was ended
    std::unique_ptr<QTimer> limit_;
    int failures_ = 0;
};
