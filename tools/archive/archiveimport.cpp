#include "archiveimport.h"

#include "archivedatabase.h"
#include "protocolreader.h"
#include "runchunks.h"
#include "runfile.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>

#include <algorithm>
#include <cmath>

namespace {

constexpr qint64 maxHeaderBytes = 256;

// The protocol's bytes, exactly those that are hashed and parsed. The first
// line is looked at before the rest is read, so that a large file of another
// kind is refused without taking it into memory.
bool readProtocol(const QString &path, QByteArray *bytes, QString *error)
{
    if (QFileInfo(path).isDir()) {
        *error = QStringLiteral("%1: это папка, а не протокол").arg(path);
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: не открыть: %2").arg(path, file.errorString());
        return false;
    }
    *bytes = file.readLine(maxHeaderBytes);
    if (bytes->endsWith('\n'))
        *bytes += file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("%1: не прочитать: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

QVariant textOrNull(const QString &text)
{
    return text.isNull() ? QVariant(QVariant::String) : QVariant(text);
}

// A text column the run file may leave out is empty, not NULL.
QString notNull(const QString &text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

bool findRun(ArchiveDatabase &archive, const QByteArray &sha, ImportResult *result, bool *found, QString *error)
{
    QSqlQuery q(archive.connection());
    q.setForwardOnly(true);
    if (!archive.exec(q,
                      QStringLiteral("SELECT id, line, track, run_time, utc_offset, row_count, date_source "
                                     "FROM archive_run WHERE sha256 = ?"),
                      { QString::fromLatin1(sha) }, error))
        return false;
    *found = q.next();
    if (*found) {
        result->imported = false;
        result->runId = q.value(0).toLongLong();
        result->line = q.value(1).toString();
        result->track = q.value(2).toString();
        result->date = QDateTime::fromMSecsSinceEpoch(q.value(3).toLongLong(), Qt::OffsetFromUTC, q.value(4).toInt());
        result->rows = q.value(5).toInt();
        const QString source = q.value(6).toString();
        for (auto s : { ImportResult::RunFileStart, ImportResult::GivenDate, ImportResult::FileTime })
            if (ArchiveImport::dateSourceKey(s) == source)
                result->dateSource = s;
    }
    q.finish();
    return true;
}

} // namespace

QString ArchiveImport::dateSourceKey(ImportResult::DateSource source)
{
    switch (source) {
    case ImportResult::RunFileStart:
        return QStringLiteral("started");
    case ImportResult::GivenDate:
        return QStringLiteral("given");
    case ImportResult::FileTime:
        break;
    }
    return QStringLiteral("file-time");
}

bool ArchiveImport::importRun(const QString &database, const QString &protocolPath, const ImportOptions &options,
                              ImportResult *result, QString *error)
{
    ArchiveLocation location;
    if (!ArchiveLocation::parse(database, &location, error))
        return false;
    ArchiveDatabase archive;
    return archive.open(location, ArchiveDatabase::CreateIfMissing, error)
           && importRun(archive, protocolPath, options, result, error);
}

bool ArchiveImport::importRun(ArchiveDatabase &archive, const QString &protocolPath, const ImportOptions &options,
                              ImportResult *result, QString *error)
{
    QByteArray bytes;
    if (!readProtocol(protocolPath, &bytes, error))
        return false;
    Protocol protocol;
    if (!ProtocolReader::parse(bytes, protocolPath, &protocol, error))
        return false;
    if (protocol.rows.empty()) {
        *error = QStringLiteral("%1:2: в протоколе нет ни одной строки измерений").arg(protocolPath);
        return false;
    }
    std::vector<RunChunks::Chunk> chunks;
    int badRow = 0, badChannel = 0;
    if (!RunChunks::pack(protocol.rows, &chunks, &badRow, &badChannel)) {
        *error = QStringLiteral("%1:%2: значение %3 мм (%4) не хранится точно: больше трёх знаков после точки "
                                "или слишком велико")
                     .arg(protocolPath)
                     .arg(badRow + 2)
                     .arg(protocol.rows[size_t(badRow)].value[badChannel], 0, 'g', 15)
                     .arg(channelName(Channel(badChannel)).toLower());
        return false;
    }
    const QByteArray sha = RunFile::sha256Hex(bytes);

    ImportResult r;
    RunInfo run;
    QByteArray runFileBytes;
    const QString runFilePath = RunFile::pathFor(protocolPath);
    if (QFileInfo::exists(runFilePath)) {
        QFile file(runFilePath);
        if (!file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("%1: не открыть: %2").arg(runFilePath, file.errorString());
            return false;
        }
        runFileBytes = file.readAll();
        QString reason;
        if (!RunFile::fromJson(runFileBytes, &run, &reason)) {
            *error = QStringLiteral("%1: %2").arg(runFilePath, reason);
            return false;
        }
        if (!run.sha256.isEmpty() && run.sha256 != sha) {
            *error = QStringLiteral("%1: файл прогона описывает другой протокол: sha256 не совпадает с %2")
                         .arg(runFilePath, QFileInfo(protocolPath).fileName());
            return false;
        }
        r.runFilePath = runFilePath;
    }
    const struct { QString fromRun; QString given; QString *out; const char *name; } places[] = {
        { run.line.trimmed(), options.line.trimmed(), &r.line, "линия" },
        { run.track.trimmed(), options.track.trimmed(), &r.track, "путь" },
    };
    for (const auto &p : places) {
        if (!p.fromRun.isEmpty() && !p.given.isEmpty() && p.fromRun != p.given) {
            *error = QStringLiteral("%1: в файле прогона %2 «%3», а задано «%4»; протокол не принят")
                         .arg(runFilePath, QString::fromUtf8(p.name), p.fromRun, p.given);
            return false;
        }
        *p.out = p.fromRun.isEmpty() ? p.given : p.fromRun;
    }
    if (r.line.isEmpty() || r.track.isEmpty()) {
        *error = QStringLiteral("%1: неизвестны линия и путь: %2; укажите --line и --track")
                     .arg(protocolPath, r.runFilePath.isEmpty()
                                            ? QStringLiteral("нет файла прогона %1").arg(QFileInfo(runFilePath).fileName())
                                            : QStringLiteral("в файле прогона их нет"));
        return false;
    }
    if (run.started.isValid()) {
        r.date = run.started;
        r.dateSource = ImportResult::RunFileStart;
    } else if (options.date.isValid()) {
        r.date = options.date;
        r.dateSource = ImportResult::GivenDate;
    } else {
        r.date = QFileInfo(protocolPath).lastModified();
        r.dateSource = ImportResult::FileTime;
    }
    r.rows = int(protocol.rows.size());
    r.imported = true;

    qint64 minQuarter = lineQuarter(protocol.rows.front()), maxQuarter = minQuarter;
    int forwardRows = 0;
    for (const ProtocolRow &row : protocol.rows) {
        const qint64 q = lineQuarter(row);
        minQuarter = std::min(minQuarter, q);
        maxQuarter = std::max(maxQuarter, q);
        forwardRows += row.forward ? 1 : 0;
    }

    if (!archive.begin(error))
        return false;
    auto fail = [&] {
        archive.rollback();
        return false;
    };
    bool found = false;
    if (!findRun(archive, sha, result, &found, error))
        return fail();
    if (found) {
        archive.rollback();
        return true;
    }
    QSqlQuery q(archive.connection());
    // Another process may import the same protocol at the same moment; the
    // unique digest lets exactly one of them in, and the other finds the run
    // there once the first has committed.
    if (!archive.exec(q,
                      QStringLiteral("INSERT INTO archive_run (sha256, line, track, run_time, utc_offset, "
                                     "date_source, operator, trolley, file_name, row_count, forward_rows, "
                                     "min_quarter, max_quarter, imported_at, run_file) "
                                     "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
                                     "ON CONFLICT (sha256) DO NOTHING"),
                      { QString::fromLatin1(sha), r.line, r.track, r.date.toMSecsSinceEpoch(), r.date.offsetFromUtc(),
                        dateSourceKey(r.dateSource), notNull(run.operatorName), notNull(run.trolley),
                        QFileInfo(protocolPath).fileName(), r.rows, forwardRows, minQuarter, maxQuarter,
                        QDateTime::currentMSecsSinceEpoch(),
                        textOrNull(runFileBytes.isNull() ? QString() : QString::fromUtf8(runFileBytes)) },
                      error))
        return fail();
    const bool inserted = q.numRowsAffected() == 1;
    q.finish();
    ImportResult stored;
    if (!findRun(archive, sha, inserted ? &stored : result, &found, error))
        return fail();
    if (!inserted || !found) {
        archive.rollback();
        if (!found)
            *error = archive.failure(QStringLiteral("запись о проезде не легла в архив"), QString());
        return found;
    }
    r.runId = stored.runId;
    bool ok = true;
    {
        ok = archive.prepare(q,
                             QStringLiteral("INSERT INTO archive_chunk (run_id, seq, block, first_quarter, step, "
                                            "row_count, data) VALUES (?, ?, ?, ?, ?, ?, ?)"),
                             error);
        for (size_t i = 0; ok && i < chunks.size(); ++i) {
            const RunChunks::Chunk &c = chunks[i];
            q.addBindValue(r.runId);
            q.addBindValue(c.seq);
            q.addBindValue(c.block);
            q.addBindValue(c.firstQuarter);
            q.addBindValue(c.step);
            q.addBindValue(c.count);
            q.addBindValue(c.data);
            ok = archive.runPrepared(q, error);
        }
    }
    if (ok && !run.marks.empty()) {
        ok = archive.prepare(q,
                             QStringLiteral("INSERT INTO archive_mark (run_id, seq, quarter, picket, forward, "
                                            "centimetres, kind, note, time_text) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                             error);
        for (size_t i = 0; ok && i < run.marks.size(); ++i) {
            const RunMark &m = run.marks[i];
            const qint64 quarters = std::llround(m.distance * 4.0);
            q.addBindValue(r.runId);
            q.addBindValue(int(i));
            q.addBindValue(qint64(m.picket) * RunChunks::quartersPerPicket + (m.forward ? quarters : -quarters));
            q.addBindValue(m.picket);
            q.addBindValue(m.forward ? 1 : 0);
            q.addBindValue(qint64(std::llround(m.distance * 100.0)));
            q.addBindValue(m.kind);
            q.addBindValue(notNull(m.note));
            q.addBindValue(textOrNull(m.time.isValid() ? RunFile::timeText(m.time) : QString()));
            ok = archive.runPrepared(q, error);
        }
    }
    q.finish();
    if (!ok)
        return fail();
    if (!archive.commit(error))
        return false;
    *result = r;
    return true;
}
