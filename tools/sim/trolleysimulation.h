#ifndef TROLLEYSIMULATION_H
#define TROLLEYSIMULATION_H

#include <QByteArray>
#include <QtGlobal>

#include <cstdint>

// A push of the trolley along the track, one frame per period: the wheel
// counter advances at the set speed, and the offsets follow a smooth profile
// of the rail with sensor noise, now and then a stretch beyond the usual
// tolerances (vertical 6 mm, horizontal 8 mm) and now and then a sensor that
// reads nothing. Everything random comes from one seeded generator of fixed
// definition, so a seed gives the same frames on every platform.
class TrolleySimulation
{
public:
    struct Options
    {
        double speed = 1.0;          // metres per second
        double stepLength = 0.00075; // metres per counter step
        bool forward = true;         // the counter counts up
        qint32 startCounter = 0;
        int periodMs = 50;
        quint32 seed = 1;
        bool steady = false;         // hold the offsets below, nothing random
        double steadyVerticalMm = 0.0;
        double steadyHorizontalMm = 0.0;
        // One sensor reads nothing over a stretch of track (metres travelled):
        // axis 0 vertical, 1 horizontal, -1 none.
        int noReadingAxis = -1;
        double noReadingFrom = 0.0;
        double noReadingTo = 0.0;
    };

    struct Sample
    {
        qint16 vertical = 0;   // hundredths of a millimetre, or the no-reading code
        qint16 horizontal = 0;
        qint32 counter = 0;
    };

    explicit TrolleySimulation(const Options &options);

    // The reading of the current moment, then one period passes. A standing
    // trolley keeps its counter; its sensors still read (with noise).
    Sample nextSample(bool standing = false);
    QByteArray nextFrame(bool standing = false);

    // Ends the push at this distance: the travelled distance stops there, and
    // the sample taken there carries the first counter value at or beyond it.
    void setDistanceLimit(double metres) { m_distanceLimit = metres; }
    bool distanceReached() const { return m_distanceLimit >= 0 && m_travelled >= m_distanceLimit; }

private:
    struct Excursion
    {
        double start = 0;  // metres
        double length = 0;
        double peakMm = 0;
        double next = 0;   // where the one after it starts
    };

    double uniform();           // in (0, 1)
    double gaussian();
    double profileMm(int axis, double x);
    double excursionMm(Excursion &e, int axis, double x);
    qint16 reading(int axis, double mm);

    Options m_options;
    std::uint32_t m_state[4];   // xoshiro128** state
    double m_travelled = 0;
    double m_distanceLimit = -1;
    double m_phase[2][3];
    Excursion m_excursion[2];
    int m_dropoutLeft[2] = { 0, 0 };
};

#endif // TROLLEYSIMULATION_H
