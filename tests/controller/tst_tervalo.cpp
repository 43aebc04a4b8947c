#include "meassystem.h"
#include "meassystemsfinder.h"
#include "tervalo.h"
#include "testfolder.h"

#include <QtTest>

namespace {

// Stands in for the serial system: emits whatever record the test gives it.
class FakeMeasSystem : public MeasSystem
{
public:
    using MeasSystem::MeasSystem;
    bool setActive(bool on) override
    {
        activations += on ? 1 : 0;
        return true;
    }
    void deliver(const QVariantList &record)
    {
        m_meas.assign(record.begin(), record.end());
        emit sigCurrentMeas(m_meas);
    }
    void arrive() { emit sigDataReceived(); }
    int activations = 0;
};

} // namespace

class TestTervalo : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void withoutDeviceLogsStartAndStaysIdle();
    void adoptedSystemIsActivatedOnceAndReadByPosition_data();
    void adoptedSystemIsActivatedOnceAndReadByPosition();
    void dataArrivalFlipsOnEachSignal();

private:
    std::unique_ptr<TestFolder> m_folder;
};

void TestTervalo::init()
{
    m_folder = std::make_unique<TestFolder>();
    QVERIFY(m_folder->isValid());
}

void TestTervalo::cleanup()
{
    m_folder.reset();
}

void TestTervalo::withoutDeviceLogsStartAndStaysIdle()
{
    // No ports at all: neither the machine's own nor extra paths.
    MeasSystemsFinder::setSystemPortsListed(false);
    qunsetenv("TERVALO_EXTRA_PORTS");
    Tervalo c;
    QVERIFY(c.measSystemsFinder());
    // A search over no ports ends inside start() itself; the controller must
    // still hear of it and stay idle.
    QSignalSpy ready(c.measSystemsFinder(), &MeasSystemsFinder::Ready);
    QVERIFY(ready.isValid());
    c.start();
    QCOMPARE(ready.count(), 1);
    QCOMPARE(c.activeMeasSystem(), nullptr);
    QCOMPARE(c.currentV(), 0.0);
    QCOMPARE(c.currentH(), 0.0);
    QCOMPARE(c.currentS(), 0);
    QVERIFY(!c.dataReceived());
    QVERIFY(!c.measKeeped());
    QVERIFY(!c.workV());
    QVERIFY(!c.workH());

    const QStringList lines = runLogLines();
    QVERIFY(lines.size() >= 2);
    QVERIFY(lines[0].startsWith(QStringLiteral("Начало записи ")));
    QCOMPARE(lines[1], QStringLiteral("Запуск программы Tervalo"));
}

void TestTervalo::adoptedSystemIsActivatedOnceAndReadByPosition_data()
{
    QTest::addColumn<QVariantList>("record");
    QTest::addColumn<bool>("workV");
    QTest::addColumn<double>("v");
    QTest::addColumn<bool>("workH");
    QTest::addColumn<double>("h");
    QTest::addColumn<int>("s");
    QTest::newRow("both sensors reading") << QVariantList { true, -1.23, true, 327.67, 256 } << true << -1.23 << true
                                          << 327.67 << 256;
    QTest::newRow("no reading still updates the values")
            << QVariantList { false, 27.48, false, 27.48, -1 } << false << 27.48 << false << 27.48 << -1;
    QTest::newRow("mixed flags") << QVariantList { true, -327.68, false, 0.5, 2147483647 } << true << -327.68 << false
                                 << 0.5 << 2147483647;
    QTest::newRow("short record is ignored") << QVariantList { true, 1.0 } << false << 9.5 << false << 8.5 << 7;
}

void TestTervalo::adoptedSystemIsActivatedOnceAndReadByPosition()
{
    QFETCH(QVariantList, record);
    QFETCH(bool, workV);
    QFETCH(double, v);
    QFETCH(bool, workH);
    QFETCH(double, h);
    QFETCH(int, s);
    Tervalo c;
    auto *system = new FakeMeasSystem(&c);
    c.adopt(system);
    QCOMPARE(system->activations, 1);
    QCOMPARE(c.activeMeasSystem(), system);
    // After an earlier record, so that a value left alone shows.
    system->deliver({ false, 9.5, false, 8.5, 7 });
    system->deliver(record);
    QCOMPARE(c.workV(), workV);
    QCOMPARE(c.currentV(), v);
    QCOMPARE(c.workH(), workH);
    QCOMPARE(c.currentH(), h);
    QCOMPARE(c.currentS(), s);
}

void TestTervalo::dataArrivalFlipsOnEachSignal()
{
    Tervalo c;
    auto *system = new FakeMeasSystem(&c);
    c.adopt(system);
    system->arrive();
    QVERIFY(c.dataReceived());
    QVERIFY(c.dataReceived());  // reading does not change it
    system->arrive();
    system->arrive();           // an even number between two polls shows no change
    QVERIFY(c.dataReceived());
    system->arrive();
    QVERIFY(!c.dataReceived());
}

QTEST_GUILESS_MAIN(TestTervalo)
#include "tst_tervalo.moc"
