#include "fakedevice.h"

#include "framebuilder.h"

#include <QFile>

#include <chrono>

#include <poll.h>

FakeDevice::FakeDevice(const Behaviour &behaviour)
    : m_behaviour(behaviour)
    , m_hold(behaviour.holdReplies)
{
}

FakeDevice::~FakeDevice()
{
    unplug();
}

bool FakeDevice::start(const QString &linkPath)
{
    m_link = linkPath;
    return plugIn();
}

bool FakeDevice::plugIn()
{
    if (m_thread.joinable() || !m_pty.open())
        return false;
    if (!m_link.isEmpty()) {
        QFile::remove(m_link);
        if (!QFile::link(m_pty.slavePath(), m_link))
            return false;
    }
    m_stop = false;
    m_thread = std::thread([this] { serve(); });
    return true;
}

void FakeDevice::unplug()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (!m_link.isEmpty())
        QFile::remove(m_link);
    m_pty.close();
}

QByteArray FakeDevice::received() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
}

void FakeDevice::serve()
{
    using Clock = std::chrono::steady_clock;
    bool streaming = false;
    int owedReplies = 0;
    QByteArray heard;
    qint32 counter = 0;
    auto nextFrame = Clock::now();
    while (!m_stop) {
        pollfd fd { m_pty.masterFd(), POLLIN, 0 };
        ::poll(&fd, 1, 5);
        const QByteArray bytes = m_pty.readAvailable();
        if (!bytes.isEmpty()) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_received += bytes;
            }
            heard += bytes;
            if (!m_behaviour.probeReply.isEmpty())
                owedReplies += bytes.count('0');
            if (heard.contains("INIT") && m_behaviour.streamOnInit && !streaming) {
                streaming = true;
                nextFrame = Clock::now();
            }
        }
        for (; owedReplies > 0 && !m_hold; --owedReplies)
            m_pty.write(m_behaviour.probeReply);
        if (streaming && Clock::now() >= nextFrame) {
            m_pty.write(FrameBuilder::frame(m_behaviour.vertical, m_behaviour.horizontal, counter++));
            nextFrame += std::chrono::milliseconds(m_behaviour.periodMs);
        }
    }
}
