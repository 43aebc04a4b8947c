// tervalo-sim: a stand-in for the trolley's electronics on a pseudo-terminal.
// Prints the device path as its first line of output; the program finds it when
// the path is named in TERVALO_EXTRA_PORTS.

#include "framebuilder.h"
#include "pseudoterminal.h"
#include "trolleysimulation.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = { -1, -1 };

void onSignal(int number)
{
    const unsigned char byte = static_cast<unsigned char>(number);
    const int saved = errno;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

struct Interval
{
    qint64 startMs = 0;
    qint64 endMs = 0;
};

bool parseInterval(const QString &text, Interval *interval)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 2)
        return false;
    bool ok1 = false, ok2 = false;
    const double at = parts[0].toDouble(&ok1);
    const double length = parts[1].toDouble(&ok2);
    if (!ok1 || !ok2 || at < 0 || length < 0)
        return false;
    interval->startMs = qint64(at * 1000.0 + 0.5);
    interval->endMs = interval->startMs + qint64(length * 1000.0 + 0.5);
    return true;
}

bool inside(const QVector<Interval> &intervals, qint64 ms)
{
    for (const Interval &i : intervals)
        if (ms >= i.startMs && ms < i.endMs)
            return true;
    return false;
}

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

// The device: silent until the program speaks to it (probe byte "0" or
// "INIT"), then one frame per period, simulated or replayed.
class Device : public QObject
{
public:
    struct Settings
    {
        TrolleySimulation::Options trolley;
        qint64 frameLimit = 0;        // 0: no limit
        double distance = -1;          // < 0: no limit
        bool linger = false;
        QVector<Interval> pauses;
        QVector<Interval> silences;
        QByteArray replay;
        bool replaying = false;
        int chunk = 0;                 // 0: the whole file at once
        bool waitForProgram = true;
        bool verbose = false;
    };

    Device(PseudoTerminal *pty, const Settings &settings)
        : m_pty(pty)
        , m_settings(settings)
        , m_trolley(settings.trolley)
    {
        if (settings.distance >= 0)
            m_trolley.setDistanceLimit(settings.distance);
        m_reader = new QSocketNotifier(pty->masterFd(), QSocketNotifier::Read, this);
        connect(m_reader, &QSocketNotifier::activated, this, [this] { onProgramBytes(); });
        m_ticker.setTimerType(Qt::PreciseTimer);
        m_ticker.setInterval(settings.trolley.periodMs);
        connect(&m_ticker, &QTimer::timeout, this, [this] { tick(); });
        if (!settings.waitForProgram)
            startStreaming();
    }

    void toggleStanding()
    {
        m_standing = !m_standing;
        if (m_settings.verbose)
            err() << (m_standing ? "trolley stands\n" : "trolley rolls\n") << Qt::flush;
    }
    void toggleSilence()
    {
        m_silent = !m_silent;
        if (m_settings.verbose)
            err() << (m_silent ? "device silent\n" : "device sends\n") << Qt::flush;
    }

private:
    void onProgramBytes()
    {
        const QByteArray bytes = m_pty->readAvailable();
        if (bytes.isEmpty())
            return;
        if (m_settings.verbose)
            err() << "received " << bytes.toHex(' ') << '\n' << Qt::flush;
        // Only what the program sends counts: the probe byte and the command,
        // which may arrive split over reads.
        m_heard += bytes;
        bool spoken = m_heard.contains('0') || m_heard.contains("INIT");
        m_heard = m_heard.right(3);
        if (spoken && !m_streaming)
            startStreaming();
    }

    void startStreaming()
    {
        m_streaming = true;
        if (m_settings.verbose)
            err() << "streaming\n" << Qt::flush;
        tick();  // the first frame answers at once
        m_ticker.start();
    }

    void tick()
    {
        if (m_finished) {
            drainAndQuit();
            return;
        }
        const qint64 streamMs = m_ticks * qint64(m_settings.trolley.periodMs);
        ++m_ticks;
        const bool silent = m_silent || inside(m_settings.silences, streamMs);
        const bool standing = m_standing || m_ended || inside(m_settings.pauses, streamMs);

        QByteArray out;
        if (m_settings.replaying) {
            if (!m_ended && !silent) {
                const int n = m_settings.chunk > 0 ? m_settings.chunk : m_settings.replay.size();
                out = m_settings.replay.mid(m_replayAt, n);
                m_replayAt += out.size();
                if (m_replayAt >= m_settings.replay.size())
                    endStream();
            }
        } else {
            const bool lastByDistance = m_settings.distance >= 0 && m_trolley.distanceReached();
            const QByteArray frame = m_trolley.nextFrame(standing);
            if (!silent)
                out = frame;
            if (!m_ended) {
                ++m_frames;
                if (lastByDistance || (m_settings.frameLimit > 0 && m_frames >= m_settings.frameLimit))
                    endStream();
            }
        }
        send(out);
        if (m_ended && !m_settings.linger)
            m_finished = true;
    }

    void endStream()
    {
        m_ended = true;
        if (m_settings.verbose)
            err() << "end of stream after " << m_frames << " frames\n" << Qt::flush;
    }

    // A device whose line is not read loses what it sends; but a frame is
    // never cut short, or the program would see a header without its body.
    void send(const QByteArray &bytes)
    {
        if (!m_backlog.isEmpty()) {
            const qint64 n = m_pty->write(m_backlog);
            m_backlog.remove(0, int(qMax<qint64>(n, 0)));
            if (!m_backlog.isEmpty())
                return;
        }
        if (bytes.isEmpty())
            return;
        const qint64 n = m_pty->write(bytes);
        if (n > 0 && n < bytes.size())
            m_backlog = bytes.mid(int(n));
        else if (n <= 0 && m_settings.replaying)
            m_backlog = bytes;  // a replay is sent whole, when the program reads
    }

    // Bytes still in the line die with the pseudo-terminal; give the program
    // a moment to read them.
    void drainAndQuit()
    {
        m_ticker.stop();
        QElapsedTimer waited;
        waited.start();
        auto *poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [this, poll, waited] {
            if (!m_backlog.isEmpty())
                send(QByteArray());
            if ((m_backlog.isEmpty() && m_pty->unreadBySlave() == 0) || waited.elapsed() > 2000) {
                poll->stop();
                QCoreApplication::exit(0);
            }
        });
        poll->start(10);
    }

    PseudoTerminal *m_pty;
    Settings m_settings;
    TrolleySimulation m_trolley;
    QSocketNotifier *m_reader = nullptr;
    QTimer m_ticker;
    QByteArray m_heard;
    QByteArray m_backlog;
    qint64 m_ticks = 0;
    qint64 m_frames = 0;
    int m_replayAt = 0;
    bool m_streaming = false;
    bool m_standing = false;
    bool m_silent = false;
    bool m_ended = false;
    bool m_finished = false;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tervalo-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulates the measuring trolley on a pseudo-terminal.\n"
        "Prints the device path as the first line of output, then waits for the probe byte \"0\" or\n"
        "\"INIT\" and streams 12-byte \"RAIL\" frames: vertical and horizontal offset in hundredths\n"
        "of a millimetre and the wheel counter. Start the program with the path in\n"
        "TERVALO_EXTRA_PORTS (several paths separated by ':') to have it found.\n"
        "Signals: SIGUSR1 toggles a standing trolley, SIGUSR2 toggles a silent device,\n"
        "SIGTERM and SIGINT end the simulator."));
    parser.addHelpOption();
    const QCommandLineOption speedOption(QStringLiteral("speed"),
        QStringLiteral("Trolley speed in metres per second (default 1.0)."), QStringLiteral("m/s"), QStringLiteral("1.0"));
    const QCommandLineOption stepOption(QStringLiteral("step"),
        QStringLiteral("Metres per counter step (default 0.00075)."), QStringLiteral("metres"), QStringLiteral("0.00075"));
    const QCommandLineOption directionOption(QStringLiteral("direction"),
        QStringLiteral("forward: the counter counts up; backward: down (default forward)."),
        QStringLiteral("forward|backward"), QStringLiteral("forward"));
    const QCommandLineOption startCounterOption(QStringLiteral("start-counter"),
        QStringLiteral("Counter value of the first frame (default 0)."), QStringLiteral("n"), QStringLiteral("0"));
    const QCommandLineOption periodOption(QStringLiteral("period"),
        QStringLiteral("Milliseconds between frames (default 50)."), QStringLiteral("ms"), QStringLiteral("50"));
    const QCommandLineOption seedOption(QStringLiteral("seed"),
        QStringLiteral("Seed of the random profile, noise, excursions and dropouts; a seed always gives "
                       "the same frames (default 1)."),
        QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption framesOption(QStringLiteral("frames"),
        QStringLiteral("End after n frames."), QStringLiteral("n"));
    const QCommandLineOption distanceOption(QStringLiteral("distance"),
        QStringLiteral("End when the trolley has travelled this far; the last frame carries the first "
                       "counter value at or beyond it."),
        QStringLiteral("metres"));
    const QCommandLineOption lingerOption(QStringLiteral("linger"),
        QStringLiteral("At the end (--frames, --distance, end of --replay) keep running until killed: "
                       "frames of the standing trolley go on (nothing more after a replay)."));
    const QCommandLineOption steadyOption(QStringLiteral("steady"),
        QStringLiteral("Hold the offsets at V and H millimetres: no profile, noise, excursions or dropouts."),
        QStringLiteral("V,H"));
    const QCommandLineOption pauseOption(QStringLiteral("pause"),
        QStringLiteral("The trolley stands (counter still, frames go on) from AT for FOR seconds of stream "
                       "time; may be repeated."),
        QStringLiteral("AT,FOR"));
    const QCommandLineOption silenceOption(QStringLiteral("silence"),
        QStringLiteral("The device sends nothing from AT for FOR seconds of stream time; may be repeated."),
        QStringLiteral("AT,FOR"));
    const QCommandLineOption replayOption(QStringLiteral("replay"),
        QStringLiteral("Send the bytes of this file as they are instead of simulated frames, then end."),
        QStringLiteral("file"));
    const QCommandLineOption chunkOption(QStringLiteral("chunk"),
        QStringLiteral("With --replay: send n bytes per period (default: the whole file at once)."),
        QStringLiteral("n"));
    const QCommandLineOption noWaitOption(QStringLiteral("no-wait"),
        QStringLiteral("Stream from the start instead of waiting for the probe byte or INIT."));
    const QCommandLineOption linkOption(QStringLiteral("link"),
        QStringLiteral("Also make this path a symbolic link to the device (removed at exit)."), QStringLiteral("path"));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"),
        QStringLiteral("Report on stderr what the program sends and what the simulator does."));
    parser.addOptions({ speedOption, stepOption, directionOption, startCounterOption, periodOption, seedOption,
                        framesOption, distanceOption, lingerOption, steadyOption, pauseOption, silenceOption,
                        replayOption, chunkOption, noWaitOption, linkOption, verboseOption });
    parser.process(app);

    auto fail = [](const QString &text) {
        err() << "tervalo-sim: " << text << '\n' << Qt::flush;
        return 2;
    };

    Device::Settings settings;
    bool ok = false;
    settings.trolley.speed = parser.value(speedOption).toDouble(&ok);
    if (!ok || settings.trolley.speed < 0)
        return fail(QStringLiteral("--speed wants a number of metres per second, 0 or more"));
    settings.trolley.stepLength = parser.value(stepOption).toDouble(&ok);
    if (!ok || settings.trolley.stepLength <= 0)
        return fail(QStringLiteral("--step wants a positive number of metres"));
    const QString direction = parser.value(directionOption);
    if (direction != QLatin1String("forward") && direction != QLatin1String("backward"))
        return fail(QStringLiteral("--direction is forward or backward"));
    settings.trolley.forward = direction == QLatin1String("forward");
    settings.trolley.startCounter = parser.value(startCounterOption).toInt(&ok);
    if (!ok)
        return fail(QStringLiteral("--start-counter wants a 32-bit integer"));
    settings.trolley.periodMs = parser.value(periodOption).toInt(&ok);
    if (!ok || settings.trolley.periodMs < 1)
        return fail(QStringLiteral("--period wants a positive number of milliseconds"));
    settings.trolley.seed = parser.value(seedOption).toUInt(&ok);
    if (!ok)
        return fail(QStringLiteral("--seed wants an unsigned 32-bit integer"));
    if (parser.isSet(framesOption)) {
        settings.frameLimit = parser.value(framesOption).toLongLong(&ok);
        if (!ok || settings.frameLimit < 1)
            return fail(QStringLiteral("--frames wants a positive count"));
    }
    if (parser.isSet(distanceOption)) {
        settings.distance = parser.value(distanceOption).toDouble(&ok);
        if (!ok || settings.distance < 0)
            return fail(QStringLiteral("--distance wants a number of metres, 0 or more"));
    }
    settings.linger = parser.isSet(lingerOption);
    if (parser.isSet(steadyOption)) {
        const QStringList parts = parser.value(steadyOption).split(QLatin1Char(','));
        bool okV = false, okH = false;
        if (parts.size() == 2) {
            settings.trolley.steadyVerticalMm = parts[0].toDouble(&okV);
            settings.trolley.steadyHorizontalMm = parts[1].toDouble(&okH);
        }
        if (!okV || !okH)
            return fail(QStringLiteral("--steady wants V,H in millimetres, e.g. --steady 1.5,-2.25"));
        settings.trolley.steady = true;
    }
    for (const QString &value : parser.values(pauseOption)) {
        Interval interval;
        if (!parseInterval(value, &interval))
            return fail(QStringLiteral("--pause wants AT,FOR in seconds"));
        settings.pauses.append(interval);
    }
    for (const QString &value : parser.values(silenceOption)) {
        Interval interval;
        if (!parseInterval(value, &interval))
            return fail(QStringLiteral("--silence wants AT,FOR in seconds"));
        settings.silences.append(interval);
    }
    if (parser.isSet(replayOption)) {
        QFile file(parser.value(replayOption));
        if (!file.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString()));
        settings.replay = file.readAll();
        settings.replaying = true;
    }
    if (parser.isSet(chunkOption)) {
        settings.chunk = parser.value(chunkOption).toInt(&ok);
        if (!ok || settings.chunk < 1)
            return fail(QStringLiteral("--chunk wants a positive number of bytes"));
    }
    settings.waitForProgram = !parser.isSet(noWaitOption);
    settings.verbose = parser.isSet(verboseOption);

    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return fail(QStringLiteral("cannot set up signal handling"));
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : { SIGTERM, SIGINT, SIGHUP, SIGUSR1, SIGUSR2 })
        ::sigaction(number, &action, nullptr);

    PseudoTerminal pty;
    if (!pty.open())
        return fail(QStringLiteral("cannot open a pseudo-terminal: ") + pty.errorString());

    QString link;
    if (parser.isSet(linkOption)) {
        link = parser.value(linkOption);
        QFile::remove(link);
        if (!QFile::link(pty.slavePath(), link))
            return fail(QStringLiteral("cannot make the link ") + link);
    }

    // The first line is the device path; whoever started the simulator reads it.
    std::printf("%s\n", qPrintable(pty.slavePath()));
    std::fflush(stdout);

    Device device(&pty, settings);
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&device] {
        unsigned char number = 0;
        if (::read(signalPipe[0], &number, 1) != 1)
            return;
        if (number == SIGUSR1)
            device.toggleStanding();
        else if (number == SIGUSR2)
            device.toggleSilence();
        else
            QCoreApplication::exit(0);
    });

    const int code = app.exec();
    if (!link.isEmpty())
        QFile::remove(link);
    return code;
}
