#ifndef PROCESSSIGNAL_H
#define PROCESSSIGNAL_H

#include <QProcess>

#ifdef Q_OS_UNIX
#include <signal.h>
#include <sys/types.h>

// Sends a signal to a child the test started, and only to it. A child that has
// already ended reports pid 0, and kill(0, ...) would hit the whole process
// group: the test runner and the shell that started it. False when the child
// is not running or the signal could not be sent.
inline bool signalChild(const QProcess &child, int number)
{
    const qint64 pid = child.processId();
    if (pid <= 0 || child.state() != QProcess::Running)
        return false;
    return ::kill(pid_t(pid), number) == 0;
}
#endif

#endif // PROCESSSIGNAL_H
