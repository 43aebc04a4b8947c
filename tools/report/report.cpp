#include "report.h"

#include <QTextCodec>

Report Report::build(Protocol protocol, const Limits limits[channelCount])
{
    Report report;
    report.protocol = std::move(protocol);
    for (int c = 0; c < channelCount; ++c)
        report.limits[c] = limits[c];
    report.track = Track::build(report.protocol);
    report.exceedances = ExceedanceFinder::find(report.protocol, report.track, report.limits);
    report.pickets = ExceedanceFinder::summarise(report.protocol, report.exceedances, report.limits);
    for (const ProtocolRow &row : report.protocol.rows)
        for (int c = 0; c < channelCount; ++c)
            report.missing[c] += row.hasValue[c] ? 0 : 1;
    return report;
}

void Report::compareWith(Protocol run, double tolerance)
{
    compared = true;
    other = std::move(run);
    otherTrack = Track::build(other);
    comparison = ExceedanceFinder::compare(protocol, track, other, tolerance);
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
    return c ? c->fromUnicode(QStringLiteral(
                   "Канал;Начало;Конец;Длина, м;Пик, мм;Положение пика;Строк;\n"))
             : QByteArray();
}

QByteArray row(const Report &report, const Stretch &s)
{
    const std::vector<ProtocolRow> &rows = report.protocol.rows;
    const QString text = channelName(s.channel) + QLatin1Char(';') + positionText(rows[size_t(s.first)])
                         + QLatin1Char(';') + positionText(rows[size_t(s.last)]) + QLatin1Char(';')
                         + QString::number(s.length, 'f', 2) + QLatin1Char(';')
                         + QString::number(s.peak, 'f', 3) + QLatin1Char(';')
                         + positionText(rows[size_t(s.peakRow)]) + QLatin1Char(';')
                         + QString::number(s.rows()) + QLatin1String(";\n");
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
    return device->write(bytes) == bytes.size();
}

} // namespace ExceedanceCsv
