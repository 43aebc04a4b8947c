#ifndef STANDINCONTROLLER_H
#define STANDINCONTROLLER_H

#include <QDir>
#include <QFile>
#include <QObject>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

// Serves the window the values a test scripts, in place of the device
// controller, and records what the window asks and hands over.
class StandInController : public QObject
{
    Q_OBJECT
    Q_PROPERTY(double v MEMBER m_v)
    Q_PROPERTY(double h MEMBER m_h)
    Q_PROPERTY(int s MEMBER m_s)
    Q_PROPERTY(bool data MEMBER m_data)
    Q_PROPERTY(bool kept MEMBER m_kept)
    Q_PROPERTY(bool workVValue MEMBER m_workV)
    Q_PROPERTY(bool workHValue MEMBER m_workH)
    Q_PROPERTY(bool saveResult MEMBER m_saveResult)
    Q_PROPERTY(QString link MEMBER m_link)
    Q_PROPERTY(int reconnectionCount MEMBER m_reconnections)
    Q_PROPERTY(QStringList calls MEMBER m_calls)
    Q_PROPERTY(QVariantList measures MEMBER m_measures)
    Q_PROPERTY(QStringList protocols MEMBER m_protocols)
    Q_PROPERTY(int unsaved MEMBER m_unsaved)
    Q_PROPERTY(QString journalFileValue MEMBER m_journalFile)
    Q_PROPERTY(QString journalErrorValue MEMBER m_journalError)
    Q_PROPERTY(QStringList recovered MEMBER m_recovered)
    Q_PROPERTY(QStringList existing MEMBER m_existing)
    Q_PROPERTY(int stops MEMBER m_stops)
    Q_PROPERTY(QVariantList runs MEMBER m_runs)
    Q_PROPERTY(QVariantList marks MEMBER m_marks)
    Q_PROPERTY(QString lastRunFileValue MEMBER m_lastRunFile)
    Q_PROPERTY(QString lastRunFileErrorValue MEMBER m_lastRunFileError)
    Q_PROPERTY(QString journalStateValue MEMBER m_journalState)
    Q_PROPERTY(QVariantList reports MEMBER m_reports)
    Q_PROPERTY(bool reportResult MEMBER m_reportResult)
    Q_PROPERTY(QStringList opened MEMBER m_opened)
    Q_PROPERTY(QVariantList archiveSwitches MEMBER m_archiveSwitches)
    Q_PROPERTY(bool archiveBusyValue MEMBER m_archiveBusy)

public:
    using QObject::QObject;

    Q_INVOKABLE double currentV() { m_calls << QStringLiteral("currentV"); return m_v; }
    Q_INVOKABLE double currentH() { m_calls << QStringLiteral("currentH"); return m_h; }
    Q_INVOKABLE int currentS() { m_calls << QStringLiteral("currentS"); return m_s; }
    Q_INVOKABLE bool dataReceived() { m_calls << QStringLiteral("dataReceived"); return m_data; }
    Q_INVOKABLE bool measKeeped()
    {
        m_calls << QStringLiteral("measKeeped");
        const bool kept = m_kept;
        m_kept = false;
        return kept;
    }
    Q_INVOKABLE bool workV() { m_calls << QStringLiteral("workV"); return m_workV; }
    Q_INVOKABLE bool workH() { m_calls << QStringLiteral("workH"); return m_workH; }
    Q_INVOKABLE QString linkState() const { m_calls << QStringLiteral("linkState"); return m_link; }
    Q_INVOKABLE int reconnections() const { m_calls << QStringLiteral("reconnections"); return m_reconnections; }

    // Not recorded in calls: the window reads them after its own actions, and
    // the poll-order test must see only the poll.
    Q_INVOKABLE int unsavedCount() const { return m_unsaved; }
    Q_INVOKABLE QString journalFile() const { return m_journalFile; }
    Q_INVOKABLE QString journalError() const { return m_journalError; }
    Q_INVOKABLE QStringList recoveredFiles() const { return m_recovered; }
    Q_INVOKABLE bool protocolExists(const QString &urlName) const { return m_existing.contains(urlName); }
    Q_INVOKABLE QString lastRunFile() const { return m_lastRunFile; }
    Q_INVOKABLE QString lastRunFileError() const { return m_lastRunFileError; }
    Q_INVOKABLE QString journalState() const { return m_journalState; }

    // Reports and the archive: the window's asks are kept; a test answers
    // through the signals when it likes.
    Q_INVOKABLE bool makeReport(const QString &urlName, const QVariantMap &limits)
    {
        m_reports << QVariantMap{ { QStringLiteral("url"), urlName }, { QStringLiteral("limits"), limits } };
        return m_reportResult;
    }
    Q_INVOKABLE bool openFile(const QString &path) { m_opened << path; return true; }
    Q_INVOKABLE void setArchiveEnabled(bool on) { m_archiveSwitches << on; }
    Q_INVOKABLE bool archiveBusy() const { return m_archiveBusy; }

    // The run's header and marks as the window hands them over.
    Q_INVOKABLE void recordingStarted(const QVariantMap &run) { m_runs << run; }
    Q_INVOKABLE int addMark(int picket, bool direction, double distance, const QString &kind, const QString &note)
    {
        m_marks << QVariantMap { { QStringLiteral("picket"), picket }, { QStringLiteral("direction"), direction },
                                 { QStringLiteral("distance"), distance }, { QStringLiteral("kind"), kind },
                                 { QStringLiteral("note"), note } };
        return m_marks.size() - 1;
    }
    Q_INVOKABLE bool setMarkNote(int index, const QString &note)
    {
        if (index < 0 || index >= m_marks.size())
            return false;
        QVariantMap mark = m_marks[index].toMap();
        mark[QStringLiteral("note")] = note;
        m_marks[index] = mark;
        return true;
    }

    Q_INVOKABLE void reset()
    {
        m_v = m_h = 0.0;
        m_s = 0;
        m_data = m_kept = m_workV = m_workH = false;
        m_saveResult = true;
        m_link = QStringLiteral("live");
        m_reconnections = 0;
        m_calls.clear();
        m_measures.clear();
        m_protocols.clear();
        m_unsaved = 0;
        m_journalFile.clear();
        m_journalError.clear();
        m_recovered.clear();
        m_existing.clear();
        m_stops = 0;
        m_runs.clear();
        m_marks.clear();
        m_lastRunFile.clear();
        m_lastRunFileError.clear();
        m_journalState = QStringLiteral("ok");
        m_reports.clear();
        m_reportResult = true;
        m_opened.clear();
        m_archiveSwitches.clear();
        m_archiveBusy = false;
    }

    // Files in the working folder, for the window's settings file.
    Q_INVOKABLE bool writeFile(const QString &name, const QString &text)
    {
        QFile file(name);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        return file.write(text.toUtf8()) >= 0;
    }
    Q_INVOKABLE QString readFile(const QString &name)
    {
        QFile file(name);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    Q_INVOKABLE bool removeFile(const QString &name) { return !QFile::exists(name) || QFile::remove(name); }
    Q_INVOKABLE QString workingFolder() const { return QDir::currentPath(); }

signals:
    void reportFinished(bool ok, const QString &pdfPath, const QString &error);
    void archiveFinished(bool ok, const QString &message);

public slots:
    bool saveProtocol(QString urlName)
    {
        m_protocols << urlName;
        if (m_saveResult)
            m_unsaved = 0;
        return m_saveResult;
    }
    void saveMeasure(int picket, bool direction, float length, float v, float h)
    {
        m_measures << QVariantMap{ { QStringLiteral("picket"), picket },
                                   { QStringLiteral("direction"), direction },
                                   { QStringLiteral("length"), double(length) },
                                   { QStringLiteral("v"), double(v) },
                                   { QStringLiteral("h"), double(h) },
                                   { QStringLiteral("s"), m_s },
                                   // how many runs had started when the row came
                                   { QStringLiteral("runs"), m_runs.size() } };
    }
    void recordingStopped() { ++m_stops; }

private:
    double m_v = 0.0;
    double m_h = 0.0;
    int m_s = 0;
    bool m_data = false;
    bool m_kept = false;
    bool m_workV = false;
    bool m_workH = false;
    bool m_saveResult = true;
    QString m_link = QStringLiteral("live");
    int m_reconnections = 0;
    mutable QStringList m_calls;
    QVariantList m_measures;
    QStringList m_protocols;
    int m_unsaved = 0;
    QString m_journalFile;
    QString m_journalError;
    QStringList m_recovered;
    QStringList m_existing;
    int m_stops = 0;
    QVariantList m_runs;
    QVariantList m_marks;
    QString m_lastRunFile;
    QString m_lastRunFileError;
    QString m_journalState = QStringLiteral("ok");
    QVariantList m_reports;
    bool m_reportResult = true;
    QStringList m_opened;
    QVariantList m_archiveSwitches;
    bool m_archiveBusy = false;
};

#endif // STANDINCONTROLLER_H
