#ifndef TESTFOLDER_H
#define TESTFOLDER_H

#include "logger.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextCodec>

#include <memory>

// A fresh temporary folder that is the working folder while this object lives:
// the program keeps its run log and settings in the working folder, so each
// test gets files of its own. The user's data folder (where the journal goes
// when the working folder cannot take it) is "user-data" inside it on Unix,
// so that no test meets another's journal there. The run log exists only while
// some object owns it; startLog() gives it an owner here, and it goes before
// the folder does.
class TestFolder
{
public:
    enum Log { NoLog, WithLog };

    explicit TestFolder(Log log = NoLog)
        : m_previous(QDir::currentPath())
        , m_previousDataHome(qgetenv("XDG_DATA_HOME"))
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("user-data"))));
        m_valid = m_dir.isValid() && QDir::setCurrent(m_dir.path()) && (log == NoLog || startLog());
    }
    ~TestFolder()
    {
        endLog();
        QDir::setCurrent(m_previous);
        if (m_previousDataHome.isNull())
            qunsetenv("XDG_DATA_HOME");
        else
            qputenv("XDG_DATA_HOME", m_previousDataHome);
    }

    bool isValid() const { return m_valid; }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    QObject *logOwner() const { return m_logOwner.get(); }

    // A new run's log: the previous owner goes first, so the file starts over.
    Logger *startLog()
    {
        endLog();
        m_logOwner = std::make_unique<QObject>();
        return Logger::instance(m_logOwner.get());
    }
    void endLog() { m_logOwner.reset(); }

private:
    QTemporaryDir m_dir;
    QString m_previous;
    QByteArray m_previousDataHome;
    std::unique_ptr<QObject> m_logOwner;
    bool m_valid = false;
};

// The file's bytes; empty when it cannot be read.
inline QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// The lines of "tervalo.log" in the working folder, decoded from Windows-1251.
inline QStringList runLogLines()
{
    QTextCodec *codec = QTextCodec::codecForName("Windows-1251");
    if (!codec)
        return {};
    QStringList lines = codec->toUnicode(fileBytes(QStringLiteral("tervalo.log"))).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

#endif // TESTFOLDER_H
