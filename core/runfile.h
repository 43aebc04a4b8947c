#ifndef RUNFILE_H
#define RUNFILE_H

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <vector>

// What the crew noted at a spot of the run: a ramp's ends, a joint, an
// insulator, an anchor, a defect, a free note, or a picket marked off its
// nominal spacing and confirmed by the operator.
struct RunMark
{
    qint32 picket = 0;
    bool forward = true;     // the run's direction at the mark
    double distance = 0.0;   // metres from the picket, to 0.01 m
    QString kind;            // one of RunFile::markKinds()
    QString note;
    QDateTime time;          // local time with its UTC offset
};

// Tolerance band of one axis as the window had it, mm.
struct RunTolerance
{
    double low = 0.0;
    double high = 0.0;
};

// Everything a protocol file cannot carry without changing its bytes: which
// line and track, who pushed which trolley, when, with which settings, and the
// marks. It is written as "<protocol>.json" beside every saved protocol and
// every recovered journal, and read by the report and the archive.
struct RunInfo
{
    int format = 1;
    QString programName;
    QString programVersion;
    QString line;
    QString track;
    QString operatorName;
    QString trolley;
    QDate calibrationValidUntil;   // null: not given
    qint32 startPicket = 0;
    bool forward = true;
    QDateTime started;
    QDateTime stopped;
    double stepLength = 0.00075;
    bool tolerancesKnown = false;
    RunTolerance vertical;
    RunTolerance horizontal;
    int rows = 0;
    QByteArray sha256;             // lower-case hex digest of the protocol's bytes
    std::vector<RunMark> marks;

    // True when the calibration had run out before the day the run started.
    bool calibrationExpired() const;
};

namespace RunFile {

// The run file of a protocol: "night.csv" gives "night.json"; a name without
// a suffix gets ".json" added.
QString pathFor(const QString &protocolPath);
// Another file of the protocol the same way: ("night.csv", ".pdf") gives "night.pdf".
QString besideProtocol(const QString &protocolPath, const QString &suffix);

// UTF-8 JSON, indented, with every field of the format; unknown to none.
QByteArray toJson(const RunInfo &info);

// Reads what toJson writes. Fields it does not know are ignored, so that later
// versions may add more; a field of the wrong type, a format below 1 or bytes
// that are not a JSON object are refused with a reason.
bool fromJson(const QByteArray &bytes, RunInfo *info, QString *error);
// The same from a file; the reason names the file.
bool read(const QString &path, RunInfo *info, QString *error);

// Lower-case hex SHA-256 of the bytes.
QByteArray sha256Hex(const QByteArray &bytes);

// The kinds a mark may have, in the order the window offers them
// ("irregularPicket" last: the window makes it, not the operator's choice).
const QStringList &markKinds();
bool isMarkKind(const QString &kind);
// The kind as the crew says it: "начало отвода", "стык", ...; the kind
// itself for one this version does not know.
QString markKindText(const QString &kind);

// "2026-12-08T01:02:03+03:00": ISO 8601 with the offset from UTC.
QString timeText(const QDateTime &time);

} // namespace RunFile

#endif // RUNFILE_H
