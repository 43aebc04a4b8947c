#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

#include <memory>

#include "pdfcheck.h"
#include "processsignal.h"
#include "runfile.h"

namespace {

const QString header = QStringLiteral("Пикет;Расстояние, м;Вертикаль, мм;Горизонталь, мм;");
const QString journalName = QStringLiteral("tervalo-journal.csv");

QByteArray headerBytes()
{
    QTextCodec *codec = QTextCodec::codecForName("Windows-1251");
    return codec ? codec->fromUnicode(header + QLatin1Char('\n')) : QByteArray();
}

QString logText(const QString &dir)
{
    QTextCodec *codec = QTextCodec::codecForName("Windows-1251");
    return codec ? codec->toUnicode(fileBytes(QDir(dir).filePath(QStringLiteral("tervalo.log")))) : QString();
}

// The rows the run log names as kept: each follows its time line.
QByteArray loggedRows(const QString &log)
{
    QByteArray rows;
    const QStringList lines = log.split(QLatin1Char('\n'));
    for (int i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i].startsWith(QStringLiteral("Время ")))
            rows += lines[i + 1].toLatin1() + '\n';
    }
    return rows;
}

// The simulated trolley with steady offsets, standing until it is told to go;
// the device path it prints, or empty.
QString startSimulator(QProcess &sim, const QStringList &arguments)
{
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(QStringLiteral(TERVALO_SIM_EXE),
              QStringList { QStringLiteral("--steady"), QStringLiteral("1.23,-2.5") } + arguments);
    if (!sim.waitForStarted())
        return QString();
    QElapsedTimer waited;
    waited.start();
    while (!sim.canReadLine() && waited.elapsed() < 10000)
        sim.waitForReadyRead(100);
    const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed();
    if (!device.startsWith(QLatin1Char('/')) || !signalChild(sim, SIGUSR1))
        return QString();
    return device;
}

// The program in its own working folder, with a user data folder and guard
// keys of its own, playing the part the driver is given.
void startProgram(QProcess &program, const QString &dir, const QString &device, const QStringList &arguments,
                  const QString &locale = QString())
{
    program.setWorkingDirectory(dir);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
    env.insert(QStringLiteral("TERVALO_EXTRA_PORTS"), device);
    env.insert(QStringLiteral("XDG_DATA_HOME"), QDir(dir).filePath(QStringLiteral("user-data")));
    env.insert(QStringLiteral("TERVALO_INSTANCE_KEY"), dir);
    if (!locale.isEmpty()) {
        env.insert(QStringLiteral("LC_ALL"), locale);
        env.insert(QStringLiteral("LANG"), locale);
    }
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(QStringLiteral(TERVALO_E2E_EXE), arguments);
}

// The run file beside a protocol or a recovered journal: the rows of the CSV
// counted and sealed, and the joint the driver marked.
void checkRunFile(const QString &path, const QByteArray &csv)
{
    RunInfo run;
    QString error;
    QVERIFY2(RunFile::read(path, &run, &error), qPrintable(error));
    QCOMPARE(run.rows, csv.count('\n') - 1);
    QCOMPARE(run.sha256, RunFile::sha256Hex(csv));
    QCOMPARE(run.marks.size(), size_t(1));
    QCOMPARE(run.marks[0].kind + QLatin1Char(' ') + run.marks[0].note, QStringLiteral("joint стык"));
}

} // namespace

// The program's entry and window (driven by a script that plays the operator)
// against the simulated trolley on a pseudo-terminal: discovery, live values,
// recorded pushes, the journal file and every way a run can end.
class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void recordedPushGivesAnEntryEveryQuarterMetre();
    void reportButtonWritesAPdfBesideTheProtocol();
    void killedRecordingIsRecoveredAtTheNextStart_data();
    void killedRecordingIsRecoveredAtTheNextStart();
    void endedProgramWritesItsUnsavedRowsAtOnce_data();
    void endedProgramWritesItsUnsavedRowsAtOnce();
};

// The vertical sensor reads nothing from 3 to 5 m: those rows have an empty
// vertical field, the rest the steady offsets. The journal file grows while
// the push is recorded and is gone once the protocol is saved.
void TestEndToEnd::recordedPushGivesAnEntryEveryQuarterMetre()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());

    // 0.5 m/s keeps the grid well inside what a slow poll can catch up with.
    QProcess sim;
    const QString device = startSimulator(sim, { QStringLiteral("--speed"), QStringLiteral("0.5"),
                                                 QStringLiteral("--distance"), QStringLiteral("10"),
                                                 QStringLiteral("--no-reading"), QStringLiteral("vertical,3,5"),
                                                 QStringLiteral("--linger") });
    QVERIFY(!device.isEmpty());

    const QString csv = dir.filePath(QStringLiteral("push.csv"));
    QProcess program;
    startProgram(program, dir.path(), device, { QStringLiteral("push"), csv });
    QVERIFY(program.waitForStarted());

    QByteArray output;
    auto readOutput = [&] { output += program.readAll(); return output; };
    QTRY_VERIFY2_WITH_TIMEOUT(readOutput().contains("E2E recording"), output.constData(), 30000);
    QVERIFY(signalChild(sim, SIGUSR1));

    // On disk from the first row, and growing with the push.
    const QString journal = dir.filePath(journalName);
    QVERIFY(output.contains("E2E journal " + QDir::toNativeSeparators(journal).toLocal8Bit()));
    QTRY_VERIFY_WITH_TIMEOUT(fileBytes(journal).size() > headerBytes().size() + 100, 30000);
    const int grown = fileBytes(journal).size();
    QTRY_VERIFY_WITH_TIMEOUT(fileBytes(journal).size() > grown, 30000);
    QVERIFY(fileBytes(journal).startsWith(headerBytes()));

    QVERIFY(program.waitForFinished(120000));
    readOutput();
    sim.terminate();
    sim.waitForFinished(10000);
    QVERIFY2(program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0, output.constData());

    // The gauges showed the trolley's values.
    QVERIFY2(output.contains("E2E gauges 1.23 -2.5"), output.constData());
    QVERIFY2(output.contains("E2E saved true"), output.constData());
    QVERIFY(!QFileInfo::exists(journal));
    QCOMPARE(QDir(dir.path()).entryList({ QStringLiteral("tervalo-unsaved-*") }), QStringList());
    checkRunFile(dir.filePath(QStringLiteral("push.json")), fileBytes(csv));

    const QString log = logText(dir.path());
    QVERIFY(log.contains(QStringLiteral("Устройство найдено: ") + device));
    QVERIFY(log.contains(QStringLiteral("Send:  49 4e 49 54")));
    // The save went on to the archive, and the end waited for its outcome.
    QVERIFY2(log.contains(QStringLiteral(" (протокол ") + QDir::toNativeSeparators(csv) + QStringLiteral(")\n")),
             qPrintable(log.right(300)));

    const QByteArray bytes = fileBytes(csv);
    QVERIFY(!bytes.contains('\r'));
    QVERIFY(bytes.startsWith(headerBytes()));
    QList<QByteArray> lines = bytes.mid(headerBytes().size()).split('\n');
    QCOMPARE(lines.takeLast(), QByteArray());  // the file ends with LF
    QCOMPARE(lines.size(), 41);
    for (int quarter = 0; quarter <= 40; ++quarter) {
        const double metres = quarter * 0.25;
        const QString filled = QStringLiteral("12+;%1;1.230;-2.500;").arg(metres, 0, 'f', 2);
        const QString empty = QStringLiteral("12+;%1;;-2.500;").arg(metres, 0, 'f', 2);
        const QString row = QString::fromLatin1(lines[quarter]);
        // A row is saved at its point or less than half a metre after it, and
        // a reading within 0.2 s (0.1 m) after the stretch still counts as
        // next to it: only the rows near its ends may go either way.
        if (metres >= 3.0 && metres <= 4.5)
            QCOMPARE(row, empty);
        else if (metres <= 2.5 || metres >= 5.5)
            QCOMPARE(row, filled);
        else
            QVERIFY2(row == filled || row == empty, qPrintable(row));
    }
}

// The operator saves a push and presses ОТЧЁТ on the confirmation: the real
// controller makes "<protocol>.pdf" beside the protocol with the window's
// tolerances, the window says where, and asks for it to be opened.
void TestEndToEnd::reportButtonWritesAPdfBesideTheProtocol()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QProcess sim;
    const QString device = startSimulator(sim, { QStringLiteral("--distance"), QStringLiteral("3"),
                                                 QStringLiteral("--linger") });
    QVERIFY(!device.isEmpty());

    const QString csv = dir.filePath(QStringLiteral("night.csv"));
    const QString pdf = QDir::toNativeSeparators(dir.filePath(QStringLiteral("night.pdf")));
    QProcess program;
    startProgram(program, dir.path(), device, { QStringLiteral("report"), csv });
    QVERIFY(program.waitForStarted());
    QByteArray output;
    auto readOutput = [&] { output += program.readAll(); return output; };
    QTRY_VERIFY2_WITH_TIMEOUT(readOutput().contains("E2E recording"), output.constData(), 30000);
    QVERIFY(signalChild(sim, SIGUSR1));
    QVERIFY(program.waitForFinished(120000));
    readOutput();
    sim.terminate();
    sim.waitForFinished(10000);
    QVERIFY2(program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0, output.constData());

    QVERIFY2(output.contains("E2E report true true " + pdf.toLocal8Bit() + '\n'),
             output.constData());
    QVERIFY2(output.contains("openFile " + pdf.toLocal8Bit() + '\n'), output.constData());
    QVERIFY(pdfPages(pdf) >= 1);
    const int ink = firstPageInk(pdf);   // -1: no pdftoppm to look with
    QVERIFY2(ink == -1 || ink > 10, qPrintable(QString::number(ink)));
}

void TestEndToEnd::killedRecordingIsRecoveredAtTheNextStart_data()
{
    QTest::addColumn<QString>("locale");
    QTest::newRow("system locale") << QString();
    QTest::newRow("a locale with other digits") << QStringLiteral("ar_EG.UTF-8");
}

// kill -9 in the middle of a recording, then a torn line added and the first
// recovery name taken: the next start moves the journal aside under the next
// free name, without the torn line, holding every row the run log names as
// kept, and tells the window where. Dates and times are ASCII digits whatever
// the locale.
void TestEndToEnd::killedRecordingIsRecoveredAtTheNextStart()
{
    QFETCH(QString, locale);
    if (!locale.isEmpty() && QLocale(locale.section(QLatin1Char('.'), 0, 0)).toString(5) == QLatin1String("5"))
        QSKIP("this Qt has no digits of its own for that locale, so it cannot show their absence");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QProcess sim;
    const QString device = startSimulator(sim, {});
    QVERIFY(!device.isEmpty());

    QProcess program;
    startProgram(program, dir.path(), device, { QStringLiteral("record") }, locale);
    QVERIFY(program.waitForStarted());
    QByteArray output;
    auto readOutput = [&] { output += program.readAll(); return output; };
    QTRY_VERIFY2_WITH_TIMEOUT(readOutput().contains("E2E recording"), output.constData(), 30000);
    QVERIFY(signalChild(sim, SIGUSR1));
    QTRY_VERIFY_WITH_TIMEOUT(loggedRows(logText(dir.path())).count('\n') >= 8, 30000);
    QVERIFY(signalChild(program, SIGKILL));
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::CrashExit);

    const QString log = logText(dir.path());
    const QByteArray rows = loggedRows(log);
    const QRegularExpression time(QStringLiteral("^(Начало записи|Время) \\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d$"));
    for (const QString &line : log.split(QLatin1Char('\n'))) {
        if (line.startsWith(QStringLiteral("Начало записи ")) || line.startsWith(QStringLiteral("Время ")))
            QVERIFY2(time.match(line).hasMatch(), qPrintable(line));
    }
    // Written to the file before it is logged: the file may hold one row more.
    const QString journal = dir.filePath(journalName);
    QByteArray left = fileBytes(journal);
    QVERIFY(left.startsWith(headerBytes() + rows));
    QVERIFY(left.mid(headerBytes().size() + rows.size()).count('\n') <= 1);
    QVERIFY(left.endsWith('\n'));

    // As a cut in the middle of a write would leave it, on a night long ago.
    QFile file(journal);
    QVERIFY(file.open(QIODevice::Append));
    QVERIFY(file.write("12+;9") == 5 && file.flush());
    QVERIFY(file.setFileTime(QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7)), QFileDevice::FileModificationTime));
    file.close();
    const QString taken = dir.filePath(QStringLiteral("tervalo-unsaved-20260304-050607.csv"));
    QFile earlier(taken);
    QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write("earlier run\n") == 12);
    earlier.close();

    QProcess next;
    startProgram(next, dir.path(), device, { QStringLiteral("start") }, locale);
    QVERIFY(next.waitForStarted());
    QVERIFY(next.waitForFinished(60000));
    sim.terminate();
    sim.waitForFinished(10000);
    const QByteArray nextOutput = next.readAll();
    QVERIFY2(next.exitStatus() == QProcess::NormalExit && next.exitCode() == 0, nextOutput.constData());

    const QString recovered = dir.filePath(QStringLiteral("tervalo-unsaved-20260304-050607-2.csv"));
    QCOMPARE(fileBytes(recovered), left);
    checkRunFile(dir.filePath(QStringLiteral("tervalo-unsaved-20260304-050607-2.json")), left);
    QCOMPARE(fileBytes(taken), QByteArray("earlier run\n"));
    QVERIFY2(nextOutput.contains("E2E recovered [\"" + QDir::toNativeSeparators(recovered).toLocal8Bit() + "\"]"),
             nextOutput.constData());
    QVERIFY(logText(dir.path()).contains(
            QStringLiteral("Несохранённый журнал записан в файл tervalo-unsaved-20260304-050607-2.csv\n")));
    // The new start's own journal held nothing and is gone with it.
    QVERIFY(!QFileInfo::exists(journal));
}

void TestEndToEnd::endedProgramWritesItsUnsavedRowsAtOnce_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<bool>("afterFailedSave");
    QTest::addColumn<bool>("journalRemoved");
    QTest::newRow("SIGTERM while recording") << int(SIGTERM) << false << false;
    QTest::newRow("SIGINT while recording") << int(SIGINT) << false << false;
    QTest::newRow("SIGHUP after a failed save") << int(SIGHUP) << true << false;
    QTest::newRow("SIGTERM after the journal file was removed") << int(SIGTERM) << false << true;
}

// The program ends in order: the unsaved rows are in their recovery file at
// once, without another start, and the journal file is gone. A failed save
// keeps the journal file as it was.
void TestEndToEnd::endedProgramWritesItsUnsavedRowsAtOnce()
{
    QFETCH(int, signalNumber);
    QFETCH(bool, afterFailedSave);
    QFETCH(bool, journalRemoved);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QProcess sim;
    const QString device = startSimulator(sim, afterFailedSave ? QStringList { QStringLiteral("--distance"),
                                                                               QStringLiteral("3"),
                                                                               QStringLiteral("--linger") }
                                                               : QStringList {});
    QVERIFY(!device.isEmpty());

    const QString journal = dir.filePath(journalName);
    QProcess program;
    startProgram(program, dir.path(), device,
                 afterFailedSave ? QStringList { QStringLiteral("push"), dir.filePath(QStringLiteral("missing/run.csv")) }
                                 : QStringList { QStringLiteral("record") });
    QVERIFY(program.waitForStarted());
    QByteArray output;
    auto readOutput = [&] { output += program.readAll(); return output; };
    QTRY_VERIFY2_WITH_TIMEOUT(readOutput().contains("E2E recording"), output.constData(), 30000);
    QVERIFY(signalChild(sim, SIGUSR1));
    if (afterFailedSave) {
        QTRY_VERIFY2_WITH_TIMEOUT(readOutput().contains("E2E saved false"), output.constData(), 60000);
        QCOMPARE(fileBytes(journal), headerBytes() + loggedRows(logText(dir.path())));
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(loggedRows(logText(dir.path())).count('\n') >= 4, 30000);
    }
    if (journalRemoved)
        QVERIFY(QFile::remove(journal));
    QVERIFY(signalChild(program, signalNumber));
    QVERIFY(program.waitForFinished(30000));
    readOutput();
    sim.terminate();
    sim.waitForFinished(10000);
    QVERIFY2(program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0, output.constData());

    const QString log = logText(dir.path());
    const QByteArray rows = loggedRows(log);
    QVERIFY(rows.count('\n') >= 4);
    const QStringList recovered = QDir(dir.path()).entryList({ QStringLiteral("tervalo-unsaved-*.csv") });
    QCOMPARE(recovered.size(), 1);
    QCOMPARE(fileBytes(dir.filePath(recovered.first())), headerBytes() + rows);
    QVERIFY(!QFileInfo::exists(journal));
    QVERIFY2(log.endsWith(QStringLiteral("Несохранённый журнал записан в файл ") + recovered.first() + '\n'),
             qPrintable(log.right(200)));
    QVERIFY2(output.contains(QDir::toNativeSeparators(dir.filePath(recovered.first())).toLocal8Bit()),
             output.constData());
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
