#pragma once

#include <QString>
#include <mutex>
#include <optional>

class QProcess;

// Ends a child process from another thread than the one waiting for it. Shared by the waiting
// thread and whoever may stop the run; a stop requested before the child started kills it as
// soon as it starts.
class ChildProcessStop
{
public:
    // Any thread. Kills the child's whole process group now or once it has started; further
    // calls do nothing.
    void requestStop();
    bool stopRequested() const;

private:
    friend class ChildProcessRun;
    // False when a stop was requested before: the caller kills the child itself.
    bool attach(qint64 pid);
    void detach();

    mutable std::mutex m_mutex;
    qint64 m_pid = 0;
    bool m_stopRequested = false;
};

// How one blocking run of a child process ended.
struct ChildProcessOutcome
{
    enum class Kind
    {
        Exited,        // `exitCode` holds its status
        Crashed,       // ended by a signal that was not ours
        Stopped,       // a stop was requested
        FailedToStart, // `errorString` says why
    };

    Kind kind = Kind::FailedToStart;
    int exitCode = -1;
    QString errorString;

    bool succeeded() const { return kind == Kind::Exited && exitCode == 0; }
};

// Starts a configured QProcess so that it never outlives Wendlo, and waits for it.
class ChildProcessRun
{
public:
    // The child gets a process group of its own (a stop kills everything it started) and is
    // killed by the kernel when Wendlo ends, by a crash or `kill -9` included.
    static void bindToParent(QProcess& process);

    // Binds, starts and waits until the child has ended or `stop` ended it. Blocks: call it
    // off the main thread. The streams are drained while waiting.
    static ChildProcessOutcome run(QProcess& process, ChildProcessStop& stop);

    // Kills the process group led by `pid` (or the process alone if it has no group yet).
    static void killGroup(qint64 pid);
};
