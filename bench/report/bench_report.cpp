// A long night's protocol turned into its report by the real program, as the
// crew would run it. For each case it prints the time of each stage in this
// process, then the wall time and peak memory of tervalo-report itself, and
// the target the case has to meet.
//
// Usage: bench_report                          the three target cases
//        bench_report ROWS [FOLDER] [--all-out] one case, files kept in FOLDER

#include "protocolreader.h"
#include "report.h"
#include "reportpdf.h"
#include "simulatedrun.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#endif

namespace {

struct Case
{
    int rows;
    bool allOut;        // every row has both readings, all outside: one stretch as long as the run
    double seconds;     // targets of the whole program run
    double megabytes;   // 0: none
};

#ifdef Q_OS_UNIX
// "bench_report --measure PROGRAM ARGS...": runs the program and prints, after
// its own output, "measured: MS KB EXIT". The peak is ru_maxrss of wait4, as
// /usr/bin/time takes it, and from this small process: a child forked from the
// benchmark itself starts with a copy of its protocol and report, which Linux
// counts into the child's peak.
int measure(char **argv)
{
    timespec start {}, end {};
    clock_gettime(CLOCK_MONOTONIC, &start);
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        execv(argv[0], argv);
        _exit(127);
    }
    if (pid < 0)
        return 1;
    int status = 0;
    rusage usage {};
    if (wait4(pid, &status, 0, &usage) != pid)
        return 1;
    clock_gettime(CLOCK_MONOTONIC, &end);
    const double ms = (end.tv_sec - start.tv_sec) * 1e3 + (end.tv_nsec - start.tv_nsec) / 1e6;
    std::printf("measured: %.0f %ld %d\n", ms, long(usage.ru_maxrss),
                WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return 0;
}
#endif

std::vector<SimulatedRow> protocolRun(const Case &c)
{
    std::vector<SimulatedRow> run = simulateRun(c.rows, 100, true, 11);
    if (c.allOut) {
        const double beyond[2] = { 7, 9 };  // past the default limits -6,6 and -8,8
        for (SimulatedRow &r : run) {
            for (int k = 0; k < 2; ++k) {
                const double v = r.has[k] ? r.value[k] : 0.0;
                r.value[k] = v + (v >= 0 ? beyond[k] : -beyond[k]);
                r.has[k] = true;
            }
        }
    }
    return run;
}

bool runCase(const Case &c, const QString &folder)
{
    const QString protocolPath = QDir(folder).filePath(QStringLiteral("night.csv"));
    const QString pdfPath = QDir(folder).filePath(QStringLiteral("night.pdf"));
    const QString csvPath = QDir(folder).filePath(QStringLiteral("night-exceedances.csv"));
    {
        QFile file(protocolPath);
        const QByteArray bytes = protocolBytes(protocolRun(c));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(protocolPath));
            return false;
        }
    }

    // Stage by stage in this process.
    QElapsedTimer timer;
    timer.start();
    Protocol protocol;
    QString error;
    if (!ProtocolReader::read(protocolPath, &protocol, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return false;
    }
    const qint64 readNs = timer.nsecsElapsed();
    timer.restart();
    const Report report = Report::build(std::move(protocol), ReportOptions());
    const qint64 analyseNs = timer.nsecsElapsed();
    timer.restart();
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    const bool painted = ReportPdf::write(report, 100, &pdf, &error);
    const qint64 pdfNs = timer.nsecsElapsed();

    // The program itself, from start to exit.
    const QStringList args { protocolPath, QStringLiteral("-o"), pdfPath, QStringLiteral("--csv"), csvPath };
    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    timer.restart();
#ifdef Q_OS_UNIX
    program.start(QCoreApplication::applicationFilePath(),
                  QStringList { QStringLiteral("--measure"), QStringLiteral(TERVALO_REPORT_EXE) } + args);
#else
    program.start(QStringLiteral(TERVALO_REPORT_EXE), args);
#endif
    const bool finished = program.waitForFinished(600000) && program.exitStatus() == QProcess::NormalExit;
    double programMs = timer.nsecsElapsed() / 1e6;
    double peakMb = -1;
    int exitCode = finished ? program.exitCode() : -1;
    QByteArray said = program.readAllStandardOutput();
    const int at = said.lastIndexOf("measured: ");
    if (at >= 0) {
        const QList<QByteArray> f = said.mid(at + 10).trimmed().split(' ');
        if (f.size() == 3) {
            programMs = f[0].toDouble();
            peakMb = f[1].toDouble() / 1024.0;
            exitCode = f[2].toInt();
        }
        said.truncate(at);
    }

    std::printf("== %d rows%s (%.1f km)\n", c.rows, c.allOut ? ", every row outside" : "",
                report.track.x.empty() ? 0.0 : report.track.x.back() / 1000);
    std::printf("protocol file:              %lld bytes\n", QFileInfo(protocolPath).size());
    std::printf("stretches outside limits:   %zu\n", report.exceedances.size());
    std::printf("pages:                      %d\n", ReportPdf::layout(report, 100).total());
    std::printf("read protocol:              %.0f ms\n", readNs / 1e6);
    std::printf("find stretches, summary:    %.0f ms\n", analyseNs / 1e6);
    std::printf("paint PDF:                  %.0f ms (%s, %lld bytes)\n", pdfNs / 1e6, painted ? "ok" : "FAILED",
                pdf.size());
    std::printf("tervalo-report, whole run:  %.0f ms, exit %d\n", programMs, exitCode);
    std::printf("  says: %s", said.constData());
    if (peakMb >= 0)
        std::printf("tervalo-report peak memory: %.1f MB (maxrss of the child, as /usr/bin/time)\n", peakMb);
    const bool ok = painted && finished && exitCode == 0;
    if (c.seconds > 0) {
        const bool inTime = programMs <= c.seconds * 1000;
        const bool inMemory = c.megabytes <= 0 || (peakMb >= 0 && peakMb <= c.megabytes);
        std::printf("target:                     <= %.1f s%s: %s\n", c.seconds,
                    c.megabytes > 0 ? qPrintable(QStringLiteral(" and <= %1 MB").arg(c.megabytes)) : "",
                    ok && inTime && inMemory ? "met" : "MISSED");
    }
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
#ifdef Q_OS_UNIX
    if (argc > 2 && std::strcmp(argv[1], "--measure") == 0)
        return measure(argv + 2);
#endif
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool allOut = args.removeAll(QStringLiteral("--all-out")) > 0;
    QTemporaryDir temporary;

    if (args.isEmpty() && !allOut) {
        // Painting must grow with the rows alone, even when one stretch spans
        // every page; the ordinary night is timed at low load.
        const Case cases[] = { { 200000, false, 1.0, 0 }, { 100000, true, 1.5, 0 }, { 1000000, false, 5.0, 200 } };
        bool ok = true;
        for (const Case &c : cases)
            ok = runCase(c, temporary.path()) && ok;
        return ok ? 0 : 1;
    }

    const int rows = args.value(0, QStringLiteral("200000")).toInt();
    const QString folder = args.size() > 1 ? args[1] : temporary.path();
    if (rows <= 0 || args.size() > 2 || !QDir().mkpath(folder)) {
        std::fprintf(stderr, "usage: bench_report [ROWS [FOLDER] [--all-out]]\n");
        return 2;
    }
    return runCase({ rows, allOut, 0, 0 }, folder) ? 0 : 1;
}
