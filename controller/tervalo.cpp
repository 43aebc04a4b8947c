#include "tervalo.h"

#include "inisettings.h"
#include "logger.h"
#include "meassystem.h"
#include "meassystemsfinder.h"

#include <QElapsedTimer>
#include <QFileInfo>

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

} // namespace

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
}

Tervalo::~Tervalo()
{
    // Runs before the children go, so the run log is still there to name the file.
    finishJournal();
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

QStringList Tervalo::recoveredFiles() const
{
    return journal->recovered();
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
    return journal->save(urlName);
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
    journal->sync();
}

bool Tervalo::readingFresh(bool working, bool missed, qint64 lastMissMs) const
{
    return m_recordSeen && working && (!missed || m_clock() - lastMissMs > noReadingSpoilsMs);
}

void Tervalo::onFinderReady()
{
    if (measSystem)
        return;
    const std::vector<MeasSystem *> found = finder->systems();
    if (found.empty())
        return;
    adopt(found.front());
}

void Tervalo::adopt(MeasSystem *system)
{
    measSystem = system;
    connect(measSystem, &MeasSystem::sigCurrentMeas, this, &Tervalo::onCurrentMeas);
    connect(measSystem, &MeasSystem::sigDataReceived, this,
            [this] { m_dataReceived = !m_dataReceived; });
    measSystem->setActive(true);
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
    m_currentS = record[4].toInt();
    m_recordSeen = true;
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
