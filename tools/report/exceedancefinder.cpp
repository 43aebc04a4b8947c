#include "exceedancefinder.h"

#include <QHash>

#include <algorithm>
#include <cmath>

namespace {
constexpr double maxGapMetres = 10.0;
} // namespace

Track Track::build(const Protocol &protocol)
{
    Track track;
    const std::vector<ProtocolRow> &rows = protocol.rows;
    track.x.resize(rows.size());
    track.joined.assign(rows.size(), 0);
    double x = 0;
    for (size_t i = 1; i < rows.size(); ++i) {
        const ProtocolRow &a = rows[i - 1];
        const ProtocolRow &b = rows[i];
        double step = 0.25;
        bool joined = false;
        if (a.forward == b.forward) {
            if (a.picket == b.picket && b.quarters > a.quarters) {
                const qint64 quarters = qint64(b.quarters) - a.quarters;
                joined = quarters <= 2;
                // A hole in the grid shows to scale, but a distance typed wrong
                // must not spread the charts over thousands of empty pages.
                step = std::min(quarters * 0.25, maxGapMetres);
            } else {
                joined = b.quarters == 0 && qint64(b.picket) == qint64(a.picket) + (a.forward ? 1 : -1);
            }
        }
        x += step;
        track.x[i] = x;
        track.joined[i] = joined;
        if (joined)
            track.measuredLength += step;
        else
            ++track.gaps;
    }
    return track;
}

namespace {

// Walks the rows once and cuts stretches of joined rows that pass `inside`;
// the peak is the row with the largest `score`, first one on a tie.
template<typename Inside, typename Score, typename Value>
void collect(const Track &track, Channel channel, size_t count, Inside inside, Score score, Value value,
             std::vector<Stretch> *out)
{
    bool open = false;
    Stretch s;
    double best = 0;
    for (size_t i = 0; i < count; ++i) {
        const int row = int(i);
        if (open && (!track.joined[i] || !inside(i))) {
            out->push_back(s);
            open = false;
        }
        if (!inside(i))
            continue;
        const double sc = score(i);
        if (!open) {
            open = true;
            s = Stretch();
            s.channel = channel;
            s.first = row;
            s.peakRow = row;
            best = sc;
        } else if (sc > best) {
            best = sc;
            s.peakRow = row;
        }
        s.last = row;
        s.peak = value(size_t(s.peakRow));
        s.length = track.x[i] - track.x[size_t(s.first)];
    }
    if (open)
        out->push_back(s);
}

void sortByRun(std::vector<Stretch> *stretches)
{
    std::stable_sort(stretches->begin(), stretches->end(), [](const Stretch &a, const Stretch &b) {
        return a.first != b.first ? a.first < b.first : a.channel < b.channel;
    });
}

} // namespace

namespace ExceedanceFinder {

std::vector<Stretch> find(const Protocol &protocol, const Track &track, const Limits limits[channelCount])
{
    const std::vector<ProtocolRow> &rows = protocol.rows;
    std::vector<Stretch> stretches;
    for (int c = 0; c < channelCount; ++c) {
        const Limits &l = limits[c];
        collect(
            track, Channel(c), rows.size(),
            [&](size_t i) { return rows[i].hasValue[c] && l.outside(rows[i].value[c]); },
            [&](size_t i) { return l.excess(rows[i].value[c]); },
            [&](size_t i) { return rows[i].value[c]; }, &stretches);
    }
    sortByRun(&stretches);
    return stretches;
}

std::vector<PicketSummary> summarise(const Protocol &protocol, const std::vector<Stretch> &exceedances,
                                     const Limits limits[channelCount])
{
    const std::vector<ProtocolRow> &rows = protocol.rows;
    std::vector<PicketSummary> pickets;
    std::vector<int> section(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const ProtocolRow &r = rows[i];
        if (pickets.empty() || r.picket != pickets.back().picket || r.forward != pickets.back().forward
            || r.quarters <= rows[i - 1].quarters) {
            PicketSummary p;
            p.picket = r.picket;
            p.forward = r.forward;
            p.firstRow = int(i);
            pickets.push_back(p);
        }
        PicketSummary &p = pickets.back();
        ++p.rows;
        section[i] = int(pickets.size()) - 1;
        for (int c = 0; c < channelCount; ++c) {
            if (!r.hasValue[c])
                continue;
            if (p.worstRow[c] < 0
                || limits[c].excess(r.value[c]) > limits[c].excess(rows[size_t(p.worstRow[c])].value[c]))
                p.worstRow[c] = int(i);
        }
    }
    // A stretch over a picket mark counts for both pickets.
    for (const Stretch &s : exceedances)
        for (int k = section[size_t(s.first)]; k <= section[size_t(s.last)]; ++k)
            ++pickets[size_t(k)].exceedances[s.channel];
    return pickets;
}

Comparison compare(const Protocol &protocol, const Track &track, const Protocol &other, double tolerance)
{
    Comparison result;
    result.tolerance = tolerance;
    QHash<qint64, int> where;
    where.reserve(int(other.rows.size()));
    for (size_t j = 0; j < other.rows.size(); ++j) {
        const qint64 key = lineQuarter(other.rows[j]);
        if (!where.contains(key))
            where.insert(key, int(j));
    }
    const std::vector<ProtocolRow> &rows = protocol.rows;
    result.match.assign(rows.size(), -1);
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto it = where.constFind(lineQuarter(rows[i]));
        if (it != where.constEnd()) {
            result.match[i] = it.value();
            ++result.matched;
        }
    }
    for (int c = 0; c < channelCount; ++c) {
        // Protocol values carry three decimals; subtracting them in thousandths
        // keeps a difference of exactly the tolerance within it (5.3 - 4.3 is
        // not 1.0 in binary).
        auto difference = [&](size_t i) {
            const double a = rows[i].value[c];
            const double b = other.rows[size_t(result.match[i])].value[c];
            return double(std::llround(a * 1000.0) - std::llround(b * 1000.0)) / 1000.0;
        };
        collect(
            track, Channel(c), rows.size(),
            [&](size_t i) {
                const int j = result.match[i];
                return j >= 0 && rows[i].hasValue[c] && other.rows[size_t(j)].hasValue[c]
                       && std::fabs(difference(i)) > tolerance;
            },
            [&](size_t i) { return std::fabs(difference(i)); }, difference, &result.differences);
    }
    sortByRun(&result.differences);
    return result;
}

} // namespace ExceedanceFinder
