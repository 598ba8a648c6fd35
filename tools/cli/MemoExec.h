// The command of `receive --exec CMD`, run for each stored memo with the file's path.
//
// CMD is split into words as a POSIX shell splits them (SplitShellWords), but no shell runs
// it: the path is one argument of its own (the last, or in place of each word "{}"), so no
// title can inject a command. A program that cannot be found or run is refused before anything
// is received. The commands run one at a time in the order the memos were stored, beside the
// exchange (the exchange does not wait for them); their output goes where ours goes. One that
// cannot be started, ends with a status other than 0 or is killed is reported on standard
// error and counted (Failures): the receive then ends with status 2.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <deque>
#include <memory>

class TMemoExec {
public:
    explicit TMemoExec(const QString& command);
    ~TMemoExec();

    // False when COMMAND holds no words, cannot be split, or names a program that cannot run;
    // Error() says why.
    bool Valid() const { return error_.isEmpty(); }
    QString Error() const { return error_; }

    // Runs the command for PATH (at once, or after those still running).
    void Run(const QString& path);
    // Waits until every command has run.
    void Finish();

    int Failures() const { return failures_; }

private:
    void startNext();
    void finished();

    QStringList words_;
    QString error_;
    std::deque<QString> pending_;
    std::unique_ptr<QProcess> running_;
    std::unique_ptr<QProcess> retired_;  // the last one that ended
    QString runningPath_;
    int failures_ = 0;
};
