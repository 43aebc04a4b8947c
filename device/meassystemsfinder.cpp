#include "meassystemsfinder.h"

#include "logger.h"

#include <QFileInfo>
#include <QSerialPort>
#include <QTimer>

#include <algorithm>

MeasSystemsFinder::MeasSystemsFinder(QObject *parent, PortLister lister)
    : QObject(parent)
    , m_owner(parent)
    , m_lister(std::move(lister))
{
    m_watchTimer = new QTimer(this);
    m_watchTimer->setInterval(watchIntervalMs);
    connect(m_watchTimer, &QTimer::timeout, this, &MeasSystemsFinder::look);
}

std::vector<MeasSystemsFinder::PortCandidate> MeasSystemsFinder::listPorts()
{
    std::vector<PortCandidate> ports;
    if (s_systemPortsListed) {
        const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
        for (const QSerialPortInfo &info : infos)
            ports.push_back({ info.portName(), info });
    }
#ifndef Q_OS_WIN
    const QStringList extra = qEnvironmentVariable("TERVALO_EXTRA_PORTS").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString &path : extra) {
        const QString trimmed = path.trimmed();
        // A simulator's link to its current pseudo-terminal vanishes when the
        // device is unplugged; its return must count as a new port.
        if (!trimmed.isEmpty() && QFileInfo::exists(trimmed))
            ports.push_back({ trimmed, QSerialPortInfo() });
    }
#endif
    return ports;
}

MeasSystemsFinder::PortLister MeasSystemsFinder::portsNamed(const QStringList &names)
{
    return [names] {
        std::vector<PortCandidate> ports;
        for (const QString &name : names)
            ports.push_back({ name, QSerialPortInfo() });
        return ports;
    };
}

bool MeasSystemsFinder::isWatching() const
{
    return m_watchTimer->isActive();
}

void MeasSystemsFinder::startSearch()
{
    if (m_searching)
        return;
    const std::vector<PortCandidate> listed = m_lister ? m_lister() : listPorts();
    m_seen.clear();
    for (const PortCandidate &candidate : listed)
        m_seen.insert(candidate.name);
    search(listed);
}

void MeasSystemsFinder::watch(const QString &lostPort)
{
    m_lostPort = lostPort;
    if (!m_watchTimer->isActive())
        m_watchTimer->start();
}

void MeasSystemsFinder::stopWatching()
{
    m_watchTimer->stop();
    m_lostPort.clear();
}

void MeasSystemsFinder::look()
{
    if (m_searching)
        return;
    const std::vector<PortCandidate> listed = m_lister ? m_lister() : listPorts();
    std::vector<PortCandidate> fresh;
    QSet<QString> present;
    for (const PortCandidate &candidate : listed) {
        present.insert(candidate.name);
        if (!m_seen.contains(candidate.name) || candidate.name == m_lostPort)
            fresh.push_back(candidate);
    }
    m_seen = present;
    // A look that finds nothing new leaves no trace: it comes every few seconds.
    if (!fresh.empty())
        search(fresh);
}

void MeasSystemsFinder::search(const std::vector<PortCandidate> &listed)
{
    m_probes.clear();
    m_systems.clear();
    m_searching = true;

    Logger *log = Logger::instance();
    if (!listed.empty() && log)
        log->writeLine(QStringLiteral("Список найденных портов:"));
    std::map<QString, QSerialPort *> ports;
    for (const PortCandidate &candidate : listed) {
        if (log)
            log->writeLine(candidate.name);
        // A name met twice keeps its first port; the second is never probed.
        if (ports.count(candidate.name))
            continue;
        ports.emplace(candidate.name, candidate.info.isNull() ? new QSerialPort(candidate.name, this)
                                                              : new QSerialPort(candidate.info, this));
    }

    // Opened in name order (COM10 before COM3), each probe then runs on its own.
    for (const auto &entry : ports)
        startProbe(entry.first, entry.second);
    endSearchIfDone();
}

bool MeasSystemsFinder::startProbe(const QString &name, QSerialPort *port)
{
    // Ports that do not open (absent, busy) are passed over without a word.
    if (!port->open(QIODevice::ReadWrite)) {
        port->deleteLater();
        return false;
    }
    Probe &probe = m_probes[name];
    probe.port = port;
    probe.lines << QStringLiteral("Открываю порт ") + name
                << QStringLiteral("Ошибка порта: ") + QString::number(int(port->error()));
    UsbTervaloMeasSystem::configurePort(port);

    probe.timer = new QTimer(port);
    probe.timer->setSingleShot(true);
    probe.timer->setTimerType(Qt::PreciseTimer);
    connect(probe.timer, &QTimer::timeout, this, [this, name] {
        const auto it = m_probes.find(name);
        if (it != m_probes.end())
            it->second.pausing ? checkReply(name) : beginPause(name);
    });
    // The first bytes of a reply end the wait; whether they make a frame is
    // judged after the pause, when the rest has come.
    connect(port, &QSerialPort::readyRead, this, [this, name] {
        const auto it = m_probes.find(name);
        if (it != m_probes.end() && !it->second.pausing)
            beginPause(name);
    });

    port->write("0", 1);
    port->flush();
    probe.timer->start(probePauseMs);
    return true;
}

void MeasSystemsFinder::beginPause(const QString &name)
{
    Probe &probe = m_probes[name];
    probe.pausing = true;
    probe.timer->start(probePauseMs);
}

void MeasSystemsFinder::checkReply(const QString &name)
{
    auto it = m_probes.find(name);
    Probe &probe = it->second;
    QSerialPort *port = probe.port;
    QStringList &lines = probe.lines;
    lines << QStringLiteral("После паузы считываю с порта");
    const QByteArray reply = port->readAll();
    lines << QStringLiteral("Ошибка порта: ") + QString::number(int(port->error()));
    lines << QStringLiteral("Считано: ") + Logger::hexText(reply);

    const bool recognised =
            reply.size() >= UsbTervaloMeasSystem::frameSize() && reply.contains(UsbTervaloMeasSystem::frameHeader());
    lines << (recognised ? QStringLiteral("Устройство найдено: ") + name
                         : QStringLiteral("Устройство не определено"));
    if (Logger *log = Logger::instance()) {
        for (const QString &line : qAsConst(lines))
            log->writeLine(line);
    }

    // Closed before the measuring system exists: the port admits one user.
    port->close();
    port->deleteLater();
    m_probes.erase(it);

    if (recognised) {
        auto *system = new UsbTervaloMeasSystem(name, m_owner);
        const auto at = std::upper_bound(m_systems.begin(), m_systems.end(), name, [](const QString &n, MeasSystem *s) {
            return n < static_cast<UsbTervaloMeasSystem *>(s)->portName();
        });
        m_systems.insert(at, system);
        // The owner may delete a lost system long after this search.
        connect(system, &QObject::destroyed, this, [this, system] {
            m_systems.erase(std::remove(m_systems.begin(), m_systems.end(), system), m_systems.end());
        });
        emit Found(system);
    }
    endSearchIfDone();
}

void MeasSystemsFinder::endSearchIfDone()
{
    if (!m_searching || !m_probes.empty())
        return;
    if (Logger *log = Logger::instance())
        log->writeLine(QStringLiteral("Поиск устройства окончен"));
    m_searching = false;
    emit Ready();
}
