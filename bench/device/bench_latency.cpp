// Latency from the device's write to sigCurrentMeas, over a pseudo-terminal
// and through the real event loop: a writer thread plays the trolley and
// stamps each frame's counter with its send time. With --record the event loop
// also keeps rows in a journal meanwhile, as during a recording (4 rows a
// second at 1 m/s, or --rate), so the journal's cost on the frames shows; its
// syncs are timed too.
//
//   bench_latency [FRAMES] [PERIOD_MS] [--record] [--rate ROWS_PER_S]
#include "benchload.h"
#include "framebuilder.h"
#include "journal.h"
#include "pseudoterminal.h"
#include "syncwatch.h"
#include "testfolder.h"
#include "usbtervalomeassystem.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    const std::size_t i = std::min(values.size() - 1, std::size_t(p * double(values.size() - 1) + 0.5));
    return values[i];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    int frames = 400;
    int periodMs = UsbTervaloMeasSystem::periodMs();
    bool record = false;
    double rate = 4.0;
    int positional = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--record") == 0)
            record = true;
        else if (std::strcmp(argv[i], "--rate") == 0 && i + 1 < argc)
            rate = std::max(0.1, atof(argv[++i]));
        else if (positional++ == 0)
            frames = std::max(10, atoi(argv[i]));
        else
            periodMs = std::max(1, atoi(argv[i]));
    }
    std::printf("load average at start: %s\n", benchLoadAverage().constData());

    // The journal and the run log in a scratch folder, as the program keeps
    // them in its working folder.
    std::unique_ptr<TestFolder> folder;
    std::unique_ptr<Journal> journal;
    QTimer keeper;
    int rows = 0;
    if (record) {
        folder = std::make_unique<TestFolder>(TestFolder::WithLog);
        if (!folder->isValid()) {
            std::fprintf(stderr, "no working folder\n");
            return 2;
        }
        journal = std::make_unique<Journal>();
        QObject::connect(&keeper, &QTimer::timeout, [&] {
            // A quarter metre further at every row, as the window hands them over.
            rows += journal->keep(rows / 400, true, float(rows % 400) * 0.25f, 1.5f, -2.25f);
        });
    }

    PseudoTerminal pty;
    if (!pty.open()) {
        std::fprintf(stderr, "no pseudo-terminal: %s\n", qPrintable(pty.errorString()));
        return 2;
    }
    UsbTervaloMeasSystem system(pty.slavePath(), nullptr);
    if (!system.setActive(true)) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(pty.slavePath()));
        return 2;
    }

    std::unique_ptr<std::atomic<qint64>[]> sentAt(new std::atomic<qint64>[frames]);
    for (int i = 0; i < frames; ++i)
        sentAt[i] = 0;
    std::vector<double> latencyUs;
    latencyUs.reserve(frames);
    QObject::connect(&system, &MeasSystem::sigCurrentMeas, [&](std::vector<QVariant> record) {
        const qint64 received = nowNs();
        const int counter = record[4].toInt();
        if (counter >= 0 && counter < frames && sentAt[counter] != 0)
            latencyUs.push_back(double(received - sentAt[counter]) / 1000.0);
        if (int(latencyUs.size()) == frames)
            QCoreApplication::quit();
    });

    std::atomic<bool> stop { false };
    std::thread writer([&] {
        auto due = Clock::now();
        for (int i = 0; i < frames && !stop; ++i) {
            std::this_thread::sleep_until(due);
            const QByteArray frame = FrameBuilder::frame(qint16(i % 500), qint16(-(i % 700)), i);
            sentAt[i] = nowNs();
            pty.write(frame);
            due += std::chrono::milliseconds(periodMs);
        }
    });
    // Whatever happens, do not hang: a generous bound over the stream's length.
    QTimer::singleShot(frames * periodMs + 10000, &app, &QCoreApplication::quit);
    if (record) {
        SyncWatch::start();
        keeper.start(std::max(1, int(1000.0 / rate)));
    }
    app.exec();
    keeper.stop();
    stop = true;
    writer.join();

    std::printf("Latency of device write -> sigCurrentMeas over a pseudo-terminal, %d frames every %d ms\n",
                frames, periodMs);
    if (record) {
        std::printf("recording meanwhile: %d rows kept at %.1f rows/s\n", rows, rate);
        const SyncWatch::Summary syncs = SyncWatch::summarize(SyncWatch::recorded());
        if (!SyncWatch::available())
            std::printf("journal syncs: not measurable here (needs the GNU C library)\n");
        else
            std::printf("journal syncs: %d, median %.2f ms, worst %.2f ms, on %s\n", syncs.count, syncs.medianMs,
                        syncs.worstMs, syncs.where);
    }
    if (latencyUs.empty()) {
        std::printf("no frame arrived\n");
        return 1;
    }
    std::printf("received %zu of %d frames\n", latencyUs.size(), frames);
    std::printf("median %.0f us, p99 %.0f us, max %.0f us\n", percentile(latencyUs, 0.5),
                percentile(latencyUs, 0.99), percentile(latencyUs, 1.0));
    std::printf("load average at end: %s\n", benchLoadAverage().constData());
    return int(latencyUs.size()) == frames ? 0 : 1;
}
