#include "fakedevice.h"
#include "framebuilder.h"
#include "meassystemsfinder.h"
#include "tervalo.h"
#include "testfolder.h"
#include "usbtervalomeassystem.h"

#include <QPointer>
#include <QProcess>
#include <QScopeGuard>
#include <QSerialPort>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

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
    void firstDeviceToAnswerIsAdoptedAndTheOtherStays();
    void answeringPortAmongSilentOnesIsAdoptedWhileTheyAreProbed();
    void unpluggedTrolleyIsFoundAgainBehindItsLink_data();
    void unpluggedTrolleyIsFoundAgainBehindItsLink();
    void trolleyPluggedInAfterAFruitlessSearchIsFound();
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
    // Only paths that exist are ports: a simulator's link vanishes while its
    // device is unplugged, and so does a dangling one.
    const QString a = m_folder->filePath(QStringLiteral("sim b"));
    const QString c = m_folder->filePath(QStringLiteral("c"));
    const QString dangling = m_folder->filePath(QStringLiteral("gone"));
    QVERIFY(writeFile(a, {}) && writeFile(c, {}));
    QVERIFY(QFile::link(m_folder->filePath(QStringLiteral("nothing")), dangling));
    qputenv("TERVALO_EXTRA_PORTS", QFile::encodeName(a + QStringLiteral("::") + dangling + QStringLiteral(": ") + c
                                                     + QStringLiteral(" :/nonexistent/tty")));
    const std::vector<MeasSystemsFinder::PortCandidate> ports = MeasSystemsFinder::listPorts();
    QStringList names;
    for (const auto &port : ports) {
        names << port.name;
        QVERIFY(port.info.isNull());
    }
    QCOMPARE(names, QStringList({ a, c }));
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
    // The wait is a timer, not a blocking read that could time out on the port.
    QTest::newRow("silence") << QByteArray() << false << none;
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

void TestMeasSystemsFinder::firstDeviceToAnswerIsAdoptedAndTheOtherStays()
{
    // COM10 holds its answer back until COM3 has been adopted: the first to
    // answer is taken, not the smaller name.
    const QByteArray reply = FrameBuilder::frame(0, 0, 0);
    FakeDevice com3({ reply, true, 111, 222 });
    FakeDevice com10({ reply, true, -333, 444, 20, true });
    const QString com3Path = m_folder->filePath(QStringLiteral("COM3"));
    const QString com10Path = m_folder->filePath(QStringLiteral("COM10"));
    QVERIFY2(com3.start(com3Path) && com10.start(com10Path), qPrintable(com3.errorString()));
    qputenv("TERVALO_EXTRA_PORTS", QFile::encodeName(com3Path + QLatin1Char(':') + com10Path));

    Tervalo controller;
    QSignalSpy ready(controller.measSystemsFinder(), &MeasSystemsFinder::Ready);
    QVERIFY(ready.isValid());
    controller.start();
    QTRY_VERIFY_WITH_TIMEOUT(controller.activeMeasSystem(), 4 * MeasSystemsFinder::probePauseMs + 10000);
    QCOMPARE(serial(controller.activeMeasSystem())->portName(), com3Path);
    com10.releaseReplies();
    QTRY_COMPARE_WITH_TIMEOUT(ready.count(), 1, 4 * MeasSystemsFinder::probePauseMs + 10000);

    const std::vector<MeasSystem *> systems = controller.measSystemsFinder()->systems();
    QCOMPARE(int(systems.size()), 2);
    QCOMPARE(serial(systems[0])->portName(), com10Path);
    QCOMPARE(serial(systems[1])->portName(), com3Path);
    QCOMPARE(systems[0]->parent(), &controller);
    QCOMPARE(controller.activeMeasSystem(), systems[1]);
    QVERIFY(serial(systems[1])->isOpen());
    QVERIFY(!serial(systems[0])->isOpen());

    QTRY_COMPARE_WITH_TIMEOUT(controller.currentV(), 1.11, 10000);
    QCOMPARE(controller.currentH(), 2.22);

    emit controller.measSystemsFinder()->Ready();
    QCOMPARE(controller.activeMeasSystem(), systems[1]);
    QVERIFY(!serial(systems[0])->isOpen());
    QCOMPARE(com10.received(), QByteArray("0"));
    QVERIFY(com3.initsReceived() >= 1);
}

void TestMeasSystemsFinder::answeringPortAmongSilentOnesIsAdoptedWhileTheyAreProbed()
{
    // Seven silent ports before the trolley in name order.
    std::vector<std::unique_ptr<FakeDevice>> devices;
    QStringList paths;
    for (int i = 1; i <= 8; ++i) {
        const bool trolley = i == 8;
        devices.push_back(std::make_unique<FakeDevice>(
                FakeDevice::Behaviour { trolley ? FrameBuilder::frame(0, 0, 0) : QByteArray(), trolley, 150 }));
        paths << m_folder->filePath(QStringLiteral("port%1").arg(i));
        QVERIFY2(devices.back()->start(paths.last()), qPrintable(devices.back()->errorString()));
    }
    qputenv("TERVALO_EXTRA_PORTS", QFile::encodeName(paths.join(QLatin1Char(':'))));

    // The event loop's heartbeat, read by a thread of its own clock during the
    // second after a silent port has heard its probe: a probe that blocked would
    // leave it with next to no beats.
    std::atomic<int> ticks { 0 };
    QTimer heartbeat;
    connect(&heartbeat, &QTimer::timeout, this, [&ticks] { ++ticks; });
    heartbeat.start(10);
    std::atomic<int> ticksInSecond { -1 };
    FakeDevice *silent = devices.front().get();
    std::thread watcher([&] {
        for (int i = 0; i < 10000 && !silent->received().contains('0'); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const int before = ticks;
        std::this_thread::sleep_for(std::chrono::seconds(1));
        ticksInSecond = ticks - before;
    });
    // Joined on every way out: a failed check returns early.
    const auto joinWatcher = qScopeGuard([&watcher] { watcher.join(); });

    Tervalo controller;
    QSignalSpy ready(controller.measSystemsFinder(), &MeasSystemsFinder::Ready);
    QVERIFY(ready.isValid());
    int verdictsAtAdoption = -1;
    connect(controller.measSystemsFinder(), &MeasSystemsFinder::Found, this, [&](MeasSystem *) {
        verdictsAtAdoption = runLogLines().filter(QStringLiteral("Устройство не определено")).size() + ready.count();
    });
    controller.start();
    QTRY_VERIFY_WITH_TIMEOUT(controller.activeMeasSystem(), 4 * MeasSystemsFinder::probePauseMs + 10000);
    QCOMPARE(verdictsAtAdoption, 0);
    QTRY_COMPARE_WITH_TIMEOUT(controller.currentV(), 1.5, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(ready.count(), 1, 4 * MeasSystemsFinder::probePauseMs + 10000);
    QTRY_VERIFY_WITH_TIMEOUT(ticksInSecond >= 0, 15000);
    QVERIFY2(ticksInSecond >= 20, qPrintable(QString::number(ticksInSecond)));

    // Every port's lines in one block, in their order.
    const QStringList lines = runLogLines();
    for (int i = 0; i < 8; ++i) {
        const QString &path = paths[i];
        const int at = lines.indexOf(QStringLiteral("Открываю порт ") + path);
        QVERIFY2(at > 0, qPrintable(path));
        QCOMPARE(lines.mid(at + 1, 3), QStringList({ "Ошибка порта: 0", "После паузы считываю с порта", "Ошибка порта: 0" }));
        QVERIFY(lines[at + 4].startsWith(QStringLiteral("Считано: ")));
        QCOMPARE(lines[at + 5], i == 7 ? QStringLiteral("Устройство найдено: ") + path
                                       : QStringLiteral("Устройство не определено"));
        QCOMPARE(devices[i]->received().left(1), QByteArray("0"));
    }
    QCOMPARE(lines.filter(QStringLiteral("Поиск устройства окончен")).size(), 1);
}

void TestMeasSystemsFinder::unpluggedTrolleyIsFoundAgainBehindItsLink_data()
{
    QTest::addColumn<int>("losses");
    QTest::newRow("lost once") << 1;
    // The watch that found it is stopped; a second loss must start it again.
    QTest::newRow("lost and found twice") << 2;
}

void TestMeasSystemsFinder::unpluggedTrolleyIsFoundAgainBehindItsLink()
{
    QFETCH(int, losses);
    const QString link = m_folder->filePath(QStringLiteral("trolley"));
    const QString other = m_folder->filePath(QStringLiteral("other"));
    FakeDevice trolley({ FrameBuilder::frame(0, 0, 0), true, 250, -125 });
    FakeDevice silent({});
    QVERIFY2(trolley.start(link) && silent.start(other), qPrintable(trolley.errorString()));
    qputenv("TERVALO_EXTRA_PORTS", QFile::encodeName(link + QLatin1Char(':') + other));

    Tervalo controller;
    QCOMPARE(controller.linkState(), QStringLiteral("searching"));
    controller.start();
    QTRY_COMPARE_WITH_TIMEOUT(controller.linkState(), QStringLiteral("live"), 4 * MeasSystemsFinder::probePauseMs + 10000);
    QTRY_VERIFY_WITH_TIMEOUT(controller.currentS() > 20, 10000);
    controller.saveMeasure(12, true, 0.0f, 2.5f, -1.25f);
    controller.saveMeasure(12, true, 0.25f, 2.5f, -1.25f);
    const std::vector<JournalEntry> journal = controller.journalEntries();
    QPointer<MeasSystem> first = controller.activeMeasSystem();

    for (int loss = 1; loss <= losses; ++loss) {
        trolley.unplug();
        QTRY_COMPARE_WITH_TIMEOUT(controller.linkState(), QStringLiteral("lost"), 10000);
        const int counterAtLoss = controller.currentS();
        QCOMPARE(controller.activeMeasSystem(), nullptr);
        QTRY_VERIFY(first.isNull());
        QCOMPARE(runLogLines().filter(QStringLiteral("Связь с устройством потеряна: ") + link).size(), loss);
        QCOMPARE(controller.reconnections(), loss - 1);

        // A look at the ports passes while the trolley is away (its link gone,
        // the silent port still there); then it is plugged in again, switched
        // off and on: a new terminal behind the same link, a counter from 0.
        QTest::qWait(MeasSystemsFinder::watchIntervalMs + 500);
        QVERIFY(trolley.plugIn());
        QTRY_COMPARE_WITH_TIMEOUT(controller.linkState(), QStringLiteral("live"),
                                  MeasSystemsFinder::watchIntervalMs + 4 * MeasSystemsFinder::probePauseMs + 10000);
        QCOMPARE(controller.reconnections(), loss);
        QCOMPARE(serial(controller.activeMeasSystem())->portName(), link);
        QCOMPARE(controller.currentV(), 2.5);
        // The counter goes on from where it stood instead of jumping back.
        QVERIFY2(controller.currentS() >= counterAtLoss, qPrintable(QString::number(controller.currentS())));
        QTRY_VERIFY_WITH_TIMEOUT(controller.currentS() > counterAtLoss + 5, 10000);
        QVERIFY(controller.currentS() < counterAtLoss + 1000);
        first = controller.activeMeasSystem();
    }

    QCOMPARE(controller.journalEntries().size(), journal.size());
    QCOMPARE(formatJournalRow(controller.journalEntries().back()), formatJournalRow(journal.back()));
    // The silent port was probed once, at start, and never written to again.
    QCOMPARE(silent.received(), QByteArray("0"));
    // Only the lost system went; nothing piles up under the controller.
    QCOMPARE(controller.findChildren<MeasSystem *>().size(), 1);
}

void TestMeasSystemsFinder::trolleyPluggedInAfterAFruitlessSearchIsFound()
{
    const QString link = m_folder->filePath(QStringLiteral("trolley"));
    const QString other = m_folder->filePath(QStringLiteral("other"));
    FakeDevice trolley({ FrameBuilder::frame(0, 0, 0), true, 175 });
    FakeDevice silent({});
    QVERIFY2(silent.start(other), qPrintable(silent.errorString()));
    qputenv("TERVALO_EXTRA_PORTS", QFile::encodeName(link + QLatin1Char(':') + other));

    Tervalo controller;
    QSignalSpy ready(controller.measSystemsFinder(), &MeasSystemsFinder::Ready);
    QVERIFY(ready.isValid());
    controller.start();
    QTRY_COMPARE_WITH_TIMEOUT(ready.count(), 1, 4 * MeasSystemsFinder::probePauseMs + 10000);
    QVERIFY(controller.measSystemsFinder()->isWatching());
    QCOMPARE(controller.linkState(), QStringLiteral("searching"));

    QVERIFY2(trolley.start(link), qPrintable(trolley.errorString()));
    QTRY_COMPARE_WITH_TIMEOUT(controller.linkState(), QStringLiteral("live"),
                              MeasSystemsFinder::watchIntervalMs + 4 * MeasSystemsFinder::probePauseMs + 10000);
    QCOMPARE(controller.currentV(), 1.75);
    // Its first values: nothing was shown before that they could break with.
    QCOMPARE(controller.reconnections(), 0);
    QVERIFY(!controller.measSystemsFinder()->isWatching());
    QCOMPARE(silent.received(), QByteArray("0"));
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
