#ifndef MEASSYSTEM_H
#define MEASSYSTEM_H

#include <QObject>
#include <QVariant>

#include <vector>

// A measuring device as the rest of the program sees it. A concrete system
// talks to its hardware and announces every decoded measurement as a record of
// five elements: vertical reading present (bool), vertical offset in mm
// (double), horizontal reading present (bool), horizontal offset in mm
// (double), wheel counter (int). Discovery creates systems; the controller
// adopts one and owns them all through the parent tree.
class MeasSystem : public QObject
{
    Q_OBJECT

public:
    explicit MeasSystem(QObject *parent) : QObject(parent) {}

    virtual std::vector<QVariant> currentMeas() { return m_meas; }
    // Opens (true) or closes (false) the link to the device; true when the
    // link is in the asked state afterwards.
    virtual bool setActive(bool on) = 0;

signals:
    void sigCurrentMeas(std::vector<QVariant>);
    void sigDataReceived();
    // The device is gone (unplugged, switched off): the link has closed itself
    // and sends nothing more. Emitted once per loss.
    void sigLinkLost();
    // The device's counter started over: the records that follow do not
    // continue the distance of those before. Emitted before the first of them.
    void sigCounterRestarted();

protected:
    std::vector<QVariant> m_meas;
};

#endif // MEASSYSTEM_H
