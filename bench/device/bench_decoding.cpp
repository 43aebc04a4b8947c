// Decoding throughput of the serial measuring system with a receiver
// connected: one arrival of 10^3 .. 10^6 frames, and byte-by-byte arrivals.
// The per-frame cost of the largest arrival against the smallest shows
// whether decoding stays linear in the size of a burst.
#include "framebuilder.h"
#include "framedecoder.h"
#include "usbtervalomeassystem.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>

namespace {

constexpr double linkFramesPerSecond = 38400.0 / 10.0 / 12.0;  // 8N1: 10 bits a byte
constexpr qint64 framesPerRound = 1000000;
constexpr int rounds = 3;

struct Receiver
{
    qint64 frames = 0;
    qint64 counterSum = 0;
};

// Nanoseconds per frame, the best of a few rounds: each round feeds enough
// copies of the arrival to decode a million frames.
double timeOneArrival(int framesInArrival)
{
    const QByteArray arrival = FrameBuilder::burst(framesInArrival);
    const qint64 repeats = std::max<qint64>(1, framesPerRound / framesInArrival);
    double best = 1e300;
    for (int round = 0; round < rounds; ++round) {
        // A path, so that no lookup walks the machine's serial ports.
        UsbTervaloMeasSystem system(QStringLiteral("/nonexistent/bench-port"), nullptr);
        Receiver receiver;
        QObject::connect(&system, &MeasSystem::sigCurrentMeas, [&receiver](std::vector<QVariant> record) {
            ++receiver.frames;
            receiver.counterSum += record[4].toInt();
        });
        QElapsedTimer timer;
        timer.start();
        for (qint64 i = 0; i < repeats; ++i)
            system.receive(arrival);
        const double ns = double(timer.nsecsElapsed());
        if (receiver.frames != repeats * framesInArrival) {
            std::fprintf(stderr, "lost frames: %lld of %lld\n", receiver.frames, repeats * framesInArrival);
            std::exit(2);
        }
        best = std::min(best, ns / double(receiver.frames));
    }
    return best;
}

double timeByteByByte(int frames)
{
    const QByteArray stream = FrameBuilder::burst(frames);
    double best = 1e300;
    for (int round = 0; round < rounds; ++round) {
        UsbTervaloMeasSystem system(QStringLiteral("/nonexistent/bench-port"), nullptr);
        qint64 received = 0;
        QObject::connect(&system, &MeasSystem::sigCurrentMeas, [&received](std::vector<QVariant>) { ++received; });
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < stream.size(); ++i)
            system.receive(stream.mid(i, 1));
        const double ns = double(timer.nsecsElapsed());
        if (received != frames) {
            std::fprintf(stderr, "lost frames byte by byte: %lld of %d\n", received, frames);
            std::exit(2);
        }
        best = std::min(best, ns / double(frames));
    }
    return best;
}

double timeDecoderOnly(int framesInArrival)
{
    const QByteArray arrival = FrameBuilder::burst(framesInArrival);
    const qint64 repeats = std::max<qint64>(1, framesPerRound / framesInArrival);
    double best = 1e300;
    for (int round = 0; round < rounds; ++round) {
        FrameDecoder decoder;
        qint64 frames = 0;
        QElapsedTimer timer;
        timer.start();
        for (qint64 i = 0; i < repeats; ++i)
            frames += qint64(decoder.decode(arrival).size());
        best = std::min(best, double(timer.nsecsElapsed()) / double(frames));
    }
    return best;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);

    std::printf("Decoding with a receiver of sigCurrentMeas (best of %d rounds of %lld frames)\n",
                rounds, framesPerRound);
    std::printf("%-28s %12s %14s %12s\n", "arrival", "ns/frame", "frames/s", "x link");
    const int sizes[] = { 1000, 10000, 100000, 1000000 };
    double perFrame[4] = {};
    for (int i = 0; i < 4; ++i) {
        perFrame[i] = timeOneArrival(sizes[i]);
        const double fps = 1e9 / perFrame[i];
        char label[64];
        std::snprintf(label, sizeof label, "one arrival of %d", sizes[i]);
        std::printf("%-28s %12.1f %14.0f %12.0f\n", label, perFrame[i], fps, fps / linkFramesPerSecond);
        std::fflush(stdout);
    }
    const double bytewise = timeByteByByte(10000);
    std::printf("%-28s %12.1f %14.0f %12.0f\n", "byte by byte (10000 frames)", bytewise, 1e9 / bytewise,
                1e9 / bytewise / linkFramesPerSecond);

    std::printf("\nFrame decoder alone (no records, no signals)\n");
    for (int size : { 1000, 1000000 }) {
        const double ns = timeDecoderOnly(size);
        std::printf("one arrival of %-13d %12.1f ns/frame\n", size, ns);
    }

    const double ratio = perFrame[3] / perFrame[0];
    const double slowest = std::max(*std::max_element(perFrame, perFrame + 4), bytewise);
    std::printf("\nper-frame cost, 10^6 against 10^3 frames in one arrival: %.2fx (limit 1.5x): %s\n", ratio,
                ratio <= 1.5 ? "linear" : "NOT LINEAR");
    std::printf("headroom over the link's %.0f frames/s (38400 baud 8N1), slowest case: %.0fx\n",
                linkFramesPerSecond, 1e9 / slowest / linkFramesPerSecond);
    return ratio <= 1.5 ? 0 : 1;
}
