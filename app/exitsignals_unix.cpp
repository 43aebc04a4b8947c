#include "exitsignals.h"

#include <QGuiApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <sys/socket.h>
#include <unistd.h>

namespace {

const int endingSignals[] = { SIGINT, SIGTERM, SIGHUP };
int signalSockets[2] = { -1, -1 };

// Only async-signal-safe calls here: the event loop does the rest.
void onSignal(int number)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t n = ::write(signalSockets[1], &byte, 1);
    errno = saved;
}

void setHandler(void (*handler)(int))
{
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : endingSignals)
        ::sigaction(number, &action, nullptr);
}

} // namespace

ExitSignals::ExitSignals(QGuiApplication *app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalSockets) != 0)
        return;  // the default handling stays: the next start recovers the journal
    auto *notifier = new QSocketNotifier(signalSockets[0], QSocketNotifier::Read, app);
    QObject::connect(notifier, &QSocketNotifier::activated, app, [notifier] {
        unsigned char number = 0;
        if (::read(signalSockets[0], &number, 1) != 1)
            return;
        notifier->setEnabled(false);
        setHandler(SIG_DFL);
        QCoreApplication::quit();
    });
    setHandler(onSignal);
}

ExitSignals::~ExitSignals()
{
    setHandler(SIG_DFL);
}
