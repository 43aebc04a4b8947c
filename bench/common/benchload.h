#ifndef BENCHLOAD_H
#define BENCHLOAD_H

#include <QByteArray>
#include <QFile>

// The machine's load average over 1, 5 and 15 minutes, printed beside every
// figure: other work on the machine skews them, and a figure read without the
// load cannot be compared with another. "unknown" where the system does not
// publish it as Linux does.
inline QByteArray benchLoadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArrayLiteral("unknown");
    const QList<QByteArray> fields = file.readLine().split(' ');
    return fields.size() >= 3 ? fields[0] + ' ' + fields[1] + ' ' + fields[2] : QByteArrayLiteral("unknown");
}

#endif // BENCHLOAD_H
