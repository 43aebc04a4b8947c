#ifndef MEASSYSTEMSFINDER_H
#define MEASSYSTEMSFINDER_H

#include <QObject>

#include <vector>

class MeasSystem;

// Placeholder until device discovery lands: finds nothing.
class MeasSystemsFinder : public QObject
{
    Q_OBJECT

public:
    explicit MeasSystemsFinder(QObject *parent) : QObject(parent), m_owner(parent) {}

    // Test builds of the program probe only the ports that tests name.
    static void setSystemPortsListed(bool listed) { s_systemPortsListed = listed; }

    void startSearch() { emit Ready(); }
    std::vector<MeasSystem *> systems() const { return m_systems; }

signals:
    void Ready();

private:
    QObject *m_owner;
    std::vector<MeasSystem *> m_systems;
    static inline bool s_systemPortsListed = true;
};

#endif // MEASSYSTEMSFINDER_H
