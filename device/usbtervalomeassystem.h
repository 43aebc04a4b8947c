#ifndef USBTERVALOMEASSYSTEM_H
#define USBTERVALOMEASSYSTEM_H

#include "counterguard.h"
#include "framedecoder.h"
#include "meassystem.h"

#include <QByteArray>
#include <QSerialPort>
#include <QSerialPortInfo>

#include <functional>

class QTimer;

// The trolley's electronics on a USB serial port. Keeps the device streaming
// with "INIT" (at open and every 5 s), turns every "RAIL" frame into a
// measurement record, and keeps a 500 ms watchdog that logs silence and paces
// how often frames reach the run log and sigDataReceived. Discovery creates one
// per port that answered like the device; the controller (its parent) activates
// one. The port and both timers are its children.
class UsbTervaloMeasSystem : public MeasSystem
{
    Q_OBJECT

public:
    // The link settings; discovery probes ports with exactly these.
    static constexpr qint32 baudRate() { return 38400; }
    static constexpr QSerialPort::Directions baudDirections() { return QSerialPort::AllDirections; }
    static constexpr QSerialPort::Parity parity() { return QSerialPort::NoParity; }
    static constexpr QSerialPort::DataBits dataBits() { return QSerialPort::Data8; }
    static constexpr QSerialPort::StopBits stopBits() { return QSerialPort::OneStop; }
    static constexpr qint64 readBufferSize() { return 0; }
    static constexpr QSerialPort::FlowControl flowControl() { return QSerialPort::NoFlowControl; }
    // The device's frame period.
    static constexpr int periodMs() { return 50; }
    static QByteArray frameHeader() { return FrameDecoder::header(); }
    static constexpr int frameSize() { return FrameDecoder::frameSize; }

    // Puts an open port into the link settings above, in the order the device
    // link has always been set up; discovery's probes go through it too.
    static void configurePort(QSerialPort *port);

    static constexpr int watchdogMs = 500;
    static constexpr int pollMs = 5000;

    // Opens nothing: the port opens on setActive(true). A name that the system
    // does not list (a device path) is opened as a path.
    UsbTervaloMeasSystem(const QString &portName, QObject *parent);

    bool setActive(bool on) override;

    // The name or path given at construction.
    QString portName() const { return m_portName; }
    bool isOpen() const { return m_port->isOpen(); }

    // Takes bytes as they arrived from the device: buffers them, logs the
    // arrival and the first frame of a watchdog window, and emits a record per
    // whole frame whose counter is plausible.
    void receive(const QByteArray &bytes);

    // Frames refused for their counter since construction.
    qint64 refusedFrames() const { return m_guard.refusedCount(); }

public slots:
    void sendInit();

private slots:
    void onReadyRead();
    void onWatchdog();
    void onPortError(QSerialPort::SerialPortError error);

private:
    friend class TestUsbTervaloMeasSystem;

    // Closes the port for good, logs why and tells the owner.
    void loseLink(const QString &reason);
    void emitRecord(const TervaloFrame &frame);

    QSerialPortInfo m_portInfo;
    QSerialPort *m_port = nullptr;
    QTimer *m_watchdog = nullptr;
    QTimer *m_poll = nullptr;
    bool m_awaitFrame = true;
    FrameDecoder m_decoder;
    CounterGuard m_guard { periodMs() };
    // Milliseconds on a clock that only runs forward, read once per arrival
    // that holds a whole frame; tests set their own.
    std::function<qint64()> m_clock;
    QString m_portName;
};

#endif // USBTERVALOMEASSYSTEM_H
