#include "tervalo.h"

#include "inisettings.h"
#include "logger.h"
#include "meassystem.h"
#include "meassystemsfinder.h"
#include "runservices.h"

#include <QDate>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

#include <limits>

namespace {

// How long a sensor's missing reading spoils its axis in the journal: a reading
// next to a gap in the sensor's data is not trusted as a measurement.
constexpr qint64 noReadingSpoilsMs = 200;

qint64 monotonicMs()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.elapsed();
}

// A band the window gives as [low, high].
bool bandOf(const QVariantMap &map, const char *key, double *low, double *high)
{
    const QVariantList pair = map.value(QLatin1String(key)).toList();
    if (pair.size() != 2)
        return false;
    *low = pair[0].toDouble();
    *high = pair[1].toDouble();
    return true;
}

} // namespace

// A report or an import on a thread of its own: the thread fills in the
// outcome and ends, and the GUI thread reads it only after that, when
// QThread::finished, queued to it, says so.
struct Tervalo::Job
{
    bool report = false;
    QString protocol;
    QString pdf;
    RunServices::Limits limits;
    QThread *thread = nullptr;
    bool ok = false;
    RunServices::Archived archived;
    QString error;
};

Tervalo::Tervalo(QObject *parent)
    : QObject(parent)
    , m_clock(monotonicMs)
{
    settingsStore = new IniSettings(this);
    finder = new MeasSystemsFinder(this);

    // The log is created here, with this object as its owner, so that it exists
    // before anything else writes to it.
    if (Logger *log = Logger::instance(this))
        log->writeLine(QStringLiteral("Запуск программы Tervalo"));
    // After the log: bringing back an earlier run's journal is logged.
    journal = new Journal(this);

    connect(finder, &MeasSystemsFinder::Ready, this, &Tervalo::onFinderReady);
    connect(finder, &MeasSystemsFinder::Found, this, &Tervalo::onFound);
}

Tervalo::~Tervalo()
{
    // Runs before the children go, so the run log is still there to name the file.
    finishJournal();
    finishServices();
}

void Tervalo::start()
{
    finder->startSearch();
}

bool Tervalo::measKeeped()
{
    const bool kept = m_measKeeped;
    m_measKeeped = false;
    return kept;
}

int Tervalo::unsavedCount() const
{
    return int(journal->entries().size());
}

QString Tervalo::journalFile() const
{
    return journal->filePath();
}

QString Tervalo::journalError() const
{
    return journal->error();
}

QString Tervalo::journalState() const
{
    return journal->state();
}

QStringList Tervalo::recoveredFiles() const
{
    return journal->recovered();
}

QString Tervalo::lastRunFile() const
{
    return journal->lastRunFile();
}

QString Tervalo::lastRunFileError() const
{
    return journal->lastRunFileError();
}

void Tervalo::recordingStarted(const QVariantMap &run)
{
    RunInfo header;
    const auto text = [&run](const char *key, QString *out) {
        if (run.contains(QLatin1String(key)))
            *out = run.value(QLatin1String(key)).toString();
    };
    text("line", &header.line);
    text("track", &header.track);
    text("operator", &header.operatorName);
    text("trolley", &header.trolley);
    header.calibrationValidUntil =
            QDate::fromString(run.value(QStringLiteral("calibrationValidUntil")).toString(), Qt::ISODate);
    if (run.contains(QStringLiteral("startPicket")))
        header.startPicket = run.value(QStringLiteral("startPicket")).toInt();
    if (run.contains(QStringLiteral("direction")))
        header.forward = run.value(QStringLiteral("direction")).toBool();
    if (run.contains(QStringLiteral("stepLength")))
        header.stepLength = run.value(QStringLiteral("stepLength")).toDouble();
    const bool vertical = bandOf(run, "vertical", &header.vertical.low, &header.vertical.high);
    const bool horizontal = bandOf(run, "horizontal", &header.horizontal.low, &header.horizontal.high);
    header.tolerancesKnown = vertical && horizontal;
    journal->startRecording(header);
}

int Tervalo::addMark(int picket, bool direction, double distance, const QString &kind, const QString &note)
{
    RunMark mark;
    mark.picket = picket;
    mark.forward = direction;
    mark.distance = distance;
    mark.kind = kind;
    mark.note = note;
    return journal->addMark(mark);
}

bool Tervalo::setMarkNote(int index, const QString &note)
{
    return journal->setMarkNote(index, note);
}

bool Tervalo::protocolExists(const QString &urlName) const
{
    const QString path = journalPathFromUrl(urlName);
    return !path.isEmpty() && QFileInfo::exists(path);
}

QString Tervalo::finishJournal()
{
    return journal->finish();
}

const std::vector<JournalEntry> &Tervalo::journalEntries() const
{
    return journal->entries();
}

bool Tervalo::saveProtocol(QString urlName)
{
    const bool rows = !journal->entries().empty();
    if (!journal->save(urlName))
        return false;
    if (rows && m_archiveEnabled && m_services) {
        m_imports << journalPathFromUrl(urlName);
        if (!m_import)
            startImport();
    }
    return true;
}

void Tervalo::setRunServices(std::unique_ptr<RunServices> services)
{
    m_services = std::move(services);
}

bool Tervalo::makeReport(const QString &urlName, const QVariantMap &limits)
{
    const QString protocol = journalPathFromUrl(urlName);
    if (!m_services || m_report || protocol.isEmpty())
        return false;
    auto job = std::make_shared<Job>();
    job->report = true;
    job->protocol = protocol;
    job->pdf = RunFile::besideProtocol(protocol, QStringLiteral(".pdf"));
    for (auto [key, band] : { std::pair("vertical", &job->limits.vertical),
                              std::pair("horizontal", &job->limits.horizontal) })
        band->given = bandOf(limits, key, &band->low, &band->high);
    m_report = job;
    startJob(job);
    return true;
}

bool Tervalo::openFile(const QString &path)
{
    return m_services && m_services->openFile(path);
}

void Tervalo::setArchiveEnabled(bool on)
{
    m_archiveEnabled = on;
}

bool Tervalo::archiveBusy() const
{
    return m_import != nullptr;
}

void Tervalo::startJob(const std::shared_ptr<Job> &job)
{
    // The thread holds what it works on, so that it may outlive this object.
    const std::shared_ptr<RunServices> services = m_services;
    job->thread = QThread::create([job, services] {
        job->ok = job->report ? services->makeReport(job->protocol, job->pdf, job->limits, &job->error)
                              : services->archiveRun(job->protocol, &job->archived, &job->error);
    });
    // A job the end of the program waited for was handled then.
    connect(job->thread, &QThread::finished, this, [this, job] {
        if (job == m_report)
            reportEnded();
        else if (job == m_import)
            importEnded();
    });
    job->thread->start();
}

void Tervalo::reportEnded()
{
    const std::shared_ptr<Job> job = std::move(m_report);
    job->thread->wait();
    delete job->thread;
    const QString pdf = QDir::toNativeSeparators(job->pdf);
    const QString error = job->ok ? QString() : QStringLiteral("Отчёт не записан: ") + job->error;
    Logger::line(job->ok ? QStringLiteral("Отчёт записан в файл ") + pdf : error);
    emit reportFinished(job->ok, pdf, error);
}

void Tervalo::startImport()
{
    auto job = std::make_shared<Job>();
    job->protocol = m_imports.takeFirst();
    m_import = job;
    startJob(job);
}

void Tervalo::importEnded()
{
    const std::shared_ptr<Job> job = std::move(m_import);
    job->thread->wait();
    delete job->thread;
    QString message;
    if (!job->ok)
        message = QStringLiteral("Прогон не добавлен в архив: ") + job->error;
    else if (job->archived.added)
        message = QStringLiteral("Прогон добавлен в архив ") + job->archived.archive;
    else
        message = QStringLiteral("Прогон уже есть в архиве ") + job->archived.archive;
    Logger::line(message + QStringLiteral(" (протокол ") + QDir::toNativeSeparators(job->protocol) + QLatin1Char(')'));
    // The next one first, so that the window hears archiveBusy() as it is.
    if (!m_imports.isEmpty())
        startImport();
    emit archiveFinished(job->ok, message);
}

bool Tervalo::finishServices(int ms)
{
    // The window is closed: what ends now is only logged.
    const QSignalBlocker quiet(this);
    const QDeadlineTimer deadline(ms);
    while (m_report || m_import) {
        const bool report = m_report != nullptr;
        if (!(report ? m_report : m_import)->thread->wait(deadline)) {
            if (m_report)
                Logger::line(QStringLiteral("Программа завершена, не дождавшись отчёта: файл ")
                        + QDir::toNativeSeparators(m_report->pdf)
                        + QStringLiteral(" не записан, прежний (если был) остался как был"));
            if (m_import) {
                m_imports.prepend(m_import->protocol);
                Logger::line(QStringLiteral("Программа завершена, не дождавшись архива: не добавлены в архив ")
                        + QDir::toNativeSeparators(m_imports.join(QStringLiteral(", "))));
            }
            // Left running to the end of the process, with what they hold.
            m_report.reset();
            m_import.reset();
            m_imports.clear();
            return false;
        }
        if (report)
            reportEnded();
        else
            importEnded();
    }
    return true;
}

void Tervalo::saveMeasure(int picket, bool direction, float length, float v, float h)
{
    const float none = std::numeric_limits<float>::quiet_NaN();
    if (!readingFresh(m_workV, m_missedV, m_lastNoReadingV))
        v = none;
    if (!readingFresh(m_workH, m_missedH, m_lastNoReadingH))
        h = none;
    if (journal->keep(picket, direction, length, v, h))
        m_measKeeped = true;
}

void Tervalo::recordingStopped()
{
    journal->stopRecording();
}

bool Tervalo::readingFresh(bool working, bool missed, qint64 lastMissMs) const
{
    return m_everLive && working && (!missed || m_clock() - lastMissMs > noReadingSpoilsMs);
}

void Tervalo::onFinderReady()
{
    m_startSearchOver = true;
    if (measSystem)
        return;
    // No trolley answered (at start, or since it was lost): watch for it.
    finder->watch(m_lostPort);
}

void Tervalo::onFound(MeasSystem *system)
{
    // The first to answer is taken; a later one of the start-up search stays
    // as it was found, while those of later searches would only pile up.
    if (measSystem) {
        if (m_startSearchOver)
            system->deleteLater();
        return;
    }
    adopt(system);
}

void Tervalo::adopt(MeasSystem *system)
{
    measSystem = system;
    connect(measSystem, &MeasSystem::sigCurrentMeas, this, &Tervalo::onCurrentMeas);
    connect(measSystem, &MeasSystem::sigDataReceived, this,
            [this] { m_dataReceived = !m_dataReceived; });
    connect(measSystem, &MeasSystem::sigLinkLost, this, &Tervalo::onLinkLost);
    connect(measSystem, &MeasSystem::sigCounterRestarted, this, &Tervalo::onCounterRestarted);
    if (!measSystem->setActive(true)) {
        // Gone again between its answer and now: watched like a lost one.
        onLinkLost();
        return;
    }
    finder->stopWatching();
    // The trolley may have been switched off and on, or pushed on, while the
    // link was down: its counter no longer continues what the window showed.
    if (m_everLive)
        onCounterRestarted();
}

void Tervalo::onLinkLost()
{
    MeasSystem *lost = measSystem;
    if (!lost)
        return;
    measSystem = nullptr;
    disconnect(lost, nullptr, this, nullptr);
    if (auto *serial = qobject_cast<UsbTervaloMeasSystem *>(lost))
        m_lostPort = serial->portName();
    // Its port is closed; a new one is made for the device when it answers.
    lost->deleteLater();
    m_lastRecord.invalidate();
    if (!finder->isSearching())
        finder->watch(m_lostPort);
}

void Tervalo::onCounterRestarted()
{
    m_counterBreak = true;
    ++m_reconnections;
}

QString Tervalo::linkState() const
{
    if (measSystem && m_lastRecord.isValid() && m_lastRecord.elapsed() < liveMs)
        return QStringLiteral("live");
    return m_everLive ? QStringLiteral("lost") : QStringLiteral("searching");
}

void Tervalo::onCurrentMeas(std::vector<QVariant> record)
{
    // Every record of the device link carries five elements; a shorter one would
    // be a fault upstream and must not be read past its end.
    if (record.size() < 5)
        return;
    m_workV = record[0].toBool();
    m_currentV = record[1].toDouble();
    m_workH = record[2].toBool();
    m_currentH = record[3].toDouble();
    // Across a break of the counter the value shown goes on from where it
    // stood; the counter's own wrap is kept by unsigned arithmetic.
    const quint32 counter = quint32(record[4].toInt());
    if (m_counterBreak) {
        m_counterOffset = quint32(m_currentS) - counter;
        m_counterBreak = false;
    }
    m_currentS = int(counter + m_counterOffset);
    m_lastRecord.start();
    m_everLive = true;
    const qint64 now = m_clock();
    if (!m_workV) {
        m_missedV = true;
        m_lastNoReadingV = now;
    }
    if (!m_workH) {
        m_missedH = true;
        m_lastNoReadingH = now;
    }
}
