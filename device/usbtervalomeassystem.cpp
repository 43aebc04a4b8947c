#include "usbtervalomeassystem.h"

#include "logger.h"

#include <QDir>
#include <QTimer>

namespace {

// A device path is never a name of the system's port list, and looking it up
// there would walk (and on some systems open) every serial port of the machine.
QSerialPortInfo listedPortInfo(const QString &portName)
{
    if (QDir::isAbsolutePath(portName))
        return QSerialPortInfo();
    return QSerialPortInfo(portName);
}

const char initCommand[] = "INIT";

} // namespace

UsbTervaloMeasSystem::UsbTervaloMeasSystem(const QString &portName, QObject *parent)
    : MeasSystem(parent)
    , m_portInfo(listedPortInfo(portName))
    , m_portName(portName)
{
    m_watchdog = new QTimer(this);
    m_awaitFrame = true;
    // A port unknown to the system's list (a pseudo-terminal, a bridged device)
    // has an empty description; it opens by its name.
    m_port = m_portInfo.isNull() ? new QSerialPort(portName, this) : new QSerialPort(m_portInfo, this);

    connect(m_watchdog, &QTimer::timeout, this, &UsbTervaloMeasSystem::onWatchdog);
    m_watchdog->start(watchdogMs);

    auto *poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, &UsbTervaloMeasSystem::sendInit);
    poll->start(pollMs);
}

void UsbTervaloMeasSystem::configurePort(QSerialPort *port)
{
    port->setBaudRate(baudRate(), baudDirections());
    port->setParity(parity());
    port->setDataBits(dataBits());
    port->setStopBits(stopBits());
    port->setReadBufferSize(readBufferSize());
    port->setFlowControl(flowControl());
}

bool UsbTervaloMeasSystem::setActive(bool on)
{
    if (!on) {
        m_port->close();
        return true;
    }
    if (m_port->isOpen())
        return true;
    if (!m_port->open(QIODevice::ReadWrite))
        return false;

    configurePort(m_port);
    sendInit();
    m_port->flush();
    // Unique: after a reopen a second connection would run the handler again
    // for every arrival with nothing left to read; while a watchdog window
    // awaits its first frame, that repeats the arrival's dump line in the log.
    connect(m_port, &QSerialPort::readyRead, this, &UsbTervaloMeasSystem::onReadyRead,
            Qt::UniqueConnection);
    return true;
}

void UsbTervaloMeasSystem::sendInit()
{
    if (!m_port || !m_port->isOpen())
        return;
    const QByteArray command(initCommand, 4);
    m_port->write(command);
    if (Logger *log = Logger::instance()) {
        log->write(QStringLiteral("Send: "));
        log->writeHex(command);
    }
}

void UsbTervaloMeasSystem::onWatchdog()
{
    if (m_awaitFrame) {
        if (Logger *log = Logger::instance())
            log->writeLine(QStringLiteral("За последние %1 мс данные в порт не приходили").arg(watchdogMs));
    }
    m_awaitFrame = true;
}

void UsbTervaloMeasSystem::onReadyRead()
{
    receive(m_port->readAll());
}

void UsbTervaloMeasSystem::receive(const QByteArray &bytes)
{
    m_decoder.append(bytes);
    if (m_awaitFrame) {
        if (Logger *log = Logger::instance()) {
            log->write(QStringLiteral("Пришло в порт "));
            log->writeHex(m_decoder.pending());
        }
    }

    TervaloFrame frame;
    while (m_decoder.next(&frame)) {
        m_meas.clear();
        m_meas.push_back(QVariant(frame.vertical != FrameDecoder::noReading));
        m_meas.push_back(QVariant(frame.vertical / 100.0));
        m_meas.push_back(QVariant(frame.horizontal != FrameDecoder::noReading));
        m_meas.push_back(QVariant(frame.horizontal / 100.0));
        m_meas.push_back(QVariant(int(frame.counter)));
        if (m_awaitFrame) {
            if (Logger *log = Logger::instance()) {
                const QChar semicolon(QLatin1Char(';'));
                log->writeLine(QString::number(frame.vertical) + semicolon + QString::number(frame.horizontal)
                               + semicolon + QString::number(frame.counter) + semicolon);
            }
            m_awaitFrame = false;
            emit sigDataReceived();
        }
        emit sigCurrentMeas(m_meas);
    }
    m_decoder.compact();
}
