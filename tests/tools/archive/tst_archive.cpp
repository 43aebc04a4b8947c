#include "archivedatabase.h"
#include "archiveimport.h"
#include "archivequery.h"
#include "runfile.h"
#include "simulatedrun.h"
#include "trend.h"

#include "testfolder.h"

#include <QMutex>
#include <QProcess>
#include <QSqlQuery>
#include <QThread>
#include <QtTest>

#include <functional>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#endif

// The archive against real databases: a SQLite file in a temporary folder,
// and the PostgreSQL server that scripts/test.sh starts (TERVALO_TEST_POSTGRESQL);
// most cases run the same body against both.
class TestArchive : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void importTakesEachRunWholeAndOnce_data();
    void importTakesEachRunWholeAndOnce();
    void historyLinesUpForwardAndBackwardRuns_data();
    void historyLinesUpForwardAndBackwardRuns();
    void trendMatchesHandComputation_data();
    void trendMatchesHandComputation();
    void flagsCompareTheLatestRunWithTheOneBefore_data();
    void flagsCompareTheLatestRunWithTheOneBefore();
    void concurrentImportsEachTakeARunOnce_data();
    void concurrentImportsEachTakeARunOnce();
    void damagedOrForeignDatabaseIsRefusedUntouched_data();
    void damagedOrForeignDatabaseIsRefusedUntouched();

private:
    // A fresh, empty archive of the row's kind; empty when it cannot be had.
    QString freshArchive(const QString &backend);

    TestFolder m_folder;
    QString m_postgresql;  // the test database's address
};

namespace {

const QString testDatabase = QStringLiteral("tervalo_tst_archive");

void backendRows()
{
    QTest::addColumn<QString>("backend");
    for (const char *backend : { "sqlite", "postgresql" })
        QTest::newRow(backend) << QString(backend);
}

struct Tool
{
    int exitCode = -1;
    QString out;
    QString err;
};

Tool runTool(const QStringList &args, QProcess *process = nullptr)
{
    QProcess own;
    QProcess &p = process ? *process : own;
    p.start(QStringLiteral(TERVALO_ARCHIVE_EXE), args);
    Tool t;
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit)
        return t;
    t.exitCode = p.exitCode();
    t.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    t.err = QString::fromLocal8Bit(p.readAllStandardError());
    return t;
}

// Rows along the line from a line position, one a quarter metre, as the
// window writes them: forward rows beyond their picket, reverse rows before it.
std::vector<SimulatedRow> stretch(qint64 firstQuarter, bool forward, int rows,
                                  const std::function<double(qint64, int)> &value)
{
    std::vector<SimulatedRow> out;
    for (int n = 0; n < rows; ++n) {
        const qint64 q = firstQuarter + (forward ? n : -n);
        SimulatedRow r;
        r.forward = forward;
        r.picket = qint32(forward ? RunChunks::floorDiv(q, 400) : -RunChunks::floorDiv(-q, 400));
        r.quarters = int(forward ? q - qint64(r.picket) * 400 : qint64(r.picket) * 400 - q);
        for (int c = 0; c < 2; ++c) {
            r.value[c] = value(q, c);
            r.has[c] = !std::isnan(r.value[c]);
        }
        out.push_back(r);
    }
    return out;
}

// The protocol and, unless line is empty, its run file.
QString writeRun(const QString &path, const std::vector<SimulatedRow> &rows, const QDateTime &started,
                 const QString &line = QStringLiteral("2"), const QString &track = QStringLiteral("1"))
{
    const QByteArray bytes = protocolBytes(rows);
    if (!writeFile(path, bytes))
        return QString();
    if (!line.isEmpty()) {
        RunInfo run;
        run.line = line;
        run.track = track;
        run.operatorName = QStringLiteral("Петров");
        run.started = started;
        run.rows = int(rows.size());
        run.sha256 = RunFile::sha256Hex(bytes);
        if (!writeFile(RunFile::pathFor(path), RunFile::toJson(run)))
            return QString();
    }
    return path;
}

QDateTime day(int n)
{
    return QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC).addDays(n);
}

bool openArchive(ArchiveDatabase &archive, const QString &where, QString *error)
{
    ArchiveLocation location;
    return ArchiveLocation::parse(where, &location, error)
           && archive.open(location, ArchiveDatabase::MustExist, error);
}

// Statements run straight on the database, past every check of the archive;
// *first takes the first value of the last one.
bool direct(const QString &where, const QStringList &statements, QVariant *first = nullptr)
{
    ArchiveDatabase db;
    ArchiveLocation location;
    QString error;
    QSqlQuery q;
    bool ok = ArchiveLocation::parse(where, &location, &error)
              && db.connect(location, ArchiveDatabase::CreateIfMissing, &error);
    if (ok) {
        q = QSqlQuery(db.connection());
        // Quiet about what a fresh schema drops on its way.
        if (location.kind == ArchiveLocation::PostgreSQL)
            ok = db.exec(q, QStringLiteral("SET client_min_messages = warning"), {}, &error);
        for (const QString &statement : statements)
            ok = ok && db.exec(q, statement, {}, &error);
    }
    if (ok && first)
        *first = q.next() ? q.value(0) : QVariant();
    if (!ok)
        qWarning() << statements << error;
    return ok;
}

// Rows of every chunk per run: a run is whole when they add up to its rows.
QMap<qint64, int> chunkRows(const QString &where)
{
    QMap<qint64, int> rows;
    ArchiveDatabase archive;
    QString error;
    QSqlQuery q;
    if (openArchive(archive, where, &error)) {
        q = QSqlQuery(archive.connection());
        if (archive.exec(q, QStringLiteral("SELECT run_id, SUM(row_count) FROM archive_chunk GROUP BY run_id"), {},
                         &error))
            while (q.next())
                rows.insert(q.value(0).toLongLong(), q.value(1).toInt());
    }
    return rows;
}

std::vector<ArchivedRun> runsIn(const QString &where)
{
    std::vector<ArchivedRun> runs;
    ArchiveDatabase archive;
    QString error;
    if (!openArchive(archive, where, &error) || !ArchiveQuery::runs(archive, QString(), QString(), &runs, &error))
        qWarning() << error;
    return runs;
}

} // namespace

#define FRESH_ARCHIVE(where, backend)                                                                  \
    const QString where = freshArchive(backend);                                                       \
    if (where.isEmpty())                                                                               \
        QSKIP("PostgreSQL: TERVALO_TEST_POSTGRESQL is not set; scripts/test.sh starts a server for it")

// A case's archive of the row's kind and a folder of its own for protocols.
#define ARCHIVE_CASE(where, name)                                                                      \
    QFETCH(QString, backend);                                                                          \
    FRESH_ARCHIVE(where, backend);                                                                     \
    const QString folder = m_folder.filePath(QStringLiteral(name "-") + backend);                      \
    QVERIFY(QDir().mkpath(folder))

void TestArchive::initTestCase()
{
    QVERIFY(m_folder.isValid());
    const QString admin = qEnvironmentVariable("TERVALO_TEST_POSTGRESQL");
    if (admin.isEmpty())
        return;
    QVERIFY(direct(admin, { QStringLiteral("DROP DATABASE IF EXISTS ") + testDatabase,
                            QStringLiteral("CREATE DATABASE ") + testDatabase }));
    ArchiveLocation location;
    QString error;
    ArchiveLocation::parse(admin, &location, &error);
    location.name = testDatabase;
    m_postgresql = location.text();
}

QString TestArchive::freshArchive(const QString &backend)
{
    static int count = 0;
    if (backend == QLatin1String("sqlite"))
        return m_folder.filePath(QStringLiteral("archive-%1/tervalo-archive.sqlite").arg(++count));
    if (m_postgresql.isEmpty()
        || !direct(m_postgresql, { QStringLiteral("DROP SCHEMA IF EXISTS public CASCADE"),
                                   QStringLiteral("CREATE SCHEMA public") }))
        return QString();
    return m_postgresql;
}

void TestArchive::importTakesEachRunWholeAndOnce_data()
{
    backendRows();
}

void TestArchive::importTakesEachRunWholeAndOnce()
{
    ARCHIVE_CASE(archive, "import");
    const auto value = [](qint64 q, int c) { return (q % 50) * 0.125 - 3 + c; };
    const QString good = writeRun(folder + QStringLiteral("/good.csv"), stretch(4800, true, 900, value), day(0));
    QVERIFY(!good.isEmpty());

    Tool t = runTool({ QStringLiteral("import"), good, QStringLiteral("--database"), archive });
    QVERIFY2(t.exitCode == 0 && t.out.contains(QStringLiteral("принят в архив")), qPrintable(t.out + t.err));
    t = runTool({ QStringLiteral("import"), good, QStringLiteral("--database"), archive });
    QVERIFY2(t.exitCode == 0 && t.out.contains(QStringLiteral("уже в архиве")), qPrintable(t.out + t.err));
    const QMap<qint64, int> whole = chunkRows(archive);
    QCOMPARE(whole.size(), 1);
    QCOMPARE(whole.first(), 900);

    // Broken in its very last line: nothing of it may stay behind.
    QByteArray broken = protocolBytes(stretch(6000, false, 700, value));
    broken += "13-;0.50;1.000;x;\n";
    QVERIFY(writeFile(folder + QStringLiteral("/broken.csv"), broken));
    t = runTool({ QStringLiteral("import"), folder + QStringLiteral("/broken.csv"), QStringLiteral("--line"),
                  QStringLiteral("2"), QStringLiteral("--track"), QStringLiteral("1"), QStringLiteral("--database"),
                  archive });
    QCOMPARE(t.exitCode, 1);
    QVERIFY2(t.err.contains(folder + QStringLiteral("/broken.csv:702: ")), qPrintable(t.err));
    QCOMPARE(chunkRows(archive), whole);

    // Without a run file the line and track have to be given.
    const QString bare = writeRun(folder + QStringLiteral("/bare.csv"), stretch(4800, true, 300, value), QDateTime(),
                                  QString());
    t = runTool({ QStringLiteral("import"), bare, QStringLiteral("--database"), archive });
    QVERIFY2(t.exitCode == 1 && t.err.contains(QStringLiteral("--line")), qPrintable(t.err));
    t = runTool({ QStringLiteral("import"), bare, QStringLiteral("--line"), QStringLiteral("2"), QStringLiteral("--track"),
                  QStringLiteral("1"), QStringLiteral("--date"), QStringLiteral("2026-03-04"), QStringLiteral("--database"),
                  archive });
    QVERIFY2(t.exitCode == 0, qPrintable(t.err));
    const std::vector<ArchivedRun> runs = runsIn(archive);
    QCOMPARE(int(runs.size()), 2);
    QCOMPARE(runs[1].date.date(), QDate(2026, 3, 4));
    QCOMPARE(runs[1].dateSource, QStringLiteral("given"));
    QCOMPARE(runs[0].operatorName, QStringLiteral("Петров"));

#ifdef Q_OS_UNIX
    if (backend != QLatin1String("sqlite"))
        return;
    // The disk fills in the middle of a long run: the transaction goes, the
    // archive stays as it was and takes the run once there is room.
    class SmallDisk : public QProcess
    {
    protected:
        void setupChildProcess() override
        {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit { 256 * 1024, 256 * 1024 };
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
    } small;
    const QString longRun = writeRun(folder + QStringLiteral("/long.csv"), stretch(0, true, 100000, value), day(9));
    t = runTool({ QStringLiteral("import"), longRun, QStringLiteral("--database"), archive }, &small);
    QVERIFY2(t.exitCode == 1, qPrintable(t.out + t.err));
    QCOMPARE(chunkRows(archive).size(), 2);
    t = runTool({ QStringLiteral("import"), longRun, QStringLiteral("--database"), archive });
    QVERIFY2(t.exitCode == 0, qPrintable(t.err));
    QCOMPARE(chunkRows(archive).last(), 100000);
#endif
}

void TestArchive::historyLinesUpForwardAndBackwardRuns_data()
{
    backendRows();
}

void TestArchive::historyLinesUpForwardAndBackwardRuns()
{
    ARCHIVE_CASE(archive, "history");
    // Each run reads the rail's own shape plus a shift of its own, so a value
    // says which run and which spot it came from.
    auto shaped = [](double shift) {
        return [shift](qint64 q, int c) { return c == 0 ? (q % 37) * 0.1 + shift : -(q % 23) * 0.05 - shift; };
    };
    const QStringList files {
        writeRun(folder + QStringLiteral("/forward.csv"), stretch(4800, true, 1200, shaped(0.5)), day(0)),
        writeRun(folder + QStringLiteral("/backward.csv"), stretch(6000, false, 1200, shaped(1.0)), day(10)),
        writeRun(folder + QStringLiteral("/other-track.csv"), stretch(4800, true, 1200, shaped(2.0)), day(20),
                 QStringLiteral("2"), QStringLiteral("2")),
    };
    Tool t = runTool(QStringList { QStringLiteral("import") } + files
                     + QStringList { QStringLiteral("--database"), archive });
    QVERIFY2(t.exitCode == 0, qPrintable(t.err));

    ArchiveDatabase db;
    QString error;
    QVERIFY2(openArchive(db, archive, &error), qPrintable(error));
    const struct { const char *at; QVector<double> shifts; } spots[] = {
        { "ПК 13 + 37.25", { 0.5, 1.0 } },  // both runs
        { "ПК 12 + 0.00", { 0.5 } },        // the forward run's first row; the backward one ends a quarter after
        { "ПК 15 + 0.00", { 1.0 } },        // the backward run's first row; the forward one ends a quarter before
        { "ПК 16 + 0.00", {} },
    };
    for (const auto &s : spots) {
        qint64 q = 0;
        QVERIFY(RunChunks::parseSpot(QString::fromUtf8(s.at), &q));
        std::vector<SpotReading> readings;
        QVERIFY2(ArchiveQuery::history(db, QStringLiteral("2"), QStringLiteral("1"), q, &readings, &error),
                 qPrintable(error));
        QCOMPARE(int(readings.size()), s.shifts.size());
        for (int i = 0; i < s.shifts.size(); ++i) {
            QCOMPARE(readings[size_t(i)].forward, s.shifts[i] < 0.75);
            QCOMPARE(readings[size_t(i)].value[0], qint32(std::llround(shaped(s.shifts[i])(q, 0) * 1000)));
            QCOMPARE(readings[size_t(i)].value[1], qint32(std::llround(shaped(s.shifts[i])(q, 1) * 1000)));
        }
    }
    t = runTool({ QStringLiteral("history"), QStringLiteral("--line"), QStringLiteral("2"), QStringLiteral("--track"),
                  QStringLiteral("1"), QStringLiteral("--at"), QStringLiteral("ПК 13 + 37.30"), QStringLiteral("--database"),
                  archive });
    QVERIFY2(t.exitCode == 0 && t.out.contains(QStringLiteral("ПК 13 + 37.25: проездов 2")), qPrintable(t.out + t.err));
}

void TestArchive::trendMatchesHandComputation_data()
{
    backendRows();
}

void TestArchive::trendMatchesHandComputation()
{
    ARCHIVE_CASE(archive, "trend");
    // Four runs 30 days apart, the second and fourth backward, over four spots
    // of ПК 10: A heads up to 6, B is out below -8 already, C heads down to
    // -6, D stands still. The other channel reads 0 throughout.
    const double values[4][4] = { { 1.0, -7.0, 0, 0.5 }, { 2.0, -7.5, -1, 0.5 }, { 2.5, -8.2, -2, 0.5 },
                                  { 4.0, -9.0, -3, 0.5 } };
    const int channel[4] = { 0, 1, 0, 0 };
    QStringList files { QStringLiteral("import") };
    for (int run = 0; run < 4; ++run) {
        const bool forward = run % 2 == 0;
        const auto value = [&](qint64 q, int c) { return c == channel[q - 4000] ? values[run][q - 4000] : 0.0; };
        files << writeRun(folder + QStringLiteral("/run%1.csv").arg(run),
                          stretch(forward ? 4000 : 4003, forward, 4, value), day(30 * run));
    }
    Tool t = runTool(files + QStringList { QStringLiteral("--database"), archive });
    QVERIFY2(t.exitCode == 0, qPrintable(t.err));

    ArchiveDatabase db;
    QString error;
    QVERIFY2(openArchive(db, archive, &error), qPrintable(error));
    TrendInput input;
    QVERIFY2(ArchiveQuery::trackReadings(db, QStringLiteral("2"), QStringLiteral("1"), QDate(), QDate(), &input, &error),
             qPrintable(error));
    const Limits limits[2] = { { -6, 6 }, { -8, 8 } };
    const TrendResult result = Trend::compute(input, limits, 1.0);
    // By hand: x = 0, 30, 60, 90 days; rate = Sxy / Sxx * 30.436875 (days a
    // month); the line reaches the limit at mean x + (limit - mean y) / slope.
    const struct { qint64 quarter; double rate; const char *reach; } expected[] = {
        { 4000, 142.5 / 4500 * 30.436875, "09.06.2026" },  // 45 + 3.625 / (142.5 / 4500) = 159.47 days
        { 4001, -100.5 / 4500 * 30.436875, "уже за допуском" },
        { 4002, -30.436875 / 30, "30.06.2026" },            // 45 + 4.5 * 30 = 180 days
        { 4003, 0, "не ожидается" },
    };
    for (const auto &e : expected) {
        const auto spot = std::find_if(result.spots.begin(), result.spots.end(), [&](const SpotTrend &s) {
            return s.quarter == e.quarter && s.channel == channel[e.quarter - 4000];
        });
        QVERIFY(spot != result.spots.end());
        QVERIFY(spot->hasRate);
        QCOMPARE(spot->readings, 4);
        QVERIFY2(std::fabs(spot->rate - e.rate) < 1e-9, qPrintable(QString::number(spot->rate, 'g', 12)));
        QCOMPARE(Trend::reachText(*spot, 0), QString::fromUtf8(e.reach));
    }
    QCOMPARE(int(result.pickets.size()), 1);
    QCOMPARE(result.spots[size_t(result.pickets[0].firstSpot)].quarter, 4001);

    // From the second run on: 2.0, 2.5, 4.0 at 30, 60, 90 days, slope 60 / 1800.
    const QString csv = folder + QStringLiteral("/trend.csv");
    t = runTool({ QStringLiteral("trend"), QStringLiteral("--line"), QStringLiteral("2"), QStringLiteral("--track"),
                  QStringLiteral("1"), QStringLiteral("--from"), QStringLiteral("2026-01-31"), QStringLiteral("-o"),
                  folder + QStringLiteral("/trend.pdf"), QStringLiteral("--csv"), csv, QStringLiteral("--database"), archive });
    QVERIFY2(t.exitCode == 0, qPrintable(t.err));
    QVERIFY(fileBytes(folder + QStringLiteral("/trend.pdf")).startsWith("%PDF"));
    const QString lines = QTextCodec::codecForName("Windows-1251")->toUnicode(fileBytes(csv));
    QVERIFY2(lines.contains(QStringLiteral("\nПК 10 + 0.00;Вертикаль;3;4.000;01.04.2026 00:00;1.015;05.06.2026;хуже;\n")),
             qPrintable(lines));

#ifdef Q_OS_UNIX
    // A FIFO where the list should go stays a FIFO: no file is renamed over it.
    const QString fifo = folder + QStringLiteral("/fifo.csv");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    t = runTool({ QStringLiteral("trend"), QStringLiteral("--line"), QStringLiteral("2"), QStringLiteral("--track"),
                  QStringLiteral("1"), QStringLiteral("-o"), folder + QStringLiteral("/fifo.pdf"), QStringLiteral("--csv"),
                  fifo, QStringLiteral("--database"), archive });
    QCOMPARE(t.exitCode, 1);
    QVERIFY2(t.err.contains(QStringLiteral("fifo.csv: не обычный файл")), qPrintable(t.err));
    struct stat pipe {};
    QVERIFY(::lstat(QFile::encodeName(fifo).constData(), &pipe) == 0 && S_ISFIFO(pipe.st_mode));
    QVERIFY(!QFileInfo::exists(folder + QStringLiteral("/fifo.pdf")));
#endif
}

void TestArchive::flagsCompareTheLatestRunWithTheOneBefore_data()
{
    QTest::addColumn<qint64>("spot");
    QTest::addColumn<QString>("before");  // "offset:value,..." in quarter metres from the spot, mm
    QTest::addColumn<QString>("now");
    QTest::addColumn<int>("flags");
    const int fresh = SpotTrend::NewOut, worse = SpotTrend::Worse, fixed = SpotTrend::Fixed;
    QTest::newRow("новое: out now, within all round before") << qint64(4010) << "-2:5,-1:5,0:5,1:5,2:5" << "0:6.5" << (fresh | worse);
    QTest::newRow("out 0.5 m away before is not new") << qint64(4010) << "0:5,2:6.5" << "0:6.5" << worse;
    QTest::newRow("out beyond 0.5 m before does not count") << qint64(4010) << "0:5,3:6.5" << "0:6.5" << (fresh | worse);
    QTest::newRow("хуже: nearer the limit by more than 1 mm") << qint64(4010) << "0:2" << "0:3.001" << worse;
    QTest::newRow("nearer by exactly 1 mm is not worse") << qint64(4010) << "0:2.3" << "0:3.3" << 0;
    QTest::newRow("хуже towards the low limit") << qint64(4010) << "0:-4" << "0:-5.5" << worse;
    QTest::newRow("исправлено: out before, all within now") << qint64(4010) << "0:-6.5" << "-2:0,-1:0,0:0,1:0,2:0" << fixed;
    QTest::newRow("not fixed while out 0.5 m away now") << qint64(4010) << "0:-6.5" << "0:0,2:-6.2" << 0;
    QTest::newRow("the window reaches into the block before") << qint64(4200) << "-1:6.5,0:5" << "0:6.5" << worse;
    QTest::newRow("no earlier run within 0.5 m: nothing to say") << qint64(4010) << "3:5" << "0:6.5" << 0;
}

void TestArchive::flagsCompareTheLatestRunWithTheOneBefore()
{
    QFETCH(qint64, spot);
    QFETCH(QString, before);
    QFETCH(QString, now);
    QFETCH(int, flags);
    TrendInput input;
    input.runs.resize(2);
    input.runs[0].date = day(0);
    input.runs[1].date = day(30);
    const QString runs[2] = { before, now };
    for (int run = 0; run < 2; ++run) {
        std::vector<ProtocolRow> rows;
        for (const QString &pair : runs[run].split(QLatin1Char(','))) {
            ProtocolRow row;
            row.picket = qint32(spot / 400);
            row.quarters = int(spot % 400) + pair.section(QLatin1Char(':'), 0, 0).toInt();
            row.hasValue[0] = true;
            row.value[0] = pair.section(QLatin1Char(':'), 1, 1).toDouble();
            rows.push_back(row);
        }
        std::vector<RunChunks::Chunk> chunks;
        int badRow = 0, badChannel = 0;
        QVERIFY(RunChunks::pack(rows, &chunks, &badRow, &badChannel));
        for (const RunChunks::Chunk &c : chunks)
            input.add(run, c);
    }
    const Limits limits[2] = { { -6, 6 }, { -8, 8 } };
    const TrendResult result = Trend::compute(input, limits, 1.0);
    const auto found = std::find_if(result.spots.begin(), result.spots.end(),
                                    [&](const SpotTrend &s) { return s.quarter == spot && s.channel == Vertical; });
    QCOMPARE(found == result.spots.end() ? 0 : found->flags, flags);
}

void TestArchive::concurrentImportsEachTakeARunOnce_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<bool>("threads");
    for (const bool threads : { false, true })
        for (const char *backend : { "sqlite", "postgresql" })
            QTest::newRow(qPrintable(QStringLiteral("two %1, %2").arg(threads ? "threads" : "processes", backend)))
                << QString(backend) << threads;
}

void TestArchive::concurrentImportsEachTakeARunOnce()
{
    QFETCH(QString, backend);
    QFETCH(bool, threads);
    // From nothing: both also race to create the archive.
    FRESH_ARCHIVE(archive, backend);
    const QString folder = m_folder.filePath(QStringLiteral("concurrent-%1-%2").arg(backend).arg(threads));
    QVERIFY(QDir().mkpath(folder));
    QStringList files;
    for (int i = 0; i < 4; ++i)
        files << writeRun(folder + QStringLiteral("/run%1.csv").arg(i),
                          stretch(i * 100, true, 30000, [i](qint64 q, int c) { return ((q + i) % 40) * 0.25 - c; }),
                          day(i));
    const QStringList first = files.mid(0, 3), second = files.mid(1, 3);
    if (threads) {
        bool ok[2] = { true, true };
        QStringList errors;
        QMutex lock;
        auto importAll = [&](const QStringList &list, bool *done) {
            for (const QString &file : list) {
                ImportResult result;
                QString error;
                if (!ArchiveImport::importRun(archive, file, ImportOptions(), &result, &error)) {
                    *done = false;
                    QMutexLocker locked(&lock);
                    errors << error;
                }
            }
        };
        std::unique_ptr<QThread> a(QThread::create(importAll, first, &ok[0]));
        std::unique_ptr<QThread> b(QThread::create(importAll, second, &ok[1]));
        a->start();
        b->start();
        QVERIFY(a->wait(120000) && b->wait(120000));
        QVERIFY2(ok[0] && ok[1], qPrintable(errors.join('\n')));
    } else {
        QProcess a, b;
        a.start(QStringLiteral(TERVALO_ARCHIVE_EXE),
                QStringList { QStringLiteral("import"), QStringLiteral("--database"), archive } + first);
        b.start(QStringLiteral(TERVALO_ARCHIVE_EXE),
                QStringList { QStringLiteral("import"), QStringLiteral("--database"), archive } + second);
        QVERIFY(a.waitForFinished(120000) && b.waitForFinished(120000));
        QVERIFY2(a.exitCode() == 0, a.readAllStandardError().constData());
        QVERIFY2(b.exitCode() == 0, b.readAllStandardError().constData());
    }
    const QMap<qint64, int> rows = chunkRows(archive);
    QCOMPARE(rows.size(), 4);
    for (int n : rows)
        QCOMPARE(n, 30000);
}

void TestArchive::damagedOrForeignDatabaseIsRefusedUntouched_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("said");
    QTest::newRow("text file") << "sqlite" << "text" << "не база SQLite";
    QTest::newRow("cut after 50 bytes") << "sqlite" << "cut" << "обрезана";
    QTest::newRow("pages overwritten") << "sqlite" << "pages" << "архив повреждён";
    QTest::newRow("another program's database") << "sqlite" << "foreign" << "это не архив Tervalo";
    QTest::newRow("a newer archive, sqlite") << "sqlite" << "newer" << "архив новее этой программы";
    QTest::newRow("a newer archive, postgresql") << "postgresql" << "newer" << "архив новее этой программы";
    QTest::newRow("archive tables without versions") << "postgresql" << "foreign" << "это не архив Tervalo";
}

void TestArchive::damagedOrForeignDatabaseIsRefusedUntouched()
{
    QFETCH(QString, backend);
    QFETCH(QString, damage);
    QFETCH(QString, said);
    FRESH_ARCHIVE(archive, backend);
    const QString folder = m_folder.filePath(QStringLiteral("damaged-") + QString::number(QDateTime::currentMSecsSinceEpoch()));
    QVERIFY(QDir().mkpath(folder));
    if (backend == QLatin1String("sqlite"))
        QVERIFY(QDir().mkpath(QFileInfo(archive).path()));
    const QString good = writeRun(folder + QStringLiteral("/good.csv"),
                                  stretch(0, true, 20000, [](qint64 q, int) { return (q % 9) * 0.5; }), day(0));
    // Written past the archive's own checks; a SQLite file's write-ahead log
    // is folded into it, so that its bytes are all there is.
    auto sql = [&](const QString &statement) {
        return backend == QLatin1String("postgresql")
                   ? direct(archive, { statement })
                   : direct(archive, { statement, QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)") });
    };
    if (damage == QLatin1String("text")) {
        QVERIFY(writeFile(archive, "Пикет;Расстояние, м;\n"));
    } else if (damage == QLatin1String("foreign")) {
        QVERIFY(sql(QStringLiteral("CREATE TABLE %1 (x INTEGER)")
                        .arg(backend == QLatin1String("sqlite") ? "journal" : "archive_run")));
    } else {
        QCOMPARE(runTool({ QStringLiteral("import"), good, QStringLiteral("--database"), archive }).exitCode, 0);
        QVERIFY(sql(QStringLiteral("SELECT 1")));
        QByteArray bytes = fileBytes(archive);
        if (damage == QLatin1String("cut"))
            bytes.truncate(50);
        else if (damage == QLatin1String("pages"))
            bytes.replace(4096, bytes.size() - 4096, QByteArray(bytes.size() - 4096, '\xa5'));
        else
            QVERIFY(sql(QStringLiteral("INSERT INTO archive_version (version, applied_at, program) VALUES (99, 0, 'later')")));
        if (damage != QLatin1String("newer"))
            QVERIFY(writeFile(archive, bytes));
    }
    const QByteArray before = fileBytes(archive);

    for (const QStringList &args : { QStringList { QStringLiteral("list") }, QStringList { QStringLiteral("import"), good } }) {
        const Tool t = runTool(args + QStringList { QStringLiteral("--database"), archive });
        QCOMPARE(t.exitCode, 1);
        QVERIFY2(t.err.contains(said), qPrintable(t.err));
    }
    if (backend == QLatin1String("sqlite"))
        QVERIFY(fileBytes(archive) == before);
    QVariant untouched;
    if (backend == QLatin1String("postgresql") && damage == QLatin1String("foreign"))
        QVERIFY(direct(archive, { QStringLiteral("SELECT to_regclass('archive_version') IS NULL") }, &untouched)
                && untouched.toBool());
    if (backend == QLatin1String("postgresql") && damage == QLatin1String("newer"))
        QVERIFY(direct(archive, { QStringLiteral("SELECT MAX(version) FROM archive_version") }, &untouched)
                && untouched.toInt() == 99);
}

QTEST_GUILESS_MAIN(TestArchive)
#include "tst_archive.moc"
