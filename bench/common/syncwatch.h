#ifndef SYNCWATCH_H
#define SYNCWATCH_H

#include <QtGlobal>

#include <vector>

// Times every fsync() and fdatasync() of the process and notes whether it ran
// on the thread that called start() (the event loop's). It stands in for the C
// library's functions, so a benchmark sees the journal's pushes to the disk,
// and where they run, through no door of the journal's own. Only with the GNU
// C library; elsewhere available() is false and nothing is recorded.
namespace SyncWatch {

struct Sync
{
    qint64 ns = 0;
    bool onStartThread = false;
};

bool available();
// Forgets what was recorded and records from now on; the caller's thread is
// the one the syncs are told apart by.
void start();
// What was recorded since start(), oldest first.
std::vector<Sync> recorded();

// Median and worst in milliseconds, and the thread the syncs ran on, in words
// for the figures; "none" without a sync.
struct Summary
{
    int count = 0;
    double medianMs = 0;
    double worstMs = 0;
    const char *where = "none";
};
Summary summarize(const std::vector<Sync> &syncs);

} // namespace SyncWatch

#endif // SYNCWATCH_H
