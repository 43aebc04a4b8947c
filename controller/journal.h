#ifndef JOURNAL_H
#define JOURNAL_H

#include "journalsyncer.h"
#include "runfile.h"

#include <QFile>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <vector>

class QIODevice;

// One kept measurement of a recorded run.
struct JournalEntry
{
    qint32 picket = 0;
    bool direction = true;  // true: picket numbers grow along the run
    float length = 0.0f;    // metres from the picket, a multiple of 0.25
    float v = 0.0f;         // vertical offset, mm; not a finite number: no reading
    float h = 0.0f;         // horizontal offset, mm; not a finite number: no reading
};

// The distance kept in the journal: the nearest multiple of a quarter metre,
// halves away from zero (12.375 is kept as 12.5, -0.125 as -0.25).
float roundToQuarterMetre(float length);

// One CSV row without its line end, e.g. "12+;1234.50;5.250;-12.500;". Always
// a "." decimal point, whatever the locale. An offset that is not a finite
// number is an empty field ("12+;1.25;;-12.500;"): the sensor had no reading.
QString formatJournalRow(const JournalEntry &entry);

// The writers return false when the device did not take every byte (or the
// Windows-1251 codec is missing, for the header).
bool writeJournalHeader(QIODevice *device);
bool writeJournalRow(QIODevice *device, const JournalEntry &entry);

// Header and every row, in order.
bool writeJournal(QIODevice *device, const std::vector<JournalEntry> &entries);

// The local path of a file URL as the save dialog gives it ("file:///C:/x.csv"
// gives "C:/x.csv", "file:///tmp/a%20b.csv" gives "/tmp/a b.csv"); empty for
// anything that is not a local file URL.
QString journalPathFromUrl(const QString &urlName);

// The measurements kept since the last saved protocol, in memory and, from the
// first one on, in the file "tervalo-journal.csv" in the protocol's own format:
// each row reaches the operating system before keep() returns and the disk
// within half a second (a thread of its own syncs it, so the window never
// waits for the disk), so neither a crash nor a killed process loses a kept
// row. The run's header and marks are kept the same way beside it, in
// "tervalo-journal.json" (the run file's format). A file left by a run that
// did not end in order is moved aside at start as
// "tervalo-unsaved-<date>-<time>.csv" with its ".json"; an end in order with
// unsaved rows does the same, so there is one way back to them. When the
// working folder cannot hold the file, or a write fails there (a full disk),
// the whole journal goes at once to the user's own application data folder;
// when its file vanishes (removed, renamed, replaced, its folder gone), it is
// written anew, in place when the folder is there. When no folder takes it,
// the rows stay in memory and are tried on disk again every few seconds.
// The controller owns the journal; the rows are saved as a protocol through it.
class Journal : public QObject
{
    Q_OBJECT

public:
    static const QString fileName;

    // Recovers what an earlier run left in the working folder or the user's
    // folder, then starts the file of this run. Logs through the run log, which
    // must exist already.
    explicit Journal(QObject *parent = nullptr);
    ~Journal() override;

    // Keeps a measurement unless it repeats the last row kept in this
    // recording: the same picket, direction and rounded length. True when kept.
    bool keep(int picket, bool direction, float length, float v, float h);

    // A recording starts: the repeat rule starts afresh and the run's header
    // takes these fields. The start time is the first start of a journal that
    // holds no rows yet; rows appended to unsaved ones keep theirs.
    void startRecording(const RunInfo &header);
    // A recording stopped: its time is noted and the journal goes to the disk
    // now; waits for that.
    void stopRecording();
    // A mark of the run, kept like a row; its time is set here. The index
    // among this journal's marks, or -1 for a kind the run file does not know.
    int addMark(RunMark mark);
    bool setMarkNote(int index, const QString &note);

    // Writes the rows as a protocol to the file the URL names, and the run
    // file beside it. True only when the protocol was written whole; then the
    // rows and marks are forgotten and the journal's files removed. On a
    // failure everything stays and the run log says why. A run file that
    // cannot be written does not fail the save.
    bool save(const QString &urlName);

    // Pushes the file to the disk now and waits for it, and tries again to
    // write it whole when an earlier write failed or the file vanished.
    void sync();

    // The end of the program: unsaved rows are moved aside as a recovery file,
    // an empty journal file is removed. Returns the recovery file (native
    // separators), empty when there was nothing to keep or no file could take
    // every row.
    QString finish();

    const std::vector<JournalEntry> &entries() const { return m_entries; }
    // The run's header, times and marks; rows and digest are filled in only
    // in the files written from it.
    const RunInfo &run() const { return m_run; }
    // Where every unsaved row is on disk (native separators); empty when the
    // rows are only in memory.
    QString filePath() const;
    // Where the unsaved rows are, as filePath() and error() tell it: "ok" in
    // the working folder (or no file yet since the last save), "moved" in the
    // user's folder, "rewritten" in the working folder again after their file
    // vanished, "memory" only in memory.
    QString state() const;
    // Empty while the journal is where it belongs. Otherwise why it is not in
    // the working folder (filePath() then names the user's folder) or not on
    // disk at all (filePath() empty; it stays set as long as the rows are only
    // in memory), or that its file vanished and was written anew (filePath()
    // in the working folder). Cleared by a save, until the next row tells anew.
    QString error() const { return m_error; }
    // The recovery files made at start, with native separators.
    QStringList recovered() const { return m_recovered; }
    // The run file of the last successful save (native separators), or empty
    // and why not.
    QString lastRunFile() const { return m_lastRunFile; }
    QString lastRunFileError() const { return m_lastRunFileError; }

    // The per-user folder that takes the journal when the working folder cannot.
    static QString fallbackFolder();

private:
    QStringList folders() const;
    bool inWorkingFolder(const QString &path) const;
    void takeUnfinishedRewrite(const QString &path);
    QString recover(const QString &path, const RunInfo *known = nullptr, bool whole = true);
    bool writeWhole(const QString &failedFolder = QString(), const QString &failedReason = QString());
    bool writeWholeIn(const QString &folder, const QString &previous, const QByteArray &bytes, QString *reason);
    void writeSidecar();
    RunInfo runForFile(const QByteArray &protocol) const;
    void writeRunFile(const QString &protocolPath, const QByteArray &protocol);
    void append(const JournalEntry &entry);
    void closeFile();
    void onFileLost(int generation);
    void onSyncFailed(const QString &path);

    std::vector<JournalEntry> m_entries;
    RunInfo m_run;
    // The last row kept in this recording, for the repeat rule.
    bool m_hasLastKept = false;
    JournalEntry m_lastKept;
    QString m_workingFolder;
    // The journal file of this run, also while it holds only part of the rows
    // (a write failed); empty after a save and when none could be made.
    QString m_path;
    QFile m_file;            // open for appending while the file holds every row
    qint64 m_fileSize = 0;   // bytes of the header and of every whole row
    int m_generation = 0;    // of the file the syncer follows
    bool m_broken = false;   // a write failed: later rows are only in memory
    QString m_error;
    QStringList m_recovered;
    QString m_lastRunFile;
    QString m_lastRunFileError;
    QTimer m_retryTimer;
    bool m_finished = false;
    // Last: its thread ends before anything it reports to goes.
    JournalSyncer m_syncer;
};

#endif // JOURNAL_H
