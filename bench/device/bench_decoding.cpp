// Decoding throughput of the serial measuring system with a receiver
// connected: a stream of 10^6 frames whose counter runs on without a break,
// fed in arrivals of 10^3 .. 10^6 frames, and byte by byte. Every frame passes
// the counter guard as in the program, so a counter that jumped back at each
// arrival would be refused and the bench stops. The per-frame cost of the
// largest arrival against the smallest shows whether decoding stays linear in
// the size of a burst.
#include "benchload.h"
#include "counterguard.h"
#include "framebuilder.h"
#include "framedecoder.h"
#include "usbtervalomeassystem.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr double linkFramesPerSecond = 38400.0 / 10.0 / 12.0;  // 8N1: 10 bits a byte
constexpr int framesPerRound = 1000000;
constexpr int rounds = 3;

// The stream cut into arrivals of framesInArrival frames; made before the
// clock starts, so that building frames is no part of the figure.
std::vector<QByteArray> arrivals(const QByteArray &stream, int framesInArrival)
{
    const int bytes = framesInArrival * FrameBuilder::frameSize;
    std::vector<QByteArray> cut;
    cut.reserve(size_t(stream.size() / bytes) + 1);
    for (int at = 0; at < stream.size(); at += bytes)
        cut.push_back(stream.mid(at, bytes));
    return cut;
}

// Nanoseconds per frame, the best of a few rounds, each a fresh measuring
// system fed the whole stream; stops the bench when a frame is lost or comes
// out of order.
double timeStream(const std::vector<QByteArray> &pieces, int frames, const char *what)
{
    double best = 1e300;
    for (int round = 0; round < rounds; ++round) {
        // A path, so that no lookup walks the machine's serial ports.
        UsbTervaloMeasSystem system(QStringLiteral("/nonexistent/bench-port"), nullptr);
        qint64 received = 0;
        qint64 outOfOrder = 0;
        QObject::connect(&system, &MeasSystem::sigCurrentMeas, [&](std::vector<QVariant> record) {
            if (record[4].toInt() != received)
                ++outOfOrder;
            ++received;
        });
        QElapsedTimer timer;
        timer.start();
        for (const QByteArray &piece : pieces)
            system.receive(piece);
        const double ns = double(timer.nsecsElapsed());
        if (received != frames || outOfOrder != 0 || system.refusedFrames() != 0) {
            std::fprintf(stderr, "%s: %lld of %d frames, %lld out of order, %lld refused by the counter guard\n",
                         what, received, frames, outOfOrder, system.refusedFrames());
            std::exit(2);
        }
        best = std::min(best, ns / double(frames));
    }
    return best;
}

double timeDecoderOnly(const std::vector<QByteArray> &pieces)
{
    double best = 1e300;
    for (int round = 0; round < rounds; ++round) {
        FrameDecoder decoder;
        qint64 frames = 0;
        QElapsedTimer timer;
        timer.start();
        for (const QByteArray &piece : pieces)
            frames += qint64(decoder.decode(piece).size());
        best = std::min(best, double(timer.nsecsElapsed()) / double(frames));
    }
    return best;
}

// The guard on its own, one check a frame on a running counter, with a clock
// value that moves as the link's would.
double timeGuardOnly()
{
    double best = 1e300;
    for (int round = 0; round < rounds; ++round) {
        CounterGuard guard(UsbTervaloMeasSystem::periodMs());
        qint64 accepted = 0;
        QElapsedTimer timer;
        timer.start();
        for (qint32 counter = 0; counter < framesPerRound; ++counter)
            accepted += guard.check(counter, counter / 20) == CounterGuard::Accepted;
        const double ns = double(timer.nsecsElapsed());
        if (accepted != framesPerRound) {
            std::fprintf(stderr, "counter guard refused %lld frames of a running counter\n",
                         framesPerRound - accepted);
            std::exit(2);
        }
        best = std::min(best, ns / double(framesPerRound));
    }
    return best;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    std::printf("load average at start: %s\n", benchLoadAverage().constData());

    const QByteArray stream = FrameBuilder::burst(framesPerRound);
    std::printf("Decoding with the counter guard and a receiver of sigCurrentMeas, %d frames of a running\n"
                "counter (best of %d rounds)\n", framesPerRound, rounds);
    std::printf("%-28s %12s %14s %12s\n", "arrival", "ns/frame", "frames/s", "x link");
    const int sizes[] = { 1000, 10000, 100000, 1000000 };
    double perFrame[4] = {};
    for (int i = 0; i < 4; ++i) {
        char label[64];
        std::snprintf(label, sizeof label, "one arrival of %d", sizes[i]);
        perFrame[i] = timeStream(arrivals(stream, sizes[i]), framesPerRound, label);
        const double fps = 1e9 / perFrame[i];
        std::printf("%-28s %12.1f %14.0f %12.0f\n", label, perFrame[i], fps, fps / linkFramesPerSecond);
        std::fflush(stdout);
    }
    const int bytewiseFrames = 10000;
    const QByteArray bytewiseStream = stream.left(bytewiseFrames * FrameBuilder::frameSize);
    std::vector<QByteArray> bytes;
    bytes.reserve(size_t(bytewiseStream.size()));
    for (char byte : bytewiseStream)
        bytes.push_back(QByteArray(1, byte));
    const double bytewise = timeStream(bytes, bytewiseFrames, "byte by byte");
    std::printf("%-28s %12.1f %14.0f %12.0f\n", "byte by byte (10000 frames)", bytewise, 1e9 / bytewise,
                1e9 / bytewise / linkFramesPerSecond);

    std::printf("\nParts on their own\n");
    for (int size : { 1000, 1000000 }) {
        const double ns = timeDecoderOnly(arrivals(stream, size));
        std::printf("frame decoder, one arrival of %-8d %8.1f ns/frame\n", size, ns);
    }
    std::printf("counter guard, one check a frame      %8.1f ns/frame\n", timeGuardOnly());

    const double ratio = perFrame[3] / perFrame[0];
    const double slowest = std::max(*std::max_element(perFrame, perFrame + 4), bytewise);
    std::printf("\nper-frame cost, 10^6 against 10^3 frames in one arrival: %.2fx (limit 1.5x): %s\n", ratio,
                ratio <= 1.5 ? "linear" : "NOT LINEAR");
    std::printf("headroom over the link's %.0f frames/s (38400 baud 8N1), slowest case: %.0fx\n",
                linkFramesPerSecond, 1e9 / slowest / linkFramesPerSecond);
    std::printf("load average at end: %s\n", benchLoadAverage().constData());
    return ratio <= 1.5 ? 0 : 1;
}
