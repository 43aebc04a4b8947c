#include "framebuilder.h"
#include "testfolder.h"
#include "usbtervalomeassystem.h"

#ifdef Q_OS_UNIX
#include "pseudoterminal.h"
#endif

#include <QtTest>

namespace {

const QString silenceLine = QStringLiteral("За последние 500 мс данные в порт не приходили");
const QString sendLine = QStringLiteral("Send:  49 4e 49 54");

// A port name no lookup can match and nothing can open.
const QString noPort = QStringLiteral("/nonexistent/tervalo-port");

} // namespace

class TestUsbTervaloMeasSystem : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void recordFromFrame_data();
    void recordFromFrame();
    void firstFrameOfWindowIsLoggedAndSignalledFirst();
    void silenceAndEachNewWindowAreLogged();
    void bufferWithoutHeaderStaysBounded();
    void implausibleCounterIsRefusedAndARestartAnnounced();
    void counterIsJudgedAtItsArrival_data();
    void counterIsJudgedAtItsArrival();
    void failedOpenReturnsFalseQuietly();
#ifdef Q_OS_UNIX
    void openSendsInitOnceAndRepeatsIt();
    void deviceClosingItsEndIsOneLossAndTheLinkFallsSilent();
    void framesOverPseudoTerminal_data();
    void framesOverPseudoTerminal();
    void reopenKeepsPartialFrame();
#endif

private:
    int bufferedBytes(UsbTervaloMeasSystem &system) const { return system.m_decoder.pendingSize(); }
    bool initTimerRuns(UsbTervaloMeasSystem &system) const { return system.m_poll->isActive(); }

    std::unique_ptr<TestFolder> m_folder;
};

void TestUsbTervaloMeasSystem::initTestCase()
{
    qRegisterMetaType<std::vector<QVariant>>("std::vector<QVariant>");
}

void TestUsbTervaloMeasSystem::init()
{
    m_folder = std::make_unique<TestFolder>(TestFolder::WithLog);
    QVERIFY(m_folder->isValid());
}

void TestUsbTervaloMeasSystem::cleanup()
{
    m_folder.reset();
}

void TestUsbTervaloMeasSystem::recordFromFrame_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QVariantList>("record");  // of the types the record must carry
    QTest::addColumn<QString>("logLine");

    QTest::newRow("0A BC is no reading, other channel unaffected") << QByteArray::fromHex("5241494c0abcff8500000000")
            << QVariantList { false, 27.48, true, -1.23, 0 } << "2748;-123;0;";
    QTest::newRow("7F FF and 80 00") << QByteArray::fromHex("5241494c7fff800000000001")
                                     << QVariantList { true, 327.67, true, -327.68, 1 } << "32767;-32768;1;";
    QTest::newRow("-1 and counter FF FF FF FF") << QByteArray::fromHex("5241494cffff0abcffffffff")
                                                << QVariantList { true, -0.01, false, 27.48, -1 } << "-1;2748;-1;";
    QTest::newRow("counter 00 00 01 00") << QByteArray::fromHex("5241494c0000000100000100")
                                         << QVariantList { true, 0.0, true, 0.01, 256 } << "0;1;256;";
}

void TestUsbTervaloMeasSystem::recordFromFrame()
{
    QFETCH(QByteArray, frame);
    QFETCH(QVariantList, record);
    QFETCH(QString, logLine);

    UsbTervaloMeasSystem system(noPort, nullptr);
    QVERIFY(system.currentMeas().empty());
    QSignalSpy records(&system, &MeasSystem::sigCurrentMeas);
    QVERIFY(records.isValid());
    system.receive(frame);
    QCOMPARE(records.count(), 1);

    const auto got = records.at(0).at(0).value<std::vector<QVariant>>();
    QCOMPARE(int(got.size()), 5);
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(got[i].userType(), record[i].userType());
        QCOMPARE(got[i].toDouble(), record[i].toDouble());
    }
    QCOMPARE(system.currentMeas(), got);
    QVERIFY(runLogLines().contains(logLine));
}

void TestUsbTervaloMeasSystem::firstFrameOfWindowIsLoggedAndSignalledFirst()
{
    UsbTervaloMeasSystem system(noPort, nullptr);
    QStringList events;
    connect(&system, &MeasSystem::sigDataReceived, this, [&events] {
        // The frame's log line must be in the file before the signal goes out.
        events << QStringLiteral("data after ") + runLogLines().last();
    });
    connect(&system, &MeasSystem::sigCurrentMeas, this, [&events](std::vector<QVariant> record) {
        events << QStringLiteral("record ") + QString::number(record[4].toInt());
    });

    // The first frame comes in two arrivals; the dump of the second shows the
    // whole kept buffer, the part that waited included.
    const QByteArray stream =
            FrameBuilder::frame(-123, 2748, 1045) + FrameBuilder::frame(1, 2, 1046) + FrameBuilder::frame(3, 4, 1047);
    system.receive(stream.left(7));
    QVERIFY(events.isEmpty());
    system.receive(stream.mid(7));

    QCOMPARE(events, QStringList({ "data after -123;2748;1045;", "record 1045", "record 1046", "record 1047" }));
    const QStringList lines = runLogLines();
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[1], QStringLiteral("Пришло в порт ") + QString::fromLatin1(stream.left(7).toHex(' ').prepend(' ')));
    QCOMPARE(lines[2], QStringLiteral("Пришло в порт ") + QString::fromLatin1(stream.toHex(' ').prepend(' ')));
    QCOMPARE(lines[3], QStringLiteral("-123;2748;1045;"));
}

void TestUsbTervaloMeasSystem::silenceAndEachNewWindowAreLogged()
{
    UsbTervaloMeasSystem system(noPort, nullptr);
    QSignalSpy data(&system, &MeasSystem::sigDataReceived);
    QVERIFY(data.isValid());
    // At every tick without data, and nothing else: no frame, no port.
    QTRY_VERIFY_WITH_TIMEOUT(runLogLines().count(silenceLine) >= 3, 20000);
    for (const QString &line : runLogLines().mid(1))
        QCOMPARE(line, silenceLine);

    system.receive(FrameBuilder::frame(1, 1, 1));
    system.receive(FrameBuilder::frame(2, 2, 2));
    QCOMPARE(data.count(), 1);
    QCOMPARE(runLogLines().filter(QStringLiteral("Пришло в порт ")).size(), 1);
    // The tick after a frame only opens a new window; a silence line means a
    // whole window has passed since.
    const int silences = runLogLines().count(silenceLine);
    QTRY_VERIFY_WITH_TIMEOUT(runLogLines().count(silenceLine) > silences, 10000);
    system.receive(FrameBuilder::frame(3, 3, 3));
    QCOMPARE(data.count(), 2);
    QCOMPARE(runLogLines().filter(QStringLiteral("Пришло в порт ")).size(), 2);
    QVERIFY(runLogLines().contains(QStringLiteral("3;3;3;")));
    QVERIFY(!runLogLines().contains(QStringLiteral("2;2;2;")));
}

void TestUsbTervaloMeasSystem::bufferWithoutHeaderStaysBounded()
{
    UsbTervaloMeasSystem system(noPort, nullptr);
    QSignalSpy records(&system, &MeasSystem::sigCurrentMeas);
    QVERIFY(records.isValid());
    const QByteArray noise(64 * 1024, 'q');
    for (int i = 0; i < 32; ++i)
        system.receive(noise);
    QVERIFY(bufferedBytes(system) <= 3);
    system.receive("RAI");
    system.receive(QByteArray("L\x00\x07\x00\x08\x00\x00\x00\x09", 9));
    QCOMPARE(records.count(), 1);
    QCOMPARE(records.at(0).at(0).value<std::vector<QVariant>>()[4].toInt(), 9);
}

void TestUsbTervaloMeasSystem::implausibleCounterIsRefusedAndARestartAnnounced()
{
    UsbTervaloMeasSystem system(noPort, nullptr);
    QStringList events;
    connect(&system, &MeasSystem::sigCounterRestarted, this, [&events] { events << QStringLiteral("restart"); });
    connect(&system, &MeasSystem::sigCurrentMeas, this, [&events](std::vector<QVariant> record) {
        events << QString::number(record[4].toInt());
    });

    // A bit error in the counter's upper bits between two plausible frames;
    // then the device starts counting from 0 again.
    system.receive(FrameBuilder::frame(1, 1, 50000) + FrameBuilder::frame(1, 1, 50001 + (1 << 23))
                   + FrameBuilder::frame(1, 1, 50002));
    system.receive(FrameBuilder::frame(1, 1, 0) + FrameBuilder::frame(1, 1, 1) + FrameBuilder::frame(1, 1, 2));

    QCOMPARE(events, QStringList({ "50000", "50002", "restart", "1", "2" }));
    QCOMPARE(system.refusedFrames(), qint64(2));
    const QStringList lines = runLogLines();
    QVERIFY(lines.contains(QStringLiteral("Отброшен кадр со счётчиком 8438609 после 50000, всего отброшено: 1")));
    QVERIFY(lines.contains(QStringLiteral("Отброшен кадр со счётчиком 0 после 50002, всего отброшено: 2")));
    QVERIFY(lines.contains(QStringLiteral("Счётчик тележки начат заново: 1 вместо 50002")));
}

void TestUsbTervaloMeasSystem::counterIsJudgedAtItsArrival_data()
{
    QTest::addColumn<QVector<QVector<qint32>>>("arrivals");  // counters of the frames of each arrival
    QTest::addColumn<QVector<qint32>>("records");

    // The test clock moves on by a second at every read.
    QTest::newRow("frames of one arrival share its moment, however long their receivers take")
            << QVector<QVector<qint32>> { { 0, 15000 } } << QVector<qint32> { 0 };
    QTest::newRow("the time between arrivals lets the trolley roll on")
            << QVector<QVector<qint32>> { { 0 }, { 15000 } } << QVector<qint32> { 0, 15000 };
}

void TestUsbTervaloMeasSystem::counterIsJudgedAtItsArrival()
{
    QFETCH(QVector<QVector<qint32>>, arrivals);
    QFETCH(QVector<qint32>, records);

    UsbTervaloMeasSystem system(noPort, nullptr);
    qint64 now = 0;
    system.m_clock = [&now] { return now += 1000; };
    QVector<qint32> got;
    connect(&system, &MeasSystem::sigCurrentMeas, this,
            [&got](std::vector<QVariant> record) { got << record[4].toInt(); });
    for (const QVector<qint32> &counters : arrivals) {
        QByteArray bytes;
        for (qint32 counter : counters)
            bytes += FrameBuilder::frame(1, 1, counter);
        system.receive(bytes);
    }
    QCOMPARE(got, records);
}

void TestUsbTervaloMeasSystem::failedOpenReturnsFalseQuietly()
{
    // A path below a regular file cannot be a device, whoever runs the test.
    QVERIFY(writeFile(QStringLiteral("plain"), {}));
    UsbTervaloMeasSystem system(m_folder->filePath(QStringLiteral("plain/tty")), nullptr);
    QVERIFY(!system.setActive(true));
    QVERIFY(!system.isOpen());
    QCOMPARE(runLogLines().filter(QStringLiteral("Send:")).size(), 0);
    QVERIFY(system.setActive(false));
}

#ifdef Q_OS_UNIX

void TestUsbTervaloMeasSystem::openSendsInitOnceAndRepeatsIt()
{
    PseudoTerminal device;
    QVERIFY2(device.open(), qPrintable(device.errorString()));
    UsbTervaloMeasSystem system(device.slavePath(), nullptr);
    QVERIFY(system.setActive(true));
    QVERIFY(system.setActive(true));
    QVERIFY(system.isOpen());
    QCOMPARE(runLogLines().count(sendLine), 1);

    // A second command would follow the first one, which a frame sent back
    // proves was read.
    QByteArray heard;
    auto hear = [&] { return heard += device.readAvailable(); };
    QTRY_COMPARE_WITH_TIMEOUT(hear(), QByteArray("INIT"), 10000);
    QSignalSpy records(&system, &MeasSystem::sigCurrentMeas);
    QVERIFY(records.isValid());
    QCOMPARE(device.write(FrameBuilder::frame(5, 6, 7)), qint64(12));
    QTRY_COMPARE_WITH_TIMEOUT(records.count(), 1, 10000);
    QCOMPARE(hear(), QByteArray("INIT"));

    QTRY_COMPARE_WITH_TIMEOUT(hear(), QByteArray("INITINIT"), 20000);
    QCOMPARE(runLogLines().count(sendLine), 2);
}

void TestUsbTervaloMeasSystem::deviceClosingItsEndIsOneLossAndTheLinkFallsSilent()
{
    PseudoTerminal device;
    QVERIFY2(device.open(), qPrintable(device.errorString()));
    const QString path = device.slavePath();
    UsbTervaloMeasSystem system(path, nullptr);
    QSignalSpy lost(&system, &MeasSystem::sigLinkLost);
    QSignalSpy records(&system, &MeasSystem::sigCurrentMeas);
    QVERIFY(lost.isValid() && records.isValid());
    QVERIFY(system.setActive(true));
    device.write(FrameBuilder::frame(1, 2, 3));
    QTRY_COMPARE_WITH_TIMEOUT(records.count(), 1, 10000);

    // Unplugged mid-stream: the port hangs up and its reads and writes fail.
    device.close();
    QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, 10000);
    QVERIFY(!system.isOpen());
    QVERIFY(!initTimerRuns(system));
    const QString lossPrefix = QStringLiteral("Связь с устройством потеряна: ") + path + QStringLiteral(" — ");
    QStringList lines = runLogLines();
    int loss = 0;
    while (loss < lines.size() && !lines[loss].startsWith(lossPrefix))
        ++loss;
    QVERIFY2(loss < lines.size(), qPrintable(lines.join(QLatin1Char('\n'))));

    // A due "INIT" is neither written nor logged, and the error loop of the
    // hung-up port does not bring the loss back.
    system.sendInit();
    QTest::qWait(200);
    QCOMPARE(lost.count(), 1);
    lines = runLogLines();
    QCOMPARE(lines.filter(lossPrefix).size(), 1);
    QCOMPARE(lines.mid(loss).filter(QStringLiteral("Send:")).size(), 0);
    QCOMPARE(runLogLines().count(sendLine), 1);
}

void TestUsbTervaloMeasSystem::framesOverPseudoTerminal_data()
{
    QTest::addColumn<QByteArrayList>("writes");
    QTest::addColumn<QVector<int>>("recordsAfter");
    QTest::addColumn<QVector<int>>("bufferedAfter");

    const QByteArray a = FrameBuilder::frame(-123, 2748, 1045);
    const QByteArray b = FrameBuilder::frame(10, 20, 30);
    QTest::newRow("split over two arrivals")
            << QByteArrayList { a.left(6), a.mid(6) } << QVector<int> { 0, 1 } << QVector<int> { 6, 0 };
    QTest::newRow("three frames in one arrival")
            << QByteArrayList { a + b + a } << QVector<int> { 3 } << QVector<int> { 0 };
    QTest::newRow("noise before header")
            << QByteArrayList { "\x13\x37noise" + b } << QVector<int> { 1 } << QVector<int> { 0 };
    QTest::newRow("header with fewer than 8 bytes after it")
            << QByteArrayList { b.left(10), b.mid(10) } << QVector<int> { 0, 1 } << QVector<int> { 10, 0 };
}

void TestUsbTervaloMeasSystem::framesOverPseudoTerminal()
{
    QFETCH(QByteArrayList, writes);
    QFETCH(QVector<int>, recordsAfter);
    QFETCH(QVector<int>, bufferedAfter);

    PseudoTerminal device;
    QVERIFY2(device.open(), qPrintable(device.errorString()));
    UsbTervaloMeasSystem system(device.slavePath(), nullptr);
    QSignalSpy records(&system, &MeasSystem::sigCurrentMeas);
    QSignalSpy data(&system, &MeasSystem::sigDataReceived);
    QVERIFY(records.isValid() && data.isValid());
    QVERIFY(system.setActive(true));

    for (int i = 0; i < writes.size(); ++i) {
        QCOMPARE(device.write(writes[i]), qint64(writes[i].size()));
        // Each write is read whole before the next one goes out.
        QTRY_VERIFY_WITH_TIMEOUT(records.count() == recordsAfter[i] && bufferedBytes(system) == bufferedAfter[i],
                                 10000);
    }
    QCOMPARE(data.count(), 1);
}

void TestUsbTervaloMeasSystem::reopenKeepsPartialFrame()
{
    PseudoTerminal device;
    QVERIFY2(device.open(), qPrintable(device.errorString()));
    UsbTervaloMeasSystem system(device.slavePath(), nullptr);
    QSignalSpy records(&system, &MeasSystem::sigCurrentMeas);
    QVERIFY(records.isValid());
    QVERIFY(system.setActive(true));

    const QByteArray frame = FrameBuilder::frame(-1, 1, 99);
    device.write(frame.left(8));
    QTRY_COMPARE_WITH_TIMEOUT(bufferedBytes(system), 8, 10000);
    QVERIFY(system.setActive(false));
    QVERIFY(!system.isOpen());
    QVERIFY(system.setActive(true));
    QCOMPARE(runLogLines().count(sendLine), 2);
    device.write(frame.mid(8));
    QTRY_COMPARE_WITH_TIMEOUT(records.count(), 1, 10000);
    QCOMPARE(records.at(0).at(0).value<std::vector<QVariant>>()[4].toInt(), 99);
}

#endif // Q_OS_UNIX

QTEST_GUILESS_MAIN(TestUsbTervaloMeasSystem)
#include "tst_usbtervalomeassystem.moc"
