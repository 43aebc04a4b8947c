#include "counterguard.h"

#include <QtTest>

// Which counters a trolley can have reached, frame after frame.
class TestCounterGuard : public QObject
{
    Q_OBJECT

private slots:
    void verdicts_data();
    void verdicts();
};

namespace {

struct Step
{
    qint32 counter;
    qint64 ms;
};

} // namespace

Q_DECLARE_METATYPE(QVector<Step>)

void TestCounterGuard::verdicts_data()
{
    QTest::addColumn<QVector<Step>>("steps");
    QTest::addColumn<QString>("expected");  // A accepted, R refused, S restarted

    QTest::newRow("a jump by millions between two plausible frames is refused")
            << QVector<Step> { { 1000, 0 }, { 5001000, 50 }, { 1002, 100 } } << "ARA";
    QTest::newRow("the first frame sets the reference, whatever it holds")
            << QVector<Step> { { 123456789, 0 }, { 123456790, 50 } } << "AA";
    QTest::newRow("two refused frames that agree are a counter started over")
            << QVector<Step> { { 50000, 0 }, { 3, 50 }, { 4, 100 }, { 5, 150 } } << "ARSA";
    QTest::newRow("two refused frames that disagree stay refused")
            << QVector<Step> { { 50000, 0 }, { 9000000, 50 }, { 3, 100 }, { 50002, 150 } } << "ARRA";
    QTest::newRow("a burst read at once after a stall is taken")
            << QVector<Step> { { 0, 0 }, { 1000, 0 }, { 2000, 0 }, { 3000, 0 } } << "AAAA";
    QTest::newRow("after a silence the trolley may have rolled on")
            << QVector<Step> { { 0, 0 }, { 30000, 2000 } } << "AA";
    QTest::newRow("but not further than it can roll in that time")
            << QVector<Step> { { 0, 0 }, { 50000, 2000 } } << "AR";
    QTest::newRow("frames refused in between leave their time to the next one")
            << QVector<Step> { { 0, 0 }, { 900000, 50 }, { 800000, 100 }, { 2100, 150 } } << "ARRA";
    // One frame period of 50 ms allows 100 + 20000 * 0.05 = 1100 steps.
    QTest::newRow("exactly the bound is taken") << QVector<Step> { { 0, 0 }, { 1100, 50 } } << "AA";
    QTest::newRow("one step past the bound is refused") << QVector<Step> { { 0, 0 }, { -1101, 50 } } << "AR";
    QTest::newRow("two refused frames exactly the bound apart are a restart")
            << QVector<Step> { { 0, 0 }, { 50000, 50 }, { 51100, 100 } } << "ARS";
    QTest::newRow("two refused frames one step more apart stay refused")
            << QVector<Step> { { 0, 0 }, { 50000, 50 }, { 48899, 100 } } << "ARR";
    QTest::newRow("backwards across the 32-bit wrap is a short way")
            << QVector<Step> { { -2147483600, 0 }, { 2147483600, 50 } } << "AA";
}

void TestCounterGuard::verdicts()
{
    QFETCH(QVector<Step>, steps);
    QFETCH(QString, expected);

    CounterGuard guard(50);
    QString got;
    for (const Step &step : steps) {
        switch (guard.check(step.counter, step.ms)) {
        case CounterGuard::Accepted: got += QLatin1Char('A'); break;
        case CounterGuard::Refused: got += QLatin1Char('R'); break;
        case CounterGuard::Restarted: got += QLatin1Char('S'); break;
        }
    }
    QCOMPARE(got, expected);
    QCOMPARE(guard.refusedCount(), qint64(expected.count(QLatin1Char('R'))));

    // Once reset, whatever comes next is the reference again.
    guard.reset();
    QCOMPARE(guard.check(steps.first().counter + 99999999, steps.last().ms + 50), CounterGuard::Accepted);
}

QTEST_GUILESS_MAIN(TestCounterGuard)
#include "tst_counterguard.moc"
