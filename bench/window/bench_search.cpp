// Start to first live value, and the window's longest frame gap while the
// trolley is searched for: the program's window and controller, the trolley
// simulator behind the last of N ports in name order, and N - 1 silent
// pseudo-terminals before it. The window is kept rendering (each swapped frame
// asks for the next), so any stall of the GUI thread shows as a gap.
//
//   bench_search [--ports N] [--after-ready MS]
//
// Run it under Xvfb with software rendering (or on the offscreen platform):
//   Xvfb :98 -screen 0 1920x1080x24 & DISPLAY=:98 QT_QUICK_BACKEND=software bench_search
// "Start" is the creation of the application object, as in the program; the
// ports are made before it. The run log goes to a scratch folder.

#include "meassystemsfinder.h"
#include "pseudoterminal.h"
#include "tervalo.h"
#include "windowbench.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTimer>

#include <QFileInfo>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <sys/types.h>

int main(int argc, char *argv[])
{
    const int portCount = qMax(1, int(WindowBench::option(argc, argv, "--ports", 8)));
    const int afterReadyMs = int(WindowBench::option(argc, argv, "--after-ready", 500));

    QTemporaryDir dir;
    if (!dir.isValid() || !QDir::setCurrent(dir.path())) {
        std::fprintf(stderr, "no scratch folder\n");
        return 2;
    }
    std::vector<std::unique_ptr<PseudoTerminal>> silent;
    QStringList paths;
    for (int i = 1; i < portCount; ++i) {
        silent.push_back(std::make_unique<PseudoTerminal>());
        const QString path = dir.filePath(QStringLiteral("port%1").arg(i));
        if (!silent.back()->open() || !QFile::link(silent.back()->slavePath(), path)) {
            std::fprintf(stderr, "no pseudo-terminal\n");
            return 2;
        }
        paths << path;
    }
    const QString trolleyPath = dir.filePath(QStringLiteral("port%1").arg(portCount));
    const qint64 simulatorPid = WindowBench::startTrolley(trolleyPath, { "--steady", "1.5,-2.25" });
    if (simulatorPid <= 0) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 2;
    }
    paths << trolleyPath;
    MeasSystemsFinder::setSystemPortsListed(false);
    qputenv("TERVALO_EXTRA_PORTS", QFile::encodeName(paths.join(QLatin1Char(':'))));

    QElapsedTimer clock;
    clock.start();
    WindowBench::prepareApplication();
    QGuiApplication app(argc, argv);
    QQmlApplicationEngine engine;
    Tervalo controller(nullptr);
    QQuickWindow *window = WindowBench::loadWindow(app, engine, controller);
    if (!window)
        return 2;
    QObject *vertical = window->findChild<QObject *>(QStringLiteral("inputVertical"));
    const qint64 loaded = clock.elapsed();
    controller.start();
    const qint64 started = clock.elapsed();

    qint64 found = -1, firstValue = -1, ready = -1, lastFrame = -1, longestGap = 0, gapAt = 0;
    int frames = 0;
    QObject::connect(controller.measSystemsFinder(), &MeasSystemsFinder::Found, &app,
                     [&] { if (found < 0) found = clock.elapsed(); });
    QObject::connect(window, &QQuickWindow::frameSwapped, &app, [&] {
        const qint64 now = clock.elapsed();
        if (ready < 0) {
            if (lastFrame >= 0 && now - lastFrame > longestGap) {
                longestGap = now - lastFrame;
                gapAt = lastFrame;
            }
            ++frames;
        }
        lastFrame = now;
        if (firstValue < 0 && vertical->property("mess").toDouble() != 0.0)
            firstValue = now;
        window->update();
    });
    window->update();
    QObject::connect(controller.measSystemsFinder(), &MeasSystemsFinder::Ready, &app, [&] {
        ready = clock.elapsed();
        QTimer::singleShot(afterReadyMs, &app, &QCoreApplication::quit);
    });
    QTimer::singleShot(60000, &app, &QCoreApplication::quit);
    app.exec();

    std::printf("ports: %d (the trolley last in name order, %d silent)\n", portCount, portCount - 1);
    std::printf("window loaded:               %6lld ms after start\n", loaded);
    std::printf("search started:              %6lld ms\n", started);
    std::printf("trolley found:               %6lld ms\n", found);
    std::printf("first live value in window:  %6lld ms\n", firstValue);
    std::printf("search ended (Ready):        %6lld ms\n", ready);
    std::printf("frames during the search:    %6d\n", frames);
    std::printf("longest frame gap in search: %6lld ms (from %lld ms)\n", longestGap, gapAt);
    if (simulatorPid > 0)
        ::kill(pid_t(simulatorPid), SIGTERM);
    return firstValue >= 0 && ready >= 0 ? 0 : 1;
}
