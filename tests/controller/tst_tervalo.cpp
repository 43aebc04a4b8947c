#include "logger.h"
#include "meassystem.h"
#include "meassystemsfinder.h"
#include "tervalo.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

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
    void deliver(const std::vector<QVariant> &record)
    {
        m_meas = record;
        emit sigCurrentMeas(m_meas);
    }
    void arrive() { emit sigDataReceived(); }
    int activations = 0;
};

std::vector<QVariant> record(bool workV, double v, bool workH, double h, int s)
{
    return { QVariant(workV), QVariant(v), QVariant(workH), QVariant(h), QVariant(s) };
}

} // namespace

class TestTervalo : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startsWithZerosAndFalseFlags();
    void logOpensWithStartLines();
    void recordIsReadByPosition_data();
    void recordIsReadByPosition();
    void shortRecordIsIgnored();
    void dataArrivalFlipsOnEachSignal();
    void measKeepedIsReadAndCleared();
    void noDeviceLeavesControllerIdle();
    void adoptedSystemIsActivatedOnce();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_oldDir;
};

void TestTervalo::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_oldDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
}

void TestTervalo::cleanup()
{
    QDir::setCurrent(m_oldDir);
    m_dir.reset();
}

void TestTervalo::startsWithZerosAndFalseFlags()
{
    Tervalo c;
    QCOMPARE(c.currentV(), 0.0);
    QCOMPARE(c.currentH(), 0.0);
    QCOMPARE(c.currentS(), 0);
    QVERIFY(!c.dataReceived());
    QVERIFY(!c.measKeeped());
    QVERIFY(!c.workV());
    QVERIFY(!c.workH());
}

void TestTervalo::logOpensWithStartLines()
{
    {
        Tervalo c;
        QVERIFY(Logger::instance());
    }
    QFile file(QStringLiteral("tervalo.log"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QVERIFY(lines.size() >= 3);
    QTextCodec *codec = QTextCodec::codecForName("Windows-1251");
    QVERIFY(codec->toUnicode(lines[0]).startsWith(QStringLiteral("Начало записи ")));
    QCOMPARE(codec->toUnicode(lines[1]), QStringLiteral("Запуск программы Tervalo"));
}

void TestTervalo::recordIsReadByPosition_data()
{
    QTest::addColumn<bool>("workV");
    QTest::addColumn<double>("v");
    QTest::addColumn<bool>("workH");
    QTest::addColumn<double>("h");
    QTest::addColumn<int>("s");
    QTest::newRow("both sensors reading") << true << -1.23 << true << 327.67 << 256;
    QTest::newRow("no reading still updates the values") << false << 27.48 << false << 27.48 << -1;
    QTest::newRow("mixed flags") << true << -327.68 << false << 0.5 << 2147483647;
}

void TestTervalo::recordIsReadByPosition()
{
    QFETCH(bool, workV);
    QFETCH(double, v);
    QFETCH(bool, workH);
    QFETCH(double, h);
    QFETCH(int, s);
    Tervalo c;
    auto *system = new FakeMeasSystem(&c);
    c.adopt(system);
    system->deliver(record(workV, v, workH, h, s));
    QCOMPARE(c.workV(), workV);
    QCOMPARE(c.currentV(), v);
    QCOMPARE(c.workH(), workH);
    QCOMPARE(c.currentH(), h);
    QCOMPARE(c.currentS(), s);
}

void TestTervalo::shortRecordIsIgnored()
{
    Tervalo c;
    auto *system = new FakeMeasSystem(&c);
    c.adopt(system);
    system->deliver(record(true, 1.5, true, 2.5, 10));
    system->deliver({ QVariant(false), QVariant(9.0) });
    QCOMPARE(c.currentV(), 1.5);
    QCOMPARE(c.currentS(), 10);
    QVERIFY(c.workV());
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

void TestTervalo::measKeepedIsReadAndCleared()
{
    Tervalo c;
    c.saveMeasure(1, true, 1234.0f, 0.5f, -0.5f);
    QVERIFY(c.measKeeped());
    QVERIFY(!c.measKeeped());
}

void TestTervalo::noDeviceLeavesControllerIdle()
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
    QCOMPARE(c.currentS(), 0);
    QVERIFY(!c.dataReceived());
}

void TestTervalo::adoptedSystemIsActivatedOnce()
{
    Tervalo c;
    auto *system = new FakeMeasSystem(&c);
    c.adopt(system);
    QCOMPARE(system->activations, 1);
    QCOMPARE(c.activeMeasSystem(), system);
}

QTEST_GUILESS_MAIN(TestTervalo)
#include "tst_tervalo.moc"
