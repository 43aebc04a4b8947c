// The archive's targets on this machine: a 200,000-row protocol imported; one
// track of 60 runs of 40,000 rows (2.4 M rows) imported, its history at one
// spot and its trend; bytes on disk a row. SQLite always; PostgreSQL as well
// when TERVALO_TEST_POSTGRESQL names a server, as scripts/with-postgresql.sh
// sets it:
//   bench_archive [folder]
//   scripts/with-postgresql.sh build/bench/archive/bench_archive

#include "archivedatabase.h"
#include "archiveimport.h"
#include "archivequery.h"
#include "runfile.h"
#include "simulatedrun.h"
#include "trendpdf.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int nightRows = 200000;
constexpr int trackRuns = 60;
constexpr int runRows = 40000;
const char *const spot = "ПК 150 + 37.25";

bool writeRun(const QString &path, const std::vector<SimulatedRow> &rows, const QString &line, const QDateTime &started)
{
    const QByteArray bytes = protocolBytes(rows);
    RunInfo run;
    run.line = line;
    run.track = QStringLiteral("1");
    run.operatorName = QStringLiteral("Петров");
    run.started = started;
    run.rows = int(rows.size());
    run.sha256 = RunFile::sha256Hex(bytes);
    const QByteArray json = RunFile::toJson(run);
    QFile csv(path), info(RunFile::pathFor(path));
    return csv.open(QIODevice::WriteOnly) && csv.write(bytes) == bytes.size() && info.open(QIODevice::WriteOnly)
           && info.write(json) == json.size();
}

double ms(const QElapsedTimer &t)
{
    return t.nsecsElapsed() / 1e6;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The tool from start to exit; its wall time in ms, or -1.
double runTool(const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral(TERVALO_ARCHIVE_EXE), args);
    p.waitForFinished(600000);
    p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0 ? ms(t) : -1;
}

bool postgresql(const ArchiveLocation &admin, const QStringList &statements)
{
    ArchiveDatabase db;
    QString error;
    QSqlQuery q;
    bool ok = db.connect(admin, ArchiveDatabase::MustExist, &error);
    q = QSqlQuery(db.connection());
    ok = ok && db.exec(q, QStringLiteral("SET client_min_messages = warning"), {}, &error);
    for (const QString &s : statements)
        ok = ok && db.exec(q, s, {}, &error);
    if (!ok)
        std::fprintf(stderr, "%s\n", qPrintable(error));
    return ok;
}

// Bytes the archive takes on disk.
qint64 archiveBytes(const QString &where)
{
    ArchiveLocation location;
    QString error;
    ArchiveLocation::parse(where, &location, &error);
    if (location.kind == ArchiveLocation::SQLite)
        return QFileInfo(location.path).size() + QFileInfo(location.path + QStringLiteral("-wal")).size();
    ArchiveDatabase archive;
    QSqlQuery q;
    if (!archive.open(location, ArchiveDatabase::MustExist, &error))
        return -1;
    q = QSqlQuery(archive.connection());
    if (!archive.exec(q,
                      QStringLiteral("SELECT pg_total_relation_size('archive_run') + pg_total_relation_size('archive_chunk') "
                                     "+ pg_total_relation_size('archive_mark') + pg_total_relation_size('archive_version')"),
                      {}, &error)
        || !q.next())
        return -1;
    return q.value(0).toLongLong();
}

bool bench(const QString &name, const QString &where, const QString &night, const QStringList &track, double importTarget)
{
    std::printf("\n%s: %s\n", qPrintable(name), qPrintable(where));
    QElapsedTimer t;
    t.start();
    ImportResult result;
    QString error;
    if (!ArchiveImport::importRun(where, night, ImportOptions(), &result, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return false;
    }
    std::printf("  import %d rows (library, a fresh archive):  %.0f ms (target <= %.0f ms)\n", result.rows, ms(t),
                importTarget);

    const double fill = runTool(QStringList { QStringLiteral("import"), QStringLiteral("--database"), where } + track);
    std::printf("  tervalo-archive import %d runs x %d rows:  %.0f ms, %.0f ms a run\n", trackRuns, runRows, fill,
                fill / trackRuns);

    const qint64 bytes = archiveBytes(where);
    const qint64 rows = qint64(nightRows) + qint64(trackRuns) * runRows;
    std::printf("  archive size:                             %.1f MB, %.1f bytes a row (target <= 40)\n", bytes / 1e6,
                double(bytes) / rows);

    ArchiveLocation location;
    ArchiveLocation::parse(where, &location, &error);
    qint64 quarter = 0;
    RunChunks::parseSpot(QString::fromUtf8(spot), &quarter);
    std::vector<double> library, tool;
    size_t found = 0;
    for (int i = 0; i < 7; ++i) {
        t.restart();
        ArchiveDatabase archive;
        std::vector<SpotReading> readings;
        if (!archive.open(location, ArchiveDatabase::MustExist, &error)
            || !ArchiveQuery::history(archive, QStringLiteral("2"), QStringLiteral("1"), quarter, &readings, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return false;
        }
        library.push_back(ms(t));
        found = readings.size();
        tool.push_back(runTool({ QStringLiteral("history"), QStringLiteral("--line"), QStringLiteral("2"),
                                 QStringLiteral("--track"), QStringLiteral("1"), QStringLiteral("--at"),
                                 QString::fromUtf8(spot), QStringLiteral("--database"), where }));
    }
    std::printf("  history at %s, %zu runs:        %.1f ms open and query (median of 7; target <= 50), "
                "tervalo-archive %.0f ms\n",
                spot, found, median(library), median(tool));

    t.restart();
    TrendReport report;
    report.line = QStringLiteral("2");
    report.track = QStringLiteral("1");
    report.limits[Vertical] = { -6, 6 };
    report.limits[Horizontal] = { -8, 8 };
    ArchiveDatabase archive;
    if (!archive.open(location, ArchiveDatabase::MustExist, &error)
        || !ArchiveQuery::trackReadings(archive, report.line, report.track, QDate(), QDate(), &report.input, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return false;
    }
    const double load = ms(t);
    t.restart();
    report.result = Trend::compute(report.input, report.limits, report.worse);
    const double compute = ms(t);
    t.restart();
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    const bool painted = TrendPdf::write(report, &pdf, &error);
    const double paint = ms(t);
    std::printf("  trend, %zu runs: read %.0f ms, compute %.0f ms (%zu spots), PDF %.0f ms (%s, %d pages)\n",
                report.input.runs.size(), load, compute, report.result.spots.size(), paint, painted ? "ok" : "FAILED",
                TrendPdf::pages(report));
    const QString out = QDir::temp().filePath(QStringLiteral("bench-archive-trend.pdf"));
    const double whole = runTool({ QStringLiteral("trend"), QStringLiteral("--line"), QStringLiteral("2"),
                                   QStringLiteral("--track"), QStringLiteral("1"), QStringLiteral("-o"), out,
                                   QStringLiteral("--database"), where });
    QFile::remove(out);
    std::printf("  tervalo-archive trend, whole run:          %.0f ms (target <= 3000 ms)\n", whole);
    return painted && whole >= 0 && fill >= 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTemporaryDir temporary;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temporary.path();
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "usage: bench_archive [folder]\n");
        return 2;
    }

    QElapsedTimer t;
    t.start();
    const QString night = QDir(folder).filePath(QStringLiteral("night.csv"));
    bool ok = writeRun(night, simulateRun(nightRows, 100, true, 11), QStringLiteral("1"), QDateTime::currentDateTime());
    // One track pushed weekly, every other week from the far end, over the
    // same 10 km: pickets 100 to 200.
    QStringList track;
    for (int i = 0; i < trackRuns && ok; ++i) {
        const bool forward = i % 2 == 0;
        track << QDir(folder).filePath(QStringLiteral("run-%1.csv").arg(i, 2, 10, QLatin1Char('0')));
        ok = writeRun(track.back(), simulateRun(runRows, forward ? 100 : 200, forward, quint32(100 + i)),
                      QStringLiteral("2"), QDateTime(QDate(2025, 1, 6), QTime(1, 30)).addDays(7 * i));
    }
    if (!ok) {
        std::fprintf(stderr, "cannot write the protocols in %s\n", qPrintable(folder));
        return 1;
    }
    std::printf("protocols written: 1 x %d rows, %d x %d rows (%.0f ms)\n", nightRows, trackRuns, runRows, ms(t));

    const QString sqlite = QDir(folder).filePath(QStringLiteral("tervalo-archive.sqlite"));
    QFile::remove(sqlite);
    ok = bench(QStringLiteral("SQLite"), sqlite, night, track, 1000);

    const QString server = qEnvironmentVariable("TERVALO_TEST_POSTGRESQL");
    if (server.isEmpty()) {
        std::printf("\nPostgreSQL: TERVALO_TEST_POSTGRESQL is not set (scripts/with-postgresql.sh starts a server)\n");
        return ok ? 0 : 1;
    }
    ArchiveLocation admin;
    QString error;
    if (!ArchiveLocation::parse(server, &admin, &error)
        || !postgresql(admin, { QStringLiteral("DROP DATABASE IF EXISTS tervalo_bench_archive"),
                                QStringLiteral("CREATE DATABASE tervalo_bench_archive") })) {
        std::fprintf(stderr, "PostgreSQL: cannot make the database %s\n", qPrintable(error));
        return 1;
    }
    ArchiveLocation location = admin;
    location.name = QStringLiteral("tervalo_bench_archive");
    ok = bench(QStringLiteral("PostgreSQL"), location.text(), night, track, 3000) && ok;
    return ok ? 0 : 1;
}
