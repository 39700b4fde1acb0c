#include "common/ChildProcess.h"

#include <QProcess>
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

void ChildProcessStop::requestStop()
{
    std::lock_guard lock(m_mutex);
    if (m_stopRequested)
        return;
    m_stopRequested = true;
    if (m_pid > 0)
        ChildProcessRun::killGroup(m_pid);
}

bool ChildProcessStop::stopRequested() const
{
    std::lock_guard lock(m_mutex);
    return m_stopRequested;
}

bool ChildProcessStop::attach(qint64 pid)
{
    std::lock_guard lock(m_mutex);
    if (m_stopRequested)
        return false;
    m_pid = pid;
    return true;
}

void ChildProcessStop::detach()
{
    std::lock_guard lock(m_mutex);
    m_pid = 0;
}

void ChildProcessRun::bindToParent(QProcess& process)
{
    // Runs in the child between fork and exec: only async-signal-safe calls.
    process.setChildProcessModifier([parent = ::getpid()] {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        // Wendlo may have died before the death signal was armed: nobody would reap us.
        if (::getppid() != parent)
            ::_exit(127);
    });
}

void ChildProcessRun::killGroup(qint64 pid)
{
    if (pid <= 0)
        return;
    if (::kill(-pid_t(pid), SIGKILL) != 0)
        ::kill(pid_t(pid), SIGKILL);
}

ChildProcessOutcome ChildProcessRun::run(QProcess& process, ChildProcessStop& stop)
{
    ChildProcessOutcome outcome;
    if (stop.stopRequested()) {
        outcome.kind = ChildProcessOutcome::Kind::Stopped;
        return outcome;
    }
    bindToParent(process);
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(-1)) {
        outcome.errorString = process.errorString();
        return outcome;
    }
    // Once started, the child has run its modifier: its process group exists.
    const qint64 pid = process.processId();
    if (!stop.attach(pid))
        killGroup(pid);
    // QProcess keeps reading both pipes while it waits, so a chatty child cannot stall.
    process.waitForFinished(-1);
    stop.detach();

    if (stop.stopRequested()) {
        outcome.kind = ChildProcessOutcome::Kind::Stopped;
    } else if (process.exitStatus() != QProcess::NormalExit) {
        outcome.kind = ChildProcessOutcome::Kind::Crashed;
    } else {
        outcome.kind = ChildProcessOutcome::Kind::Exited;
        outcome.exitCode = process.exitCode();
    }
    return outcome;
}
