#ifndef RUNLOG_H
#define RUNLOG_H

#include <QFile>
#include <QStringList>
#include <QTextCodec>

// The lines of "tervalo.log" in the current folder, decoded from Windows-1251.
inline QStringList runLogLines()
{
    QFile file(QStringLiteral("tervalo.log"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QTextCodec *codec = QTextCodec::codecForName("Windows-1251");
    QStringList lines = codec->toUnicode(file.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

inline int runLogCount(const QString &line)
{
    return runLogLines().count(line);
}

inline int runLogCountStarting(const QString &prefix)
{
    int n = 0;
    for (const QString &line : runLogLines())
        n += line.startsWith(prefix) ? 1 : 0;
    return n;
}

#endif // RUNLOG_H
