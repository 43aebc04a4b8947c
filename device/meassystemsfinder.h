#ifndef MEASSYSTEMSFINDER_H
#define MEASSYSTEMSFINDER_H

#include "usbtervalomeassystem.h"

#include <QObject>
#include <QSerialPortInfo>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <vector>

class MeasSystem;
class QSerialPort;

// Finds the trolley among the serial ports: probes every port in name order
// with one byte "0" and takes a reply of a whole frame's length that holds
// "RAIL" for the device. Creates a serial measuring system per port that
// answered, parented to its owner (the controller), and emits Ready once per
// search. The probe ports are its own children, deleted after their probe.
class MeasSystemsFinder : public QObject
{
    Q_OBJECT

public:
    // One port a search tries: as the system lists it, or only by a name or
    // device path that the system's list does not know (empty info).
    struct PortCandidate
    {
        QString name;
        QSerialPortInfo info;
    };
    using PortLister = std::function<std::vector<PortCandidate>()>;

    // Bounds the blocking wait for a probe reply and is the pause after it:
    // long enough for a device that streams every periodMs to send a few frames.
    static constexpr int probePauseMs = 1000 + 3 * UsbTervaloMeasSystem::periodMs();

    // Without a lister a search tries listPorts(); tests hand their own list so
    // that the machine's ports are never touched.
    explicit MeasSystemsFinder(QObject *parent, PortLister lister = PortLister());

    // Test builds of the program probe only the ports that tests name.
    static void setSystemPortsListed(bool listed) { s_systemPortsListed = listed; }
    // The system's serial ports and, outside Windows, the device paths named in
    // TERVALO_EXTRA_PORTS (separated by ':'), which the system never lists:
    // pseudo-terminals of a simulated trolley or a device bridged over a network.
    static std::vector<PortCandidate> listPorts();
    // A lister of ports known only by name or path.
    static PortLister portsNamed(const QStringList &names);

    // Starts a search; the first port that opens is probed inside this call,
    // the rest follows on timers. Ignored while a search runs.
    void startSearch();
    std::vector<MeasSystem *> systems() const { return m_systems; }

signals:
    void Ready();

private:
    void tryNextPort();
    void checkReply();

    QObject *m_owner;
    std::vector<MeasSystem *> m_systems;
    std::map<QString, QSerialPort *> m_ports;
    std::map<QString, QSerialPort *>::iterator m_current;
    PortLister m_lister;
    bool m_searching = false;

    static inline bool s_systemPortsListed = true;
};

#endif // MEASSYSTEMSFINDER_H
