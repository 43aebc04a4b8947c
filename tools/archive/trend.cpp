#include "trend.h"

#include <QDateTime>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

constexpr double farYears = 100;

struct Band
{
    qint64 low;
    qint64 high;

    bool outside(qint32 v) const { return v > high || v < low; }
    qint64 excess(qint32 v) const { return std::max(v - high, low - v); }
};

bool isReading(qint32 v)
{
    return v != RunChunks::noReading && v != TrendInput::noRow;
}

struct Point
{
    double day;
    double mm;
};

// The least-squares line through the points, as its slope a day and the
// point of means it passes; false when all points share one date. Centred
// sums: run dates lie some 20,000 days from the epoch, and their squares
// would swallow the differences.
bool fit(const std::vector<Point> &points, double *meanDay, double *meanValue, double *perDay)
{
    double sumX = 0, sumY = 0;
    for (const Point &p : points) {
        sumX += p.day;
        sumY += p.mm;
    }
    *meanDay = sumX / points.size();
    *meanValue = sumY / points.size();
    double sxx = 0, sxy = 0;
    for (const Point &p : points) {
        sxx += (p.day - *meanDay) * (p.day - *meanDay);
        sxy += (p.day - *meanDay) * (p.mm - *meanValue);
    }
    if (!(sxx > 1e-9))
        return false;
    *perDay = sxy / sxx;
    return true;
}

} // namespace

qint32 TrendInput::value(int run, qint64 quarter, int channel) const
{
    const auto it = blocks.find(RunChunks::blockOf(quarter));
    if (it == blocks.end())
        return noRow;
    const qint64 offset = quarter - it->first * RunChunks::blockQuarters;
    return it->second[size_t((run * RunChunks::blockQuarters + offset) * channelCount + channel)];
}

void TrendInput::add(int run, const RunChunks::Chunk &chunk)
{
    std::vector<qint32> &cells = blocks[chunk.block];
    if (cells.empty())
        cells.assign(runs.size() * size_t(RunChunks::blockQuarters) * channelCount, noRow);
    const qint64 base = chunk.block * RunChunks::blockQuarters;
    for (int i = 0; i < chunk.count; ++i) {
        qint32 *cell = &cells[size_t((run * RunChunks::blockQuarters + chunk.quarter(i) - base) * channelCount)];
        if (cell[0] != noRow)
            continue;
        for (int c = 0; c < channelCount; ++c)
            cell[c] = chunk.value(i, c);
    }
}

namespace Trend {

double dayOf(const QDateTime &time)
{
    return time.toMSecsSinceEpoch() / msPerDay;
}

TrendResult compute(const TrendInput &input, const Limits limits[channelCount], double worseMm)
{
    TrendResult result;
    const int runs = int(input.runs.size());
    std::vector<double> day(static_cast<size_t>(runs));
    for (int r = 0; r < runs; ++r)
        day[size_t(r)] = dayOf(input.runs[size_t(r)].date);
    // In thousandths, like the readings: a difference of exactly the
    // threshold is not more than it, whatever binary fractions would say.
    Band band[channelCount];
    for (int c = 0; c < channelCount; ++c)
        band[c] = { std::llround(limits[c].low * 1000.0), std::llround(limits[c].high * 1000.0) };
    const qint64 worse = std::llround(worseMm * 1000.0);

    auto anyOut = [&](int run, qint64 q, int c) {
        for (qint64 k = q - flagWindowQuarters; k <= q + flagWindowQuarters; ++k) {
            const qint32 v = input.value(run, k, c);
            if (isReading(v) && band[c].outside(v))
                return true;
        }
        return false;
    };
    auto anyReading = [&](int run, qint64 q, int c) {
        for (qint64 k = q - flagWindowQuarters; k <= q + flagWindowQuarters; ++k)
            if (isReading(input.value(run, k, c)))
                return true;
        return false;
    };

    std::vector<Point> points;
    points.reserve(size_t(runs));
    for (const auto &block : input.blocks) {
        const qint64 base = block.first * RunChunks::blockQuarters;
        for (qint64 offset = 0; offset < RunChunks::blockQuarters; ++offset) {
            const qint64 q = base + offset;
            for (int c = 0; c < channelCount; ++c) {
                SpotTrend s;
                s.quarter = q;
                s.channel = Channel(c);
                points.clear();
                for (int r = 0; r < runs; ++r) {
                    const qint32 v = block.second[size_t((r * RunChunks::blockQuarters + offset) * channelCount + c)];
                    if (!isReading(v))
                        continue;
                    s.latestRun = r;
                    points.push_back({ day[size_t(r)], v / 1000.0 });
                }
                s.readings = int(points.size());
                if (s.readings == 0)
                    continue;
                const qint32 latest = input.value(s.latestRun, q, c);
                s.latest = latest / 1000.0;
                s.excess = band[c].excess(latest) / 1000.0;
                for (int r = s.latestRun - 1; r >= 0 && s.previousRun < 0; --r)
                    if (anyReading(r, q, c))
                        s.previousRun = r;
                if (s.previousRun >= 0) {
                    const int p = s.previousRun;
                    const qint32 before = input.value(p, q, c);
                    if (band[c].outside(latest) && !anyOut(p, q, c))
                        s.flags |= SpotTrend::NewOut;
                    if (isReading(before) && band[c].excess(latest) - band[c].excess(before) > worse)
                        s.flags |= SpotTrend::Worse;
                    if (isReading(before) && band[c].outside(before) && !anyOut(s.latestRun, q, c))
                        s.flags |= SpotTrend::Fixed;
                }

                double perDay = 0;
                if (s.readings >= minimumRuns && fit(points, &s.meanDay, &s.meanValue, &perDay)) {
                    s.hasRate = true;
                    s.rate = perDay * daysPerMonth;
                    const double lastDay = day[size_t(s.latestRun)];
                    if (band[c].outside(latest)) {
                        s.reach = SpotTrend::Already;
                    } else if (perDay != 0) {
                        const double limit = (perDay > 0 ? band[c].high : band[c].low) / 1000.0;
                        const double when = std::max(lastDay, s.meanDay + (limit - s.meanValue) / perDay);
                        if (when - lastDay <= farYears * 365.2425) {
                            s.reach = SpotTrend::OnDate;
                            s.reachDay = when;
                        }
                    }
                }
                if (s.hasRate || s.flags != 0)
                    result.spots.push_back(s);
            }
        }
    }

    for (size_t i = 0; i < result.spots.size(); ++i) {
        const SpotTrend &s = result.spots[i];
        const qint64 picket = RunChunks::floorDiv(s.quarter, RunChunks::quartersPerPicket);
        if (result.pickets.empty() || result.pickets.back().picket != picket) {
            PicketTrend p;
            p.picket = picket;
            result.pickets.push_back(p);
        }
        PicketTrend &p = result.pickets.back();
        p.flags |= s.flags;
        if (s.hasRate && (p.firstSpot < 0 || before(s, result.spots[size_t(p.firstSpot)])))
            p.firstSpot = int(i);
    }
    return result;
}

bool before(const SpotTrend &a, const SpotTrend &b)
{
    if (a.reach != b.reach)
        return a.reach < b.reach;
    if (a.reach == SpotTrend::OnDate && a.reachDay != b.reachDay)
        return a.reachDay < b.reachDay;
    return a.excess > b.excess;
}

QString flagsText(int flags)
{
    QStringList names;
    if (flags & SpotTrend::NewOut)
        names << QStringLiteral("новое");
    if (flags & SpotTrend::Worse)
        names << QStringLiteral("хуже");
    if (flags & SpotTrend::Fixed)
        names << QStringLiteral("исправлено");
    return names.join(QStringLiteral(", "));
}

QString reachText(const SpotTrend &spot, int utcOffset)
{
    if (!spot.hasRate)
        return QString();
    switch (spot.reach) {
    case SpotTrend::Already:
        return QStringLiteral("уже за допуском");
    case SpotTrend::OnDate:
        return QDateTime::fromMSecsSinceEpoch(qint64(std::llround(spot.reachDay * msPerDay)), Qt::OffsetFromUTC,
                                              utcOffset)
            .toString(QStringLiteral("dd.MM.yyyy"));
    case SpotTrend::Never:
        break;
    }
    return QStringLiteral("не ожидается");
}

} // namespace Trend
