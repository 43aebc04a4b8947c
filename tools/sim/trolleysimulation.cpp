#include "trolleysimulation.h"

#include "framebuilder.h"

#include <cmath>

namespace {

constexpr double pi = 3.14159265358979323846;

// Wavelengths (m) and amplitudes (mm) of the rail's slow waves, per axis: the
// contact rail sags between its brackets and drifts over longer stretches.
constexpr double wavelength[2][3] = { { 37.0, 11.3, 3.1 }, { 53.0, 17.9, 4.7 } };
constexpr double amplitude[2][3] = { { 1.2, 0.6, 0.25 }, { 1.8, 0.7, 0.3 } };
// Where an excursion peaks (mm), beyond the default tolerances of 6 and 8 mm.
constexpr double excursionMin[2] = { 7.0, 9.5 };
constexpr double excursionMax[2] = { 11.0, 13.0 };
constexpr double meanExcursionGap = 25.0;  // metres
constexpr double noiseMm = 0.04;
constexpr double dropoutChance = 0.004;    // per frame and sensor

std::uint32_t rotl(std::uint32_t x, int k)
{
    return (x << k) | (x >> (32 - k));
}

} // namespace

TrolleySimulation::TrolleySimulation(const Options &options)
    : m_options(options)
{
    // splitmix32 spreads the seed over the generator's state.
    std::uint32_t z = options.seed;
    for (std::uint32_t &s : m_state) {
        z += 0x9e3779b9u;
        std::uint32_t t = z;
        t = (t ^ (t >> 16)) * 0x85ebca6bu;
        t = (t ^ (t >> 13)) * 0xc2b2ae35u;
        s = t ^ (t >> 16);
    }
    for (auto &axis : m_phase)
        for (double &phase : axis)
            phase = 2 * pi * uniform();
    for (Excursion &e : m_excursion) {
        e.next = -meanExcursionGap * std::log(uniform());
        e.length = 0;
    }
}

double TrolleySimulation::uniform()
{
    // xoshiro128**
    const std::uint32_t result = rotl(m_state[1] * 5, 7) * 9;
    const std::uint32_t t = m_state[1] << 9;
    m_state[2] ^= m_state[0];
    m_state[3] ^= m_state[1];
    m_state[1] ^= m_state[2];
    m_state[0] ^= m_state[3];
    m_state[2] ^= t;
    m_state[3] = rotl(m_state[3], 11);
    return (double(result) + 0.5) / 4294967296.0;
}

double TrolleySimulation::gaussian()
{
    // Box-Muller; one value per call keeps the sequence simple to follow.
    return std::sqrt(-2.0 * std::log(uniform())) * std::cos(2 * pi * uniform());
}

double TrolleySimulation::excursionMm(Excursion &e, int axis, double x)
{
    while (x >= e.next) {
        e.start = e.next;
        e.length = 3.0 + 5.0 * uniform();
        const double peak = excursionMin[axis] + (excursionMax[axis] - excursionMin[axis]) * uniform();
        e.peakMm = uniform() < 0.5 ? -peak : peak;
        e.next = e.start + e.length - meanExcursionGap * std::log(uniform());
    }
    if (x < e.start || x >= e.start + e.length)
        return 0.0;
    // A raised cosine: the rail bends into the excursion and out of it smoothly.
    return e.peakMm * 0.5 * (1 - std::cos(2 * pi * (x - e.start) / e.length));
}

double TrolleySimulation::profileMm(int axis, double x)
{
    double mm = 0;
    for (int i = 0; i < 3; ++i)
        mm += amplitude[axis][i] * std::sin(2 * pi * x / wavelength[axis][i] + m_phase[axis][i]);
    // Over an excursion the slow waves are replaced, so that its peak lies
    // beyond the tolerance whatever the waves do there.
    const double bump = excursionMm(m_excursion[axis], axis, x);
    if (bump != 0.0) {
        const double weight = std::fabs(bump / m_excursion[axis].peakMm);
        mm = mm * (1 - weight) + bump;
    }
    return mm + noiseMm * gaussian();
}

qint16 TrolleySimulation::reading(int axis, double mm)
{
    if (m_dropoutLeft[axis] == 0 && uniform() < dropoutChance)
        m_dropoutLeft[axis] = 1 + int(6 * uniform());
    if (m_dropoutLeft[axis] > 0) {
        --m_dropoutLeft[axis];
        return FrameBuilder::noReading;
    }
    const qint16 value = FrameBuilder::hundredths(mm);
    // The profile stays far from 27.48 mm; never let a reading pass for a dropout.
    return value == FrameBuilder::noReading ? qint16(value - 1) : value;
}

TrolleySimulation::Sample TrolleySimulation::nextSample(bool standing)
{
    Sample sample;
    const double x = m_travelled;
    if (m_options.steady) {
        sample.vertical = FrameBuilder::hundredths(m_options.steadyVerticalMm);
        sample.horizontal = FrameBuilder::hundredths(m_options.steadyHorizontalMm);
    } else {
        const double v = profileMm(0, x);
        const double h = profileMm(1, x);
        sample.vertical = reading(0, v);
        sample.horizontal = reading(1, h);
    }
    // With the counter's own allowance for rounding: the frame whose counter
    // first shows FROM already reads nothing.
    constexpr double allowance = 1e-9;
    if (m_options.noReadingAxis >= 0 && x + allowance >= m_options.noReadingFrom
            && x + allowance < m_options.noReadingTo)
        (m_options.noReadingAxis == 0 ? sample.vertical : sample.horizontal) = FrameBuilder::noReading;

    double steps;
    if (distanceReached()) {
        // The last sample of a push of a set distance shows the whole of it.
        steps = std::ceil(m_distanceLimit / m_options.stepLength - 1e-9);
    } else {
        steps = std::floor(x / m_options.stepLength + 1e-9);
    }
    const qint64 delta = qint64(steps);
    sample.counter = qint32(m_options.forward ? m_options.startCounter + delta : m_options.startCounter - delta);

    if (!standing) {
        m_travelled += m_options.speed * m_options.periodMs / 1000.0;
        if (m_distanceLimit >= 0 && m_travelled > m_distanceLimit)
            m_travelled = m_distanceLimit;
    }
    return sample;
}

QByteArray TrolleySimulation::nextFrame(bool standing)
{
    const Sample s = nextSample(standing);
    return FrameBuilder::frame(s.vertical, s.horizontal, s.counter);
}
