// The window's longest frame gap while a recording keeps rows on a busy
// machine: the program's window and controller against the simulated trolley
// pushed at 1 m/s, with busy loops taking the cores, so that any wait of the
// GUI thread (a sync of the journal file among them) shows as a gap. The
// journal lives in a scratch folder on the disk of the temporary folder.
//
//   bench_recording [--seconds N] [--busy N] [--speed M_PER_S] [--idle 1] [--disk 1]
//
// With --idle 1 the same time passes without a recording: the gaps the load
// alone makes, to set the recording's against. With --disk 1 another process
// writes and syncs 16 MB at a time in the scratch folder throughout, so that
// every sync of the journal waits for the disk as on a machine that copies
// files meanwhile.
// Run it under Xvfb with software rendering:
//   Xvfb :98 -screen 0 1366x768x24 & DISPLAY=:98 QT_QUICK_BACKEND=software bench_recording
// Prints the frames, the longest gap and the gaps over 100 ms during the
// recording, the rows kept, how long the stop waited for the journal's sync,
// and the load average before and after.

#include "meassystemsfinder.h"
#include "tervalo.h"
#include "windowbench.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray("?");
}

} // namespace

int main(int argc, char *argv[])
{
    auto option = [argc, argv](const char *name, double fallback) {
        return WindowBench::option(argc, argv, name, fallback);
    };
    const int seconds = qMax(1, int(option("--seconds", 60)));
    const int busy = qMax(0, int(option("--busy", 2)));
    const double speed = option("--speed", 1.0);
    const bool idle = option("--idle", 0) != 0;
    const bool diskLoad = option("--disk", 0) != 0;

    QTemporaryDir dir;
    if (!dir.isValid() || !QDir::setCurrent(dir.path())) {
        std::fprintf(stderr, "no scratch folder\n");
        return 2;
    }
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("user-data"))));
    const QString trolleyPath = dir.filePath(QStringLiteral("trolley"));
    const qint64 simulatorPid =
            WindowBench::startTrolley(trolleyPath, { "--steady", "1.5,-2.25", "--speed", QString::number(speed) });
    if (simulatorPid <= 0) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 2;
    }
    MeasSystemsFinder::setSystemPortsListed(false);
    qputenv("TERVALO_EXTRA_PORTS", QFile::encodeName(trolleyPath));

    WindowBench::prepareApplication();
    QGuiApplication app(argc, argv);
    QQmlApplicationEngine engine;
    Tervalo controller(nullptr);
    QQuickWindow *window = WindowBench::loadWindow(app, engine, controller);
    if (!window)
        return 2;
    controller.start();

    std::vector<pid_t> loops;
    QByteArray loadBefore, loadAfter;
    QElapsedTimer clock;
    clock.start();
    qint64 recordingFrom = -1, recordingTo = -1, lastFrame = -1, stopWaitMs = -1;
    std::vector<qint64> gaps;
    // Where in the recording the long gaps fell: one at its start is the
    // start's own work, one anywhere else the rows'.
    std::vector<std::pair<qint64, qint64>> longGaps;
    int rows = 0;

    QObject::connect(window, &QQuickWindow::frameSwapped, &app, [&] {
        const qint64 now = clock.elapsed();
        if (recordingFrom >= 0 && recordingTo < 0 && lastFrame >= recordingFrom) {
            gaps.push_back(now - lastFrame);
            if (now - lastFrame > 50)
                longGaps.emplace_back(now - lastFrame, lastFrame - recordingFrom);
        }
        lastFrame = now;
        window->update();
    });
    window->update();

    // Once values come, the loops start and then the recording.
    QTimer waitLive;
    waitLive.setInterval(100);
    QObject::connect(&waitLive, &QTimer::timeout, &app, [&] {
        if (controller.linkState() != QLatin1String("live") || controller.currentS() == 0)
            return;
        waitLive.stop();
        for (int i = 0; i < busy + (diskLoad ? 1 : 0); ++i) {
            const pid_t pid = ::fork();
            if (pid == 0 && i == busy) {
                const QByteArray chunk(16 << 20, 'x');
                const QByteArray name = QFile::encodeName(dir.filePath(QStringLiteral("disk-load")));
                for (;;) {
                    FILE *file = std::fopen(name.constData(), "wb");
                    if (!file)
                        _exit(1);
                    std::fwrite(chunk.constData(), 1, size_t(chunk.size()), file);
                    std::fflush(file);
                    ::fsync(::fileno(file));
                    std::fclose(file);
                }
            }
            if (pid == 0) {
                for (volatile unsigned long n = 0;; n = n + 1) {
                }
            }
            if (pid > 0)
                loops.push_back(pid);
        }
        QTimer::singleShot(2000, &app, [&] {
            loadBefore = loadAverage();
            if (!idle)
                window->setProperty("measuring", true);
            recordingFrom = clock.elapsed();
            QTimer::singleShot(seconds * 1000, &app, [&] {
                recordingTo = clock.elapsed();
                rows = controller.unsavedCount();
                QElapsedTimer stop;
                stop.start();
                controller.recordingStopped();
                stopWaitMs = stop.elapsed();
                loadAfter = loadAverage();
                app.quit();
            });
        });
    });
    waitLive.start();
    QTimer::singleShot((seconds + 60) * 1000, &app, &QCoreApplication::quit);
    app.exec();

    for (pid_t pid : loops) {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    if (simulatorPid > 0)
        ::kill(pid_t(simulatorPid), SIGTERM);
    if (recordingTo < 0) {
        std::fprintf(stderr, "the recording never ran (no trolley values)\n");
        return 1;
    }
    std::sort(gaps.begin(), gaps.end());
    const auto over = std::count_if(gaps.begin(), gaps.end(), [](qint64 g) { return g > 100; });
    const qint64 longest = gaps.empty() ? 0 : gaps.back();
    const qint64 p99 = gaps.empty() ? 0 : gaps[std::min(gaps.size() - 1, gaps.size() * 99 / 100)];
    std::printf("%s %d s at %.2f m/s, %d busy loops%s\n", idle ? "not recording:             " : "recording:                 ",
                seconds, speed, busy, diskLoad ? ", a process writing to the disk" : "");
    std::printf("load average before:        %s\n", loadBefore.constData());
    std::printf("rows kept:                  %d\n", rows);
    std::printf("frames:                     %zu\n", gaps.size());
    std::printf("longest frame gap:          %lld ms\n", longest);
    std::printf("99th percentile gap:        %lld ms\n", p99);
    std::printf("gaps over 100 ms:           %lld\n", static_cast<long long>(over));
    std::printf("gaps over 50 ms, at:        ");
    for (const auto &gap : longGaps)
        std::printf("%lld ms at %.2f s  ", gap.first, gap.second / 1000.0);
    std::printf("\n");
    std::printf("stop waited for the sync:   %lld ms\n", stopWaitMs);
    std::printf("load average after:         %s\n", loadAfter.constData());
    return 0;
}
