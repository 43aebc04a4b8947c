#include "exitsignals.h"

#include <QGuiApplication>
#include <QMetaObject>
#ifndef QT_NO_SESSIONMANAGER
#include <QSessionManager>
#endif

#include <windows.h>

namespace {

// Set once the program has ended in order; the console handler waits for it.
HANDLE endedEvent = nullptr;

BOOL WINAPI onConsoleEvent(DWORD type)
{
    if (QCoreApplication *app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, "quit", Qt::QueuedConnection);
    // For these the system ends the process as soon as the handler returns,
    // so it waits, within the few seconds the system allows, for the journal.
    if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) {
        if (endedEvent)
            ::WaitForSingleObject(endedEvent, 4500);
    }
    return TRUE;
}

} // namespace

ExitSignals::ExitSignals(QGuiApplication *app)
{
    endedEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#ifndef QT_NO_SESSIONMANAGER
    // A log-off or shut-down asks the application first; the journal is on
    // disk already, so ending at once is safe.
    QObject::connect(app, &QGuiApplication::commitDataRequest, app,
                     [](QSessionManager &) { QCoreApplication::quit(); }, Qt::DirectConnection);
#else
    Q_UNUSED(app)
#endif
}

ExitSignals::~ExitSignals()
{
    // A handler waiting on another thread may return now: the journal is done.
    if (endedEvent)
        ::SetEvent(endedEvent);
    ::SetConsoleCtrlHandler(onConsoleEvent, FALSE);
}
