#include "fakedevice.h"
#include "framebuilder.h"
#include "logger.h"
#include "meassystemsfinder.h"
#include "runlog.h"
#include "tervalo.h"
#include "usbtervalomeassystem.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

QString dump(const QByteArray &bytes)
{
    return bytes.isEmpty() ? QString() : QLatin1Char(' ') + QString::fromLatin1(bytes.toHex(' '));
}

UsbTervaloMeasSystem *serial(MeasSystem *system)
{
    return qobject_cast<UsbTervaloMeasSystem *>(system);
}

} // namespace

// Discovery over pseudo-terminals; the machine's own serial ports are never
// listed here.
class TestMeasSystemsFinder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void extraPathsJoinTheList();
    void noPortsGivesReadyAtOnce();
    void portThatFailsToOpenLeavesNoOpeningLine();
    void probeReply_data();
    void probeReply();
    void devicesAreProbedInNameOrderAndFirstIsAdopted();
    void simulatorValuesReachTheController();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QObject> m_owner;
    QString m_oldDir;
};

void TestMeasSystemsFinder::initTestCase()
{
    MeasSystemsFinder::setSystemPortsListed(false);
}

void TestMeasSystemsFinder::init()
{
    qunsetenv("TERVALO_EXTRA_PORTS");
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_oldDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    m_owner = std::make_unique<QObject>();
    QVERIFY(Logger::instance(m_owner.get()));
}

void TestMeasSystemsFinder::cleanup()
{
    qunsetenv("TERVALO_EXTRA_PORTS");
    m_owner.reset();
    QDir::setCurrent(m_oldDir);
    m_dir.reset();
}

void TestMeasSystemsFinder::extraPathsJoinTheList()
{
    qputenv("TERVALO_EXTRA_PORTS", "/dev/pts/7::/tmp/sim b: /tmp/c ");
    const std::vector<MeasSystemsFinder::PortCandidate> ports = MeasSystemsFinder::listPorts();
    QStringList names;
    for (const auto &port : ports) {
        names << port.name;
        QVERIFY(port.info.isNull());
    }
    QCOMPARE(names, QStringList({ "/dev/pts/7", "/tmp/sim b", "/tmp/c" }));
}

void TestMeasSystemsFinder::noPortsGivesReadyAtOnce()
{
    MeasSystemsFinder finder(m_owner.get(), MeasSystemsFinder::portsNamed({}));
    QSignalSpy ready(&finder, &MeasSystemsFinder::Ready);
    QVERIFY(ready.isValid());
    finder.startSearch();
    QCOMPARE(ready.count(), 1);
    QVERIFY(finder.systems().empty());
    QCOMPARE(runLogLines().mid(1), QStringList({ "Поиск устройства окончен" }));
}

void TestMeasSystemsFinder::portThatFailsToOpenLeavesNoOpeningLine()
{
    QFile file(QStringLiteral("plain"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const QString bad = m_dir->filePath(QStringLiteral("plain/tty"));
    MeasSystemsFinder finder(m_owner.get(), MeasSystemsFinder::portsNamed({ bad }));
    QSignalSpy ready(&finder, &MeasSystemsFinder::Ready);
    QVERIFY(ready.isValid());
    finder.startSearch();
    QCOMPARE(ready.count(), 1);
    QVERIFY(finder.systems().empty());
    QCOMPARE(runLogLines().mid(1), QStringList({ "Список найденных портов:", bad, "Поиск устройства окончен" }));
}

void TestMeasSystemsFinder::probeReply_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("recognised");
    QTest::addColumn<int>("errorAfterPause");

    const QByteArray frame = FrameBuilder::frame(1, 2, 3);
    const int none = QSerialPort::NoError;
    QTest::newRow("one whole frame") << frame << true << none;
    QTest::newRow("11 bytes with RAIL") << frame.left(11) << false << none;
    QTest::newRow("12 bytes with RAIL at an offset") << QByteArray("xyzab") + frame.left(7) << true << none;
    QTest::newRow("RAIL after other bytes") << QByteArray(30, '\x55') + frame + frame << true << none;
    QTest::newRow("garbage") << QByteArray("RAI garbage without a header, RAL") << false << none;
    // The wait that ran out leaves its timeout as the port's error.
    QTest::newRow("silence") << QByteArray() << false << int(QSerialPort::TimeoutError);
}

void TestMeasSystemsFinder::probeReply()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, recognised);
    QFETCH(int, errorAfterPause);

    FakeDevice device({ reply });
    QVERIFY2(device.start(), qPrintable(device.errorString()));
    const QString path = device.path();
    auto *finder = new MeasSystemsFinder(m_owner.get(), MeasSystemsFinder::portsNamed({ path }));
    QSignalSpy ready(finder, &MeasSystemsFinder::Ready);
    QVERIFY(ready.isValid());
    finder->startSearch();
    QTRY_COMPARE_WITH_TIMEOUT(ready.count(), 1, 3 * MeasSystemsFinder::probePauseMs + 10000);

    QCOMPARE(device.received(), QByteArray("0"));
    QCOMPARE(runLogLines().mid(1), QStringList({
        "Список найденных портов:",
        path,
        "Открываю порт " + path,
        "Ошибка порта: 0",
        "После паузы считываю с порта",
        "Ошибка порта: " + QString::number(errorAfterPause),
        "Считано: " + dump(reply),
        recognised ? "Устройство найдено: " + path : QStringLiteral("Устройство не определено"),
        "Поиск устройства окончен",
    }));
    const std::vector<MeasSystem *> systems = finder->systems();
    QCOMPARE(int(systems.size()), recognised ? 1 : 0);
    if (recognised) {
        QCOMPARE(systems[0]->parent(), m_owner.get());
        QCOMPARE(serial(systems[0])->portName(), path);
        QVERIFY(!serial(systems[0])->isOpen());
    }
    // The probe port goes once control is back in the event loop.
    QTRY_VERIFY(finder->findChildren<QSerialPort *>().isEmpty());
    QCOMPARE(ready.count(), 1);
}

void TestMeasSystemsFinder::devicesAreProbedInNameOrderAndFirstIsAdopted()
{
    const QByteArray reply = FrameBuilder::frame(0, 0, 0);
    FakeDevice com3({ reply, true, 111, 222 });
    FakeDevice com10({ reply, true, -333, 444 });
    QVERIFY2(com3.start() && com10.start(), qPrintable(com3.errorString()));
    const QString com3Path = m_dir->filePath(QStringLiteral("COM3"));
    const QString com10Path = m_dir->filePath(QStringLiteral("COM10"));
    QVERIFY(QFile::link(com3.path(), com3Path));
    QVERIFY(QFile::link(com10.path(), com10Path));
    // Listed COM3 first; compared as strings COM10 is the smaller name.
    qputenv("TERVALO_EXTRA_PORTS", QFile::encodeName(com3Path + QLatin1Char(':') + com10Path));

    Tervalo controller;
    QSignalSpy ready(controller.measSystemsFinder(), &MeasSystemsFinder::Ready);
    QVERIFY(ready.isValid());
    controller.start();
    QTRY_COMPARE_WITH_TIMEOUT(ready.count(), 1, 4 * MeasSystemsFinder::probePauseMs + 10000);

    QStringList opened;
    for (const QString &line : runLogLines())
        if (line.startsWith(QStringLiteral("Открываю порт ")))
            opened << line;
    QCOMPARE(opened, QStringList({ "Открываю порт " + com10Path, "Открываю порт " + com3Path }));

    const std::vector<MeasSystem *> systems = controller.measSystemsFinder()->systems();
    QCOMPARE(int(systems.size()), 2);
    QCOMPARE(serial(systems[0])->portName(), com10Path);
    QCOMPARE(serial(systems[1])->portName(), com3Path);
    QCOMPARE(systems[0]->parent(), &controller);
    QCOMPARE(controller.activeMeasSystem(), systems[0]);
    QVERIFY(serial(systems[0])->isOpen());
    QVERIFY(!serial(systems[1])->isOpen());

    QTRY_COMPARE_WITH_TIMEOUT(controller.currentV(), -3.33, 10000);
    QCOMPARE(controller.currentH(), 4.44);

    emit controller.measSystemsFinder()->Ready();
    QCOMPARE(controller.activeMeasSystem(), systems[0]);
    QVERIFY(!serial(systems[1])->isOpen());
    QCOMPARE(com3.received(), QByteArray("0"));
    QVERIFY(com10.initsReceived() >= 1);
}

void TestMeasSystemsFinder::simulatorValuesReachTheController()
{
    QProcess simulator;
    simulator.setProcessChannelMode(QProcess::SeparateChannels);
    simulator.start(QStringLiteral(TERVALO_SIM_EXE), { "--steady", "1.5,-2.25", "--period", "20" });
    QVERIFY2(simulator.waitForStarted(10000), qPrintable(simulator.errorString()));
    QTRY_VERIFY_WITH_TIMEOUT(simulator.canReadLine(), 10000);
    const QString path = QString::fromLocal8Bit(simulator.readLine()).trimmed();
    QVERIFY(path.startsWith(QLatin1Char('/')));
    qputenv("TERVALO_EXTRA_PORTS", QFile::encodeName(path));

    {
        Tervalo controller;
        controller.start();
        // Within the probe: at most a blocking wait and a pause, then frames.
        QTRY_COMPARE_WITH_TIMEOUT(controller.currentV(), 1.5, 2 * MeasSystemsFinder::probePauseMs + 8000);
        QCOMPARE(controller.currentH(), -2.25);
        QVERIFY(controller.workV());
        QVERIFY(controller.workH());
        const int counter = controller.currentS();
        QTRY_VERIFY_WITH_TIMEOUT(controller.currentS() > counter, 10000);

        const QStringList lines = runLogLines();
        QVERIFY(lines.contains("Устройство найдено: " + path));
        QVERIFY(lines.contains(QStringLiteral("Send:  49 4e 49 54")));
        bool frameLine = false;
        for (const QString &line : lines)
            frameLine = frameLine || line.startsWith(QStringLiteral("150;-225;"));
        QVERIFY(frameLine);
    }

    simulator.terminate();
    QVERIFY(simulator.waitForFinished(10000));
    QCOMPARE(simulator.exitStatus(), QProcess::NormalExit);
    QCOMPARE(simulator.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestMeasSystemsFinder)
#include "tst_meassystemsfinder.moc"
