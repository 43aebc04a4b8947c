#include "simdevice.h"

#include "pseudoterminal.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSocketNotifier>
#include <QStringList>
#include <QTextStream>

#include <cstdio>

namespace {

bool inside(const QVector<SimInterval> &intervals, qint64 ms)
{
    for (const SimInterval &i : intervals)
        if (ms >= i.startMs && ms < i.endMs)
            return true;
    return false;
}

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

} // namespace

bool SimInterval::parse(const QString &text, SimInterval *interval)
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

SimDevice::SimDevice(PseudoTerminal *pty, const Settings &settings, QObject *parent)
    : QObject(parent)
    , m_pty(pty)
    , m_settings(settings)
    , m_trolley(settings.trolley)
{
    if (settings.distance >= 0)
        m_trolley.setDistanceLimit(settings.distance);
    m_ticker.setTimerType(Qt::PreciseTimer);
    m_ticker.setInterval(settings.trolley.periodMs);
    connect(&m_ticker, &QTimer::timeout, this, [this] { tick(); });
}

SimDevice::~SimDevice()
{
    unplug();
}

bool SimDevice::plugIn()
{
    if (m_plugged)
        return true;
    if (!m_pty->open()) {
        m_error = QStringLiteral("cannot open a pseudo-terminal: ") + m_pty->errorString();
        return false;
    }
    const QString &link = m_settings.link;
    if (!link.isEmpty()) {
        QFile::remove(link);
        if (!QFile::link(m_pty->slavePath(), link)) {
            m_error = QStringLiteral("cannot make the link ") + link;
            m_pty->close();
            return false;
        }
    }
    m_reader = new QSocketNotifier(m_pty->masterFd(), QSocketNotifier::Read, this);
    connect(m_reader, &QSocketNotifier::activated, this, [this] { onProgramBytes(); });
    m_plugged = true;
    m_spokenTo = false;
    m_heard.clear();

    // Whoever started the simulator reads the device path from here.
    std::printf("%s\n", qPrintable(m_pty->slavePath()));
    std::fflush(stdout);
    if (m_settings.verbose && m_streaming)
        err() << "plugged in again\n" << Qt::flush;
    if (!m_settings.waitForProgram && !m_streaming)
        startStreaming();
    return true;
}

void SimDevice::unplug()
{
    if (!m_plugged)
        return;
    // The notifier's descriptor is about to close; it goes with the next turn
    // of the event loop, and must not watch a dead descriptor until then.
    m_reader->setEnabled(false);
    m_reader->deleteLater();
    m_reader = nullptr;
    m_pty->close();
    if (!m_settings.link.isEmpty())
        QFile::remove(m_settings.link);
    m_plugged = false;
    m_backlog.clear();
    if (m_settings.verbose)
        err() << "unplugged\n" << Qt::flush;
}

void SimDevice::togglePlugged()
{
    m_unpluggedBySignal = !m_unpluggedBySignal;
    followUnplugs(m_ticks * qint64(m_settings.trolley.periodMs));
}

void SimDevice::followUnplugs(qint64 streamMs)
{
    const bool wanted = !m_unpluggedBySignal && !inside(m_settings.unplugs, streamMs);
    if (wanted && !m_plugged) {
        if (!plugIn())
            err() << "tervalo-sim: " << m_error << '\n' << Qt::flush;
    } else if (!wanted && m_plugged) {
        unplug();
    }
}

void SimDevice::toggleStanding()
{
    m_standing = !m_standing;
    if (m_settings.verbose)
        err() << (m_standing ? "trolley stands\n" : "trolley rolls\n") << Qt::flush;
}

void SimDevice::toggleSilence()
{
    m_silent = !m_silent;
    if (m_settings.verbose)
        err() << (m_silent ? "device silent\n" : "device sends\n") << Qt::flush;
}

void SimDevice::onProgramBytes()
{
    const QByteArray bytes = m_pty->readAvailable();
    if (bytes.isEmpty())
        return;
    if (m_settings.verbose)
        err() << "received " << bytes.toHex(' ') << '\n' << Qt::flush;
    // Only what the program sends counts: the probe byte and the command,
    // which may arrive split over reads.
    m_heard += bytes;
    const bool spoken = m_heard.contains('0') || m_heard.contains("INIT");
    m_heard = m_heard.right(3);
    if (spoken)
        m_spokenTo = true;
    if (spoken && !m_streaming)
        startStreaming();
}

void SimDevice::startStreaming()
{
    m_streaming = true;
    if (m_settings.verbose)
        err() << "streaming\n" << Qt::flush;
    tick();  // the first frame answers at once
    m_ticker.start();
}

void SimDevice::tick()
{
    if (m_finished) {
        drainAndQuit();
        return;
    }
    const qint64 streamMs = m_ticks * qint64(m_settings.trolley.periodMs);
    ++m_ticks;
    followUnplugs(streamMs);
    // Unplugged, or plugged in again and not yet spoken to: the trolley rolls
    // on unheard.
    const bool heard = m_plugged && (m_spokenTo || !m_settings.waitForProgram);
    const bool silent = m_silent || inside(m_settings.silences, streamMs) || !heard;
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

void SimDevice::endStream()
{
    m_ended = true;
    if (m_settings.verbose)
        err() << "end of stream after " << m_frames << " frames\n" << Qt::flush;
}

// A device whose line is not read loses what it sends; but a frame is never
// cut short, or the program would see a header without its body.
void SimDevice::send(const QByteArray &bytes)
{
    if (!m_plugged)
        return;
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

// Bytes still in the line die with the pseudo-terminal; give the program a
// moment to read them.
void SimDevice::drainAndQuit()
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
