#ifndef COUNTERGUARD_H
#define COUNTERGUARD_H

#include <QtGlobal>

// Judges each frame's wheel counter against the last one taken. The frame has
// no checksum, so a bit error in the counter's upper bits passes the decoder and
// would put a journal row kilometres away; a trolley pushed by hand cannot get
// there in one frame period. A frame whose counter lies beyond what the trolley
// can travel since the last taken one is refused. When two refused frames in a
// row agree with each other, the device's counter has started over (its
// electronics restarted) and the second one becomes the new reference.
//
// The bound is generous on purpose: 20000 steps a second is 15 m/s with the
// usual 0.75 mm step and still 2 m/s with a step of 0.1 mm, while a hand-pushed
// trolley does about 1 m/s; 100 steps on top cover jitter of the counter. The
// time allowed is the longer of the frames counted since the reference and the
// clock, so that a burst of frames read at once after a stall is taken, and so
// is the first frame after a silence in which the trolley went on rolling.
// Bit errors below about the eleventh bit stay within the bound and pass; they
// move a row by less than a metre.
class CounterGuard
{
public:
    enum Verdict { Accepted, Refused, Restarted };

    static constexpr qint64 stepsPerSecond = 20000;
    static constexpr qint64 slackSteps = 100;

    explicit CounterGuard(int framePeriodMs) : m_periodMs(framePeriodMs) {}

    // nowMs: any monotonic clock in milliseconds.
    Verdict check(qint32 counter, qint64 nowMs);
    // The next frame sets the reference: after the link (re)opens.
    void reset();

    bool hasReference() const { return m_hasReference; }
    qint32 reference() const { return m_reference; }
    qint64 refusedCount() const { return m_refused; }

    // How far the counter may move in `frames` frame periods or `elapsedMs`,
    // whichever allows more.
    qint64 allowance(qint64 frames, qint64 elapsedMs) const;

private:
    static qint64 distance(qint32 a, qint32 b);

    int m_periodMs;
    bool m_hasReference = false;
    qint32 m_reference = 0;
    qint64 m_referenceMs = 0;
    qint64 m_framesSinceReference = 0;
    bool m_hasCandidate = false;
    qint32 m_candidate = 0;
    qint64 m_candidateMs = 0;
    qint64 m_refused = 0;
};

#endif // COUNTERGUARD_H
