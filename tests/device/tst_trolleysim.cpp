#include "framebuilder.h"
#include "pseudoterminal.h"
#include "trolleysimulation.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <fcntl.h>
#include <memory>
#include <termios.h>
#include <unistd.h>

namespace {

// The program's side of the simulator's line: the slave opened raw.
class Line
{
public:
    explicit Line(const QString &path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_fd >= 0) {
            termios settings;
            ::tcgetattr(m_fd, &settings);
            ::cfmakeraw(&settings);
            ::tcsetattr(m_fd, TCSANOW, &settings);
        }
    }
    ~Line()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool isOpen() const { return m_fd >= 0; }
    void send(const QByteArray &bytes) { [[maybe_unused]] auto n = ::write(m_fd, bytes.constData(), size_t(bytes.size())); }
    // Everything received so far, collected on each call.
    const QByteArray &heard()
    {
        char chunk[4096];
        ssize_t n;
        while ((n = ::read(m_fd, chunk, sizeof chunk)) > 0)
            m_heard.append(chunk, int(n));
        return m_heard;
    }

private:
    int m_fd = -1;
    QByteArray m_heard;
};

TrolleySimulation::Options options(quint32 seed)
{
    TrolleySimulation::Options o;
    o.seed = seed;
    return o;
}

} // namespace

class TestTrolleySim : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void seedFixesTheFrames();
    void counterFollowsSpeedAndDirection_data();
    void counterFollowsSpeedAndDirection();
    void pushLooksLikeARail();
    void steadyHoldsTheOffsets();
    void distanceEndsAtFirstCounterBeyond();

    void programStreamsAfterProbeAndEnds();
    void programReplaysFileAsGiven();
    void programEndsOnTerminateAndRemovesLink();
    void programRejectsBadOptions_data();
    void programRejectsBadOptions();

private:
    QString startSimulator(QProcess &simulator, const QStringList &arguments);

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestTrolleySim::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestTrolleySim::cleanup()
{
    m_dir.reset();
}

QString TestTrolleySim::startSimulator(QProcess &simulator, const QStringList &arguments)
{
    simulator.start(QStringLiteral(TERVALO_SIM_EXE), arguments);
    if (!simulator.waitForStarted(10000))
        return QString();
    QElapsedTimer timer;
    timer.start();
    while (!simulator.canReadLine() && timer.elapsed() < 10000)
        simulator.waitForReadyRead(100);
    return QString::fromLocal8Bit(simulator.readLine()).trimmed();
}

void TestTrolleySim::seedFixesTheFrames()
{
    TrolleySimulation a(options(7)), b(options(7)), c(options(8));
    QByteArray streamA, streamB, streamC;
    for (int i = 0; i < 2000; ++i) {
        streamA += a.nextFrame();
        streamB += b.nextFrame();
        streamC += c.nextFrame();
    }
    QCOMPARE(streamA, streamB);
    QVERIFY(streamA != streamC);
}

void TestTrolleySim::counterFollowsSpeedAndDirection_data()
{
    QTest::addColumn<double>("speed");
    QTest::addColumn<bool>("forward");
    QTest::addColumn<int>("periodMs");
    QTest::addColumn<qint32>("start");
    QTest::addColumn<qint32>("after100");

    // 100 periods of 50 ms at 1 m/s are 5 m, 6666.67 steps of 0.75 mm.
    QTest::newRow("forward at 1 m/s") << 1.0 << true << 50 << 0 << 6666;
    QTest::newRow("backward at 1 m/s") << 1.0 << false << 50 << 100000 << 100000 - 6666;
    QTest::newRow("forward at 2 m/s, 20 ms") << 2.0 << true << 20 << 10 << 10 + 5333;
    QTest::newRow("standing") << 0.0 << true << 50 << 5 << 5;
}

void TestTrolleySim::counterFollowsSpeedAndDirection()
{
    QFETCH(double, speed);
    QFETCH(bool, forward);
    QFETCH(int, periodMs);
    QFETCH(qint32, start);
    QFETCH(qint32, after100);

    TrolleySimulation::Options o;
    o.speed = speed;
    o.forward = forward;
    o.periodMs = periodMs;
    o.startCounter = start;
    TrolleySimulation trolley(o);
    QCOMPARE(trolley.nextSample().counter, start);
    for (int i = 1; i < 100; ++i)
        trolley.nextSample();
    QCOMPARE(trolley.nextSample().counter, after100);
    // A standing trolley keeps its counter.
    const qint32 before = trolley.nextSample(true).counter;
    QCOMPARE(trolley.nextSample(true).counter, before);
}

void TestTrolleySim::pushLooksLikeARail()
{
    // Ten kilometres: smooth readings mostly within tolerance, some stretches
    // beyond it on each axis, some sensor dropouts.
    TrolleySimulation trolley(options(1));
    int beyondV = 0, beyondH = 0, dropoutsV = 0, dropoutsH = 0, bigJumps = 0, frames = 0;
    qint16 lastV = 0;
    bool haveLast = false;
    for (int i = 0; i < 200000; ++i, ++frames) {
        const TrolleySimulation::Sample s = trolley.nextSample();
        if (s.vertical == FrameBuilder::noReading) {
            ++dropoutsV;
            haveLast = false;
        } else {
            beyondV += std::abs(s.vertical) > 600 ? 1 : 0;
            if (haveLast && std::abs(s.vertical - lastV) > 100)
                ++bigJumps;
            lastV = s.vertical;
            haveLast = true;
        }
        if (s.horizontal == FrameBuilder::noReading)
            ++dropoutsH;
        else
            beyondH += std::abs(s.horizontal) > 800 ? 1 : 0;
    }
    QVERIFY2(beyondV > 0 && beyondV < frames / 5, qPrintable(QString::number(beyondV)));
    QVERIFY2(beyondH > 0 && beyondH < frames / 5, qPrintable(QString::number(beyondH)));
    QVERIFY(dropoutsV > 0 && dropoutsV < frames / 50);
    QVERIFY(dropoutsH > 0 && dropoutsH < frames / 50);
    QCOMPARE(bigJumps, 0);  // no step of a millimetre between frames 5 cm apart
}

void TestTrolleySim::steadyHoldsTheOffsets()
{
    TrolleySimulation::Options o;
    o.steady = true;
    o.steadyVerticalMm = 1.5;
    o.steadyHorizontalMm = -2.25;
    TrolleySimulation trolley(o);
    for (int i = 0; i < 5000; ++i) {
        const TrolleySimulation::Sample s = trolley.nextSample();
        QCOMPARE(s.vertical, qint16(150));
        QCOMPARE(s.horizontal, qint16(-225));
    }
}

void TestTrolleySim::distanceEndsAtFirstCounterBeyond()
{
    TrolleySimulation trolley(TrolleySimulation::Options {});
    trolley.setDistanceLimit(10.0);
    int frames = 0;
    TrolleySimulation::Sample last;
    while (!trolley.distanceReached()) {
        last = trolley.nextSample();
        ++frames;
    }
    last = trolley.nextSample();
    QCOMPARE(frames, 200);  // 10 m in steps of 5 cm
    QCOMPARE(last.counter, 13334);  // 13334 * 0.75 mm >= 10 m > 13333 * 0.75 mm
}

void TestTrolleySim::programStreamsAfterProbeAndEnds()
{
    QProcess simulator;
    const QString path = startSimulator(simulator, { "--frames", "40", "--period", "5", "--seed", "9" });
    QVERIFY(path.startsWith(QLatin1Char('/')));
    Line line(path);
    QVERIFY(line.isOpen());
    line.send("0");

    TrolleySimulation::Options o = options(9);
    o.periodMs = 5;
    TrolleySimulation expected(o);
    QByteArray frames;
    for (int i = 0; i < 40; ++i)
        frames += expected.nextFrame();
    QTRY_COMPARE_WITH_TIMEOUT(line.heard().size(), frames.size(), 10000);
    QCOMPARE(line.heard(), frames);
    QVERIFY(simulator.waitForFinished(10000));
    QCOMPARE(simulator.exitCode(), 0);
}

void TestTrolleySim::programReplaysFileAsGiven()
{
    QByteArray bytes = "noise" + FrameBuilder::frame(1, 2, 3) + "RAI";
    bytes += QByteArray("L\x00\x01", 3) + QByteArray(200, '\x07');
    const QString file = m_dir->filePath(QStringLiteral("replay.bin"));
    {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(bytes);
    }
    QProcess simulator;
    const QString path = startSimulator(simulator, { "--replay", file, "--chunk", "7", "--period", "5" });
    QVERIFY(path.startsWith(QLatin1Char('/')));
    Line line(path);
    QVERIFY(line.isOpen());
    line.send("INIT");
    QTRY_COMPARE_WITH_TIMEOUT(line.heard().size(), bytes.size(), 10000);
    QCOMPARE(line.heard(), bytes);
    QVERIFY(simulator.waitForFinished(10000));
    QCOMPARE(simulator.exitCode(), 0);
}

void TestTrolleySim::programEndsOnTerminateAndRemovesLink()
{
    const QString link = m_dir->filePath(QStringLiteral("trolley"));
    QProcess simulator;
    const QString path = startSimulator(simulator, { "--link", link, "--no-wait" });
    QVERIFY(path.startsWith(QLatin1Char('/')));
    QCOMPARE(QFile::symLinkTarget(link), path);
    Line line(link);
    QVERIFY(line.isOpen());
    // Streams without being spoken to.
    QTRY_VERIFY_WITH_TIMEOUT(line.heard().size() >= 24, 10000);
    QVERIFY(line.heard().startsWith("RAIL"));
    simulator.terminate();
    QVERIFY(simulator.waitForFinished(10000));
    QCOMPARE(simulator.exitStatus(), QProcess::NormalExit);
    QCOMPARE(simulator.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
}

void TestTrolleySim::programRejectsBadOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("speed not a number") << QStringList { "--speed", "fast" };
    QTest::newRow("negative speed") << QStringList { "--speed", "-1" };
    QTest::newRow("unknown direction") << QStringList { "--direction", "up" };
    QTest::newRow("zero period") << QStringList { "--period", "0" };
    QTest::newRow("steady without H") << QStringList { "--steady", "1.5" };
    QTest::newRow("pause without length") << QStringList { "--pause", "3" };
    QTest::newRow("missing replay file") << QStringList { "--replay", "/nonexistent/replay.bin" };
}

void TestTrolleySim::programRejectsBadOptions()
{
    QFETCH(QStringList, arguments);
    QProcess simulator;
    simulator.start(QStringLiteral(TERVALO_SIM_EXE), arguments);
    QVERIFY(simulator.waitForFinished(10000));
    QCOMPARE(simulator.exitCode(), 2);
    QVERIFY(simulator.readAllStandardOutput().isEmpty());
    QVERIFY(simulator.readAllStandardError().startsWith("tervalo-sim: "));
}

QTEST_GUILESS_MAIN(TestTrolleySim)
#include "tst_trolleysim.moc"
