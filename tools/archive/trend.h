#ifndef TREND_H
#define TREND_H

#include "archivequery.h"
#include "exceedancefinder.h"
#include "runchunks.h"

#include <map>
#include <vector>

// The readings of a track's runs, oldest run first, on the grid of line
// positions. Held by block, so a track that spans many kilometres with gaps
// costs only the blocks some run passed.
struct TrendInput
{
    static constexpr qint32 noRow = RunChunks::noReading + 1;

    std::vector<ArchivedRun> runs;
    std::map<qint64, std::vector<qint32>> blocks;  // [run][offset in block][channel]

    // Thousandths of a mm, RunChunks::noReading (a row with that field empty)
    // or noRow (the run has no row there).
    qint32 value(int run, qint64 quarter, int channel) const;
    // Takes a chunk of run number `run`; where the run already has a row at a
    // position, that earlier row stays.
    void add(int run, const RunChunks::Chunk &chunk);
};

// The course of one spot on one channel over the runs.
struct SpotTrend
{
    enum Reach { Already, OnDate, Never };
    enum Flag { NewOut = 1, Worse = 2, Fixed = 4 };

    qint64 quarter = 0;
    Channel channel = Vertical;
    int readings = 0;       // runs with a reading here
    int latestRun = -1;     // the latest of them
    double latest = 0;      // mm
    double excess = 0;      // mm beyond the nearer limit in the latest run; negative within
    int previousRun = -1;   // the run the flags compare with; -1: none
    int flags = 0;

    bool hasRate = false;   // readings in 3 runs or more, on more than one date
    double rate = 0;        // mm per month, least squares over the run dates
    double meanDay = 0;     // the fitted line passes (meanDay, meanValue)
    double meanValue = 0;
    Reach reach = Never;
    double reachDay = 0;    // days since the epoch, when reach is OnDate
};

// Per picket (pickets by line position: picket N covers N * 100 to N * 100 +
// 99.75 m), the spot whose channel reaches its limit first.
struct PicketTrend
{
    qint64 picket = 0;
    int firstSpot = -1;  // index into TrendResult::spots; -1: no spot with a rate
    int flags = 0;       // every flag of the picket's spots
};

struct TrendResult
{
    std::vector<SpotTrend> spots;     // with a rate or a flag, by position and channel
    std::vector<PicketTrend> pickets;
};

namespace Trend {

constexpr double daysPerMonth = 365.2425 / 12;
constexpr double msPerDay = 86400000.0;
constexpr int minimumRuns = 3;
constexpr int flagWindowQuarters = 2;  // 0.5 m either side

// "новое": out of tolerance in the latest run with a reading, and the run
// before it (the latest earlier one with a reading within 0.5 m) nowhere out
// within 0.5 m. "хуже": beyond its limit or nearer to it than in that run by
// more than worseMm. "исправлено": out in that run, within now and nowhere out
// within 0.5 m. The projection follows the fitted line to the limit it heads
// for; a spot out in its latest run is out already, and a crossing the line
// puts before the latest run is put at it.
TrendResult compute(const TrendInput &input, const Limits limits[channelCount], double worseMm);

bool before(const SpotTrend &a, const SpotTrend &b);  // reaches its limit first
QString flagsText(int flags);
QString reachText(const SpotTrend &spot, int utcOffset);
double dayOf(const QDateTime &time);

} // namespace Trend

#endif // TREND_H
