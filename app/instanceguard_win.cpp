#include "instanceguard.h"

#include <QSharedMemory>
#include <QSystemSemaphore>

struct InstanceGuard::Held
{
    explicit Held(const QString &key) : marker(key) {}
    QSharedMemory marker;
};

// The named objects vanish with the last process that holds them, so a copy
// that crashed leaves nothing behind.
InstanceGuard::InstanceGuard(const QString &startupKey, const QString &markerKey)
{
    QSystemSemaphore startup(startupKey, 1, QSystemSemaphore::Open);
    startup.acquire();
    auto held = std::make_unique<Held>(markerKey);
    if (held->marker.attach(QSharedMemory::ReadWrite)) {
        m_first = false;
    } else if (held->marker.create(1, QSharedMemory::ReadWrite)) {
        m_held = std::move(held);
    } else if (held->marker.error() == QSharedMemory::AlreadyExists) {
        // Made by a copy that took the semaphore from under a crashed holder.
        m_first = false;
    }
    startup.release();
}

InstanceGuard::~InstanceGuard() = default;
