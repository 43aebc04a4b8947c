#ifndef EXITSIGNALS_H
#define EXITSIGNALS_H

class QGuiApplication;

// Turns the ways a system asks a running program to end into an orderly quit
// of the event loop, after which the controller puts an unsaved journal where
// the operator finds it: SIGINT (Ctrl+C), SIGTERM and SIGHUP on Unix; a
// console's Ctrl+C, Ctrl+Break or closing, and the end of the session, on
// Windows. A second SIGINT, SIGTERM or SIGHUP ends the program at once, the
// journal being on disk already. The entry holds one for the program's life,
// created before the controller so that it outlives it.
class ExitSignals
{
public:
    explicit ExitSignals(QGuiApplication *app);
    ~ExitSignals();

    ExitSignals(const ExitSignals &) = delete;
    ExitSignals &operator=(const ExitSignals &) = delete;
};

#endif // EXITSIGNALS_H
