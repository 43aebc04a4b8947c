#include "fakedevice.h"
#include "framebuilder.h"
#include "meassystemsfinder.h"
#include "tervalo.h"
#include "testfolder.h"
#include "usbtervalomeassystem.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSerialPort>
#include <QtTest>

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
    void searchWithoutDeviceEndsAtOnce_data();
    void searchWithoutDeviceEndsAtOnce();
    void probeReply_data();
    void probeReply();
    void devicesAreProbedInNameOrderAndFirstIsAdopted();
    void simulatorValuesReachTheController();

private:
    std::unique_ptr<TestFolder> m_folder;
};

void TestMeasSystemsFinder::initTestCase()
{
    MeasSystemsFinder::setSystemPortsListed(false);
}

void TestMeasSystemsFinder::init()
{
    qunsetenv("TERVALO_EXTRA_PORTS");
    m_folder = std::make_unique<TestFolder>(TestFolder::WithLog);
    QVERIFY(m_folder->isValid());
}

void TestMeasSystemsFinder::cleanup()
{
    qunsetenv("TERVALO_EXTRA_PORTS");
    m_folder.reset();
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

void TestMeasSystemsFinder::searchWithoutDeviceEndsAtOnce_data()
{
    // "{bad}" stands for a path below a regular file, which fails to open
    // whoever runs the test.
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<QStringList>("logged");
    QTest::newRow("no ports") << QStringList() << QStringList { "Поиск устройства окончен" };
    QTest::newRow("port that fails to open leaves no opening line")
            << QStringList { "{bad}" } << QStringList { "Список найденных портов:", "{bad}", "Поиск устройства окончен" };
}

void TestMeasSystemsFinder::searchWithoutDeviceEndsAtOnce()
{
    QFETCH(QStringList, ports);
    QFETCH(QStringList, logged);
    QVERIFY(writeFile(QStringLiteral("plain"), {}));
    const QString bad = m_folder->filePath(QStringLiteral("plain/tty"));
    ports.replaceInStrings(QStringLiteral("{bad}"), bad);
    logged.replaceInStrings(QStringLiteral("{bad}"), bad);

    MeasSystemsFinder finder(m_folder->logOwner(), MeasSystemsFinder::portsNamed(ports));
    QSignalSpy ready(&finder, &MeasSystemsFinder::Ready);
    QVERIFY(ready.isValid());
    finder.startSearch();
    QCOMPARE(ready.count(), 1);
    QVERIFY(finder.systems().empty());
    QCOMPARE(runLogLines().mid(1), logged);
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
    auto *finder = new MeasSystemsFinder(m_folder->logOwner(), MeasSystemsFinder::portsNamed({ path }));
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
        QCOMPARE(systems[0]->parent(), m_folder->logOwner());
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
    const QString com3Path = m_folder->filePath(QStringLiteral("COM3"));
    const QString com10Path = m_folder->filePath(QStringLiteral("COM10"));
    QVERIFY(QFile::link(com3.path(), com3Path));
    QVERIFY(QFile::link(com10.path(), com10Path));
    // Listed COM3 first; compared as strings COM10 is the smaller name.
    qputenv("TERVALO_EXTRA_PORTS", QFile::encodeName(com3Path + QLatin1Char(':') + com10Path));

    Tervalo controller;
    QSignalSpy ready(controller.measSystemsFinder(), &MeasSystemsFinder::Ready);
    QVERIFY(ready.isValid());
    controller.start();
    QTRY_COMPARE_WITH_TIMEOUT(ready.count(), 1, 4 * MeasSystemsFinder::probePauseMs + 10000);

    QCOMPARE(runLogLines().filter(QRegularExpression(QStringLiteral("^Открываю порт "))),
             QStringList({ "Открываю порт " + com10Path, "Открываю порт " + com3Path }));

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
    }

    simulator.terminate();
    QVERIFY(simulator.waitForFinished(10000));
    QCOMPARE(simulator.exitStatus(), QProcess::NormalExit);
    QCOMPARE(simulator.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestMeasSystemsFinder)
#include "tst_meassystemsfinder.moc"
