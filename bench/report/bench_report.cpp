// A long night's protocol (200,000 rows, 50 km of simulated push) turned into
// its report by the real program, as the crew would run it. Prints the time of
// each stage in this process, then the wall time and peak memory of
// tervalo-report itself. Usage: bench_report [rows] [folder to keep the files in]

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

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int rows = argc > 1 ? QByteArray(argv[1]).toInt() : 200000;
    QTemporaryDir temporary;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : temporary.path();
    if (rows <= 0 || !QDir().mkpath(folder)) {
        std::fprintf(stderr, "usage: bench_report [rows] [folder]\n");
        return 2;
    }

    const QString protocolPath = QDir(folder).filePath(QStringLiteral("night.csv"));
    const QString pdfPath = QDir(folder).filePath(QStringLiteral("night.pdf"));
    const QString csvPath = QDir(folder).filePath(QStringLiteral("night-exceedances.csv"));
    {
        QFile file(protocolPath);
        const QByteArray bytes = protocolBytes(simulateRun(rows, 100, true, 11));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(protocolPath));
            return 1;
        }
    }

    // Stage by stage in this process.
    QElapsedTimer timer;
    timer.start();
    Protocol protocol;
    QString error;
    if (!ProtocolReader::read(protocolPath, &protocol, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const qint64 readNs = timer.nsecsElapsed();
    timer.restart();
    const Limits limits[channelCount] = { { -6, 6 }, { -8, 8 } };
    const Report report = Report::build(std::move(protocol), limits);
    const qint64 analyseNs = timer.nsecsElapsed();
    timer.restart();
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    const bool painted = ReportPdf::write(report, 100, &pdf, &error);
    const qint64 pdfNs = timer.nsecsElapsed();

    // The program itself, from start to exit.
    timer.restart();
    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QStringLiteral(TERVALO_REPORT_EXE), { protocolPath, QStringLiteral("-o"), pdfPath,
                                                        QStringLiteral("--csv"), csvPath });
    const bool finished = program.waitForFinished(600000);
    const qint64 programNs = timer.nsecsElapsed();
    const QByteArray said = program.readAllStandardOutput();

    std::printf("rows:                       %d (%.1f km)\n", rows, report.track.x.empty() ? 0.0 : report.track.x.back() / 1000);
    std::printf("protocol file:              %lld bytes\n", QFileInfo(protocolPath).size());
    std::printf("stretches outside limits:   %zu\n", report.exceedances.size());
    std::printf("pages:                      %d\n", ReportPdf::layout(report, 100).total());
    std::printf("read protocol:              %.0f ms\n", readNs / 1e6);
    std::printf("find stretches, summary:    %.0f ms\n", analyseNs / 1e6);
    std::printf("paint PDF:                  %.0f ms (%s, %lld bytes)\n", pdfNs / 1e6, painted ? "ok" : "FAILED",
                pdf.size());
    std::printf("tervalo-report, whole run:  %.0f ms, exit %d\n", programNs / 1e6,
                finished ? program.exitCode() : -1);
    std::printf("  says: %s", said.constData());
#ifdef Q_OS_UNIX
    rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    std::printf("tervalo-report peak memory: %.1f MB (maxrss)\n", usage.ru_maxrss / 1024.0);
#endif
    const bool ok = painted && finished && program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0;
    return ok ? 0 : 1;
}
