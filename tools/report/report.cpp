#include "report.h"

#include <QTextCodec>

#include <algorithm>
#include <cmath>

namespace {

QString pairText(const QString &what, double low, double high)
{
    return QStringLiteral("%1: нижний предел %2 не ниже верхнего %3")
        .arg(what, QString::number(low, 'g', 12), QString::number(high, 'g', 12));
}

} // namespace

QString ReportOptions::problem() const
{
    const QString names[channelCount] = { QStringLiteral("по вертикали"), QStringLiteral("по горизонтали") };
    for (int c = 0; c < channelCount; ++c) {
        const Limits &l = limits[c];
        for (double v : { l.low, l.high, l.watch, l.immediateLow, l.immediateHigh })
            if (!std::isfinite(v))
                return QStringLiteral("предел %1 не число").arg(names[c]);
        if (l.low >= l.high)
            return pairText(QStringLiteral("допуск ") + names[c], l.low, l.high);
        if (l.immediate) {
            if (l.immediateLow >= l.immediateHigh)
                return pairText(QStringLiteral("пределы «срочно» ") + names[c], l.immediateLow, l.immediateHigh);
            if (l.immediateLow > l.low || l.immediateHigh < l.high)
                return QStringLiteral("пределы «срочно» %1 (%2, %3) должны лежать не ближе допуска (%4, %5)")
                    .arg(names[c])
                    .arg(l.immediateLow, 0, 'g', 12)
                    .arg(l.immediateHigh, 0, 'g', 12)
                    .arg(l.low, 0, 'g', 12)
                    .arg(l.high, 0, 'g', 12);
        }
        if (l.watch < 0)
            return QStringLiteral("полоса наблюдения не может быть меньше 0 мм");
    }
    if (minRows < 1)
        return QStringLiteral("участок не может быть короче 1 строки");
    if (!(metresPerPage >= 1 && metresPerPage <= 1e6))
        return QStringLiteral("метров на страницу графика: от 1 до 1000000");
    if (!(compareTolerance >= 0 && compareTolerance <= 1e6))
        return QStringLiteral("допуск расхождения: 0 мм или больше");
    return QString();
}

Report Report::build(Protocol protocol, const ReportOptions &options, const RunInfo *run)
{
    Report report;
    report.protocol = std::move(protocol);
    for (int c = 0; c < channelCount; ++c)
        report.limits[c] = options.limits[c];
    report.minRows = std::max(1, options.minRows);
    report.track = Track::build(report.protocol);
    if (run)
        report.placeRun(*run);

    const std::vector<double> &x = report.track.x;
    auto inRamp = [&](const Stretch &s) {
        return std::any_of(report.ramps.begin(), report.ramps.end(), [&](const RampZone &z) {
            return z.holds(x[size_t(s.first)], x[size_t(s.last)]);
        });
    };
    for (Stretch &s : ExceedanceFinder::find(report.protocol, report.track, report.limits, report.minRows))
        (inRamp(s) ? report.inRamp : s.rows() < report.minRows ? report.spikes : report.exceedances).push_back(s);
    for (Stretch &s : ExceedanceFinder::findWatched(report.protocol, report.track, report.limits, report.minRows))
        if (!inRamp(s))
            report.watched.push_back(s);
    if (!options.sortByPosition) {
        std::stable_sort(report.exceedances.begin(), report.exceedances.end(),
                         [](const Stretch &a, const Stretch &b) { return a.severity > b.severity; });
    }
    // A ramp's readings are off nominal on purpose: they are no picket's worst.
    std::vector<char> inZone;
    if (!report.ramps.empty()) {
        inZone.assign(x.size(), 0);
        for (const RampZone &z : report.ramps) {
            const auto a = std::lower_bound(x.begin(), x.end(), z.from - 0.125);
            const auto b = std::upper_bound(x.begin(), x.end(), z.to + 0.125);
            std::fill(inZone.begin() + (a - x.begin()), inZone.begin() + (b - x.begin()), 1);
        }
    }
    report.pickets = ExceedanceFinder::summarise(report.protocol, report.track, report.exceedances, report.watched,
                                                 report.limits, inZone.empty() ? nullptr : &inZone);
    for (const PicketSummary &p : report.pickets)
        for (int c = 0; c < channelCount; ++c)
            report.lengthOut[c] += p.lengthOut[c];

    bool direction[2] = { false, false };
    for (const ProtocolRow &row : report.protocol.rows) {
        direction[row.forward ? 1 : 0] = true;
        for (int c = 0; c < channelCount; ++c)
            report.missing[c] += row.hasValue[c] ? 0 : 1;
    }
    report.bothDirections = direction[0] && direction[1];
    return report;
}

void Report::placeRun(const RunInfo &info)
{
    hasRun = true;
    run = info;
    const std::vector<double> positions = ExceedanceFinder::place(protocol, track, info.marks);
    int start = -1;
    for (size_t i = 0; i < info.marks.size(); ++i) {
        PlacedMark m;
        m.mark = info.marks[i];
        m.x = positions[i];
        m.placed = !std::isnan(m.x);
        marks.push_back(m);
        // A ramp is a start and the next end; an end with no start before it,
        // or a start never ended, marks no zone: its stretches stay counted.
        if (!m.placed)
            continue;
        if (m.mark.kind == QLatin1String("rampStart")) {
            start = int(i);
        } else if (m.mark.kind == QLatin1String("rampEnd") && start >= 0) {
            RampZone z;
            z.from = std::min(marks[size_t(start)].x, m.x);
            z.to = std::max(marks[size_t(start)].x, m.x);
            z.startMark = start;
            z.endMark = int(i);
            ramps.push_back(z);
            start = -1;
        }
    }
}

void Report::compareWith(Protocol run, double tolerance)
{
    compared = true;
    other = std::move(run);
    otherTrack = Track::build(other);
    comparison = ExceedanceFinder::compare(protocol, track, other, tolerance);
}

int Report::count(Channel channel, Severity severity) const
{
    return int(std::count_if(exceedances.begin(), exceedances.end(), [&](const Stretch &s) {
        return s.channel == channel && s.severity == severity;
    }));
}

namespace ExceedanceCsv {

namespace {
QTextCodec *codec()
{
    return QTextCodec::codecForName("Windows-1251");
}
} // namespace

QByteArray header()
{
    QTextCodec *c = codec();
    return c ? c->fromUnicode(QStringLiteral("Канал;Начало;Конец;Длина, м;Пик, мм;Положение пика;Строк;"
                                             "Класс;Превышение, мм;Примечание;\n"))
             : QByteArray();
}

QByteArray row(const Report &report, const Stretch &s, const QString &note)
{
    const std::vector<ProtocolRow> &rows = report.protocol.rows;
    QStringList notes;
    if (!note.isEmpty())
        notes << note;
    if (s.atEdge)
        notes << QStringLiteral("на границе проезда");
    const QString text = channelName(s.channel) + QLatin1Char(';') + positionText(rows[size_t(s.first)])
                         + QLatin1Char(';') + positionText(rows[size_t(s.last)]) + QLatin1Char(';')
                         + QString::number(s.length, 'f', 2) + QLatin1Char(';')
                         + QString::number(s.peak, 'f', 3) + QLatin1Char(';')
                         + positionText(rows[size_t(s.peakRow)]) + QLatin1Char(';')
                         + QString::number(s.rows()) + QLatin1Char(';') + severityName(s.severity)
                         + QLatin1Char(';') + QString::number(s.excess, 'f', 3) + QLatin1Char(';')
                         + notes.join(QStringLiteral(", ")) + QLatin1String(";\n");
    QTextCodec *c = codec();
    return c ? c->fromUnicode(text) : QByteArray();
}

bool write(const Report &report, QIODevice *device)
{
    QByteArray bytes = header();
    if (bytes.isEmpty())
        return false;
    for (const Stretch &s : report.exceedances)
        bytes += row(report, s);
    for (const Stretch &s : report.inRamp)
        bytes += row(report, s, QStringLiteral("в зоне отвода"));
    for (const Stretch &s : report.spikes)
        bytes += row(report, s, QStringLiteral("одиночный выброс"));
    return device->write(bytes) == bytes.size();
}

} // namespace ExceedanceCsv
