#include "protocolreader.h"
#include "reportpdf.h"
#include "simulatedrun.h"

#include "testfolder.h"

#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#endif

// tervalo-report as the crew runs it: on a protocol recorded from the
// simulator, on bad input, and when the disk refuses the report.
class TestReport : public QObject
{
    Q_OBJECT

private slots:
    void listsTheSimulatedExcursions_data();
    void listsTheSimulatedExcursions();
    void optionsChangeTheList_data();
    void optionsChangeTheList();
    void badInputKeepsTheOldReport_data();
    void badInputKeepsTheOldReport();
    void failedWriteKeepsTheOldReport();
};

namespace {

#ifdef Q_OS_UNIX
// A child that may write no more than a few kilobytes to any file.
class SmallDiskProcess : public QProcess
{
protected:
    void setupChildProcess() override
    {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit { 16384, 16384 };
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
};
#endif

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

// The program with no platform chosen and no display: it has to find its own
// way to run headless.
Run runReport(const QStringList &args, QProcess *process = nullptr)
{
    QProcess own;
    QProcess &p = process ? *process : own;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
#ifndef Q_OS_WIN
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
#endif
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(QDir::currentPath());
    p.start(QStringLiteral(TERVALO_REPORT_EXE), args);
    Run run;
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = p.exitCode();
    run.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(p.readAllStandardError());
    return run;
}

QString position(const SimulatedRow &r)
{
    return QStringLiteral("ПК %1 %2 %3").arg(r.picket).arg(r.forward ? '+' : '-').arg(r.quarters * 0.25, 0, 'f', 2);
}

// The list straight from the simulated samples: the recorded run has a row on
// every quarter metre, so a stretch is simply a run of rows outside.
QStringList expectedList(const std::vector<SimulatedRow> &run, const double low[2], const double high[2])
{
    struct Entry { size_t first; int channel; QString line; };
    std::vector<Entry> entries;
    for (int c = 0; c < 2; ++c) {
        auto outside = [&](size_t i) { return run[i].has[c] && (run[i].value[c] > high[c] || run[i].value[c] < low[c]); };
        for (size_t i = 0; i < run.size(); ++i) {
            if (!outside(i))
                continue;
            size_t last = i, peak = i;
            auto excess = [&](size_t k) { return std::max(run[k].value[c] - high[c], low[c] - run[k].value[c]); };
            while (last + 1 < run.size() && outside(last + 1)) {
                ++last;
                if (excess(last) > excess(peak))
                    peak = last;
            }
            entries.push_back({ i, c, QStringLiteral("%1;%2;%3;%4;%5;%6;%7;")
                                          .arg(c == 0 ? "Вертикаль" : "Горизонталь", position(run[i]), position(run[last]))
                                          .arg((last - i) * 0.25, 0, 'f', 2)
                                          .arg(run[peak].value[c], 0, 'f', 3)
                                          .arg(position(run[peak]))
                                          .arg(last - i + 1) });
            i = last;
        }
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) {
        return a.first != b.first ? a.first < b.first : a.channel < b.channel;
    });
    QStringList lines;
    for (const Entry &e : entries)
        lines << e.line;
    return lines;
}

QStringList csvLines(const QString &path)
{
    const QByteArray bytes = fileBytes(path);
    if (bytes.contains('\r') || !bytes.endsWith('\n'))
        return { QStringLiteral("not LF-only lines") };
    QStringList lines = QTextCodec::codecForName("Windows-1251")->toUnicode(bytes).split(QLatin1Char('\n'));
    lines.removeLast();
    return lines;
}

int pdfPages(const QString &path)
{
    return int(fileBytes(path).count("/Type /Page\n"));
}

} // namespace

void TestReport::listsTheSimulatedExcursions_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("startPicket");
    QTest::addColumn<bool>("forward");
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<double>("metresPerPage");

    QTest::newRow("two kilometres forward from picket 12") << 8000 << 12 << true << 3u << 100.0;
    QTest::newRow("a kilometre and a half in reverse from picket 40") << 6001 << 40 << false << 5u << 250.0;
}

void TestReport::listsTheSimulatedExcursions()
{
    QFETCH(int, rows);
    QFETCH(int, startPicket);
    QFETCH(bool, forward);
    QFETCH(quint32, seed);
    QFETCH(double, metresPerPage);
    TestFolder folder;
    QVERIFY(folder.isValid());

    const std::vector<SimulatedRow> run = simulateRun(rows, startPicket, forward, seed);
    QVERIFY(writeFile("night.csv", protocolBytes(run)));
    const Run r = runReport({ "night.csv", "--csv", "list.csv", "--metres-per-page", QString::number(metresPerPage) });
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));

    // The window's limits by default; the simulator's excursions peak between
    // 7 and 11 mm (vertical) and 9.5 and 13 mm (horizontal).
    const double low[2] = { -6, -8 }, high[2] = { 6, 8 };
    const QStringList expected = expectedList(run, low, high);
    QStringList list = csvLines("list.csv");
    QCOMPARE(list.takeFirst(), QStringLiteral("Канал;Начало;Конец;Длина, м;Пик, мм;Положение пика;Строк;"));
    QCOMPARE(list, expected);
    for (const char *channel : { "Вертикаль;", "Горизонталь;" })
        QVERIFY(expected.filter(QString::fromUtf8(channel)).size() > rows / 400);
    for (const QString &line : list) {
        const double peak = std::fabs(line.section(QLatin1Char(';'), 4, 4).toDouble());
        QVERIFY2(peak <= (line.startsWith(QStringLiteral("Вертикаль")) ? 11.2 : 13.2), qPrintable(line));
    }

    const int listed = int(expected.size());
    const int listPages = listed <= ReportPdf::firstPageRows
                              ? 1 : 1 + (listed - ReportPdf::firstPageRows + ReportPdf::rowsPerPage - 1) / ReportPdf::rowsPerPage;
    const int pickets = (rows + 399) / 400;
    const int summaryPages = (pickets + ReportPdf::rowsPerPage - 1) / ReportPdf::rowsPerPage;
    const int chartPages = int(std::ceil((rows - 1) * 0.25 / metresPerPage));
    QCOMPARE(pdfPages("night.pdf"), listPages + summaryPages + chartPages);
    QVERIFY(r.out.contains(QStringLiteral("%1 pages").arg(listPages + summaryPages + chartPages)));

    const QString pdftoppm = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
    if (pdftoppm.isEmpty())
        QSKIP("pdftoppm (poppler-utils) is not installed: the first page is not looked at");
    QCOMPARE(QProcess::execute(pdftoppm, { "-png", "-r", "40", "-f", "1", "-l", "1", "-singlefile", "night.pdf", "page" }), 0);
    const QImage page(QStringLiteral("page.png"));
    QVERIFY(!page.isNull());
    int inked = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            inked += qGray(page.pixel(x, y)) < 160 ? 1 : 0;
    QVERIFY2(inked > page.width() * page.height() / 100, qPrintable(QString::number(inked)));
}

void TestReport::optionsChangeTheList_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("starts");  // channel and start of each listed stretch
    QTest::addColumn<QString>("said");

    QTest::newRow("the window's limits by default") << QStringList()
        << QStringList { "Вертикаль;ПК 5 + 10.25", "Горизонталь;ПК 5 + 10.25", "Горизонталь;ПК 5 + 10.75" }
        << "3 stretches outside";
    QTest::newRow("a wider vertical band given with a negative low limit") << QStringList { "--vertical", "-7,7" }
        << QStringList { "Горизонталь;ПК 5 + 10.25", "Горизонталь;ПК 5 + 10.75" } << "2 stretches outside";
    QTest::newRow("a low limit above the high one") << QStringList { "--vertical=7,-7" }
        << QStringList { "Вертикаль;ПК 5 + 10.00", "Горизонталь;ПК 5 + 10.25", "Горизонталь;ПК 5 + 10.75" }
        << "low limit is above the high one";
    QTest::newRow("a second run in reverse compared") << QStringList { "--compare", "other.csv", "--compare-tolerance", "1" }
        << QStringList { "Вертикаль;ПК 5 + 10.25", "Горизонталь;ПК 5 + 10.25", "Горизонталь;ПК 5 + 10.75" }
        << "1 differences from other.csv";
}

void TestReport::optionsChangeTheList()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, starts);
    QFETCH(QString, said);
    TestFolder folder;
    QVERIFY(folder.isValid());
    const QByteArray header = ProtocolReader::header() + '\n';
    QVERIFY(writeFile("night.csv", header + "5+;10.00;6.000;8.000;\n5+;10.25;6.500;8.500;\n"
                                            "5+;10.50;-6.500;0.000;\n5+;10.75;0.000;-9.000;\n"));
    // The same spots from the other side, one vertical reading 2.5 mm off.
    QVERIFY(writeFile("other.csv", header + "6-;89.25;0.000;-9.000;\n6-;89.50;-4.000;0.000;\n"
                                            "6-;89.75;6.500;8.500;\n6-;90.00;6.000;8.000;\n"));
    const Run r = runReport(QStringList { "night.csv", "-o", "night.pdf", "--csv", "list.csv" } + args);
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QVERIFY2(r.out.contains(said), qPrintable(r.out));
    QStringList list = csvLines("list.csv");
    list.removeFirst();
    for (QString &line : list)
        line = line.section(QLatin1Char(';'), 0, 1);
    QCOMPARE(list, starts);
}

void TestReport::badInputKeepsTheOldReport_data()
{
    QTest::addColumn<QByteArray>("protocol");  // null: no file at all
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    const QByteArray header = ProtocolReader::header() + '\n';
    const QByteArray good = header + "12+;3.00;1.000;2.000;\n";
    QTest::newRow("a file that is not a protocol") << QByteArray("hello\n") << QStringList() << 1
                                                   << "night.csv:1: not a protocol";
    QTest::newRow("a row with the wrong number of fields") << good + "12+;3.25;1.000;\n" << QStringList() << 1
                                                           << "night.csv:3: 3 field(s)";
    QTest::newRow("a number that does not parse") << good + "12+;3.25;1,5;2.000;\n" << QStringList() << 1
                                                  << "night.csv:3: vertical value \"1,5\"";
    QTest::newRow("a protocol that is not there") << QByteArray() << QStringList() << 1 << "night.csv: cannot open";
    QTest::newRow("a second run that is not there") << good << QStringList { "--compare", "other.csv" } << 1
                                                    << "other.csv: cannot open";
    QTest::newRow("limits that are not two numbers") << good << QStringList { "--vertical", "6" } << 2
                                                     << "--vertical wants LOW,HIGH";
    QTest::newRow("the report aimed at the protocol") << good << QStringList { "-o", "night.csv" } << 2
                                                      << "refusing to write over it";
    QTest::newRow("the list aimed at the protocol") << good << QStringList { "--csv", "./night.csv" } << 2
                                                    << "refusing to write over it";
    QTest::newRow("the report aimed at a folder") << good << QStringList { "-o", "folder" } << 1
                                                  << "folder: не обычный файл";
#ifdef Q_OS_UNIX
    QTest::newRow("the report aimed at a FIFO") << good << QStringList { "-o", "pipe" } << 1
                                                << "pipe: не обычный файл";
    QTest::newRow("the list aimed at a link to a FIFO") << good << QStringList { "--csv", "link" } << 1
                                                        << "link: не обычный файл";
#endif
}

void TestReport::badInputKeepsTheOldReport()
{
    QFETCH(QByteArray, protocol);
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    TestFolder folder;
    QVERIFY(folder.isValid());
    if (!protocol.isNull())
        QVERIFY(writeFile("night.csv", protocol));
    QVERIFY(writeFile("report.pdf", "the report of last night"));
    QVERIFY(QDir().mkdir("folder"));
#ifdef Q_OS_UNIX
    QCOMPARE(::mkfifo("pipe", 0644), 0);
    QVERIFY(QFile::link("pipe", "link"));
#endif

    const Run r = runReport(QStringList { "night.csv", "-o", "report.pdf" } + args);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
#ifdef Q_OS_UNIX
    struct stat pipe {};
    QVERIFY(::lstat("pipe", &pipe) == 0 && S_ISFIFO(pipe.st_mode));
    QCOMPARE(QFileInfo("link").symLinkTarget(), QFileInfo("pipe").absoluteFilePath());
#endif
    QCOMPARE(fileBytes("report.pdf"), QByteArray("the report of last night"));
    QCOMPARE(fileBytes("night.csv"), protocol);
    QStringList expected { "report.pdf" };
    if (!protocol.isNull())
        expected.prepend("night.csv");
    QCOMPARE(QDir().entryList(QDir::Files | QDir::NoSymLinks, QDir::Name), expected);
}

void TestReport::failedWriteKeepsTheOldReport()
{
#ifdef Q_OS_UNIX
    TestFolder folder;
    QVERIFY(folder.isValid());
    QVERIFY(writeFile("night.csv", protocolBytes(simulateRun(2000, 1, true, 7))));
    QVERIFY(writeFile("report.pdf", "the report of last night"));
    SmallDiskProcess process;
    const Run r = runReport({ "night.csv", "-o", "report.pdf" }, &process);
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(QStringLiteral("report.pdf: ")), qPrintable(r.err));
    QCOMPARE(fileBytes("report.pdf"), QByteArray("the report of last night"));
    QCOMPARE(QDir().entryList(QDir::Files, QDir::Name), QStringList({ "night.csv", "report.pdf" }));
#else
    QSKIP("the file-size limit is a Unix facility");
#endif
}

QTEST_MAIN(TestReport)
#include "tst_report.moc"
