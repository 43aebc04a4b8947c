#include "exceedancefinder.h"
#include "protocolreader.h"

#include <QtTest>

// Stretches outside the limits and differences between runs, on crafted
// protocols whose every row is written out here.
class TestExceedanceFinder : public QObject
{
    Q_OBJECT

private slots:
    void findsStretches_data();
    void findsStretches();
    void summarisesEachPassedPicket();
    void comparesRunsByLinePosition_data();
    void comparesRunsByLinePosition();
};

namespace {

Protocol protocol(const QByteArray &rows)
{
    Protocol p;
    QString error;
    if (!ProtocolReader::parse(ProtocolReader::header() + '\n' + rows, QStringLiteral("test.csv"), &p, &error))
        qWarning() << error;
    return p;
}

QStringList describe(const Protocol &p, const std::vector<Stretch> &stretches)
{
    QStringList out;
    for (const Stretch &s : stretches)
        out << QStringLiteral("%1 %2…%3 %4 м %5 (%6) %7")
                   .arg(s.channel == Vertical ? "В" : "Г", positionText(p.rows[size_t(s.first)]),
                        positionText(p.rows[size_t(s.last)]))
                   .arg(s.length, 0, 'f', 2)
                   .arg(s.peak, 0, 'f', 3)
                   .arg(positionText(p.rows[size_t(s.peakRow)]))
                   .arg(s.rows());
    return out;
}

} // namespace

void TestExceedanceFinder::findsStretches_data()
{
    QTest::addColumn<QByteArray>("rows");
    QTest::addColumn<QPointF>("vertical");  // low, high
    QTest::addColumn<QStringList>("expected");

    const QPointF usual(-6, 6);
    QTest::newRow("a single row outside is a stretch, channels in the order of the run")
        << QByteArray("12+;3.00;1.000;8.500;\n12+;3.25;6.010;9.000;\n12+;3.50;1.000;0.000;\n") << usual
        << QStringList { "Г ПК 12 + 3.00…ПК 12 + 3.25 0.25 м 9.000 (ПК 12 + 3.25) 2",
                         "В ПК 12 + 3.25…ПК 12 + 3.25 0.00 м 6.010 (ПК 12 + 3.25) 1" };
    QTest::newRow("a value exactly at a limit is within tolerance")
        << QByteArray("12+;3.00;6.000;8.000;\n12+;3.25;-6.000;-8.000;\n") << usual << QStringList();
    QTest::newRow("a stretch runs on across a picket mark")
        << QByteArray("12+;99.50;7.000;0;\n12+;99.75;8.000;0;\n13+;0.00;7.500;0;\n13+;0.25;1.000;0;\n") << usual
        << QStringList { "В ПК 12 + 99.50…ПК 13 + 0.00 0.50 м 8.000 (ПК 12 + 99.75) 3" };
    QTest::newRow("a reverse run counts pickets down")
        << QByteArray("12-;99.50;-7.000;0;\n12-;99.75;-9.000;0;\n11-;0.00;-6.500;0;\n11-;0.25;0.000;0;\n") << usual
        << QStringList { "В ПК 12 - 99.50…ПК 11 - 0.00 0.50 м -9.000 (ПК 12 - 99.75) 3" };
    QTest::newRow("a row without reading splits a stretch")
        << QByteArray("12+;3.00;7.000;0;\n12+;3.25;;1.000;\n12+;3.50;7.500;0;\n") << usual
        << QStringList { "В ПК 12 + 3.00…ПК 12 + 3.00 0.00 м 7.000 (ПК 12 + 3.00) 1",
                         "В ПК 12 + 3.50…ПК 12 + 3.50 0.00 м 7.500 (ПК 12 + 3.50) 1" };
    QTest::newRow("a jump in the quarter grid splits a stretch")
        << QByteArray("12+;3.25;7.000;0;\n12+;4.00;7.000;0;\n") << usual
        << QStringList { "В ПК 12 + 3.25…ПК 12 + 3.25 0.00 м 7.000 (ПК 12 + 3.25) 1",
                         "В ПК 12 + 4.00…ПК 12 + 4.00 0.00 м 7.000 (ПК 12 + 4.00) 1" };
    QTest::newRow("one skipped quarter of the cadence is bridged")
        << QByteArray("12+;3.25;7.000;0;\n12+;3.75;7.200;0;\n") << usual
        << QStringList { "В ПК 12 + 3.25…ПК 12 + 3.75 0.50 м 7.200 (ПК 12 + 3.75) 2" };
    QTest::newRow("a run appended to the file starts over")
        << QByteArray("12+;0.00;7.000;0;\n12+;0.25;7.000;0;\n12+;0.00;7.000;0;\n") << usual
        << QStringList { "В ПК 12 + 0.00…ПК 12 + 0.25 0.25 м 7.000 (ПК 12 + 0.00) 2",
                         "В ПК 12 + 0.00…ПК 12 + 0.00 0.00 м 7.000 (ПК 12 + 0.00) 1" };
    QTest::newRow("a change of direction or a picket mark away from 0.00 splits")
        << QByteArray("12+;5.00;7.000;0;\n12-;5.25;7.000;0;\n12-;99.75;7.000;0;\n11-;0.25;7.000;0;\n") << usual
        << QStringList { "В ПК 12 + 5.00…ПК 12 + 5.00 0.00 м 7.000 (ПК 12 + 5.00) 1",
                         "В ПК 12 - 5.25…ПК 12 - 5.25 0.00 м 7.000 (ПК 12 - 5.25) 1",
                         "В ПК 12 - 99.75…ПК 12 - 99.75 0.00 м 7.000 (ПК 12 - 99.75) 1",
                         "В ПК 11 - 0.25…ПК 11 - 0.25 0.00 м 7.000 (ПК 11 - 0.25) 1" };
    QTest::newRow("the peak keeps its sign, the first of equal excesses wins, both sides make one stretch")
        << QByteArray("12+;1.00;7.000;0;\n12+;1.25;-7.500;0;\n12+;1.50;7.500;0;\n") << usual
        << QStringList { "В ПК 12 + 1.00…ПК 12 + 1.50 0.50 м -7.500 (ПК 12 + 1.25) 3" };
    QTest::newRow("a low limit above the high one leaves every reading outside")
        << QByteArray("12+;1.00;0.000;0;\n12+;1.25;1.000;0;\n12+;1.50;;0;\n12+;1.75;-2.000;0;\n") << QPointF(6, -6)
        << QStringList { "В ПК 12 + 1.00…ПК 12 + 1.25 0.25 м 1.000 (ПК 12 + 1.25) 2",
                         "В ПК 12 + 1.75…ПК 12 + 1.75 0.00 м -2.000 (ПК 12 + 1.75) 1" };
}

void TestExceedanceFinder::findsStretches()
{
    QFETCH(QByteArray, rows);
    QFETCH(QPointF, vertical);
    QFETCH(QStringList, expected);
    const Protocol p = protocol(rows);
    QVERIFY(!p.rows.empty());
    const Limits limits[channelCount] = { { vertical.x(), vertical.y() }, { -8, 8 } };
    const Track track = Track::build(p);
    QCOMPARE(describe(p, ExceedanceFinder::find(p, track, limits)), expected);
}

void TestExceedanceFinder::summarisesEachPassedPicket()
{
    // Picket 12 ends outside and 13 starts outside: one stretch, counted in
    // both; picket 13 has no horizontal reading; the appended second run over
    // picket 13 is a picket of its own.
    const Protocol p = protocol("12+;99.50;1.000;-2.000;\n12+;99.75;7.000;-9.000;\n13+;0.00;6.500;;\n"
                                "13+;0.25;-3.000;;\n13+;0.00;0.500;0.500;\n");
    const Limits limits[channelCount] = { { -6, 6 }, { -8, 8 } };
    const Track track = Track::build(p);
    const std::vector<PicketSummary> pickets
        = ExceedanceFinder::summarise(p, ExceedanceFinder::find(p, track, limits), limits);
    QStringList out;
    for (const PicketSummary &s : pickets) {
        QString line = QStringLiteral("%1%2 %3 строк").arg(s.picket).arg(s.forward ? '+' : '-').arg(s.rows);
        for (int c = 0; c < channelCount; ++c)
            line += QStringLiteral(" | %1 ").arg(s.exceedances[c])
                    + (s.worstRow[c] < 0 ? QStringLiteral("—") : QString::number(p.rows[size_t(s.worstRow[c])].value[c]));
        out << line;
    }
    QCOMPARE(out, QStringList({ "12+ 2 строк | 1 7 | 1 -9", "13+ 2 строк | 1 6.5 | 0 —", "13+ 1 строк | 0 0.5 | 0 0.5" }));
    QCOMPARE(track.gaps, 1);
    QCOMPARE(track.measuredLength, 0.75);
}

void TestExceedanceFinder::comparesRunsByLinePosition_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("other");
    QTest::addColumn<double>("tolerance");
    QTest::addColumn<int>("matched");
    QTest::addColumn<QStringList>("expected");

    // 12+;99.75 and 13-;0.25 are the same spot seen from the two directions.
    QTest::newRow("a reverse run lines up with a forward one across a picket mark")
        << QByteArray("12+;99.50;1.000;1.000;\n12+;99.75;1.000;1.000;\n13+;0.00;1.000;1.000;\n13+;0.25;1.000;1.000;\n")
        << QByteArray("14-;99.75;1.000;1.000;\n13-;0.00;1.000;1.000;\n13-;0.25;4.000;1.000;\n13-;0.50;1.000;-1.500;\n")
        << 2.0 << 4 << QStringList { "Г ПК 12 + 99.50…ПК 12 + 99.50 0.00 м 2.500 (ПК 12 + 99.50) 1",
                                     "В ПК 12 + 99.75…ПК 12 + 99.75 0.00 м -3.000 (ПК 12 + 99.75) 1" };
    QTest::newRow("a difference of exactly the tolerance is within it")
        << QByteArray("5+;1.00;5.300;0.000;\n5+;1.25;5.300;0.000;\n")
        << QByteArray("5+;1.00;4.300;1.000;\n5+;1.25;4.299;-1.001;\n") << 1.0 << 2
        << QStringList { "В ПК 5 + 1.25…ПК 5 + 1.25 0.00 м 1.001 (ПК 5 + 1.25) 1",
                         "Г ПК 5 + 1.25…ПК 5 + 1.25 0.00 м 1.001 (ПК 5 + 1.25) 1" };
    QTest::newRow("rows without counterpart or reading are not compared")
        << QByteArray("5+;1.00;9.000;0.000;\n5+;1.25;9.000;;\n5+;1.50;9.000;0.000;\n")
        << QByteArray("5+;1.25;0.000;9.000;\n5+;1.50;;9.000;\n") << 2.0 << 2
        << QStringList { "В ПК 5 + 1.25…ПК 5 + 1.25 0.00 м 9.000 (ПК 5 + 1.25) 1",
                         "Г ПК 5 + 1.50…ПК 5 + 1.50 0.00 м -9.000 (ПК 5 + 1.50) 1" };
    // The other run passed 5+1.25 twice (a second push appended); its first pass counts.
    QTest::newRow("a position the other run holds twice matches its first row")
        << QByteArray("5+;1.00;0.000;0.000;\n5+;1.25;0.000;0.000;\n")
        << QByteArray("5+;1.25;0.000;0.000;\n5+;1.00;9.000;0.000;\n5+;1.25;-9.000;9.000;\n") << 2.0 << 2
        << QStringList { "В ПК 5 + 1.00…ПК 5 + 1.00 0.00 м -9.000 (ПК 5 + 1.00) 1" };
}

void TestExceedanceFinder::comparesRunsByLinePosition()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, other);
    QFETCH(double, tolerance);
    QFETCH(int, matched);
    QFETCH(QStringList, expected);
    const Protocol a = protocol(first);
    const Protocol b = protocol(other);
    QVERIFY(!a.rows.empty() && !b.rows.empty());
    const Comparison c = ExceedanceFinder::compare(a, Track::build(a), b, tolerance);
    QCOMPARE(c.matched, matched);
    QCOMPARE(describe(a, c.differences), expected);
}

QTEST_GUILESS_MAIN(TestExceedanceFinder)
#include "tst_exceedancefinder.moc"
