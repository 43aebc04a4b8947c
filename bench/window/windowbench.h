#ifndef WINDOWBENCH_H
#define WINDOWBENCH_H

#include "tervalo.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QStringList>
#include <QThread>
#include <QUrl>

#include <cstdlib>
#include <cstring>

// What the window benchmarks share: the simulated trolley behind a link, and
// the application and window made as the program's entry makes them.
namespace WindowBench {

// The number after the option's name on the command line, or the fallback.
inline double option(int argc, char *argv[], const char *name, double fallback)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return std::atof(argv[i + 1]);
    return fallback;
}

// The simulator, detached, with these arguments and behind linkPath; its pid
// once the link is there, 0 when it did not start.
inline qint64 startTrolley(const QString &linkPath, const QStringList &arguments)
{
    qint64 pid = 0;
    QProcess simulator;
    simulator.setProgram(QStringLiteral(TERVALO_SIM_EXE));
    simulator.setArguments(arguments + QStringList { QStringLiteral("--link"), linkPath });
    simulator.setStandardOutputFile(QProcess::nullDevice());
    if (!simulator.startDetached(&pid))
        return 0;
    for (int i = 0; i < 1000 && !QFileInfo::exists(linkPath); ++i)
        QThread::msleep(10);
    return pid;
}

// Before the application object exists.
inline void prepareApplication()
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QQuickStyle::setStyle(QStringLiteral("Material"));
}

// The program's names (they place its settings and data folders), the
// controller published and the main window loaded; null when it failed.
inline QQuickWindow *loadWindow(QGuiApplication &app, QQmlApplicationEngine &engine, Tervalo &controller)
{
    app.setOrganizationName(QStringLiteral("brenvik"));
    app.setOrganizationDomain(QStringLiteral("brenvik"));
    app.setApplicationName(QStringLiteral("tervalo"));
    engine.rootContext()->setContextProperty(QStringLiteral("mcRoutine"), &controller);
    engine.load(QUrl(QStringLiteral("qrc:/main.qml")));
    return engine.rootObjects().isEmpty() ? nullptr : qobject_cast<QQuickWindow *>(engine.rootObjects().first());
}

} // namespace WindowBench

#endif // WINDOWBENCH_H
