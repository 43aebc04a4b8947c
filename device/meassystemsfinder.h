#ifndef MEASSYSTEMSFINDER_H
#define MEASSYSTEMSFINDER_H

#include "usbtervalomeassystem.h"

#include <QObject>
#include <QSerialPortInfo>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <vector>

class MeasSystem;
class QSerialPort;
class QTimer;

// Finds the trolley among the serial ports: probes ports with one byte "0" and
// takes a reply of a whole frame's length that holds "RAIL" for the device.
// All ports of a search are probed side by side on their own signals and
// timers, so the window never waits for a silent port; each port's run-log
// lines are held back and written as one block when its probe ends. Creates a
// serial measuring system per port that answered, parented to its owner (the
// controller), and announces it at once with Found; Ready follows once per
// search, after every probe has ended. While no trolley is active the finder
// can watch the port list and search the ports that appear. The probe ports
// are its own children, deleted after their probe.
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

    // How long a probe waits for a reply (less when one comes) and the pause
    // after it: long enough for a device that streams every periodMs to send a
    // few frames.
    static constexpr int probePauseMs = 1000 + 3 * UsbTervaloMeasSystem::periodMs();
    // How often a watch looks at the port list.
    static constexpr int watchIntervalMs = 3000;

    // Without a lister a search tries listPorts(); tests hand their own list so
    // that the machine's ports are never touched.
    explicit MeasSystemsFinder(QObject *parent, PortLister lister = PortLister());

    // Test builds of the program probe only the ports that tests name.
    static void setSystemPortsListed(bool listed) { s_systemPortsListed = listed; }
    // The system's serial ports and, outside Windows, those device paths named
    // in TERVALO_EXTRA_PORTS (separated by ':') that exist at the moment:
    // pseudo-terminals of a simulated trolley or a device bridged over a
    // network, which the system never lists and which exist only while their
    // device does.
    static std::vector<PortCandidate> listPorts();
    // A lister of ports known only by name or path.
    static PortLister portsNamed(const QStringList &names);

    // Starts a search over every listed port and returns at once. Ignored
    // while a search runs.
    void startSearch();
    // Until stopWatching(): every watchIntervalMs, unless a search runs, looks
    // at the port list and searches the ports that appeared since the last look
    // and lostPort whenever it is listed. A port that stayed and did not answer
    // is not written to again: it may belong to another device.
    void watch(const QString &lostPort = QString());
    void stopWatching();
    bool isSearching() const { return m_searching; }
    bool isWatching() const;

    // The systems found by the last search, in port-name order.
    std::vector<MeasSystem *> systems() const { return m_systems; }

signals:
    // A port answered like the device; the system is not active yet.
    void Found(MeasSystem *system);
    void Ready();

private:
    struct Probe
    {
        QSerialPort *port = nullptr;
        QTimer *timer = nullptr;
        bool pausing = false;
        QStringList lines;
    };

    void search(const std::vector<PortCandidate> &listed);
    bool startProbe(const QString &name, QSerialPort *port);
    void beginPause(const QString &name);
    void checkReply(const QString &name);
    void endSearchIfDone();
    void look();

    QObject *m_owner;
    std::vector<MeasSystem *> m_systems;
    std::map<QString, Probe> m_probes;
    PortLister m_lister;
    bool m_searching = false;
    QTimer *m_watchTimer = nullptr;
    QString m_lostPort;
    QSet<QString> m_seen;

    static inline bool s_systemPortsListed = true;
};

#endif // MEASSYSTEMSFINDER_H
