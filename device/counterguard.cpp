#include "counterguard.h"

#include <QtGlobal>

qint64 CounterGuard::distance(qint32 a, qint32 b)
{
    // The device's counter is a 32-bit register: across its wrap the short way
    // round is the real one.
    const qint32 d = qint32(quint32(a) - quint32(b));
    return qAbs(qint64(d));
}

qint64 CounterGuard::allowance(qint64 frames, qint64 elapsedMs) const
{
    const qint64 ms = qMax(frames * m_periodMs, qMax<qint64>(elapsedMs, 0));
    return slackSteps + stepsPerSecond * ms / 1000;
}

void CounterGuard::reset()
{
    m_hasReference = false;
    m_hasCandidate = false;
    m_framesSinceReference = 0;
}

CounterGuard::Verdict CounterGuard::check(qint32 counter, qint64 nowMs)
{
    ++m_framesSinceReference;
    if (!m_hasReference
        || distance(counter, m_reference) <= allowance(m_framesSinceReference, nowMs - m_referenceMs)) {
        m_hasReference = true;
        m_reference = counter;
        m_referenceMs = nowMs;
        m_framesSinceReference = 0;
        m_hasCandidate = false;
        return Accepted;
    }

    // A candidate is always the frame just before: an accepted frame clears it.
    if (m_hasCandidate && distance(counter, m_candidate) <= allowance(1, nowMs - m_candidateMs)) {
        m_reference = counter;
        m_referenceMs = nowMs;
        m_framesSinceReference = 0;
        m_hasCandidate = false;
        return Restarted;
    }
    m_hasCandidate = true;
    m_candidate = counter;
    m_candidateMs = nowMs;
    ++m_refused;
    return Refused;
}
