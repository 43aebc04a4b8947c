#ifndef PSEUDOTERMINAL_H
#define PSEUDOTERMINAL_H

#include <QByteArray>
#include <QString>

// A pseudo-terminal pair standing in for a serial device (Unix only): the
// device side is the master, the program opens the slave by its path. The
// slave is kept open here as well, in raw mode, so that a program closing and
// reopening the port (as discovery and the measuring system do) never leaves
// the master hung up, and bytes written before anyone opens the port are not
// mangled by line editing. Owns both descriptors; not copyable.
class PseudoTerminal
{
public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    // False, with errorString() set, when no pair could be made.
    bool open();
    void close();

    int masterFd() const { return m_master; }
    // The path a program opens as its serial port, e.g. /dev/pts/3.
    QString slavePath() const { return m_slavePath; }
    QString errorString() const { return m_error; }

    // Non-blocking master: a write may take fewer bytes than given (the
    // program does not read), a read returns what has come, maybe nothing.
    // -1 on error.
    qint64 write(const QByteArray &bytes);
    QByteArray readAvailable();
    // Whether the program has read everything written so far.
    int unreadBySlave() const;

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QString m_error;
};

#endif // PSEUDOTERMINAL_H
