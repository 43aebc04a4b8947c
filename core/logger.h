#ifndef LOGGER_H
#define LOGGER_H

#include <QFile>
#include <QObject>
#include <QPointer>

class QByteArray;
class QDateTime;

// The run log "tervalo.log" in the working folder: a diagnostic record for the
// service engineer, rewritten at every start. One object per process; the
// controller creates it and every other part reaches it through instance().
// Every call leaves its text in the file before returning, so the log is whole
// up to the last call even when the process is killed.
class Logger : public QObject
{
    Q_OBJECT

public:
    // With an owner and no log yet, creates the log as the owner's child.
    // Otherwise returns the existing log (null before it exists and after its
    // owner destroyed it).
    static Logger *instance(QObject *owner = nullptr);

    void write(const QString &text);
    void writeLine(const QString &text);
    void writeHex(const QByteArray &bytes);
    void writeTime();
    // A line in the run log, when there is one (a test may run without).
    static void line(const QString &text);

    static QString currentTimeText();
    // The bytes as writeHex() writes them: each after a blank, two lower-case
    // hexadecimal digits; empty for no bytes.
    static QString hexText(const QByteArray &bytes);
    // "dd.MM.yyyy HH:mm:ss" with ASCII digits, whatever the system's locale:
    // the log is read by people and by tools alike.
    static QString timeText(const QDateTime &time);

private:
    explicit Logger(QObject *parent);

    QPointer<QFile> m_file;

    // Guarded so that a log destroyed with its owner is never written through a
    // dangling pointer; the program itself creates its owner once.
    static QPointer<Logger> s_instance;
};

#endif // LOGGER_H
