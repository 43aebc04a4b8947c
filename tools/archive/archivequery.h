#ifndef ARCHIVEQUERY_H
#define ARCHIVEQUERY_H

#include "protocol.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <vector>

class ArchiveDatabase;
struct TrendInput;

// One archived run as the lists show it.
struct ArchivedRun
{
    qint64 id = 0;
    QString line;
    QString track;
    QDateTime date;       // in the crew's offset from UTC at the time
    QString dateSource;   // ArchiveImport::dateSourceKey()
    QString operatorName;
    QString trolley;
    QString fileName;
    int rows = 0;
    int forwardRows = 0;
    qint64 minQuarter = 0;  // line positions covered, in quarter metres
    qint64 maxQuarter = 0;
};

// What one run read at one spot.
struct SpotReading
{
    ArchivedRun run;
    bool forward = true;
    qint32 value[channelCount] = { 0, 0 };  // thousandths of a mm, or RunChunks::noReading
    QStringList marks;                       // the run's marks within 0.5 m of the spot
};

// Reads the archive. Runs are matched by line and track exactly as they were
// imported; spots by line position (picket * 100 +/- distance, to the quarter
// metre), so runs in both directions line up. Where a run holds a position
// twice, its first row in the file counts, as when the report compares runs.
namespace ArchiveQuery {

// Every run, or those of a line and/or track, by line, track and date.
bool runs(ArchiveDatabase &archive, const QString &line, const QString &track, std::vector<ArchivedRun> *out,
          QString *error);

// Every run of the track that passed the spot, oldest first.
bool history(ArchiveDatabase &archive, const QString &line, const QString &track, qint64 quarter,
             std::vector<SpotReading> *out, QString *error);

// All readings of the track's runs from one day to another (the days of the
// runs' own local dates, both included; a null date leaves that end open).
bool trackReadings(ArchiveDatabase &archive, const QString &line, const QString &track, const QDate &from,
                   const QDate &to, TrendInput *out, QString *error);

// For people: where the run's date came from, the pickets it covered
// ("ПК 12 … ПК 15") and its date as the crew had it.
QString dateSourceText(const QString &key);
QString coverageText(const ArchivedRun &run);
QString dateText(const QDateTime &date);

} // namespace ArchiveQuery

#endif // ARCHIVEQUERY_H
