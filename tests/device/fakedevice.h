#ifndef FAKEDEVICE_H
#define FAKEDEVICE_H

#include "pseudoterminal.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <mutex>
#include <thread>

// A scripted device on a pseudo-terminal, served by a thread of its own so that
// it answers while discovery blocks the test's event loop in its wait for a
// reply. Answers every probe byte "0" with a fixed reply (none: silence) and,
// if asked, streams frames of fixed offsets once it has heard "INIT".
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
    };

    explicit FakeDevice(const Behaviour &behaviour);
    ~FakeDevice();

    bool start();
    QString path() const { return m_pty.slavePath(); }
    QString errorString() const { return m_pty.errorString(); }
    // Everything the program has sent so far.
    QByteArray received() const;
    int initsReceived() const { return received().count("INIT"); }

private:
    void serve();

    Behaviour m_behaviour;
    PseudoTerminal m_pty;
    std::thread m_thread;
    std::atomic<bool> m_stop { false };
    mutable std::mutex m_mutex;
    QByteArray m_received;
};

#endif // FAKEDEVICE_H
