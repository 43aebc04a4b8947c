#ifndef JOURNALSYNCER_H
#define JOURNALSYNCER_H

#include "filesync.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class QFileDevice;
class QObject;

// Puts the journal's file on the disk off the GUI thread, and watches that its
// path still names it. A thread of its own holds a second handle on the file,
// so the QFile stays the GUI thread's alone: a sync can take a third of a
// second on a loaded machine, and the window must not stop for it. The thread
// syncs at most syncDelayMs after a row asked for it, looks at the path every
// checkMs, and reports a file that is no longer there (removed, renamed,
// replaced, its folder gone) once, on the context object's thread. The
// journal owns it.
class JournalSyncer
{
public:
    static constexpr int syncDelayMs = 500;
    static constexpr int checkMs = 400;

    // `lost` gets the generation of the file that vanished; `failed` the path
    // of a file the system would not sync. Both run on the context's thread.
    JournalSyncer(QObject *context, std::function<void(int)> lost, std::function<void(const QString &)> failed);
    ~JournalSyncer();

    JournalSyncer(const JournalSyncer &) = delete;
    JournalSyncer &operator=(const JournalSyncer &) = delete;

    // Follows the file open in `file` from now on (a file written whole just
    // before: it and its name reach the disk within syncDelayMs). Returns its
    // generation, which a loss names; 0 when no handle could be had.
    int attach(QFileDevice &file);
    // Lets go of the file once a sync or look that runs has ended, so that it
    // may be closed, renamed or removed, also on Windows.
    void detach();

    // Rows were appended: on the disk within syncDelayMs.
    void requestSync();
    // A file written whole by name (and its name): on the disk within syncDelayMs.
    void requestPathSync(const QString &path);
    enum class Result { Synced, SyncFailed, Gone, NoFile };
    // Syncs at once and waits for it, then looks whether the path still names
    // the file: what a stopped recording and the end of the program need.
    Result syncNow();

private:
    using Clock = std::chrono::steady_clock;

    void run();
    void post(std::function<void()> call);

    QObject *m_context;   // outlives the thread: the journal owns both
    std::function<void(int)> m_lost;
    std::function<void(const QString &)> m_failed;

    std::mutex m_mutex;
    std::condition_variable m_wake;   // work for the thread
    std::condition_variable m_done;   // the thread finished a step
    FileSync::Handle m_handle = FileSync::noHandle;
    QString m_path;
    int m_generation = 0;
    bool m_lostReported = false;
    quint64 m_requested = 0;          // asks for a sync, counted
    quint64 m_synced = 0;             // asks covered by the last sync that ended
    bool m_lastSyncOk = true;
    bool m_pending = false;
    bool m_folderPending = false;
    Clock::time_point m_deadline;
    QStringList m_paths;
    Clock::time_point m_pathsDeadline;
    Clock::time_point m_nextCheck;
    bool m_busy = false;
    bool m_stop = false;
    std::thread m_thread;
};

#endif // JOURNALSYNCER_H
