#include "fakedevice.h"

#include "framebuilder.h"

#include <chrono>

#include <poll.h>

FakeDevice::FakeDevice(const Behaviour &behaviour)
    : m_behaviour(behaviour)
{
}

FakeDevice::~FakeDevice()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

bool FakeDevice::start()
{
    if (!m_pty.open())
        return false;
    m_thread = std::thread([this] { serve(); });
    return true;
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
    qint32 counter = 0;
    auto nextFrame = Clock::now();
    while (!m_stop) {
        pollfd fd { m_pty.masterFd(), POLLIN, 0 };
        ::poll(&fd, 1, 5);
        const QByteArray bytes = m_pty.readAvailable();
        if (!bytes.isEmpty()) {
            bool heardInit = false;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_received += bytes;
                heardInit = m_received.contains("INIT");
            }
            for (char byte : bytes) {
                if (byte == '0' && !m_behaviour.probeReply.isEmpty())
                    m_pty.write(m_behaviour.probeReply);
            }
            if (heardInit && m_behaviour.streamOnInit && !streaming) {
                streaming = true;
                nextFrame = Clock::now();
            }
        }
        if (streaming && Clock::now() >= nextFrame) {
            m_pty.write(FrameBuilder::frame(m_behaviour.vertical, m_behaviour.horizontal, counter++));
            nextFrame += std::chrono::milliseconds(m_behaviour.periodMs);
        }
    }
}
