// A full night's run: 50 km kept every quarter metre, then one save of the
// protocol. Prints the cost of each kept measurement (two run-log lines each),
// the save time, the sizes and the peak memory.

#include "journal.h"
#include "tervalo.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 200000;

    QTemporaryDir dir;
    if (!dir.isValid() || !QDir::setCurrent(dir.path())) {
        std::fprintf(stderr, "no working folder\n");
        return 1;
    }

    const QString path = dir.filePath(QStringLiteral("protocol.csv"));
    qint64 measureNs = 0;
    qint64 saveNs = 0;
    bool saved = false;
    size_t kept = 0;
    {
        Tervalo controller;
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < count; ++i) {
            // A picket every 100 m; offsets wander the way a real rail does.
            const float length = (i % 400) * 0.25f;
            controller.saveMeasure(i / 400, true, length, (i % 2001 - 1000) * 0.013f,
                                   (i % 1501 - 750) * 0.021f);
        }
        measureNs = timer.nsecsElapsed();
        kept = controller.journalEntries().size();

        timer.restart();
        saved = controller.saveProtocol(QUrl::fromLocalFile(path).toString());
        saveNs = timer.nsecsElapsed();
    }

    std::printf("measurements kept:     %zu of %d\n", kept, count);
    std::printf("saveMeasure:           %.2f us per call (%.0f ms in all)\n",
                measureNs / 1000.0 / count, measureNs / 1e6);
    std::printf("saveProtocol:          %.1f ms (%s)\n", saveNs / 1e6, saved ? "saved" : "FAILED");
    std::printf("protocol file:         %lld bytes\n", QFileInfo(path).size());
    std::printf("run log:               %lld bytes\n",
                QFileInfo(dir.filePath(QStringLiteral("tervalo.log"))).size());
#ifdef Q_OS_UNIX
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory (maxrss):  %ld KiB\n", usage.ru_maxrss);
#endif
    return saved && kept == size_t(count) ? 0 : 1;
}
