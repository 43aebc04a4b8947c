#include "runchunks.h"

#include <QRegularExpression>
#include <QtEndian>

#include <cmath>

namespace RunChunks {

qint32 Chunk::value(int i, int channel) const
{
    return qFromLittleEndian<qint32>(data.constData() + (size_t(i) * 2 + size_t(channel)) * 4);
}

bool Chunk::consistent() const
{
    return count > 0 && (step == 1 || step == -1) && data.size() == qint64(count) * 8
           && blockOf(firstQuarter) == block && blockOf(quarter(count - 1)) == block;
}

qint64 floorDiv(qint64 a, qint64 b)
{
    const qint64 q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

bool toThousandths(double mm, qint32 *out)
{
    const double scaled = mm * 1000.0;
    if (!(std::fabs(scaled) < 2147483647.0))
        return false;
    const qint64 t = std::llround(scaled);
    // The reader makes a value as mantissa / 10^decimals; three decimals or
    // fewer come back exactly from the thousandths.
    if (double(t) / 1000.0 != mm || t == noReading)
        return false;
    *out = qint32(t);
    return true;
}

bool pack(const std::vector<ProtocolRow> &rows, std::vector<Chunk> *chunks, int *badRow, int *badChannel)
{
    chunks->clear();
    Chunk *open = nullptr;
    for (size_t i = 0; i < rows.size(); ++i) {
        const ProtocolRow &row = rows[i];
        const qint64 q = lineQuarter(row);
        const int step = row.forward ? 1 : -1;
        if (!open || open->step != step || open->quarter(open->count - 1) + step != q || blockOf(q) != open->block) {
            Chunk c;
            c.seq = int(chunks->size());
            c.block = blockOf(q);
            c.firstQuarter = q;
            c.step = step;
            c.data.reserve(int(blockQuarters * 8));
            chunks->push_back(std::move(c));
            open = &chunks->back();
        }
        char bytes[8];
        for (int c = 0; c < channelCount; ++c) {
            qint32 t = noReading;
            if (row.hasValue[c] && !toThousandths(row.value[c], &t)) {
                *badRow = int(i);
                *badChannel = c;
                return false;
            }
            qToLittleEndian<qint32>(t, bytes + 4 * c);
        }
        open->data.append(bytes, 8);
        ++open->count;
    }
    return true;
}

QString spotText(qint64 quarter)
{
    const qint64 picket = floorDiv(quarter, quartersPerPicket);
    ProtocolRow row;
    row.picket = qint32(picket);
    row.quarters = qint32(quarter - picket * quartersPerPicket);
    return positionText(row);
}

bool parseSpot(const QString &text, qint64 *quarter)
{
    static const QRegularExpression form(QStringLiteral("^\\s*(?:ПК\\s*)?(-?\\d{1,9})\\s*([+-])\\s*(\\d{1,9}(?:\\.\\d+)?)\\s*$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return false;
    const qint64 picket = m.captured(1).toLongLong();
    const qint64 quarters = std::llround(m.captured(3).toDouble() * 4.0);
    *quarter = picket * quartersPerPicket + (m.captured(2) == QLatin1String("+") ? quarters : -quarters);
    return true;
}

} // namespace RunChunks
