// The journal as the program runs it: rows handed over one at a time from the
// event loop, so that the journal's own half-second push to the disk happens
// as it does in the program.
//
// First a night's run, 50 km kept every quarter metre as fast as the loop
// turns, then one save of the protocol: the cost of each kept row (a write to
// the journal file and two run-log lines), the syncs, the save, the sizes.
// Then a recording at the program's pace (4 rows a second at 1 m/s) while a
// 1 ms timer probes the event loop: its longest wait is what the window would
// feel of the journal. Beside it the same probe without rows, the machine's own
// noise. Every fsync()/fdatasync() is timed and told apart by the thread it ran
// on (GNU C library only).
//
//   bench_journal [ROWS] [--rate ROWS_PER_S] [--seconds S]
//
// The journal lies in a scratch folder below TMPDIR (default /tmp): put that on
// the disk whose syncs are to be measured; a RAM file system syncs for free.

#include "benchload.h"
#include "journal.h"
#include "syncwatch.h"
#include "testfolder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStorageInfo>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <cstring>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace {

bool keepRow(Journal &journal, int i)
{
    // A picket every 100 m; offsets wander the way a real rail does.
    return journal.keep(i / 400, true, float(i % 400) * 0.25f, float(i % 2001 - 1000) * 0.013f,
                        float(i % 1501 - 750) * 0.021f);
}

// The waits of a repeating 1 ms timer on the event loop's thread: anything
// that holds the loop (a sync on that thread) shows as a long one.
class LoopProbe
{
public:
    LoopProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 gapNs = m_clock.nsecsElapsed();
            m_clock.start();
            m_longestNs = qMax(m_longestNs, gapNs);
            m_over16 += gapNs > 16000000;
            m_over100 += gapNs > 100000000;
        });
    }
    void start()
    {
        m_longestNs = 0;
        m_over16 = m_over100 = 0;
        m_clock.start();
        m_timer.start();
    }
    void stop() { m_timer.stop(); }
    void print(const char *label) const
    {
        std::printf("  %-24s %9.1f ms %13d %14d\n", label, m_longestNs / 1e6, m_over16, m_over100);
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longestNs = 0;
    int m_over16 = 0;
    int m_over100 = 0;
};

void printSyncs(const char *label, const std::vector<SyncWatch::Sync> &syncs)
{
    if (!SyncWatch::available()) {
        std::printf("%-24s not measurable here (needs the GNU C library); see the event loop's waits\n", label);
        return;
    }
    const SyncWatch::Summary s = SyncWatch::summarize(syncs);
    if (s.count == 0) {
        std::printf("%-24s none\n", label);
        return;
    }
    std::printf("%-24s %d, median %.2f ms, worst %.2f ms, on %s\n", label, s.count, s.medianMs, s.worstMs,
                s.where);
}

// Runs the event loop for ms milliseconds.
void runFor(int ms)
{
    QTimer::singleShot(ms, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int count = 200000;
    double rate = 4.0;
    int seconds = 20;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rate") == 0 && i + 1 < argc)
            rate = qMax(0.1, QByteArray(argv[++i]).toDouble());
        else if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc)
            seconds = qMax(1, QByteArray(argv[++i]).toInt());
        else if (QByteArray(argv[i]).toInt() > 0)
            count = QByteArray(argv[i]).toInt();
        else {
            std::fprintf(stderr, "usage: bench_journal [ROWS] [--rate ROWS_PER_S] [--seconds S]\n");
            return 2;
        }
    }

    TestFolder folder(TestFolder::WithLog);
    if (!folder.isValid()) {
        std::fprintf(stderr, "no working folder\n");
        return 2;
    }
    std::printf("load average at start: %s\n", benchLoadAverage().constData());
    std::printf("journal folder:        %s (%s; TMPDIR chooses it)\n", qPrintable(folder.path()),
                QStorageInfo(folder.path()).fileSystemType().constData());

    Journal journal;
    const QString path = folder.filePath(QStringLiteral("protocol.csv"));

    // A night's run, one row a turn of the loop.
    int next = 0;
    size_t kept = 0;
    qint64 keepNs = 0;
    qint64 keepingNs = 0;
    QElapsedTimer wall;
    QTimer feeder;
    QObject::connect(&feeder, &QTimer::timeout, [&] {
        QElapsedTimer call;
        call.start();
        kept += keepRow(journal, next++);
        keepNs += call.nsecsElapsed();
        if (next == count) {
            feeder.stop();
            keepingNs = wall.nsecsElapsed();
            // The last rows' push to the disk comes after them, as in the program.
            QTimer::singleShot(600, &app, &QCoreApplication::quit);
        }
    });
    SyncWatch::start();
    wall.start();
    feeder.start(0);
    app.exec();
    const std::vector<SyncWatch::Sync> nightSyncs = SyncWatch::recorded();

    SyncWatch::start();
    QElapsedTimer timer;
    timer.start();
    const bool saved = journal.save(QUrl::fromLocalFile(path).toString());
    const qint64 saveNs = timer.nsecsElapsed();
    const std::vector<SyncWatch::Sync> saveSyncs = SyncWatch::recorded();

    std::printf("\nA night's run: %d rows handed to the journal one a turn of the event loop\n", count);
    std::printf("rows kept:               %zu of %d\n", kept, count);
    std::printf("keep():                  %.2f us per row, the call alone (one file write, two run-log lines)\n",
                keepNs / 1000.0 / count);
    std::printf("keeping at full speed:   %.2f us per row with the event loop and the syncs (%.0f ms in all)\n",
                keepingNs / 1000.0 / count, keepingNs / 1e6);
    printSyncs("syncs while keeping:", nightSyncs);
    std::printf("save():                  %.1f ms (%s)\n", saveNs / 1e6, saved ? "saved" : "FAILED");
    printSyncs("syncs within save():", saveSyncs);
    std::printf("protocol file:           %lld bytes\n", QFileInfo(path).size());
    std::printf("run log:                 %lld bytes\n", QFileInfo(folder.filePath(QStringLiteral("tervalo.log"))).size());

    // A recording at the program's pace, the loop probed throughout.
    std::printf("\nRecording at %.1f rows/s, a 1 ms timer probing the event loop\n", rate);
    std::printf("  %-24s %12s %13s %14s\n", "", "longest wait", "waits > 16 ms", "waits > 100 ms");
    LoopProbe probe;
    const int quietMs = seconds * 500;
    probe.start();
    runFor(quietMs);
    probe.stop();
    char label[64];
    std::snprintf(label, sizeof label, "no rows (%d s)", quietMs / 1000);
    probe.print(label);

    QObject::disconnect(&feeder, nullptr, nullptr, nullptr);
    QObject::connect(&feeder, &QTimer::timeout, [&] { keepRow(journal, next++); });
    const int firstPaced = next;
    SyncWatch::start();
    probe.start();
    feeder.start(qMax(1, int(1000.0 / rate)));
    runFor(seconds * 1000);
    feeder.stop();
    probe.stop();
    const std::vector<SyncWatch::Sync> pacedSyncs = SyncWatch::recorded();
    std::snprintf(label, sizeof label, "keeping rows (%d s)", seconds);
    probe.print(label);
    std::printf("rows kept:               %d\n", next - firstPaced);
    printSyncs("syncs while recording:", pacedSyncs);
    journal.save(QUrl::fromLocalFile(path).toString());

#ifdef Q_OS_UNIX
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("\npeak memory (maxrss):    %ld KiB\n", usage.ru_maxrss);
#endif
    std::printf("load average at end: %s\n", benchLoadAverage().constData());
    return saved && kept == size_t(count) ? 0 : 1;
}
