#include "protocol.h"

QString positionText(const ProtocolRow &row)
{
    return positionText(row.picket, row.forward, row.quarters * 0.25);
}

QString positionText(qint32 picket, bool forward, double metres)
{
    return QStringLiteral("ПК %1 %2 %3")
        .arg(picket)
        .arg(forward ? QLatin1Char('+') : QLatin1Char('-'))
        .arg(metres, 0, 'f', 2);
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

QString encodingName(Encoding encoding)
{
    switch (encoding) {
    case Encoding::Windows1251:
        return QStringLiteral("Windows-1251");
    case Encoding::Utf8:
        return QStringLiteral("UTF-8");
    case Encoding::Utf8WithBom:
        return QStringLiteral("UTF-8 с меткой BOM");
    }
    return QString();
}
