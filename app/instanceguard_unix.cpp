#include "instanceguard.h"

#include <QByteArray>

#include <cerrno>

#include <sys/ipc.h>
#include <sys/sem.h>
#include <unistd.h>

namespace {

// The same number for the same key and user in every copy: FNV-1a over the
// key and the user id, in the range of System V keys with a first byte of
// its own ('T'), apart from those Qt derives from key files ('Q').
key_t keyNumber(const QString &key)
{
    quint32 hash = 2166136261u;
    const QByteArray bytes = key.toUtf8() + '/' + QByteArray::number(qulonglong(::getuid()));
    for (const char c : bytes) {
        hash ^= quint8(c);
        hash *= 16777619u;
    }
    return key_t(0x54000000u | (hash & 0x00ffffffu));
}

} // namespace

struct InstanceGuard::Held
{
    int set = -1;
};

// The startup key of the Windows variant is not needed here: taking the guard
// is one atomic step of the system.
InstanceGuard::InstanceGuard(const QString &, const QString &markerKey)
{
    const key_t key = keyNumber(markerKey);
    // A set removed by the holder that just ended is made anew; a few rounds
    // are more than enough.
    for (int attempt = 0; attempt < 10; ++attempt) {
        const int set = ::semget(key, 1, IPC_CREAT | 0600);
        if (set < 0)
            return;  // no guard to be had: run unguarded
        // Only while the count is 0 (no holder), raise it to 1; undone by the
        // system when this process ends, however it ends.
        sembuf take[2] = { { 0, 0, IPC_NOWAIT }, { 0, 1, SEM_UNDO } };
        if (::semop(set, take, 2) == 0) {
            m_held = std::make_unique<Held>();
            m_held->set = set;
            return;
        }
        if (errno == EAGAIN) {
            m_first = false;
            return;
        }
        if (errno != EIDRM && errno != EINVAL && errno != EINTR)
            return;
    }
}

InstanceGuard::~InstanceGuard()
{
    // Removed by its holder at the very end, so that copies do not leave a set
    // each behind; a copy starting meanwhile finds it gone and makes it anew.
    if (m_held)
        ::semctl(m_held->set, 0, IPC_RMID);
}
