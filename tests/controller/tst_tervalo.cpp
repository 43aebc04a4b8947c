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
    const QVariantList getters { c.currentV(), c.currentH(), c.currentS(), c.dataReceived(), c.measKeeped(),
                                 c.workV(), c.workH() };
    QCOMPARE(getters, QVariantList({ 0.0, 0.0, 0, false, false, false, false }));

    const QStringList lines = runLogLines();
    QVERIFY(lines.size() >= 2);
    QVERIFY(lines[0].startsWith(QStringLiteral("Начало записи ")));
    QCOMPARE(lines[1], QStringLiteral("Запуск программы Tervalo"));
}

void TestTervalo::adoptedSystemIsActivatedOnceAndReadByPosition_data()
{
    QTest::addColumn<QVariantList>("record");
    QTest::newRow("both sensors reading") << QVariantList { true, -1.23, true, 327.67, 256 };
    QTest::newRow("no reading still updates the values") << QVariantList { false, 27.48, false, 27.48, -1 };
    QTest::newRow("mixed flags") << QVariantList { true, -327.68, false, 0.5, 2147483647 };
    QTest::newRow("short record is ignored") << QVariantList { true, 1.0 };
}

void TestTervalo::adoptedSystemIsActivatedOnceAndReadByPosition()
{
    QFETCH(QVariantList, record);
    Tervalo c;
    auto *system = new FakeMeasSystem(&c);
    c.adopt(system);
    QCOMPARE(system->activations, 1);
    QCOMPARE(c.activeMeasSystem(), system);
    // After an earlier record, so that a value left alone shows.
    const QVariantList earlier { false, 9.5, false, 8.5, 7 };
    system->deliver(earlier);
    system->deliver(record);
    const QVariantList shown { c.workV(), c.currentV(), c.workH(), c.currentH(), c.currentS() };
    QCOMPARE(shown, record.size() == 5 ? record : earlier);
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
