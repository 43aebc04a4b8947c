#include "archivequery.h"

#include "archivedatabase.h"
#include "runchunks.h"
#include "runfile.h"
#include "trend.h"

#include <QHash>
#include <QSqlQuery>
#include <QTimeZone>

namespace {

// The run's columns, first in every query that lists runs.
const QString runColumns = QStringLiteral(
    "r.id, r.line, r.track, r.run_time, r.utc_offset, r.date_source, r.operator, r.trolley, r.file_name, "
    "r.row_count, r.forward_rows, r.min_quarter, r.max_quarter");
constexpr int runColumnCount = 13;

ArchivedRun runFrom(const QSqlQuery &q)
{
    ArchivedRun r;
    r.id = q.value(0).toLongLong();
    r.line = q.value(1).toString();
    r.track = q.value(2).toString();
    r.date = QDateTime::fromMSecsSinceEpoch(q.value(3).toLongLong(), Qt::OffsetFromUTC, q.value(4).toInt());
    r.dateSource = q.value(5).toString();
    r.operatorName = q.value(6).toString();
    r.trolley = q.value(7).toString();
    r.fileName = q.value(8).toString();
    r.rows = q.value(9).toInt();
    r.forwardRows = q.value(10).toInt();
    r.minQuarter = q.value(11).toLongLong();
    r.maxQuarter = q.value(12).toLongLong();
    return r;
}

// The chunk's columns at `first`; false for one that contradicts itself.
bool chunkFrom(const QSqlQuery &q, int first, RunChunks::Chunk *c)
{
    c->seq = q.value(first).toInt();
    c->block = q.value(first + 1).toLongLong();
    c->firstQuarter = q.value(first + 2).toLongLong();
    c->step = q.value(first + 3).toInt();
    c->count = q.value(first + 4).toInt();
    c->data = q.value(first + 5).toByteArray();
    return c->consistent();
}
const QString chunkColumns = QStringLiteral("c.seq, c.block, c.first_quarter, c.step, c.row_count, c.data");

QString damaged(ArchiveDatabase &archive, qint64 run)
{
    return archive.failure(QStringLiteral("архив повреждён: строки проезда %1 не читаются").arg(run), QString());
}

qint64 localDayStart(const QDate &day)
{
    return QDateTime(day, QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
}

} // namespace

namespace ArchiveQuery {

bool runs(ArchiveDatabase &archive, const QString &line, const QString &track, std::vector<ArchivedRun> *out,
          QString *error)
{
    QString sql = QStringLiteral("SELECT ") + runColumns + QStringLiteral(" FROM archive_run r WHERE 1 = 1");
    QVariantList values;
    if (!line.isEmpty()) {
        sql += QStringLiteral(" AND r.line = ?");
        values << line;
    }
    if (!track.isEmpty()) {
        sql += QStringLiteral(" AND r.track = ?");
        values << track;
    }
    sql += QStringLiteral(" ORDER BY r.line, r.track, r.run_time, r.id");
    QSqlQuery q(archive.connection());
    q.setForwardOnly(true);
    if (!archive.exec(q, sql, values, error))
        return false;
    out->clear();
    while (q.next())
        out->push_back(runFrom(q));
    return true;
}

bool history(ArchiveDatabase &archive, const QString &line, const QString &track, qint64 quarter,
             std::vector<SpotReading> *out, QString *error)
{
    out->clear();
    QSqlQuery q(archive.connection());
    q.setForwardOnly(true);
    if (!archive.exec(q,
                      QStringLiteral("SELECT ") + runColumns + QStringLiteral(", ") + chunkColumns
                          + QStringLiteral(" FROM archive_run r JOIN archive_chunk c ON c.run_id = r.id "
                                           "WHERE r.line = ? AND r.track = ? AND c.block = ? "
                                           "ORDER BY r.run_time, r.id, c.seq"),
                      { line, track, RunChunks::blockOf(quarter) }, error))
        return false;
    QHash<qint64, int> where;  // run id -> entry
    while (q.next()) {
        const qint64 id = q.value(0).toLongLong();
        if (where.contains(id))
            continue;  // the run's first row at the spot is taken already
        RunChunks::Chunk c;
        if (!chunkFrom(q, runColumnCount, &c)) {
            *error = damaged(archive, id);
            return false;
        }
        const qint64 i = (quarter - c.firstQuarter) * c.step;
        if (i < 0 || i >= c.count)
            continue;
        SpotReading s;
        s.run = runFrom(q);
        s.forward = c.step > 0;
        for (int ch = 0; ch < channelCount; ++ch)
            s.value[ch] = c.value(int(i), ch);
        where.insert(id, int(out->size()));
        out->push_back(s);
    }
    q.finish();
    if (out->empty())
        return true;

    if (!archive.exec(q,
                      QStringLiteral("SELECT m.run_id, m.kind, m.note, m.picket, m.forward, m.centimetres "
                                     "FROM archive_mark m JOIN archive_run r ON r.id = m.run_id "
                                     "WHERE r.line = ? AND r.track = ? AND m.quarter BETWEEN ? AND ? "
                                     "ORDER BY m.run_id, m.seq"),
                      { line, track, quarter - Trend::flagWindowQuarters, quarter + Trend::flagWindowQuarters },
                      error))
        return false;
    while (q.next()) {
        const auto it = where.constFind(q.value(0).toLongLong());
        if (it == where.constEnd())
            continue;
        ProtocolRow at;
        at.picket = q.value(3).toInt();
        at.forward = q.value(4).toInt() != 0;
        QString text = RunFile::markKindText(q.value(1).toString());
        const QString note = q.value(2).toString();
        if (!note.isEmpty())
            text += QStringLiteral(" «") + note + QStringLiteral("»");
        text += QStringLiteral(" (ПК %1 %2 %3)")
                    .arg(at.picket)
                    .arg(at.forward ? QLatin1Char('+') : QLatin1Char('-'))
                    .arg(q.value(5).toLongLong() / 100.0, 0, 'f', 2);
        (*out)[size_t(it.value())].marks << text;
    }
    return true;
}

bool trackReadings(ArchiveDatabase &archive, const QString &line, const QString &track, const QDate &from,
                   const QDate &to, TrendInput *out, QString *error)
{
    // Dates are the crew's own: a run at 00:30 local time belongs to that day
    // wherever the archive is read.
    QString range;
    QVariantList values { line, track };
    if (from.isValid()) {
        range += QStringLiteral(" AND r.run_time + r.utc_offset * 1000 >= ?");
        values << localDayStart(from);
    }
    if (to.isValid()) {
        range += QStringLiteral(" AND r.run_time + r.utc_offset * 1000 < ?");
        values << localDayStart(to.addDays(1));
    }
    *out = TrendInput();
    QSqlQuery q(archive.connection());
    q.setForwardOnly(true);
    if (!archive.exec(q,
                      QStringLiteral("SELECT ") + runColumns
                          + QStringLiteral(" FROM archive_run r WHERE r.line = ? AND r.track = ?") + range
                          + QStringLiteral(" ORDER BY r.run_time, r.id"),
                      values, error))
        return false;
    QHash<qint64, int> index;
    while (q.next()) {
        index.insert(q.value(0).toLongLong(), int(out->runs.size()));
        out->runs.push_back(runFrom(q));
    }
    q.finish();
    if (out->runs.empty())
        return true;
    // Chunks in file order within each run, so that the first row at a
    // position is the one kept.
    if (!archive.exec(q,
                      QStringLiteral("SELECT r.id, ") + chunkColumns
                          + QStringLiteral(" FROM archive_run r JOIN archive_chunk c ON c.run_id = r.id "
                                           "WHERE r.line = ? AND r.track = ?")
                          + range + QStringLiteral(" ORDER BY c.run_id, c.seq"),
                      values, error))
        return false;
    while (q.next()) {
        const qint64 id = q.value(0).toLongLong();
        RunChunks::Chunk c;
        const auto it = index.constFind(id);
        if (it == index.constEnd())
            continue;  // a run imported since the list was read
        if (!chunkFrom(q, 1, &c)) {
            *error = damaged(archive, id);
            return false;
        }
        out->add(it.value(), c);
    }
    return true;
}

QString dateSourceText(const QString &key)
{
    if (key == QLatin1String("started"))
        return QStringLiteral("файл прогона");
    if (key == QLatin1String("given"))
        return QStringLiteral("--date");
    return QStringLiteral("время файла");
}

QString coverageText(const ArchivedRun &run)
{
    const qint64 first = RunChunks::floorDiv(run.minQuarter, RunChunks::quartersPerPicket);
    const qint64 last = RunChunks::floorDiv(run.maxQuarter, RunChunks::quartersPerPicket);
    return first == last ? QStringLiteral("ПК %1").arg(first) : QStringLiteral("ПК %1 … ПК %2").arg(first).arg(last);
}

QString dateText(const QDateTime &date)
{
    return date.toString(QStringLiteral("dd.MM.yyyy HH:mm"));
}

} // namespace ArchiveQuery
