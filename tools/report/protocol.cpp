#include "protocol.h"

QString positionText(const ProtocolRow &row)
{
    return QStringLiteral("ПК %1 %2 %3")
        .arg(row.picket)
        .arg(row.forward ? QLatin1Char('+') : QLatin1Char('-'))
        .arg(row.quarters * 0.25, 0, 'f', 2);
}

double linePosition(const ProtocolRow &row)
{
    return lineQuarter(row) * 0.25;
}

qint64 lineQuarter(const ProtocolRow &row)
{
    const qint64 base = qint64(row.picket) * 400;
    return row.forward ? base + row.quarters : base - row.quarters;
}

QString channelName(Channel channel)
{
    return channel == Vertical ? QStringLiteral("Вертикаль") : QStringLiteral("Горизонталь");
}
