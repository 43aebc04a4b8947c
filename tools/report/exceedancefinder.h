#ifndef EXCEEDANCEFINDER_H
#define EXCEEDANCEFINDER_H

#include "protocol.h"
#include "runfile.h"

#include <vector>

// How far a reading is from nominal, mildest first. A value exactly on a
// boundary belongs to the milder side: exactly at a limit is within it, as the
// window's beep and scale marks treat it.
enum Severity { Normal = 0, Watch = 1, Out = 2, Immediate = 3 };

QString severityName(Severity severity);

// The bands of one channel: the tolerance, the watched margin inside it and,
// when given, the wider pair beyond which repair is immediate. A low limit
// above the high one leaves no value within (the tool refuses such limits; the
// model keeps the rule simple).
struct Limits
{
    double low = 0;
    double high = 0;
    double watch = 0;               // mm inside the tolerance watched; 0: no watch class
    bool immediate = false;         // immediateLow/High are given
    double immediateLow = 0;
    double immediateHigh = 0;

    // Compared to the micrometre, so that a limit typed as 6.3 and a margin of
    // 0.1 put 6.2 exactly on the watch boundary, as they do on paper.
    Severity classify(double v) const;
    // How far beyond the tolerance; negative within it. Picks the worst value.
    double excess(double v) const;
};

// The boundaries of Limits in micrometres, worked out once for a walk over
// a million rows.
class Bands
{
public:
    explicit Bands(const Limits &limits);
    Severity classify(double v) const;
    double excess(double v) const;
    static qint64 micro(double mm) { return qRound64(mm * 1e6); }

private:
    qint64 m_low, m_high, m_watchLow, m_watchHigh, m_immediateLow, m_immediateHigh;
    bool m_immediate, m_watch;
};

// The continuous axis of a run, built from the row sequence alone.
//
// Consecutive rows are joined when the second follows the first along the run:
// - same picket and direction, one quarter metre further; two quarters are
//   joined too, since the window's quarter-metre cadence counts wheel steps and
//   with another step length (or before the first picket mark) a rounded
//   quarter can be skipped though the trolley never stopped recording;
// - the next picket in the direction of travel at 0.00: the operator pressed
//   ПИКЕТ, which restarts the distance; where he pressed it (at 99.75 or 103.50)
//   is his call, so the mark is taken as one quarter metre of travel.
// Anything else is a gap: a longer jump, a change of direction, a distance that
// falls back (another run appended to the file), a picket skipped.
//
// x is the travelled distance from the first row: a joined step adds its
// length, a forward jump within a picket adds the jump (so it shows to scale,
// up to 10 m), any other gap adds one quarter metre. It grows strictly along
// the rows.
struct Track
{
    std::vector<double> x;
    std::vector<char> joined;     // row i continues row i - 1
    double measuredLength = 0;    // sum of the joined steps
    int gaps = 0;

    static Track build(const Protocol &protocol);
};

// One stretch of consecutive joined rows that all share a condition: lying
// outside the limits, in the watched margin, or differing from another run by
// more than a tolerance.
struct Stretch
{
    Channel channel = Vertical;
    int first = 0;        // row indices, inclusive
    int last = 0;
    int peakRow = 0;      // first row of the largest excess or difference
    double peak = 0;      // its value (exceedance) or signed difference, mm
    double length = 0;    // metres of track covered: a quarter metre per row, skipped quarters included
    Severity severity = Out;  // of a stretch beyond the limits or in the watched margin
    double excess = 0;    // the peak beyond the tolerance, mm; negative: that far within
    bool atEdge = false;  // touches the run's first or last row or a gap: it may go on past it
    int rows() const { return last - first + 1; }
};

// Rows of one passed picket, in file order: a new entry begins where the
// picket or the direction changes, or where the distance falls back.
struct PicketSummary
{
    qint32 picket = 0;
    bool forward = true;
    int firstRow = 0;
    int rows = 0;
    // Stretches touching this picket, per severity (Watch, Out, Immediate).
    int stretches[channelCount][Immediate + 1] = { { 0, 0, 0, 0 }, { 0, 0, 0, 0 } };
    double lengthOut[channelCount] = { 0, 0 };  // metres of this picket within counted stretches
    int worstRow[channelCount] = { -1, -1 };    // largest excess; -1: no reading
};

// A second run matched row by row to the first by line position (picket * 100
// +/- distance, in exact quarter metres), so a reverse run lines up with a
// forward one. Where the other run holds a position twice, its first row counts.
struct Comparison
{
    std::vector<int> match;  // per row of the first run: the other run's row, or -1
    int matched = 0;
    double tolerance = 0;
    std::vector<Stretch> differences;  // |first - other| > tolerance, sorted like exceedances
};

namespace ExceedanceFinder {

// Stretches outside the limits, in the order of the run (by first row; the
// vertical channel first on the same row). A row without a reading on the
// channel ends a stretch, as does a gap. A stretch is Immediate when at least
// minRows consecutive rows of it lie beyond the wider pair: the noise rule
// that decides whether a stretch counts at all holds for its class too.
std::vector<Stretch> find(const Protocol &protocol, const Track &track, const Limits limits[channelCount],
                          int minRows = 1);

// Stretches of at least minRows rows in the watched margin, in run order.
std::vector<Stretch> findWatched(const Protocol &protocol, const Track &track, const Limits limits[channelCount],
                                 int minRows = 1);

// counted and watched decide the counts and lengths; any other stretch (a
// one-row spike, one in a ramp) is left out, as are the rows marked in
// `skipped` (when given) from the worst values.
std::vector<PicketSummary> summarise(const Protocol &protocol, const Track &track,
                                     const std::vector<Stretch> &counted, const std::vector<Stretch> &watched,
                                     const Limits limits[channelCount], const std::vector<char> *skipped = nullptr);

Comparison compare(const Protocol &protocol, const Track &track, const Protocol &other, double tolerance);

// Each mark's place on the track's axis: within the first stretch of rows of
// its picket and direction, between the rows around its distance (marks are
// taken to the centimetre, rows to the quarter metre). NaN for a mark whose
// picket and direction the protocol does not hold.
std::vector<double> place(const Protocol &protocol, const Track &track, const std::vector<RunMark> &marks);

} // namespace ExceedanceFinder

#endif // EXCEEDANCEFINDER_H
