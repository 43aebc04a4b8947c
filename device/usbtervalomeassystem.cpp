#include "usbtervalomeassystem.h"

#include "logger.h"

#include <QDir>
#include <QElapsedTimer>
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

// What the run log says of a port error that ends the link, with the system's
// own text where it is one a service engineer can look up. A port whose other
// end hung up reads nothing, and its text then is whatever error came before.
QString lossReason(QSerialPort *port, QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::ReadError:
        return QStringLiteral("ошибка чтения");
    case QSerialPort::ResourceError:
        return QStringLiteral("устройство недоступно (") + port->errorString() + QLatin1Char(')');
    case QSerialPort::WriteError:
        return QStringLiteral("ошибка записи (") + port->errorString() + QLatin1Char(')');
    default:
        return QStringLiteral("ошибка порта %1 (").arg(int(error)) + port->errorString() + QLatin1Char(')');
    }
}

} // namespace

UsbTervaloMeasSystem::UsbTervaloMeasSystem(const QString &portName, QObject *parent)
    : MeasSystem(parent)
    , m_portInfo(listedPortInfo(portName))
    , m_portName(portName)
{
    QElapsedTimer clock;
    clock.start();
    m_clock = [clock] { return clock.elapsed(); };

    m_watchdog = new QTimer(this);
    m_awaitFrame = true;
    // A port unknown to the system's list (a pseudo-terminal, a bridged device)
    // has an empty description; it opens by its name.
    m_port = m_portInfo.isNull() ? new QSerialPort(portName, this) : new QSerialPort(m_portInfo, this);

    connect(m_port, &QSerialPort::errorOccurred, this, &UsbTervaloMeasSystem::onPortError);

    connect(m_watchdog, &QTimer::timeout, this, &UsbTervaloMeasSystem::onWatchdog);
    m_watchdog->start(watchdogMs);

    m_poll = new QTimer(this);
    connect(m_poll, &QTimer::timeout, this, &UsbTervaloMeasSystem::sendInit);
    m_poll->start(pollMs);
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

    // A loss stopped the "INIT" timer; the counter may have moved or started
    // over while the port was closed, so the first frame is the reference.
    if (!m_poll->isActive())
        m_poll->start(pollMs);
    m_guard.reset();
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
    if (m_port->write(command) != command.size()) {
        loseLink(lossReason(m_port, QSerialPort::WriteError));
        return;
    }
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

void UsbTervaloMeasSystem::onPortError(QSerialPort::SerialPortError error)
{
    // Parity, framing and break errors are line noise; only these say the
    // device is gone. A hung-up port repeats them on every turn of the event
    // loop until it is closed.
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError && error != QSerialPort::WriteError)
        return;
    loseLink(lossReason(m_port, error));
}

void UsbTervaloMeasSystem::loseLink(const QString &reason)
{
    if (!m_port->isOpen())
        return;
    m_poll->stop();
    // Closing inside the port's own error signal is safe: the port drops its
    // notifiers later, and nothing is written to a closed port again.
    m_port->close();
    if (Logger *log = Logger::instance())
        log->writeLine(QStringLiteral("Связь с устройством потеряна: ") + m_portName + QStringLiteral(" — ") + reason);
    emit sigLinkLost();
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

    // The frames of one arrival reached the program together: one moment for
    // all of them, however long the receivers of the first ones take. It
    // also keeps the clock off the path of every frame of a burst.
    qint64 arrivedMs = 0;
    bool timed = false;
    TervaloFrame frame;
    while (m_decoder.next(&frame)) {
        if (!timed) {
            arrivedMs = m_clock();
            timed = true;
        }
        const qint32 previous = m_guard.reference();
        const CounterGuard::Verdict verdict = m_guard.check(frame.counter, arrivedMs);
        if (verdict == CounterGuard::Refused) {
            if (Logger *log = Logger::instance())
                log->writeLine(QStringLiteral("Отброшен кадр со счётчиком %1 после %2, всего отброшено: %3")
                                       .arg(frame.counter)
                                       .arg(previous)
                                       .arg(m_guard.refusedCount()));
            continue;
        }
        if (verdict == CounterGuard::Restarted) {
            if (Logger *log = Logger::instance())
                log->writeLine(QStringLiteral("Счётчик тележки начат заново: %1 вместо %2").arg(frame.counter).arg(previous));
            emit sigCounterRestarted();
        }
        emitRecord(frame);
    }
    m_decoder.compact();
}

void UsbTervaloMeasSystem::emitRecord(const TervaloFrame &frame)
{
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
