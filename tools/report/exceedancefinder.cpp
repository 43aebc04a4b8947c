#include "exceedancefinder.h"

#include <QHash>
#include <QString>

#include <algorithm>
#include <cmath>
#include <limits>

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
// the peak is the row with the largest `score`, first one on a tie. Length and
// the edge mark are filled in here; peak value, excess and class by the caller.
template<typename Inside, typename Score>
void collect(const Track &track, Channel channel, size_t count, Inside inside, Score score,
             std::vector<Stretch> *out)
{
    bool open = false;
    Stretch s;
    double best = 0;
    auto close = [&] {
        s.length = track.x[size_t(s.last)] - track.x[size_t(s.first)] + 0.25;
        s.atEdge = !track.joined[size_t(s.first)] || size_t(s.last) + 1 == count
                   || !track.joined[size_t(s.last) + 1];
        out->push_back(s);
        open = false;
    };
    for (size_t i = 0; i < count; ++i) {
        const int row = int(i);
        if (open && (!track.joined[i] || !inside(i)))
            close();
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
    }
    if (open)
        close();
}

// In run order by first row, the vertical channel first on a row.
void sortByRun(std::vector<Stretch> *stretches)
{
    std::stable_sort(stretches->begin(), stretches->end(), [](const Stretch &a, const Stretch &b) {
        return a.first != b.first ? a.first < b.first : a.channel < b.channel;
    });
}

} // namespace

QString severityName(Severity severity)
{
    switch (severity) {
    case Normal:
        return QStringLiteral("в допуске");
    case Watch:
        return QStringLiteral("наблюдение");
    case Out:
        return QStringLiteral("за допуском");
    case Immediate:
        return QStringLiteral("срочно");
    }
    return QString();
}

Severity Limits::classify(double v) const
{
    return Bands(*this).classify(v);
}

double Limits::excess(double v) const
{
    return Bands(*this).excess(v);
}

Bands::Bands(const Limits &l)
    : m_low(micro(l.low))
    , m_high(micro(l.high))
    , m_watchLow(m_low + micro(l.watch))
    , m_watchHigh(m_high - micro(l.watch))
    , m_immediateLow(micro(l.immediateLow))
    , m_immediateHigh(micro(l.immediateHigh))
    , m_immediate(l.immediate)
    , m_watch(micro(l.watch) > 0)
{
}

Severity Bands::classify(double v) const
{
    const qint64 m = micro(v);
    if (m_immediate && (m > m_immediateHigh || m < m_immediateLow))
        return Immediate;
    if (m > m_high || m < m_low)
        return Out;
    if (m_watch && (m > m_watchHigh || m < m_watchLow))
        return Watch;
    return Normal;
}

double Bands::excess(double v) const
{
    const qint64 m = micro(v);
    return double(std::max(m - m_high, m_low - m)) / 1e6;
}

namespace ExceedanceFinder {

std::vector<Stretch> find(const Protocol &protocol, const Track &track, const Limits limits[channelCount],
                          int minRows)
{
    const std::vector<ProtocolRow> &rows = protocol.rows;
    std::vector<Stretch> stretches;
    std::vector<char> severity(rows.size());
    for (int c = 0; c < channelCount; ++c) {
        const Bands l(limits[c]);
        for (size_t i = 0; i < rows.size(); ++i)
            severity[i] = char(rows[i].hasValue[c] ? l.classify(rows[i].value[c]) : Normal);
        const size_t from = stretches.size();
        collect(
            track, Channel(c), rows.size(), [&](size_t i) { return severity[i] >= Out; },
            [&](size_t i) { return l.excess(rows[i].value[c]); }, &stretches);
        for (size_t k = from; k < stretches.size(); ++k) {
            Stretch &s = stretches[k];
            s.peak = rows[size_t(s.peakRow)].value[c];
            s.excess = l.excess(s.peak);
            int run = 0, longest = 0;
            for (int i = s.first; i <= s.last; ++i) {
                run = severity[size_t(i)] == Immediate ? run + 1 : 0;
                longest = std::max(longest, run);
            }
            s.severity = longest >= std::max(1, minRows) ? Immediate : Out;
        }
    }
    sortByRun(&stretches);
    return stretches;
}

std::vector<Stretch> findWatched(const Protocol &protocol, const Track &track, const Limits limits[channelCount],
                                 int minRows)
{
    const std::vector<ProtocolRow> &rows = protocol.rows;
    std::vector<Stretch> stretches;
    for (int c = 0; c < channelCount; ++c) {
        if (!(limits[c].watch > 0))
            continue;
        const Bands l(limits[c]);
        std::vector<Stretch> found;
        collect(
            track, Channel(c), rows.size(),
            [&](size_t i) { return rows[i].hasValue[c] && l.classify(rows[i].value[c]) == Watch; },
            [&](size_t i) { return l.excess(rows[i].value[c]); }, &found);
        for (Stretch &s : found) {
            if (s.rows() < minRows)
                continue;
            s.severity = Watch;
            s.peak = rows[size_t(s.peakRow)].value[c];
            s.excess = l.excess(s.peak);
            stretches.push_back(s);
        }
    }
    sortByRun(&stretches);
    return stretches;
}

std::vector<PicketSummary> summarise(const Protocol &protocol, const Track &track,
                                     const std::vector<Stretch> &counted, const std::vector<Stretch> &watched,
                                     const Limits limits[channelCount], const std::vector<char> *skipped)
{
    const std::vector<ProtocolRow> &rows = protocol.rows;
    const Bands bands[channelCount] = { Bands(limits[Vertical]), Bands(limits[Horizontal]) };
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
            if (!r.hasValue[c] || (skipped && (*skipped)[i]))
                continue;
            if (p.worstRow[c] < 0
                || bands[c].excess(r.value[c]) > bands[c].excess(rows[size_t(p.worstRow[c])].value[c]))
                p.worstRow[c] = int(i);
        }
    }
    // A stretch over a picket mark counts for both pickets; its length is
    // shared out row by row, each row taking the step that led to it.
    for (const std::vector<Stretch> *list : { &counted, &watched }) {
        for (const Stretch &s : *list) {
            for (int k = section[size_t(s.first)]; k <= section[size_t(s.last)]; ++k)
                ++pickets[size_t(k)].stretches[s.channel][s.severity];
            if (list != &counted)
                continue;
            pickets[size_t(section[size_t(s.first)])].lengthOut[s.channel] += 0.25;
            for (int i = s.first + 1; i <= s.last; ++i)
                pickets[size_t(section[size_t(i)])].lengthOut[s.channel]
                    += track.x[size_t(i)] - track.x[size_t(i) - 1];
        }
    }
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
        const size_t from = result.differences.size();
        collect(
            track, Channel(c), rows.size(),
            [&](size_t i) {
                const int j = result.match[i];
                return j >= 0 && rows[i].hasValue[c] && other.rows[size_t(j)].hasValue[c]
                       && std::fabs(difference(i)) > tolerance;
            },
            [&](size_t i) { return std::fabs(difference(i)); }, &result.differences);
        for (size_t k = from; k < result.differences.size(); ++k)
            result.differences[k].peak = difference(size_t(result.differences[k].peakRow));
    }
    sortByRun(&result.differences);
    return result;
}

std::vector<double> place(const Protocol &protocol, const Track &track, const std::vector<RunMark> &marks)
{
    const std::vector<ProtocolRow> &rows = protocol.rows;
    std::vector<double> x(marks.size(), std::numeric_limits<double>::quiet_NaN());
    if (marks.empty())
        return x;
    auto key = [](qint32 picket, bool forward) { return qint64(picket) * 2 + (forward ? 1 : 0); };
    // The first section of each picket and direction: its rows' distances grow.
    QHash<qint64, std::pair<int, int>> sections;
    for (size_t i = 0; i < rows.size();) {
        size_t end = i + 1;
        while (end < rows.size() && rows[end].picket == rows[i].picket && rows[end].forward == rows[i].forward
               && rows[end].quarters > rows[end - 1].quarters)
            ++end;
        const qint64 k = key(rows[i].picket, rows[i].forward);
        if (!sections.contains(k))
            sections.insert(k, { int(i), int(end) - 1 });
        i = end;
    }
    for (size_t m = 0; m < marks.size(); ++m) {
        const auto it = sections.constFind(key(marks[m].picket, marks[m].forward));
        if (it == sections.constEnd())
            continue;
        const int first = it->first, last = it->second;
        const double metres = marks[m].distance;
        // The last row at or before the mark, or the first row of the section.
        int lo = first, hi = last;
        while (lo < hi) {
            const int mid = (lo + hi + 1) / 2;
            if (rows[size_t(mid)].quarters * 0.25 <= metres)
                lo = mid;
            else
                hi = mid - 1;
        }
        const double beyond = metres - rows[size_t(lo)].quarters * 0.25;
        const double room = lo < last ? track.x[size_t(lo) + 1] - track.x[size_t(lo)] : 0.25;
        x[m] = track.x[size_t(lo)] + std::clamp(beyond, 0.0, room);
    }
    return x;
}

} // namespace ExceedanceFinder
