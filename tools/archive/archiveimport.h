#ifndef ARCHIVEIMPORT_H
#define ARCHIVEIMPORT_H

#include <QDateTime>
#include <QString>

class ArchiveDatabase;

// What the protocol and its run file do not say.
struct ImportOptions
{
    // Taken when the run file names none (or there is no run file); a run
    // file that names another line or track refuses the protocol.
    QString line;
    QString track;
    // The run's date when the run file has no start time; invalid: the
    // protocol file's modification time.
    QDateTime date;
};

struct ImportResult
{
    enum DateSource { RunFileStart, GivenDate, FileTime };

    // false: a run with the same protocol bytes (SHA-256) was in the archive
    // already; nothing was written and the fields describe that run.
    bool imported = false;
    qint64 runId = 0;
    QString line;
    QString track;
    QDateTime date;
    DateSource dateSource = RunFileStart;
    int rows = 0;
    QString runFilePath;  // empty: the protocol had no run file
};

// Puts saved protocols into the archive, each in one transaction: the whole
// run or nothing. The protocol is read and checked in full before the archive
// is touched, so a bad file costs the archive nothing.
class ArchiveImport
{
public:
    // For the window after a save, on any thread: opens a connection of its
    // own in the calling thread (creating the archive if there is none) and
    // removes it before returning. database as ArchiveLocation::parse takes
    // it; "" is TERVALO_ARCHIVE or the user's own archive file. false and
    // "file:line: reason" (or "place: reason") on any fault; a duplicate is
    // not a fault.
    static bool importRun(const QString &database, const QString &protocolPath, const ImportOptions &options,
                          ImportResult *result, QString *error);
    // The same over an open archive, for many files in one go.
    static bool importRun(ArchiveDatabase &archive, const QString &protocolPath, const ImportOptions &options,
                          ImportResult *result, QString *error);

    static QString dateSourceKey(ImportResult::DateSource source);
};

#endif // ARCHIVEIMPORT_H
