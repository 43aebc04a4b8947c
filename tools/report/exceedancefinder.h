#ifndef EXCEEDANCEFINDER_H
#define EXCEEDANCEFINDER_H

#include "protocol.h"

#include <vector>

// Tolerance band of one channel. A value exactly at a limit is within it, as
// the window's beep and scale marks treat it. A low limit above the high one
// (the settings panel takes it as typed) leaves no value within.
struct Limits
{
    double low = 0;
    double high = 0;

    bool inverted() const { return low > high; }
    bool outside(double v) const { return v > high || v < low; }
    // How far beyond the band; negative within it. Picks the worst value.
    double excess(double v) const { return v - high > low - v ? v - high : low - v; }
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
// outside the limits, or differing from another run by more than a tolerance.
struct Stretch
{
    Channel channel = Vertical;
    int first = 0;        // row indices, inclusive
    int last = 0;
    int peakRow = 0;      // first row of the largest excess or difference
    double peak = 0;      // its value (exceedance) or signed difference, mm
    double length = 0;    // metres from the first to the last row
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
    int exceedances[channelCount] = { 0, 0 };  // stretches touching this picket
    int worstRow[channelCount] = { -1, -1 };   // largest excess; -1: no reading
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
// channel ends a stretch, as does a gap.
std::vector<Stretch> find(const Protocol &protocol, const Track &track, const Limits limits[channelCount]);

std::vector<PicketSummary> summarise(const Protocol &protocol, const std::vector<Stretch> &exceedances,
                                     const Limits limits[channelCount]);

Comparison compare(const Protocol &protocol, const Track &track, const Protocol &other, double tolerance);

} // namespace ExceedanceFinder

#endif // EXCEEDANCEFINDER_H
