#include "archivedatabase.h"
#include "archiveimport.h"
#include "meassystem.h"
#include "meassystemsfinder.h"
#include "pdfcheck.h"
#include "protocolreader.h"
#include "reportpdf.h"
#include "runfile.h"
#include "tervalo.h"
#include "testfolder.h"
#include "toolrunservices.h"

#include <QtTest>

#include <limits>

namespace {

// Stands in for the serial system: emits whatever record the test gives it.
class FakeMeasSystem : public MeasSystem
{
public:
    using MeasSystem::MeasSystem;
    bool setActive(bool on) override
    {
        activations += on ? 1 : 0;
        return true;
    }
    void deliver(const QVariantList &record)
    {
        m_meas.assign(record.begin(), record.end());
        emit sigCurrentMeas(m_meas);
    }
    void arrive() { emit sigDataReceived(); }
    void counter(int value) { deliver({ true, 1.0, true, 2.0, value }); }
    int activations = 0;
};

QString fileUrl(const QString &path)
{
    return QUrl::fromLocalFile(path).toString();
}

} // namespace

class TestTervalo : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void withoutDeviceLogsStartAndStaysIdle();
    void adoptedSystemIsActivatedOnceAndReadByPosition_data();
    void adoptedSystemIsActivatedOnceAndReadByPosition();
    void dataArrivalFlipsOnEachSignal();
    void offsetWithoutReadingIsKeptEmpty_data();
    void offsetWithoutReadingIsKeptEmpty();
    void linkStateAndCounterAcrossLossAndRestart();
    void savedRunFileCarriesHeaderRowsAndMarks_data();
    void savedRunFileCarriesHeaderRowsAndMarks();
    void reportIsMadeOnAThreadOfItsOwn();
    void savedRunGoesIntoTheArchive_data();
    void savedRunGoesIntoTheArchive();

private:
    static bool recordAndSave(Tervalo &c, int rows, const QString &path);

    std::unique_ptr<TestFolder> m_folder;
};

void TestTervalo::init()
{
    m_folder = std::make_unique<TestFolder>();
    QVERIFY(m_folder->isValid());
}

void TestTervalo::cleanup()
{
    m_folder.reset();
}

void TestTervalo::withoutDeviceLogsStartAndStaysIdle()
{
    // No ports at all: neither the machine's own nor extra paths.
    MeasSystemsFinder::setSystemPortsListed(false);
    qunsetenv("TERVALO_EXTRA_PORTS");
    Tervalo c;
    QVERIFY(c.measSystemsFinder());
    // A search over no ports ends inside start() itself; the controller must
    // still hear of it and stay idle.
    QSignalSpy ready(c.measSystemsFinder(), &MeasSystemsFinder::Ready);
    QVERIFY(ready.isValid());
    c.start();
    QCOMPARE(ready.count(), 1);
    QCOMPARE(c.activeMeasSystem(), nullptr);
    const QVariantList getters { c.currentV(), c.currentH(), c.currentS(), c.dataReceived(), c.measKeeped(),
                                 c.workV(), c.workH() };
    QCOMPARE(getters, QVariantList({ 0.0, 0.0, 0, false, false, false, false }));
    QCOMPARE(c.journalState(), QStringLiteral("ok"));

    const QStringList lines = runLogLines();
    QVERIFY(lines.size() >= 2);
    QVERIFY(lines[0].startsWith(QStringLiteral("Начало записи ")));
    QCOMPARE(lines[1], QStringLiteral("Запуск программы Tervalo"));

    // A recording without a trolley keeps its rows, but never as measurements.
    c.saveMeasure(0, true, 0.0f, 0.0f, 0.0f);
    QVERIFY(c.measKeeped());
    QCOMPARE(formatJournalRow(c.journalEntries().back()), QStringLiteral("0+;0.00;;;"));
}

void TestTervalo::adoptedSystemIsActivatedOnceAndReadByPosition_data()
{
    QTest::addColumn<QVariantList>("record");
    QTest::newRow("both sensors reading") << QVariantList { true, -1.23, true, 327.67, 256 };
    QTest::newRow("no reading still updates the values") << QVariantList { false, 27.48, false, 27.48, -1 };
    QTest::newRow("mixed flags") << QVariantList { true, -327.68, false, 0.5, 2147483647 };
    QTest::newRow("short record is ignored") << QVariantList { true, 1.0 };
}

void TestTervalo::adoptedSystemIsActivatedOnceAndReadByPosition()
{
    QFETCH(QVariantList, record);
    Tervalo c;
    auto *system = new FakeMeasSystem(&c);
    c.adopt(system);
    QCOMPARE(system->activations, 1);
    QCOMPARE(c.activeMeasSystem(), system);
    // After an earlier record, so that a value left alone shows.
    const QVariantList earlier { false, 9.5, false, 8.5, 7 };
    system->deliver(earlier);
    system->deliver(record);
    const QVariantList shown { c.workV(), c.currentV(), c.workH(), c.currentH(), c.currentS() };
    QCOMPARE(shown, record.size() == 5 ? record : earlier);
}

void TestTervalo::dataArrivalFlipsOnEachSignal()
{
    Tervalo c;
    auto *system = new FakeMeasSystem(&c);
    c.adopt(system);
    system->arrive();
    QVERIFY(c.dataReceived());
    QVERIFY(c.dataReceived());  // reading does not change it
    system->arrive();
    system->arrive();           // an even number between two polls shows no change
    QVERIFY(c.dataReceived());
    system->arrive();
    QVERIFY(!c.dataReceived());
}

void TestTervalo::offsetWithoutReadingIsKeptEmpty_data()
{
    // Records as (vertical reading, horizontal reading, milliseconds before the
    // save); the window hands over 1.5 and -2.5 unless "passed" says otherwise.
    QTest::addColumn<QVariantList>("records");
    QTest::addColumn<QVariantList>("passed");
    QTest::addColumn<QString>("row");
    const QVariantList plain { 1.5, -2.5 };
    const qreal none = std::numeric_limits<qreal>::quiet_NaN();
    QTest::newRow("both sensors reading")
            << QVariantList { QVariantList { true, true, 0 } } << plain << "4+;2.25;1.500;-2.500;";
    QTest::newRow("vertical without reading now")
            << QVariantList { QVariantList { false, true, 0 } } << plain << "4+;2.25;;-2.500;";
    QTest::newRow("horizontal back from a gap 200 ms ago")
            << QVariantList { QVariantList { true, false, 200 }, QVariantList { true, true, 150 } } << plain
            << "4+;2.25;1.500;;";
    QTest::newRow("horizontal back from a gap 201 ms ago")
            << QVariantList { QVariantList { true, false, 201 }, QVariantList { true, true, 150 } } << plain
            << "4+;2.25;1.500;-2.500;";
    QTest::newRow("no record since the start")
            << QVariantList {} << plain << "4+;2.25;;;";
    QTest::newRow("the window passes no number")
            << QVariantList { QVariantList { true, true, 0 } } << QVariantList { none, -2.5 } << "4+;2.25;;-2.500;";
}

// The controller sees every record, also those between two polls of the window.
void TestTervalo::offsetWithoutReadingIsKeptEmpty()
{
    QFETCH(QVariantList, records);
    QFETCH(QVariantList, passed);
    QFETCH(QString, row);
    Tervalo c;
    qint64 now = 1000000;
    c.m_clock = [&now] { return now; };
    auto *system = new FakeMeasSystem(&c);
    c.adopt(system);
    const qint64 saveAt = now;
    for (const QVariant &record : qAsConst(records)) {
        const QVariantList r = record.toList();
        now = saveAt - r[2].toLongLong();
        // The offsets on the wire: the no-reading code's value where there is none.
        system->deliver({ r[0], r[0].toBool() ? 1.5 : 27.48, r[1], r[1].toBool() ? -2.5 : 27.48, 3000 });
    }
    now = saveAt;
    c.saveMeasure(4, true, 2.25f, passed[0].toFloat(), passed[1].toFloat());
    QCOMPARE(c.journalEntries().size(), size_t(1));
    QCOMPARE(formatJournalRow(c.journalEntries().back()), row);
}

void TestTervalo::linkStateAndCounterAcrossLossAndRestart()
{
    Tervalo c;
    QCOMPARE(c.linkState(), QStringLiteral("searching"));
    auto *system = new FakeMeasSystem(&c);
    c.adopt(system);
    QCOMPARE(c.linkState(), QStringLiteral("searching"));
    system->counter(1000);
    system->counter(1010);
    QCOMPARE(c.linkState(), QStringLiteral("live"));
    QCOMPARE(c.currentS(), 1010);

    // Silence is shown as a lost link, and values coming again as live.
    QTRY_COMPARE_WITH_TIMEOUT(c.linkState(), QStringLiteral("lost"), 5000);
    system->counter(1020);
    QCOMPARE(c.linkState(), QStringLiteral("live"));
    QCOMPARE(c.reconnections(), 0);

    // Lost and adopted again with a counter that started over: the counter
    // shown goes on from 1020.
    QPointer<FakeMeasSystem> gone = system;
    emit system->sigLinkLost();
    QCOMPARE(c.linkState(), QStringLiteral("lost"));
    QCOMPARE(c.activeMeasSystem(), nullptr);
    QTRY_VERIFY(gone.isNull());
    auto *again = new FakeMeasSystem(&c);
    c.adopt(again);
    QCOMPARE(c.reconnections(), 1);
    QCOMPARE(c.linkState(), QStringLiteral("lost"));
    again->counter(3);
    QCOMPARE(c.currentS(), 1020);
    QCOMPARE(c.linkState(), QStringLiteral("live"));
    again->counter(10);
    QCOMPARE(c.currentS(), 1027);

    // The device's counter started over while the link stayed, across the
    // 32-bit wrap of the counter shown.
    again->counter(2147483647 - 1017);
    QCOMPARE(c.currentS(), 2147483647);
    emit again->sigCounterRestarted();
    QCOMPARE(c.reconnections(), 2);
    again->counter(-5);
    QCOMPARE(c.currentS(), 2147483647);
    again->counter(-4);
    QCOMPARE(c.currentS(), int(-2147483647 - 1));
}

void TestTervalo::savedRunFileCarriesHeaderRowsAndMarks_data()
{
    QTest::addColumn<bool>("runFileWritable");
    QTest::newRow("written beside the protocol") << true;
    QTest::newRow("a folder where it belongs does not fail the save") << false;
}

// The window's header and marks go through the journal's own file beside it to
// the run file of the save, with the rows counted and sealed.
void TestTervalo::savedRunFileCarriesHeaderRowsAndMarks()
{
    QFETCH(bool, runFileWritable);
    Tervalo c;
    c.recordingStarted({ { "line", "Л2" }, { "operator", "Иванов" }, { "calibrationValidUntil", "2026-01-31" },
                         { "startPicket", 12 }, { "direction", false }, { "stepLength", 0.0005 },
                         { "vertical", QVariantList { -6, 6.5 } }, { "horizontal", QVariantList { -8, 8 } } });
    c.saveMeasure(12, false, 0.0f, 1.0f, 2.0f);
    QCOMPARE(c.addMark(12, false, 0.37, QStringLiteral("rampStart"), QString()), 0);
    QCOMPARE(c.addMark(12, false, 0.4, QStringLiteral("ramp"), QString()), -1);
    c.saveMeasure(12, false, 0.25f, 1.0f, 2.0f);
    QCOMPARE(c.addMark(12, false, 0.52, QStringLiteral("defect"), QString()), 1);
    QVERIFY(c.setMarkNote(1, QStringLiteral("скол")));
    QVERIFY(!c.setMarkNote(2, QStringLiteral("скол")));
    c.recordingStopped();
    // On disk beside the journal before any save; a recording added to the
    // unsaved rows keeps the first start and takes the new header.
    RunInfo kept, again;
    QString error;
    QVERIFY2(RunFile::read(RunFile::pathFor(c.journalFile()), &kept, &error), qPrintable(error));
    QCOMPARE(kept.marks.size(), size_t(2));
    c.recordingStarted({ { "line", "Л3" }, { "track", "2" } });
    QVERIFY2(RunFile::read(RunFile::pathFor(c.journalFile()), &again, &error), qPrintable(error));
    QCOMPARE(again.started, kept.started);
    QCOMPARE(again.line, QStringLiteral("Л3"));
    c.recordingStopped();

    const QString protocol = m_folder->filePath(QStringLiteral("night.csv"));
    const QString runPath = m_folder->filePath(QStringLiteral("night.json"));
    if (!runFileWritable)
        QVERIFY(QDir().mkpath(runPath));
    QVERIFY(c.saveProtocol(QUrl::fromLocalFile(protocol).toString()));
    if (!runFileWritable) {
        QCOMPARE(c.lastRunFile(), QString());
        QVERIFY(!c.lastRunFileError().isEmpty());
        return;
    }
    QCOMPARE(c.lastRunFile(), QDir::toNativeSeparators(runPath));
    QCOMPARE(c.lastRunFileError(), QString());
    RunInfo run;
    QVERIFY2(RunFile::read(runPath, &run, &error), qPrintable(error));
    QCOMPARE(run.programName, QStringLiteral("tervalo"));
    QVERIFY(!run.programVersion.isEmpty());
    QCOMPARE(QStringList({ run.line, run.track, run.operatorName, run.trolley }),
             QStringList({ "Л3", "2", "", "" }));
    QCOMPARE(run.started, kept.started);
    QVERIFY(run.stopped.isValid() && run.stopped >= run.started);
    QCOMPARE(run.rows, 2);
    QCOMPARE(run.sha256, RunFile::sha256Hex(fileBytes(protocol)));
    QCOMPARE(run.marks.size(), size_t(2));
    QCOMPARE(run.marks[1].kind, QStringLiteral("defect"));
    QCOMPARE(run.marks[1].note, QStringLiteral("скол"));
    QCOMPARE(run.marks[1].distance, 0.52);
    QVERIFY(!run.marks[1].forward && run.marks[1].time.isValid());
    // The header of the first start as the window gave it.
    QCOMPARE(kept.calibrationValidUntil, QDate(2026, 1, 31));
    QCOMPARE(kept.startPicket, 12);
    QVERIFY(!kept.forward && kept.tolerancesKnown);
    QCOMPARE(kept.vertical.high, 6.5);
    QCOMPARE(kept.stepLength, 0.0005);

    // The marks went with the rows: the next save has none.
    c.recordingStarted({});
    c.saveMeasure(13, true, 0.0f, 1.0f, 2.0f);
    QVERIFY(c.saveProtocol(QUrl::fromLocalFile(m_folder->filePath(QStringLiteral("next.csv"))).toString()));
    QVERIFY(RunFile::read(m_folder->filePath(QStringLiteral("next.json")), &run, &error));
    QCOMPARE(run.marks.size(), size_t(0));
    QCOMPARE(run.rows, 1);
}

// A recording of `rows` quarter metres from picket 7 on line 2, track 1, with
// a trolley that reads both sensors, saved as the protocol `path`; the
// vertical offset is 4.5 mm on two rows in eight and 1 mm elsewhere.
bool TestTervalo::recordAndSave(Tervalo &c, int rows, const QString &path)
{
    if (!c.activeMeasSystem()) {
        auto *trolley = new FakeMeasSystem(&c);
        c.adopt(trolley);
        trolley->counter(0);
    }
    c.recordingStarted({ { "line", "2" }, { "track", "1" }, { "startPicket", 7 } });
    for (int i = 0; i < rows; ++i)
        c.saveMeasure(7 + i / 400, true, (i % 400) * 0.25f, i % 8 < 2 ? 4.5f : 1.0f, -2.0f);
    c.recordingStopped();
    return c.saveProtocol(fileUrl(path));
}

// The window's button: the report of a protocol the journal saved, with the
// window's tolerances, beside it, while the event loop runs on.
void TestTervalo::reportIsMadeOnAThreadOfItsOwn()
{
    Tervalo c;
    c.setRunServices(std::make_unique<ToolRunServices>());
    c.setArchiveEnabled(false);
    const QString protocol = m_folder->filePath(QStringLiteral("night.csv"));
    QVERIFY(recordAndSave(c, 1200, protocol));
    QSignalSpy finished(&c, &Tervalo::reportFinished);
    const QVariantMap limits { { "vertical", QVariantList { -4, 4 } }, { "horizontal", QVariantList { -8, 8 } } };

    QVERIFY(!c.makeReport(QStringLiteral("http://server/night.csv"), limits));
    QVERIFY(!c.makeReport(QString(), limits));
    QVERIFY(c.makeReport(fileUrl(protocol), limits));
    // Nothing is told before the event loop runs, and one report at a time.
    QCOMPARE(finished.count(), 0);
    QVERIFY(!c.makeReport(fileUrl(protocol), limits));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 120000);
    const QString pdf = m_folder->filePath(QStringLiteral("night.pdf"));
    QCOMPARE(finished[0], QVariantList({ true, QDir::toNativeSeparators(pdf), QString() }));
    QVERIFY(runLogLines().contains(QStringLiteral("Отчёт записан в файл ") + QDir::toNativeSeparators(pdf)));

    // The window's vertical tolerance puts 150 stretches in the list, which
    // the report's own default would not hold.
    Protocol read;
    RunInfo run;
    QString error;
    QVERIFY(ProtocolReader::read(protocol, &read, &error));
    QVERIFY(RunFile::read(RunFile::pathFor(protocol), &run, &error));
    ReportOptions options;
    options.limits[Vertical].low = -4;
    options.limits[Vertical].high = 4;
    const Report report = Report::build(read, options, &run);
    QCOMPARE(report.exceedances.size(), size_t(150));
    QCOMPARE(pdfPages(pdf), ReportPdf::layout(report, options.metresPerPage).total());
    const int ink = firstPageInk(pdf);
    if (ink == -1)
        qInfo("pdftoppm (poppler-utils) is not installed: the first page is not looked at");
    else
        QVERIFY2(ink > 10, qPrintable(QString::number(ink)));

    // A protocol that is not there: told, with nothing written.
    const QString missing = m_folder->filePath(QStringLiteral("missing.csv"));
    QVERIFY(c.makeReport(fileUrl(missing), limits));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 60000);
    QCOMPARE(finished[1][0].toBool(), false);
    const QString told = finished[1][2].toString();
    QVERIFY2(told.startsWith(QStringLiteral("Отчёт не записан: ")) && told.contains(missing), qPrintable(told));
    QVERIFY(!QFileInfo::exists(m_folder->filePath(QStringLiteral("missing.pdf"))));
}

void TestTervalo::savedRunGoesIntoTheArchive_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("message");   // "{archive}" stands for the archive file
    QTest::newRow("a saved run is added") << "" << "Прогон добавлен в архив {archive}";
    QTest::newRow("the same bytes saved again are there already") << "twice" << "Прогон уже есть в архиве {archive}";
    QTest::newRow("a folder where the archive belongs") << "folder" << "Прогон не добавлен в архив: ";
    QTest::newRow("a run without line and track") << "no place" << "Прогон не добавлен в архив: не указаны линия и путь";
    QTest::newRow("switched off") << "off" << QString();
}

// Into the default archive, which lies in the test's own user data folder; the
// saved protocol and its run file are only read, whatever the archive does.
void TestTervalo::savedRunGoesIntoTheArchive()
{
    QFETCH(QString, setup);
    QFETCH(QString, message);
    qunsetenv("TERVALO_ARCHIVE");
    const QString archive = ArchiveLocation::defaultPath();
    message.replace(QStringLiteral("{archive}"), QDir::toNativeSeparators(archive));
    if (setup == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(archive));
    Tervalo c;
    c.setRunServices(std::make_unique<ToolRunServices>());
    c.setArchiveEnabled(setup != QLatin1String("off"));
    QSignalSpy finished(&c, &Tervalo::archiveFinished);
    if (setup == QLatin1String("twice")) {
        QVERIFY(recordAndSave(c, 40, m_folder->filePath(QStringLiteral("first.csv"))));
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 60000);
    }
    if (setup == QLatin1String("no place")) {
        c.recordingStarted({});
        c.saveMeasure(3, true, 0.0f, 1.0f, 2.0f);
        QVERIFY(c.saveProtocol(fileUrl(m_folder->filePath(QStringLiteral("night.csv")))));
    } else {
        QVERIFY(recordAndSave(c, 40, m_folder->filePath(QStringLiteral("night.csv"))));
    }
    const QString protocol = m_folder->filePath(QStringLiteral("night.csv"));
    const QByteArray saved = fileBytes(protocol), savedRun = fileBytes(RunFile::pathFor(protocol));
    QCOMPARE(c.archiveBusy(), !message.isNull());
    // An empty save is no run.
    QVERIFY(c.saveProtocol(fileUrl(m_folder->filePath(QStringLiteral("empty.csv")))));
    if (message.isNull()) {
        QVERIFY(!QFileInfo::exists(archive));
        return;
    }
    const int told = setup == QLatin1String("twice") ? 2 : 1;
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), told, 60000);
    QVERIFY(!c.archiveBusy());
    const QString said = finished.last()[1].toString();
    QCOMPARE(finished.last()[0].toBool(), message.startsWith(QStringLiteral("Прогон добавлен"))
                                                  || message.startsWith(QStringLiteral("Прогон уже")));
    if (message.endsWith(QLatin1String(": ")))
        QVERIFY2(said.startsWith(message) && said.size() > message.size(), qPrintable(said));
    else
        QCOMPARE(said, message);
    QVERIFY(runLogLines().contains(said + QStringLiteral(" (протокол ") + QDir::toNativeSeparators(protocol) + ')'));
    QCOMPARE(fileBytes(protocol), saved);
    QCOMPARE(fileBytes(RunFile::pathFor(protocol)), savedRun);
    if (finished.last()[0].toBool()) {
        // There, with every row.
        ImportResult there;
        QString error;
        QVERIFY2(ArchiveImport::importRun(QString(), protocol, ImportOptions(), &there, &error), qPrintable(error));
        QVERIFY(!there.imported);
        QCOMPARE(there.rows, 40);
    }
    QCOMPARE(finished.count(), told);
}

QTEST_MAIN(TestTervalo)
#include "tst_tervalo.moc"
