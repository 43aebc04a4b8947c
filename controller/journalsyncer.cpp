#include "journalsyncer.h"

#include <QFileDevice>
#include <QFileInfo>
#include <QMetaObject>
#include <QObject>

#include <algorithm>

JournalSyncer::JournalSyncer(QObject *context, std::function<void(int)> lost,
                             std::function<void(const QString &)> failed)
    : m_context(context)
    , m_lost(std::move(lost))
    , m_failed(std::move(failed))
{
    m_thread = std::thread([this] { run(); });
}

JournalSyncer::~JournalSyncer()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
    FileSync::close(m_handle);
}

int JournalSyncer::attach(QFileDevice &file)
{
    detach();
    const FileSync::Handle handle = FileSync::duplicate(file);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (handle == FileSync::noHandle)
        return 0;
    m_handle = handle;
    m_path = file.fileName();
    ++m_generation;
    m_lostReported = false;
    m_pending = true;
    m_folderPending = true;
    m_deadline = Clock::now() + std::chrono::milliseconds(syncDelayMs);
    m_nextCheck = Clock::now() + std::chrono::milliseconds(checkMs);
    m_wake.notify_all();
    return m_generation;
}

void JournalSyncer::detach()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_done.wait(lock, [this] { return !m_busy; });
    FileSync::close(m_handle);
    m_handle = FileSync::noHandle;
    m_path.clear();
    m_pending = false;
    m_folderPending = false;
    // Whoever waits for a sync of this file waits no more.
    m_synced = m_requested;
    m_done.notify_all();
}

void JournalSyncer::requestSync()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_requested;
    if (m_pending)
        return;
    m_pending = true;
    m_deadline = Clock::now() + std::chrono::milliseconds(syncDelayMs);
    m_wake.notify_all();
}

void JournalSyncer::requestPathSync(const QString &path)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_paths.isEmpty())
        m_pathsDeadline = Clock::now() + std::chrono::milliseconds(syncDelayMs);
    if (!m_paths.contains(path))
        m_paths << path;
    m_wake.notify_all();
}

JournalSyncer::Result JournalSyncer::syncNow()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_handle == FileSync::noHandle)
        return Result::NoFile;
    const quint64 target = ++m_requested;
    m_pending = true;
    m_deadline = Clock::now();
    m_wake.notify_all();
    m_done.wait(lock, [this, target] { return m_synced >= target; });
    // The look at the path runs here, on the waiting thread: the worker
    // cannot start anything while the lock is held.
    if (!FileSync::stillAt(m_handle, m_path))
        return Result::Gone;
    return m_lastSyncOk ? Result::Synced : Result::SyncFailed;
}

void JournalSyncer::post(std::function<void()> call)
{
    QMetaObject::invokeMethod(m_context, std::move(call), Qt::QueuedConnection);
}

void JournalSyncer::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stop) {
        const Clock::time_point now = Clock::now();
        const bool following = m_handle != FileSync::noHandle;
        const bool syncDue = following && m_pending && now >= m_deadline;
        const bool pathsDue = !m_paths.isEmpty() && now >= m_pathsDeadline;
        const bool checkDue = following && !m_lostReported && now >= m_nextCheck;
        if (!syncDue && !pathsDue && !checkDue) {
            Clock::time_point wake = Clock::time_point::max();
            if (following && m_pending)
                wake = std::min(wake, m_deadline);
            if (!m_paths.isEmpty())
                wake = std::min(wake, m_pathsDeadline);
            if (following && !m_lostReported)
                wake = std::min(wake, m_nextCheck);
            if (wake == Clock::time_point::max())
                m_wake.wait(lock);
            else
                m_wake.wait_until(lock, wake);
            continue;
        }

        // The handle stays open while busy: detach() waits for the step to end.
        m_busy = true;
        const FileSync::Handle handle = m_handle;
        const QString path = m_path;
        const int generation = m_generation;
        if (syncDue) {
            const quint64 target = m_requested;
            const bool folder = m_folderPending;
            m_pending = false;
            m_folderPending = false;
            lock.unlock();
            const bool synced = FileSync::sync(handle) && (!folder || FileSync::syncFolderOf(path));
            lock.lock();
            m_lastSyncOk = synced;
            m_synced = std::max(m_synced, target);
            if (!synced)
                post([failed = m_failed, path] { failed(path); });
        }
        if (pathsDue) {
            const QStringList paths = m_paths;
            m_paths.clear();
            lock.unlock();
            QStringList failed;
            for (const QString &p : paths) {
                // One removed before its turn (a save took the journal) is no failure.
                if (!FileSync::syncPath(p) && QFileInfo::exists(p))
                    failed << p;
            }
            lock.lock();
            for (const QString &p : qAsConst(failed))
                post([report = m_failed, p] { report(p); });
        }
        if (checkDue) {
            m_nextCheck = Clock::now() + std::chrono::milliseconds(checkMs);
            lock.unlock();
            const bool there = FileSync::stillAt(handle, path);
            lock.lock();
            if (!there && generation == m_generation && !m_lostReported) {
                m_lostReported = true;
                post([lost = m_lost, generation] { lost(generation); });
            }
        }
        m_busy = false;
        m_done.notify_all();
    }
}
