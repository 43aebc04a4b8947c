#include "framebuilder.h"
#include "trolleysimulation.h"

#include <QFileInfo>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include "processsignal.h"

// What the other tests and the run command rely on in the simulator: the
// frames' layout, the same frames for a seed, steady offsets and a stretch
// without reading, the end at a distance, pauses, and a device that answers
// the probe.
class TestTrolleySim : public QObject
{
    Q_OBJECT

private slots:
    void frameHasTheWireLayout();
    void seedFixesTheFrames();
    void steadyHoldsTheOffsetsOutsideAStretchWithoutReading();
    void distanceEndsAtFirstCounterBeyond();
    void programAnswersProbeWithTheSeedsFramesAndPauses();
    void unplugsAtStreamTimeAndOnSignalBehindTheSameLink();
};

void TestTrolleySim::frameHasTheWireLayout()
{
    QCOMPARE(FrameBuilder::frame(-123, 2748, -2), QByteArray::fromHex("5241494cff850abcfffffffe"));
    QCOMPARE(FrameBuilder::frame(32767, -32768, 0x01020304), QByteArray::fromHex("5241494c7fff800001020304"));
}

void TestTrolleySim::seedFixesTheFrames()
{
    TrolleySimulation::Options seven, eight;
    seven.seed = 7;
    eight.seed = 8;
    TrolleySimulation a(seven), b(seven), c(eight);
    QByteArray streamA, streamB, streamC;
    for (int i = 0; i < 2000; ++i) {
        streamA += a.nextFrame();
        streamB += b.nextFrame();
        streamC += c.nextFrame();
    }
    QCOMPARE(streamA, streamB);
    QVERIFY(streamA != streamC);
}

void TestTrolleySim::steadyHoldsTheOffsetsOutsideAStretchWithoutReading()
{
    TrolleySimulation::Options o;
    o.steady = true;
    o.steadyVerticalMm = 1.5;
    o.steadyHorizontalMm = -2.25;
    // ... but for a stretch from 1 to 2 m where the vertical sensor reads nothing.
    o.noReadingAxis = 0;
    o.noReadingFrom = 1.0;
    o.noReadingTo = 2.0;
    TrolleySimulation trolley(o);
    for (int i = 0; i < 5000; ++i) {
        const TrolleySimulation::Sample s = trolley.nextSample();
        const bool stretch = i >= 20 && i < 40;  // 5 cm per frame
        QCOMPARE(s.vertical, stretch ? FrameBuilder::noReading : qint16(150));
        QCOMPARE(s.horizontal, qint16(-225));
    }
}

void TestTrolleySim::distanceEndsAtFirstCounterBeyond()
{
    TrolleySimulation trolley(TrolleySimulation::Options {});
    trolley.setDistanceLimit(10.0);
    int frames = 0;
    for (; !trolley.distanceReached(); ++frames)
        trolley.nextSample();
    QCOMPARE(frames, 200);  // 10 m in steps of 5 cm
    QCOMPARE(trolley.nextSample().counter, 13334);  // 13334 * 0.75 mm >= 10 m > 13333 * 0.75 mm
}

void TestTrolleySim::programAnswersProbeWithTheSeedsFramesAndPauses()
{
    QProcess simulator;
    simulator.start(QStringLiteral(TERVALO_SIM_EXE),
                    { "--frames", "40", "--period", "5", "--seed", "9", "--pause", "0.05,0.05" });
    QVERIFY(simulator.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(simulator.canReadLine(), 10000);
    QSerialPort line(QString::fromLocal8Bit(simulator.readLine()).trimmed());
    QVERIFY2(line.open(QIODevice::ReadWrite), qPrintable(line.errorString()));
    line.write("0");

    // The pause spans 50 to 100 ms of stream time: frames 10 to 19 at 5 ms.
    TrolleySimulation::Options o;
    o.seed = 9;
    o.periodMs = 5;
    TrolleySimulation expected(o);
    QByteArray frames;
    for (int i = 0; i < 40; ++i)
        frames += expected.nextFrame(i >= 10 && i < 20);
    QByteArray heard;
    QTRY_COMPARE_WITH_TIMEOUT((heard += line.readAll()).size(), frames.size(), 10000);
    QCOMPARE(heard, frames);
    const auto counter = [&heard](int frame) { return qFromBigEndian<qint32>(heard.constData() + 12 * frame + 8); };
    QVERIFY(counter(9) < counter(10));
    QCOMPARE(counter(20), counter(10));
    QVERIFY(counter(20) < counter(21));
    QTRY_COMPARE_WITH_TIMEOUT(simulator.state(), QProcess::NotRunning, 10000);
    QCOMPARE(simulator.exitCode(), 0);
}

void TestTrolleySim::unplugsAtStreamTimeAndOnSignalBehindTheSameLink()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("trolley"));
    QProcess simulator;
    simulator.start(QStringLiteral(TERVALO_SIM_EXE),
                    { "--link", link, "--period", "5", "--unplug", "0.1,0.3" });
    QVERIFY(simulator.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(simulator.canReadLine(), 10000);
    const QString first = QString::fromLocal8Bit(simulator.readLine()).trimmed();
    QCOMPARE(QFileInfo(link).symLinkTarget(), first);

    // Unplugged 100 ms into the stream: the port hangs up, the link goes.
    QSerialPort line(link);
    QVERIFY2(line.open(QIODevice::ReadWrite), qPrintable(line.errorString()));
    QSignalSpy errors(&line, &QSerialPort::errorOccurred);
    QVERIFY(errors.isValid());
    line.write("0");
    QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(link), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(errors.count() > 0, 10000);
    line.close();

    // Plugged in again: a new terminal behind the link, silent until spoken to.
    QTRY_VERIFY_WITH_TIMEOUT(simulator.canReadLine(), 10000);
    const QString second = QString::fromLocal8Bit(simulator.readLine()).trimmed();
    QVERIFY(second.startsWith(QLatin1Char('/')));
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(link).symLinkTarget(), second, 10000);
    QSerialPort again(link);
    QVERIFY2(again.open(QIODevice::ReadWrite), qPrintable(again.errorString()));
    QVERIFY(!again.waitForReadyRead(100));
    again.write("0");
    QTRY_VERIFY_WITH_TIMEOUT(again.bytesAvailable() >= 12, 10000);
    again.close();

    // The signal pulls the plug until the next one.
    QVERIFY(signalChild(simulator, SIGQUIT));
    QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(link), 10000);
    QVERIFY(signalChild(simulator, SIGQUIT));
    QTRY_VERIFY_WITH_TIMEOUT(simulator.canReadLine(), 10000);
    const QString third = QString::fromLocal8Bit(simulator.readLine()).trimmed();
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(link).symLinkTarget(), third, 10000);

    simulator.terminate();
    QVERIFY(simulator.waitForFinished(10000));
    QCOMPARE(simulator.exitCode(), 0);
    QVERIFY(!QFileInfo::exists(link));
}

QTEST_GUILESS_MAIN(TestTrolleySim)
#include "tst_trolleysim.moc"
