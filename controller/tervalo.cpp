#include "tervalo.h"

#include "inisettings.h"
#include "logger.h"
#include "meassystem.h"
#include "meassystemsfinder.h"

Tervalo::Tervalo(QObject *parent)
    : QObject(parent)
{
    settingsStore = new IniSettings(this);
    finder = new MeasSystemsFinder(this);

    // The log is created here, with this object as its owner, so that it exists
    // before anything else writes to it.
    if (Logger *log = Logger::instance(this))
        log->writeLine(QStringLiteral("Запуск программы Tervalo"));
    journal.clear();

    connect(finder, &MeasSystemsFinder::Ready, this, &Tervalo::onFinderReady);
}

Tervalo::~Tervalo()
{
    // Runs before the children go, so the run log is still there to name the file.
    writeRecoveryFile();
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
}
