#ifndef INSTANCEGUARD_H
#define INSTANCEGUARD_H

#include <QString>

#include <memory>

// Lets one copy of the program run at a time among copies that use the same
// keys: the first holds the guard until it is destroyed, at the very end of
// the program, and every other copy learns that it is not the first. A copy
// that is killed or crashes never keeps the program from starting again.
// On Windows a named semaphore serialises the test of a named one-byte
// segment, both of which vanish with the last process that holds them. On
// Unix one System V semaphore held with SEM_UNDO is the guard itself: the
// system gives it back when its holder ends in any way, and it is found by a
// number made from the key, with no key file in the temporary folder that a
// cleaner, or a copy ending in another IPC namespace, could remove from
// under a running copy.
class InstanceGuard
{
public:
    InstanceGuard(const QString &startupKey, const QString &markerKey);
    ~InstanceGuard();

    InstanceGuard(const InstanceGuard &) = delete;
    InstanceGuard &operator=(const InstanceGuard &) = delete;

    // False when another copy holds the guard. A guard the system cannot
    // give (no such objects, out of them) lets the copy run unguarded.
    bool isFirst() const { return m_first; }

private:
    struct Held;
    std::unique_ptr<Held> m_held;
    bool m_first = true;
};

#endif // INSTANCEGUARD_H
