#ifndef SIMDEVICE_H
#define SIMDEVICE_H

#include "trolleysimulation.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

class PseudoTerminal;
class QSocketNotifier;

// A stretch of stream time, in milliseconds from the first frame.
struct SimInterval
{
    qint64 startMs = 0;
    qint64 endMs = 0;

    // "AT,FOR" in seconds, both 0 or more.
    static bool parse(const QString &text, SimInterval *interval);
};

// The trolley's electronics behind a pseudo-terminal: silent until the program
// speaks to it (probe byte "0" or "INIT"), then one frame per period, simulated
// or replayed. It can be unplugged for a while: the terminal closes (the
// program's port hangs up) and the link path vanishes; plugged in again it gets
// a new terminal behind the same link and waits to be spoken to, while the
// trolley has rolled on. The simulator program owns one; it does not own the
// terminal.
class SimDevice : public QObject
{
public:
    struct Settings
    {
        TrolleySimulation::Options trolley;
        qint64 frameLimit = 0;        // 0: no limit
        double distance = -1;         // < 0: no limit
        bool linger = false;
        QVector<SimInterval> pauses;
        QVector<SimInterval> silences;
        QVector<SimInterval> unplugs;
        QString link;                 // made a symbolic link to the terminal while plugged in
        QByteArray replay;
        bool replaying = false;
        int chunk = 0;                // 0: the whole file at once
        bool waitForProgram = true;
        bool verbose = false;
    };

    SimDevice(PseudoTerminal *pty, const Settings &settings, QObject *parent = nullptr);
    ~SimDevice() override;

    // Opens the terminal, makes the link and prints the device path as a line
    // of its own; the first one is the first line of the output. False, with
    // the reason in errorString(), when either fails.
    bool plugIn();
    QString errorString() const { return m_error; }

    void toggleStanding();
    void toggleSilence();
    void togglePlugged();

private:
    void unplug();
    void followUnplugs(qint64 streamMs);
    void onProgramBytes();
    void startStreaming();
    void tick();
    void endStream();
    void send(const QByteArray &bytes);
    void drainAndQuit();

    PseudoTerminal *m_pty;
    Settings m_settings;
    TrolleySimulation m_trolley;
    QSocketNotifier *m_reader = nullptr;
    QTimer m_ticker;
    QString m_error;
    QByteArray m_heard;
    QByteArray m_backlog;
    qint64 m_ticks = 0;
    qint64 m_frames = 0;
    int m_replayAt = 0;
    bool m_streaming = false;
    bool m_spokenTo = false;          // since the last plug-in
    bool m_plugged = false;
    bool m_unpluggedBySignal = false;
    bool m_standing = false;
    bool m_silent = false;
    bool m_ended = false;
    bool m_finished = false;
};

#endif // SIMDEVICE_H
