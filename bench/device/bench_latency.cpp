// Latency from the device's write to sigCurrentMeas, over a pseudo-terminal
// and through the real event loop: a writer thread plays the trolley and
// stamps each frame's counter with its send time.
#include "framebuilder.h"
#include "pseudoterminal.h"
#include "usbtervalomeassystem.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
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
    const int frames = argc > 1 ? std::max(10, atoi(argv[1])) : 400;
    const int periodMs = argc > 2 ? std::max(1, atoi(argv[2])) : UsbTervaloMeasSystem::periodMs();

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
    app.exec();
    stop = true;
    writer.join();

    std::printf("Latency of device write -> sigCurrentMeas over a pseudo-terminal, %d frames every %d ms\n",
                frames, periodMs);
    if (latencyUs.empty()) {
        std::printf("no frame arrived\n");
        return 1;
    }
    std::printf("received %zu of %d frames\n", latencyUs.size(), frames);
    std::printf("median %.0f us, p99 %.0f us, max %.0f us\n", percentile(latencyUs, 0.5),
                percentile(latencyUs, 0.99), percentile(latencyUs, 1.0));
    return int(latencyUs.size()) == frames ? 0 : 1;
}
