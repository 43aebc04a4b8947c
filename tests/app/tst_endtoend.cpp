#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

#include <memory>

#include "processsignal.h"

// The program's entry and window (driven by a script that plays the operator)
// against the simulated trolley on a pseudo-terminal: discovery, live values,
// a recorded push of 10 m and the saved journal.
class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void recordedPushGivesAnEntryEveryQuarterMetre();
};

void TestEndToEnd::recordedPushGivesAnEntryEveryQuarterMetre()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());

    // Steady offsets so that every row can be checked; 0.5 m/s keeps the grid
    // well inside what a slow poll can round to.
    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(QStringLiteral(TERVALO_SIM_EXE),
              { QStringLiteral("--steady"), QStringLiteral("1.23,-2.5"), QStringLiteral("--speed"),
                QStringLiteral("0.5"), QStringLiteral("--distance"), QStringLiteral("10"),
                QStringLiteral("--linger") });
    QVERIFY(sim.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(sim.canReadLine(), 10000);
    const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed();
    QVERIFY(device.startsWith(QLatin1Char('/')));
    // The trolley stands until the recording runs.
    QVERIFY(signalChild(sim, SIGUSR1));

    const QString csv = dir.filePath(QStringLiteral("push.csv"));
    QProcess program;
    program.setWorkingDirectory(dir.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
    env.insert(QStringLiteral("TERVALO_EXTRA_PORTS"), device);
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(QStringLiteral(TERVALO_E2E_EXE), { csv });
    QVERIFY(program.waitForStarted());

    QByteArray output;
    auto readOutput = [&] { output += program.readAll(); return output; };
    QTRY_VERIFY_WITH_TIMEOUT(readOutput().contains("E2E recording"), 30000);
    QVERIFY(signalChild(sim, SIGUSR1));

    QVERIFY(program.waitForFinished(120000));
    readOutput();
    sim.terminate();
    sim.waitForFinished(10000);
    QVERIFY2(program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0, output.constData());

    // The gauges showed the trolley's values.
    QVERIFY2(output.contains("E2E gauges 1.23 -2.5"), output.constData());
    QVERIFY2(output.contains("E2E saved true"), output.constData());

    QTextCodec *codec = QTextCodec::codecForName("Windows-1251");
    QVERIFY(codec);
    QFile log(dir.filePath(QStringLiteral("tervalo.log")));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QString logText = codec->toUnicode(log.readAll());
    QVERIFY(logText.contains(QStringLiteral("Устройство найдено: ") + device));
    QVERIFY(logText.contains(QStringLiteral("Send:  49 4e 49 54")));

    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(!bytes.contains('\r'));
    QList<QByteArray> lines = bytes.split('\n');
    QCOMPARE(lines.takeLast(), QByteArray());  // the file ends with LF
    QCOMPARE(codec->toUnicode(lines.takeFirst()),
             QStringLiteral("Пикет;Расстояние, м;Вертикаль, мм;Горизонталь, мм;"));
    QStringList expected;
    for (int quarter = 0; quarter <= 40; ++quarter)
        expected << QStringLiteral("12+;%1;1.230;-2.500;").arg(quarter * 0.25, 0, 'f', 2);
    QStringList rows;
    for (const QByteArray &line : lines)
        rows << QString::fromLatin1(line);
    QCOMPARE(rows, expected);
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
