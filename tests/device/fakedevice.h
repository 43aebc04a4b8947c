#ifndef FAKEDEVICE_H
#define FAKEDEVICE_H

#include "pseudoterminal.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <mutex>
#include <thread>

// A scripted device on a pseudo-terminal, served by a thread of its own so that
// it answers whatever the test's event loop is doing. Answers every probe byte
// "0" with a fixed reply (none: silence), or holds its answers back until the
// test releases them, and, if asked, streams frames of fixed offsets once it
// has heard "INIT". It can be unplugged (its terminal closes, its link path
// vanishes) and plugged in again behind the same link, as a device that was
// switched off and on: it waits to be spoken to, and its counter starts at 0.
class FakeDevice
{
public:
    struct Behaviour
    {
        QByteArray probeReply;
        bool streamOnInit = false;
        qint16 vertical = 0;
        qint16 horizontal = 0;
        int periodMs = 20;
        bool holdReplies = false;
    };

    explicit FakeDevice(const Behaviour &behaviour);
    ~FakeDevice();

    // linkPath, if given, is made a symbolic link to the terminal while the
    // device is plugged in.
    bool start(const QString &linkPath = QString());
    void unplug();
    bool plugIn();

    QString path() const { return m_pty.slavePath(); }
    QString errorString() const { return m_pty.errorString(); }
    // Everything the program has sent so far, across plugs.
    QByteArray received() const;
    int initsReceived() const { return received().count("INIT"); }
    // Answers the probes heard so far and from now on.
    void releaseReplies() { m_hold = false; }

private:
    void serve();

    Behaviour m_behaviour;
    PseudoTerminal m_pty;
    QString m_link;
    std::thread m_thread;
    std::atomic<bool> m_stop { false };
    std::atomic<bool> m_hold { false };
    mutable std::mutex m_mutex;
    QByteArray m_received;
};

#endif // FAKEDEVICE_H
