#include "meassystemsfinder.h"

#include "logger.h"

#include <QSerialPort>
#include <QTimer>

MeasSystemsFinder::MeasSystemsFinder(QObject *parent, PortLister lister)
    : QObject(parent)
    , m_owner(parent)
    , m_current(m_ports.end())
    , m_lister(std::move(lister))
{
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
        if (!trimmed.isEmpty())
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

void MeasSystemsFinder::startSearch()
{
    // A second start would move the cursor under the pending pause.
    if (m_searching)
        return;
    m_ports.clear();
    m_systems.clear();

    const std::vector<PortCandidate> listed = m_lister ? m_lister() : listPorts();
    Logger *log = Logger::instance();
    if (!listed.empty() && log)
        log->writeLine(QStringLiteral("Список найденных портов:"));
    for (const PortCandidate &candidate : listed) {
        auto *port = candidate.info.isNull() ? new QSerialPort(candidate.name, this)
                                             : new QSerialPort(candidate.info, this);
        // A name met twice keeps its first port; the second is never probed.
        m_ports.emplace(candidate.name, port);
        if (log)
            log->writeLine(candidate.name);
    }

    m_searching = true;
    m_current = m_ports.begin();
    tryNextPort();
}

void MeasSystemsFinder::tryNextPort()
{
    // Ports that do not open (absent, busy) are passed over without a word.
    while (m_current != m_ports.end() && !m_current->second->open(QIODevice::ReadWrite))
        ++m_current;

    Logger *log = Logger::instance();
    if (m_current == m_ports.end()) {
        if (log)
            log->writeLine(QStringLiteral("Поиск устройства окончен"));
        m_searching = false;
        emit Ready();
        return;
    }

    QSerialPort *port = m_current->second;
    if (log) {
        log->writeLine(QStringLiteral("Открываю порт ") + m_current->first);
        log->writeLine(QStringLiteral("Ошибка порта: ") + QString::number(int(port->error())));
    }
    UsbTervaloMeasSystem::configurePort(port);

    port->write("0", 1);
    port->flush();
    // Blocks the event loop; whether anything came is judged after the pause.
    port->waitForReadyRead(probePauseMs);
    QTimer::singleShot(probePauseMs, this, &MeasSystemsFinder::checkReply);
}

void MeasSystemsFinder::checkReply()
{
    QSerialPort *port = m_current->second;
    Logger *log = Logger::instance();
    if (log)
        log->writeLine(QStringLiteral("После паузы считываю с порта"));
    const QByteArray reply = port->readAll();
    if (log) {
        log->writeLine(QStringLiteral("Ошибка порта: ") + QString::number(int(port->error())));
        log->write(QStringLiteral("Считано: "));
        log->writeHex(reply);
    }

    if (reply.size() >= UsbTervaloMeasSystem::frameSize() && reply.contains(UsbTervaloMeasSystem::frameHeader())) {
        if (log)
            log->writeLine(QStringLiteral("Устройство найдено: ") + m_current->first);
        m_systems.push_back(new UsbTervaloMeasSystem(m_current->first, m_owner));
    } else if (log) {
        log->writeLine(QStringLiteral("Устройство не определено"));
    }

    port->close();
    port->deleteLater();
    ++m_current;
    tryNextPort();
}
