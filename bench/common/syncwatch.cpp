#include "syncwatch.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

#if defined(__GLIBC__)
#include <dlfcn.h>
#endif

namespace {

std::mutex mutex;
std::vector<SyncWatch::Sync> syncs;
std::thread::id startThread;
bool recording = false;

template <typename Call>
int timed(Call call)
{
    const auto from = std::chrono::steady_clock::now();
    const int result = call();
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - from);
    std::lock_guard<std::mutex> lock(mutex);
    if (recording)
        syncs.push_back({ qint64(ns.count()), std::this_thread::get_id() == startThread });
    return result;
}

} // namespace

#if defined(__GLIBC__)
// The executable's own definitions win over the C library's, for the program's
// code and for the Qt libraries alike; they call the library's in turn.
extern "C" int fsync(int fd)
{
    static const auto next = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
    return timed([fd] { return next(fd); });
}

extern "C" int fdatasync(int fd)
{
    static const auto next = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fdatasync"));
    return timed([fd] { return next(fd); });
}
#endif

namespace SyncWatch {

bool available()
{
#if defined(__GLIBC__)
    return true;
#else
    return false;
#endif
}

void start()
{
    std::lock_guard<std::mutex> lock(mutex);
    syncs.clear();
    startThread = std::this_thread::get_id();
    recording = true;
}

std::vector<Sync> recorded()
{
    std::lock_guard<std::mutex> lock(mutex);
    return syncs;
}

Summary summarize(const std::vector<Sync> &all)
{
    Summary summary;
    summary.count = int(all.size());
    if (all.empty())
        return summary;
    std::vector<qint64> ns;
    bool onStart = false, elsewhere = false;
    for (const Sync &sync : all) {
        ns.push_back(sync.ns);
        (sync.onStartThread ? onStart : elsewhere) = true;
    }
    std::sort(ns.begin(), ns.end());
    summary.medianMs = ns[ns.size() / 2] / 1e6;
    summary.worstMs = ns.back() / 1e6;
    summary.where = onStart && elsewhere ? "both the event loop's thread and others"
            : onStart                   ? "the event loop's thread"
                                        : "another thread";
    return summary;
}

} // namespace SyncWatch
