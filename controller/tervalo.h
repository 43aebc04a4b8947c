#ifndef TERVALO_H
#define TERVALO_H

#include "journal.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <vector>

class IniSettings;
class MeasSystem;
class MeasSystemsFinder;
class RunServices;

// The one object through which the window reaches the native side, published
// to QML as "mcRoutine". It owns the settings store, device discovery, the run
// log, the measuring systems found and the journal of kept measurements; it
// keeps the latest values of the device's records for the window to poll.
// When the trolley is lost it has discovery watch for it and adopts it again
// when it answers; the journal and the window's run are not touched by that.
// Reports and archive imports of saved protocols run on threads of their own,
// each told back on the GUI thread by a signal.
class Tervalo : public QObject
{
    Q_OBJECT

public:
    explicit Tervalo(QObject *parent = nullptr);
    ~Tervalo() override;

    void start();

    // Read by the window's poll; they never change anything but measKeeped's flag.
    Q_INVOKABLE double currentV() const { return m_currentV; }
    Q_INVOKABLE double currentH() const { return m_currentH; }
    Q_INVOKABLE int currentS() const { return m_currentS; }
    Q_INVOKABLE bool dataReceived() const { return m_dataReceived; }
    Q_INVOKABLE bool measKeeped();
    Q_INVOKABLE bool workV() const { return m_workV; }
    Q_INVOKABLE bool workH() const { return m_workH; }

    // The link as the operator must see it: "searching" until the trolley has
    // sent its first values, "live" while values come (one within the last
    // liveMs), "lost" when they stopped: the device gone, or silent.
    Q_INVOKABLE QString linkState() const;
    // Goes up each time the trolley is adopted again after a loss, or its
    // counter started over: what the window shows may no longer be where the
    // trolley stands. currentS() carries on from its last value across such a
    // break, so that no distance jumps.
    Q_INVOKABLE int reconnections() const { return m_reconnections; }

    static constexpr int liveMs = 1000;

    // The journal as the window shows it; read after the calls that change it.
    Q_INVOKABLE int unsavedCount() const;
    // Where the unsaved rows are on disk (native separators); empty while they
    // are only in memory.
    Q_INVOKABLE QString journalFile() const;
    // Empty while the journal is where it belongs. Otherwise why it is not in
    // the working folder (journalFile() names the user's folder then), or not
    // on disk at all (journalFile() empty; stays so while the rows are only in
    // memory), or that its file vanished and was written anew in place.
    // Cleared by a save until the next row tells anew.
    Q_INVOKABLE QString journalError() const;
    // The same in one word for the window's poll: "ok", "moved" (in the user's
    // folder), "rewritten" (its file vanished and was written anew in place)
    // or "memory" (on no disk at all).
    Q_INVOKABLE QString journalState() const;
    // Files into which this start moved journals an earlier run left unsaved.
    Q_INVOKABLE QStringList recoveredFiles() const;
    // Whether saving to this URL would replace a file (or meet a folder).
    Q_INVOKABLE bool protocolExists(const QString &urlName) const;
    // The run file written beside the protocol by the last successful save
    // (native separators), or empty and why not.
    Q_INVOKABLE QString lastRunFile() const;
    Q_INVOKABLE QString lastRunFileError() const;

    // A recording starts, before its first row: the repeat rule starts afresh
    // and the run's header takes the keys given (line, track, operator,
    // trolley, calibrationValidUntil "yyyy-MM-dd", startPicket, direction,
    // stepLength, vertical and horizontal as [low, high]); a key left out
    // keeps its default.
    Q_INVOKABLE void recordingStarted(const QVariantMap &run);
    // A mark at the given place, timed now and kept like a row; its index in
    // this journal, or -1 for a kind the run file does not know.
    Q_INVOKABLE int addMark(int picket, bool direction, double distance, const QString &kind, const QString &note);
    Q_INVOKABLE bool setMarkNote(int index, const QString &note);

    // Ends the journal for the end of the program (the destructor does it too);
    // returns the recovery file that holds unsaved rows, if any.
    QString finishJournal();

    // Reports and the archive are made by services the program's entry gives
    // (their libraries build on this one). Without them makeReport() refuses
    // and no run goes to the archive.
    void setRunServices(std::unique_ptr<RunServices> services);

    // Starts the PDF report "<protocol>.pdf" beside the saved protocol the URL
    // names, with its run file, on a thread of its own; the window's
    // tolerances as { vertical: [low, high], horizontal: [low, high] } in mm
    // (one left out: the report's default). False, and no reportFinished(),
    // when a report is being made already or the URL names no local file.
    Q_INVOKABLE bool makeReport(const QString &urlName, const QVariantMap &limits);
    // Opens a file with the system's viewer.
    Q_INVOKABLE bool openFile(const QString &path);
    // On (the default): every save of at least one row puts the protocol and
    // its run file into the local archive (TERVALO_ARCHIVE or the user's
    // archive file) on a thread of its own, one save after the other, and
    // archiveFinished() tells each outcome. The protocol is only read.
    Q_INVOKABLE void setArchiveEnabled(bool on);
    // An import runs or waits.
    Q_INVOKABLE bool archiveBusy() const;

    // The end of the program: waits up to ms for the report being made and
    // the imports asked for, and only logs how they ended. False when one
    // still ran then: it is left to the end of the process, which cannot
    // spoil anything, since a report and an import are written whole or not
    // at all.
    bool finishServices(int ms = servicesEndMs);
    static constexpr int servicesEndMs = 30000;

    const std::vector<JournalEntry> &journalEntries() const;
    MeasSystemsFinder *measSystemsFinder() const { return finder; }
    MeasSystem *activeMeasSystem() const { return measSystem; }

signals:
    // On the GUI thread. pdfPath with native separators; error empty when ok,
    // else a whole sentence in Russian for the window's message row.
    void reportFinished(bool ok, const QString &pdfPath, const QString &error);
    // ok: "Прогон добавлен в архив <where>" or "Прогон уже есть в архиве
    // <where>"; otherwise "Прогон не добавлен в архив: <why>".
    void archiveFinished(bool ok, const QString &message);

public slots:
    // True only when the file was written whole and the journal emptied; on any
    // failure the journal stays in memory and the run log says why.
    bool saveProtocol(QString urlName);
    // An offset that is not a finite number is kept as "no reading"; so is an
    // axis whose sensor had no reading at any moment of the last 200 ms, or
    // from which no record has come at all.
    void saveMeasure(int picket, bool direction, float length, float v, float h);
    // The window stopped a recording: its time is noted and the journal goes
    // to the disk at once.
    void recordingStopped();

private slots:
    void onFinderReady();
    void onCurrentMeas(std::vector<QVariant> record);
    void onFound(MeasSystem *system);
    void onLinkLost();
    void onCounterRestarted();

private:
    friend class TestTervalo;
    struct Job;

    void adopt(MeasSystem *system);
    bool readingFresh(bool working, bool missed, qint64 lastMissMs) const;
    void startJob(const std::shared_ptr<Job> &job);
    void reportEnded();
    void startImport();
    void importEnded();

    IniSettings *settingsStore = nullptr;
    MeasSystemsFinder *finder = nullptr;
    MeasSystem *measSystem = nullptr;
    Journal *journal = nullptr;
    // Milliseconds on a clock that only runs forward; tests set their own.
    std::function<qint64()> m_clock;
    qint64 m_lastNoReadingV = 0;   // valid once the vertical sensor missed a reading
    qint64 m_lastNoReadingH = 0;
    bool m_missedV = false;
    bool m_missedH = false;
    double m_currentV = 0.0;
    double m_currentH = 0.0;
    int m_currentS = 0;
    bool m_dataReceived = false;
    bool m_measKeeped = false;
    bool m_workV = false;
    bool m_workH = false;

    // The link to the trolley across losses.
    QElapsedTimer m_lastRecord;
    QString m_lostPort;
    int m_reconnections = 0;
    bool m_everLive = false;       // a record has come since start
    bool m_startSearchOver = false;
    bool m_counterBreak = false;
    quint32 m_counterOffset = 0;

    // Shared with the threads that run them, which may outlive this object
    // when the end of the program gives them up.
    std::shared_ptr<RunServices> m_services;
    std::shared_ptr<Job> m_report;   // the report being made
    std::shared_ptr<Job> m_import;   // the import running
    QStringList m_imports;           // protocols saved since, waiting for it
    bool m_archiveEnabled = true;
};

#endif // TERVALO_H
