// tervalo-sim: a stand-in for the trolley's electronics on a pseudo-terminal.
// Prints the device path as its first line of output (and the new one each time
// it is plugged in again); the program finds it when the path, or the --link
// path, is named in TERVALO_EXTRA_PORTS.

#include "pseudoterminal.h"
#include "simdevice.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTextStream>

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

// Signals arrive on a socket pair so that they are handled in the event loop.
bool catchSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return false;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : { SIGTERM, SIGINT, SIGHUP, SIGUSR1, SIGUSR2, SIGQUIT })
        ::sigaction(number, &action, nullptr);
    return true;
}

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

struct Arguments
{
    SimDevice::Settings settings;
};

// Every AT,FOR of a repeatable option; an empty text when all are sound.
QString parseIntervals(const QStringList &values, const QString &option, QVector<SimInterval> *intervals)
{
    for (const QString &value : values) {
        SimInterval interval;
        if (!SimInterval::parse(value, &interval))
            return option + QStringLiteral(" wants AT,FOR in seconds");
        intervals->append(interval);
    }
    return QString();
}

// Fills arguments from the command line; the text of the first fault, or an
// empty text when every option is sound.
QString parseArguments(const QCoreApplication &app, Arguments *arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulates the measuring trolley on a pseudo-terminal.\n"
        "Prints the device path as the first line of output, then waits for the probe byte \"0\" or\n"
        "\"INIT\" and streams 12-byte \"RAIL\" frames: vertical and horizontal offset in hundredths\n"
        "of a millimetre and the wheel counter. Start the program with the path in\n"
        "TERVALO_EXTRA_PORTS (several paths separated by ':') to have it found; with --link, name\n"
        "the link there, so that the program finds the device again after an unplug.\n"
        "Unplugged, the pseudo-terminal closes and the link vanishes; plugged in again, a new\n"
        "pseudo-terminal (its path printed as a new line) stands behind the same link and waits\n"
        "for the program as at start, while the trolley has rolled on.\n"
        "Signals: SIGUSR1 toggles a standing trolley, SIGUSR2 toggles a silent device,\n"
        "SIGQUIT (Ctrl+\\) unplugs the device and plugs it in again, SIGTERM and SIGINT end the\n"
        "simulator. The end of --frames or --distance without --linger unplugs it for good."));
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
    const QCommandLineOption noReadingOption(QStringLiteral("no-reading"),
        QStringLiteral("The sensor of this axis reads nothing (sends the no-reading code) while the trolley is "
                       "FROM to TO metres along the push."),
        QStringLiteral("vertical|horizontal,FROM,TO"));
    const QCommandLineOption pauseOption(QStringLiteral("pause"),
        QStringLiteral("The trolley stands (counter still, frames go on) from AT for FOR seconds of stream "
                       "time; may be repeated."),
        QStringLiteral("AT,FOR"));
    const QCommandLineOption silenceOption(QStringLiteral("silence"),
        QStringLiteral("The device sends nothing from AT for FOR seconds of stream time; may be repeated."),
        QStringLiteral("AT,FOR"));
    const QCommandLineOption unplugOption(QStringLiteral("unplug"),
        QStringLiteral("The device is unplugged from AT for FOR seconds of stream time: its pseudo-terminal "
                       "closes and a new one opens behind the same --link path; may be repeated."),
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
                        framesOption, distanceOption, lingerOption, steadyOption, noReadingOption, pauseOption,
                        silenceOption, unplugOption, replayOption, chunkOption, noWaitOption, linkOption,
                        verboseOption });
    parser.process(app);

    SimDevice::Settings &settings = arguments->settings;
    bool ok = false;
    settings.trolley.speed = parser.value(speedOption).toDouble(&ok);
    if (!ok || settings.trolley.speed < 0)
        return QStringLiteral("--speed wants a number of metres per second, 0 or more");
    settings.trolley.stepLength = parser.value(stepOption).toDouble(&ok);
    if (!ok || settings.trolley.stepLength <= 0)
        return QStringLiteral("--step wants a positive number of metres");
    const QString direction = parser.value(directionOption);
    if (direction != QLatin1String("forward") && direction != QLatin1String("backward"))
        return QStringLiteral("--direction is forward or backward");
    settings.trolley.forward = direction == QLatin1String("forward");
    settings.trolley.startCounter = parser.value(startCounterOption).toInt(&ok);
    if (!ok)
        return QStringLiteral("--start-counter wants a 32-bit integer");
    settings.trolley.periodMs = parser.value(periodOption).toInt(&ok);
    if (!ok || settings.trolley.periodMs < 1)
        return QStringLiteral("--period wants a positive number of milliseconds");
    settings.trolley.seed = parser.value(seedOption).toUInt(&ok);
    if (!ok)
        return QStringLiteral("--seed wants an unsigned 32-bit integer");
    if (parser.isSet(framesOption)) {
        settings.frameLimit = parser.value(framesOption).toLongLong(&ok);
        if (!ok || settings.frameLimit < 1)
            return QStringLiteral("--frames wants a positive count");
    }
    if (parser.isSet(distanceOption)) {
        settings.distance = parser.value(distanceOption).toDouble(&ok);
        if (!ok || settings.distance < 0)
            return QStringLiteral("--distance wants a number of metres, 0 or more");
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
            return QStringLiteral("--steady wants V,H in millimetres, e.g. --steady 1.5,-2.25");
        settings.trolley.steady = true;
    }
    if (parser.isSet(noReadingOption)) {
        const QStringList parts = parser.value(noReadingOption).split(QLatin1Char(','));
        bool okFrom = false, okTo = false;
        if (parts.size() == 3) {
            settings.trolley.noReadingAxis = parts[0] == QLatin1String("vertical") ? 0
                    : parts[0] == QLatin1String("horizontal") ? 1 : -1;
            settings.trolley.noReadingFrom = parts[1].toDouble(&okFrom);
            settings.trolley.noReadingTo = parts[2].toDouble(&okTo);
        }
        if (settings.trolley.noReadingAxis < 0 || !okFrom || !okTo
                || settings.trolley.noReadingFrom > settings.trolley.noReadingTo)
            return QStringLiteral("--no-reading wants vertical|horizontal,FROM,TO in metres, FROM up to TO");
    }
    QString fault = parseIntervals(parser.values(pauseOption), QStringLiteral("--pause"), &settings.pauses);
    if (fault.isEmpty())
        fault = parseIntervals(parser.values(silenceOption), QStringLiteral("--silence"), &settings.silences);
    if (fault.isEmpty())
        fault = parseIntervals(parser.values(unplugOption), QStringLiteral("--unplug"), &settings.unplugs);
    if (!fault.isEmpty())
        return fault;
    if (parser.isSet(replayOption)) {
        QFile file(parser.value(replayOption));
        if (!file.open(QIODevice::ReadOnly))
            return QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString());
        settings.replay = file.readAll();
        settings.replaying = true;
    }
    if (parser.isSet(chunkOption)) {
        settings.chunk = parser.value(chunkOption).toInt(&ok);
        if (!ok || settings.chunk < 1)
            return QStringLiteral("--chunk wants a positive number of bytes");
    }
    settings.waitForProgram = !parser.isSet(noWaitOption);
    settings.verbose = parser.isSet(verboseOption);

    if (parser.isSet(linkOption))
        settings.link = parser.value(linkOption);
    return QString();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tervalo-sim"));

    auto fail = [](const QString &text) {
        err() << "tervalo-sim: " << text << '\n' << Qt::flush;
        return 2;
    };
    Arguments arguments;
    const QString fault = parseArguments(app, &arguments);
    if (!fault.isEmpty())
        return fail(fault);
    if (!catchSignals())
        return fail(QStringLiteral("cannot set up signal handling"));

    PseudoTerminal pty;
    SimDevice device(&pty, arguments.settings);
    if (!device.plugIn())
        return fail(device.errorString());
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&device] {
        unsigned char number = 0;
        if (::read(signalPipe[0], &number, 1) != 1)
            return;
        if (number == SIGUSR1)
            device.toggleStanding();
        else if (number == SIGUSR2)
            device.toggleSilence();
        else if (number == SIGQUIT)
            device.togglePlugged();
        else
            QCoreApplication::exit(0);
    });

    // The device removes its link when it goes.
    return app.exec();
}
