#include "protocolreader.h"
#include "reportmaker.h"
#include "reportpdf.h"
#include "runfile.h"
#include "simulatedrun.h"

#include "pdfcheck.h"
#include "testfolder.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QThread>
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
    void titleBlockTellsWhatTheReportRestsOn_data();
    void titleBlockTellsWhatTheReportRestsOn();
    void makesReportsOnWorkerThreads();
    void badInputKeepsTheOldReport_data();
    void badInputKeepsTheOldReport();
    void failedWriteKeepsTheOldReport_data();
    void failedWriteKeepsTheOldReport();
};

namespace {

#ifdef Q_OS_UNIX
// A child that may write no more than a few kilobytes to any file.
class SmallDiskProcess : public QProcess
{
public:
    explicit SmallDiskProcess(rlim_t bytes) : m_bytes(bytes) {}

protected:
    void setupChildProcess() override
    {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit { m_bytes, m_bytes };
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }

private:
    rlim_t m_bytes;
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
            entries.push_back({ i, c, QStringLiteral("%1;%2;%3;%4;%5;%6;%7;за допуском;%8;%9;")
                                          .arg(c == 0 ? "Вертикаль" : "Горизонталь", position(run[i]), position(run[last]))
                                          .arg((last - i + 1) * 0.25, 0, 'f', 2)
                                          .arg(run[peak].value[c], 0, 'f', 3)
                                          .arg(position(run[peak]))
                                          .arg(last - i + 1)
                                          .arg(excess(peak), 0, 'f', 3)
                                          .arg(i == 0 || last + 1 == run.size() ? "на границе проезда" : "") });
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

// The text of one page (of all for 0), columns kept apart by blanks; empty
// without pdftotext.
QString pdfText(const QString &path, int page = 0)
{
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        return QString();
    QStringList args { "-layout" };
    if (page > 0)
        args << "-f" << QString::number(page) << "-l" << QString::number(page);
    QProcess p;
    p.start(pdftotext, args << path << "-");
    return p.waitForFinished(60000) ? QString::fromUtf8(p.readAllStandardOutput()) : QString();
}

RunMark mark(double distance, const char *kind, const QString &note = QString())
{
    RunMark m;
    m.picket = 5;
    m.distance = distance;
    m.kind = QString::fromLatin1(kind);
    m.note = note;
    m.time = QDateTime(QDate(2026, 12, 8), QTime(1, 7));
    return m;
}

// The run file of a protocol over picket 5, its ramp from 10.20 to 10.60 m.
QByteArray runFile(const QByteArray &protocol, const QDate &calibration)
{
    RunInfo run;
    run.line = QStringLiteral("Кольцевая");
    run.track = QStringLiteral("2");
    run.operatorName = QStringLiteral("Иванов И. И.");
    run.trolley = QStringLiteral("Р-417 № 0042");
    run.calibrationValidUntil = calibration;
    run.startPicket = 5;
    run.started = QDateTime(QDate(2026, 12, 8), QTime(1, 5));
    run.stopped = QDateTime(QDate(2026, 12, 8), QTime(1, 20));
    run.sha256 = RunFile::sha256Hex(protocol);
    run.marks = { mark(10.2, "rampStart"), mark(10.4, "joint", QStringLiteral("стык сварной")), mark(10.6, "rampEnd") };
    return RunFile::toJson(run);
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
    const Run r = runReport({ "night.csv", "--csv", "list.csv", "--metres-per-page", QString::number(metresPerPage),
                              "--min-rows", "1" });
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));

    // The window's limits by default; the simulator's excursions peak between
    // 7 and 11 mm (vertical) and 9.5 and 13 mm (horizontal).
    const double low[2] = { -6, -8 }, high[2] = { 6, 8 };
    const QStringList expected = expectedList(run, low, high);
    QStringList list = csvLines("list.csv");
    QCOMPARE(list.takeFirst(), QStringLiteral("Канал;Начало;Конец;Длина, м;Пик, мм;Положение пика;Строк;"
                                              "Класс;Превышение, мм;Примечание;"));
    QCOMPARE(list, expected);
    for (const char *channel : { "Вертикаль;", "Горизонталь;" })
        QVERIFY(expected.filter(QString::fromUtf8(channel)).size() > rows / 400);
    for (const QString &line : list) {
        const double peak = std::fabs(line.section(QLatin1Char(';'), 4, 4).toDouble());
        QVERIFY2(peak <= (line.startsWith(QStringLiteral("Вертикаль")) ? 11.2 : 13.2), qPrintable(line));
    }

    // As many pages as the layout works out, and as the program says.
    Protocol protocol;
    QString error;
    QVERIFY(ProtocolReader::read("night.csv", &protocol, &error));
    ReportOptions options;
    options.minRows = 1;
    const ReportPdf::Layout layout = ReportPdf::layout(Report::build(protocol, options), metresPerPage);
    QCOMPARE(layout.chartPages, int(std::ceil((rows - 1) * 0.25 / metresPerPage)));
    QCOMPARE(pdfPages("night.pdf"), layout.total());
    QVERIFY2(r.out.contains(QStringLiteral("%1 стр.").arg(layout.total())), qPrintable(r.out));

    const int ink = firstPageInk("night.pdf");
    if (ink == -1)
        QSKIP("pdftoppm (poppler-utils) is not installed: the first page is not looked at");
    QVERIFY2(ink > 10, qPrintable(QString::number(ink)));
}

void TestReport::optionsChangeTheList_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("starts");  // channel, start and class of each listed stretch
    QTest::addColumn<QString>("said");

    // Vertically one stretch of two rows; horizontally two single rows, which
    // the default rule lists after it as spikes.
    QTest::newRow("the window's limits by default") << QStringList()
        << QStringList { "Вертикаль;ПК 5 + 10.25;за допуском", "Горизонталь;ПК 5 + 10.25;за допуском",
                         "Горизонталь;ПК 5 + 10.75;за допуском" }
        << "участков за допуском 1 (вертикаль 1, горизонталь 0), одиночных выбросов 2";
    QTest::newRow("a wider vertical band given with a negative low limit") << QStringList { "--vertical", "-7,7" }
        << QStringList { "Горизонталь;ПК 5 + 10.25;за допуском", "Горизонталь;ПК 5 + 10.75;за допуском" }
        << "участков за допуском 0";
    QTest::newRow("the immediate class first; a reading at its limit stays out of it")
        << QStringList { "--horizontal-immediate", "-8.5,8.5", "--min-rows", "1" }
        << QStringList { "Горизонталь;ПК 5 + 10.75;срочно", "Вертикаль;ПК 5 + 10.25;за допуском",
                         "Горизонталь;ПК 5 + 10.25;за допуском" }
        << "участков за допуском 3 (вертикаль 1, горизонталь 2), из них срочно 1";
    QTest::newRow("sorted by position") << QStringList { "--horizontal-immediate", "-8.5,8.5", "--min-rows", "1",
                                                         "--sort", "position" }
        << QStringList { "Вертикаль;ПК 5 + 10.25;за допуском", "Горизонталь;ПК 5 + 10.25;за допуском",
                         "Горизонталь;ПК 5 + 10.75;срочно" }
        << "из них срочно 1";
    QTest::newRow("a second run in reverse compared") << QStringList { "--compare", "other.csv", "--compare-tolerance", "1" }
        << QStringList { "Вертикаль;ПК 5 + 10.25;за допуском", "Горизонталь;ПК 5 + 10.25;за допуском",
                         "Горизонталь;ПК 5 + 10.75;за допуском" }
        << "расхождений с other.csv: 1";
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
        line = line.section(QLatin1Char(';'), 0, 1) + QLatin1Char(';') + line.section(QLatin1Char(';'), 7, 7);
    QCOMPARE(list, starts);
}

void TestReport::titleBlockTellsWhatTheReportRestsOn_data()
{
    QTest::addColumn<QByteArray>("protocol");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("runPath");  // empty: no run file
    QTest::addColumn<QByteArray>("run");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QStringList>("notShown");

    // Vertically a stretch of two rows, horizontally a spike; both lie in the ramp.
    const QByteArray rows = "5+;10.00;6.000;8.000;\n5+;10.25;6.500;8.500;\n5+;10.50;-6.500;0.000;\n";
    const QByteArray protocol = ProtocolReader::header() + '\n' + rows;
    const QByteArray expired = runFile(protocol, QDate(2026, 11, 30));
    QTest::newRow("a protocol as the program writes it, the rules by default")
        << protocol << QStringList() << QString() << QByteArray()
        << QStringList { "Windows-1251", "пределы не заданы, класс не используется", "ближе 1 мм к пределу",
                         "участок считается от 2 строк подряд за допуском", "вертикаль 0.50 м, горизонталь 0.00 м",
                         "вертикаль 1, горизонталь 0" }
        << QStringList { "Срочно, вертикаль", "Файл прогона", "Линия, путь", "Отметки проезда", "В зоне отвода" };
    QTest::newRow("a protocol saved again as UTF-8 by a spreadsheet, the wider pair given")
        << "\xEF\xBB\xBF" + ProtocolReader::headerText().toUtf8() + "\r\n" + rows
        << QStringList { "--vertical-immediate", "-9,9", "--watch", "0", "--min-rows", "1" } << QString() << QByteArray()
        << QStringList { "UTF-8 с меткой BOM", "за пределами от -9 до 9 мм", "Наблюдение", "не используется",
                         "считается каждая строка за допуском" }
        << QStringList { "Windows-1251" };
    QTest::newRow("the run file beside the protocol, its calibration out of date, its ramp out of the counts")
        << protocol << QStringList() << "night.json" << expired
        << QStringList { "Кольцевая, путь 2", "Иванов И. И.", "Р-417 № 0042", "30.11.2026: истекла на день проезда",
                         "08.12.2026 01:05 – 01:20", "совпадает с файлом прогона", "участков 2 в 1 отводах",
                         "вертикаль 0, горизонталь 0", "вертикаль 0.00 м, горизонталь 0.00 м",
                         "В зоне отвода: за допуском", "начало отвода", "стык сварной", "ПК 5 + 10.40" }
        << QStringList { "НЕ совпадает", "Одиночные выбросы" };
    QByteArray tampered = protocol;
    tampered.replace("-6.500", "-6.400");
    QTest::newRow("a protocol changed after its run file was written")
        << tampered << QStringList() << "night.json" << expired
        << QStringList { "НЕ совпадает: протокол изменён после записи", "Иванов И. И." }
        << QStringList { "совпадает с файлом прогона" };
    QTest::newRow("a run file named on the command line")
        << protocol << QStringList { "--run", "runs/kept.json" } << "runs/kept.json"
        << runFile(protocol, QDate(2026, 12, 31))
        << QStringList { "kept.json", "31.12.2026", "совпадает с файлом прогона" } << QStringList { "истекла" };
    QTest::newRow("a run file beside the protocol that is not JSON")
        << protocol << QStringList() << "night.json" << QByteArray("{ line")
        << QStringList { "не прочитан", "вертикаль 1, горизонталь 0" } << QStringList { "Линия, путь" };
}

void TestReport::titleBlockTellsWhatTheReportRestsOn()
{
    QFETCH(QByteArray, protocol);
    QFETCH(QStringList, args);
    QFETCH(QString, runPath);
    QFETCH(QByteArray, run);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, notShown);
    TestFolder folder;
    QVERIFY(folder.isValid());
    QVERIFY(writeFile("night.csv", protocol));
    if (!runPath.isEmpty())
        QVERIFY(QDir().mkpath(QFileInfo(runPath).path()) && writeFile(runPath, run));
    const Run r = runReport(QStringList { "night.csv" } + args);
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    const QString all = pdfText("night.pdf");
    if (all.isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed: the pages are not read");
    QVERIFY(pdfText("night.pdf", 1).contains(
        QString::fromLatin1(QCryptographicHash::hash(protocol, QCryptographicHash::Sha256).toHex())));
    for (const QString &text : shown)
        QVERIFY2(all.contains(text), qPrintable(text + QStringLiteral(" not in:\n") + all));
    for (const QString &text : notShown)
        QVERIFY2(!all.contains(text), qPrintable(text));
    const QString last = pdfText("night.pdf", pdfPages("night.pdf"));
    for (const char *line : { "Составил", "Проверил", "подпись", "дата" })
        QVERIFY2(last.contains(QString::fromUtf8(line)), qPrintable(last));
}

// The window makes its report off the GUI thread; two at once share nothing.
void TestReport::makesReportsOnWorkerThreads()
{
    TestFolder folder;
    QVERIFY(folder.isValid());
    QVERIFY(writeFile("night.csv", protocolBytes(simulateRun(4000, 7, true, 9))));
    const ReportOptions options;
    bool made[2] = { false, false };
    QString error[2];
    std::unique_ptr<QThread> threads[2];
    for (int k = 0; k < 2; ++k) {
        threads[k].reset(QThread::create([&, k] {
            made[k] = ReportMaker::make(folder.filePath("night.csv"), folder.filePath(QStringLiteral("night-%1.pdf").arg(k)),
                                        options, &error[k]);
        }));
        threads[k]->start();
    }
    for (int k = 0; k < 2; ++k) {
        QVERIFY(threads[k]->wait(120000));
        QVERIFY2(made[k], qPrintable(error[k]));
    }
    Protocol protocol;
    QVERIFY(ProtocolReader::read("night.csv", &protocol, &error[0]));
    const int pages = ReportPdf::layout(Report::build(protocol, options), options.metresPerPage).total();
    QCOMPARE(pdfPages("night-0.pdf"), pages);
    QCOMPARE(pdfPages("night-1.pdf"), pages);
    const QString text = pdfText("night-1.pdf", 1);
    QVERIFY(text.isEmpty() || text.contains(QStringLiteral("Участки за допуском")));
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
                                                   << "night.csv:1: не протокол";
    QTest::newRow("a row with the wrong number of fields") << good + "12+;3.25;1.000;\n" << QStringList() << 1
                                                           << "night.csv:3: полей, закрытых \";\": 3";
    QTest::newRow("a number that does not parse") << good + "12+;3.25;1,5;2.000;\n" << QStringList() << 1
                                                  << "night.csv:3: вертикаль \"1,5\"";
    QTest::newRow("a protocol that is not there") << QByteArray() << QStringList() << 1 << "night.csv: не открывается";
    QTest::newRow("a second run that is not there") << good << QStringList { "--compare", "other.csv" } << 1
                                                    << "other.csv: не открывается";
    QTest::newRow("limits that are not two numbers") << good << QStringList { "--vertical", "6" } << 2
                                                     << "--vertical: нужно LOW,HIGH";
    QTest::newRow("a low limit above the high one") << good << QStringList { "--vertical=7,-7" } << 2
                                                    << "допуск по вертикали: нижний предел 7 не ниже верхнего -7";
    QTest::newRow("limits that leave no band") << good << QStringList { "--horizontal", "8,8" } << 2
                                               << "допуск по горизонтали: нижний предел 8 не ниже верхнего 8";
    QTest::newRow("an immediate pair inside the tolerance") << good << QStringList { "--vertical-immediate", "-5,7" } << 2
                                                            << "пределы «срочно» по вертикали (-5, 7) должны лежать не ближе допуска";
    QTest::newRow("a noise rule of no rows") << good << QStringList { "--min-rows", "0" } << 2 << "--min-rows: нужно целое";
    QTest::newRow("a run file named that is not there") << good << QStringList { "--run", "run.json" } << 1
                                                        << "run.json: ";
    QTest::newRow("the report aimed at the protocol") << good << QStringList { "-o", "night.csv" } << 2
                                                      << "это протокол, данный на входе";
    QTest::newRow("the list aimed at the protocol") << good << QStringList { "--csv", "./night.csv" } << 2
                                                    << "это протокол, данный на входе";
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

void TestReport::failedWriteKeepsTheOldReport_data()
{
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QStringList>("list");
    QTest::newRow("the report, cut while written") << 16384 << "report.pdf" << QStringList();
    // A list shorter than a write buffer reaches the disk only as it is
    // closed: that last write's failure must not pass for a whole file.
    QTest::newRow("the list, cut as it is closed") << 1024 << "list.csv" << QStringList { "--csv", "list.csv" };
}

void TestReport::failedWriteKeepsTheOldReport()
{
#ifdef Q_OS_UNIX
    QFETCH(int, limit);
    QFETCH(QString, failing);
    QFETCH(QStringList, list);
    TestFolder folder;
    QVERIFY(folder.isValid());
    QVERIFY(writeFile("night.csv", protocolBytes(simulateRun(2000, 1, true, 7))));
    QVERIFY(writeFile("report.pdf", "the report of last night"));
    QVERIFY(writeFile("list.csv", "the list of last night"));
    SmallDiskProcess process { rlim_t(limit) };
    const Run r = runReport(QStringList { "night.csv", "-o", "report.pdf" } + list, &process);
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(failing + QStringLiteral(": ")), qPrintable(r.err));
    QCOMPARE(fileBytes("report.pdf"), QByteArray("the report of last night"));
    QCOMPARE(fileBytes("list.csv"), QByteArray("the list of last night"));
    QCOMPARE(QDir().entryList(QDir::Files, QDir::Name), QStringList({ "list.csv", "night.csv", "report.pdf" }));
#else
    QSKIP("the file-size limit is a Unix facility");
#endif
}

QTEST_MAIN(TestReport)
#include "tst_report.moc"
