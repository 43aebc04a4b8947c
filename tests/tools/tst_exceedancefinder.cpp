#include "exceedancefinder.h"
#include "protocolreader.h"
#include "report.h"

#include <QtTest>

// Stretches outside the limits and differences between runs, on crafted
// protocols whose every row is written out here.
class TestExceedanceFinder : public QObject
{
    Q_OBJECT

private slots:
    void classifiesAtAndAroundEveryBoundary_data();
    void classifiesAtAndAroundEveryBoundary();
    void findsStretches_data();
    void findsStretches();
    void countsStretchesByTheNoiseRule_data();
    void countsStretchesByTheNoiseRule();
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

// A class other than "за допуском" and the edge mark are added at the end.
QStringList describe(const Protocol &p, const std::vector<Stretch> &stretches, bool marks = true,
                     const QString &prefix = QString())
{
    QStringList out;
    for (const Stretch &s : stretches) {
        QString line = prefix + QStringLiteral("%1 %2…%3 %4 м %5 (%6) %7")
                                    .arg(s.channel == Vertical ? "В" : "Г", positionText(p.rows[size_t(s.first)]),
                                         positionText(p.rows[size_t(s.last)]))
                                    .arg(s.length, 0, 'f', 2)
                                    .arg(s.peak, 0, 'f', 3)
                                    .arg(positionText(p.rows[size_t(s.peakRow)]))
                                    .arg(s.rows());
        if (marks && s.severity != Out)
            line += QLatin1Char(' ') + severityName(s.severity);
        if (marks && s.atEdge)
            line += QStringLiteral(" край");
        out << line;
    }
    return out;
}

} // namespace

void TestExceedanceFinder::classifiesAtAndAroundEveryBoundary_data()
{
    QTest::addColumn<QPointF>("tolerance");
    QTest::addColumn<double>("watch");
    QTest::addColumn<QPointF>("immediate");  // null: none given
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<QString>("classes");

    // On every boundary the milder class; a thousandth past it, the next.
    QTest::newRow("tolerance -6,6, watch 1, immediate -10,10")
        << QPointF(-6, 6) << 1.0 << QPointF(-10, 10)
        << QList<double> { 0, 4.999, 5, 5.001, 6, 6.001, 10, 10.001, -5, -5.001, -6, -6.001, -10, -10.001 }
        << "в допуске, в допуске, в допуске, наблюдение, наблюдение, за допуском, за допуском, срочно, "
           "в допуске, наблюдение, наблюдение, за допуском, за допуском, срочно";
    QTest::newRow("limits with decimals meet the readings exactly")
        << QPointF(-6.3, 6.3) << 0.1 << QPointF(-6.7, 6.7)
        << QList<double> { 6.2, 6.201, 6.3, 6.301, 6.7, 6.701, -6.2, -6.201 }
        << "в допуске, наблюдение, наблюдение, за допуском, за допуском, срочно, в допуске, наблюдение";
    QTest::newRow("without a wider pair and a watched margin")
        << QPointF(-6, 6) << 0.0 << QPointF() << QList<double> { 5.999, 6, 6.001, 500, -500 }
        << "в допуске, в допуске, за допуском, за допуском, за допуском";
}

void TestExceedanceFinder::classifiesAtAndAroundEveryBoundary()
{
    QFETCH(QPointF, tolerance);
    QFETCH(double, watch);
    QFETCH(QPointF, immediate);
    QFETCH(QList<double>, values);
    QFETCH(QString, classes);
    Limits l { tolerance.x(), tolerance.y(), watch, !immediate.isNull(), immediate.x(), immediate.y() };
    QStringList out;
    for (double v : values)
        out << severityName(l.classify(v));
    QCOMPARE(out.join(QStringLiteral(", ")), classes);
}

void TestExceedanceFinder::findsStretches_data()
{
    QTest::addColumn<QByteArray>("rows");
    QTest::addColumn<QPointF>("vertical");  // low, high
    QTest::addColumn<QStringList>("expected");

    const QPointF usual(-6, 6);
    QTest::newRow("a single row outside is a stretch, channels in the order of the run")
        << QByteArray("12+;3.00;1.000;8.500;\n12+;3.25;6.010;9.000;\n12+;3.50;1.000;0.000;\n") << usual
        << QStringList { "Г ПК 12 + 3.00…ПК 12 + 3.25 0.50 м 9.000 (ПК 12 + 3.25) 2 край",
                         "В ПК 12 + 3.25…ПК 12 + 3.25 0.25 м 6.010 (ПК 12 + 3.25) 1" };
    QTest::newRow("a value exactly at a limit is within tolerance")
        << QByteArray("12+;3.00;6.000;8.000;\n12+;3.25;-6.000;-8.000;\n") << usual << QStringList();
    QTest::newRow("a stretch runs on across a picket mark")
        << QByteArray("12+;99.50;7.000;0;\n12+;99.75;8.000;0;\n13+;0.00;7.500;0;\n13+;0.25;1.000;0;\n") << usual
        << QStringList { "В ПК 12 + 99.50…ПК 13 + 0.00 0.75 м 8.000 (ПК 12 + 99.75) 3 край" };
    QTest::newRow("a reverse run counts pickets down")
        << QByteArray("12-;99.50;-7.000;0;\n12-;99.75;-9.000;0;\n11-;0.00;-6.500;0;\n11-;0.25;0.000;0;\n") << usual
        << QStringList { "В ПК 12 - 99.50…ПК 11 - 0.00 0.75 м -9.000 (ПК 12 - 99.75) 3 край" };
    QTest::newRow("a row without reading splits a stretch")
        << QByteArray("12+;3.00;7.000;0;\n12+;3.25;;1.000;\n12+;3.50;7.500;0;\n") << usual
        << QStringList { "В ПК 12 + 3.00…ПК 12 + 3.00 0.25 м 7.000 (ПК 12 + 3.00) 1 край",
                         "В ПК 12 + 3.50…ПК 12 + 3.50 0.25 м 7.500 (ПК 12 + 3.50) 1 край" };
    QTest::newRow("a jump in the quarter grid splits a stretch")
        << QByteArray("12+;3.25;7.000;0;\n12+;4.00;7.000;0;\n") << usual
        << QStringList { "В ПК 12 + 3.25…ПК 12 + 3.25 0.25 м 7.000 (ПК 12 + 3.25) 1 край",
                         "В ПК 12 + 4.00…ПК 12 + 4.00 0.25 м 7.000 (ПК 12 + 4.00) 1 край" };
    QTest::newRow("one skipped quarter of the cadence is bridged and counted in the length")
        << QByteArray("12+;3.00;0.000;0;\n12+;3.25;7.000;0;\n12+;3.75;7.200;0;\n12+;4.00;0.000;0;\n") << usual
        << QStringList { "В ПК 12 + 3.25…ПК 12 + 3.75 0.75 м 7.200 (ПК 12 + 3.75) 2" };
    QTest::newRow("a run appended to the file starts over")
        << QByteArray("12+;0.00;7.000;0;\n12+;0.25;7.000;0;\n12+;0.00;7.000;0;\n") << usual
        << QStringList { "В ПК 12 + 0.00…ПК 12 + 0.25 0.50 м 7.000 (ПК 12 + 0.00) 2 край",
                         "В ПК 12 + 0.00…ПК 12 + 0.00 0.25 м 7.000 (ПК 12 + 0.00) 1 край" };
    QTest::newRow("a change of direction or a picket mark away from 0.00 splits")
        << QByteArray("12+;5.00;7.000;0;\n12-;5.25;7.000;0;\n12-;99.75;7.000;0;\n11-;0.25;7.000;0;\n") << usual
        << QStringList { "В ПК 12 + 5.00…ПК 12 + 5.00 0.25 м 7.000 (ПК 12 + 5.00) 1 край",
                         "В ПК 12 - 5.25…ПК 12 - 5.25 0.25 м 7.000 (ПК 12 - 5.25) 1 край",
                         "В ПК 12 - 99.75…ПК 12 - 99.75 0.25 м 7.000 (ПК 12 - 99.75) 1 край",
                         "В ПК 11 - 0.25…ПК 11 - 0.25 0.25 м 7.000 (ПК 11 - 0.25) 1 край" };
    QTest::newRow("the peak keeps its sign, the first of equal excesses wins, both sides make one stretch")
        << QByteArray("12+;1.00;7.000;0;\n12+;1.25;-7.500;0;\n12+;1.50;7.500;0;\n") << usual
        << QStringList { "В ПК 12 + 1.00…ПК 12 + 1.50 0.75 м -7.500 (ПК 12 + 1.25) 3 край" };
    QTest::newRow("a low limit above the high one leaves every reading outside")
        << QByteArray("12+;1.00;0.000;0;\n12+;1.25;1.000;0;\n12+;1.50;;0;\n12+;1.75;-2.000;0;\n") << QPointF(6, -6)
        << QStringList { "В ПК 12 + 1.00…ПК 12 + 1.25 0.50 м 1.000 (ПК 12 + 1.25) 2 край",
                         "В ПК 12 + 1.75…ПК 12 + 1.75 0.25 м -2.000 (ПК 12 + 1.75) 1 край" };
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

void TestExceedanceFinder::countsStretchesByTheNoiseRule_data()
{
    QTest::addColumn<int>("minRows");
    QTest::addColumn<bool>("immediate");  // -9,9 vertically
    QTest::addColumn<bool>("byPosition");
    QTest::addColumn<double>("watch");
    QTest::addColumn<QStringList>("expected");  // the list, then spikes, then the watched margin

    const QString spike = "выброс: В ПК 1 + 1.00…ПК 1 + 1.00 0.25 м 7.000 (ПК 1 + 1.00) 1 край";
    const QString early = "В ПК 1 + 1.50…ПК 1 + 1.75 0.50 м 9.500 (ПК 1 + 1.75) 2";
    const QString late = "В ПК 1 + 2.25…ПК 1 + 2.50 0.50 м 9.600 (ПК 1 + 2.50) 2";
    const QString watched = "В ПК 1 + 2.75…ПК 1 + 3.00 0.50 м 5.600 (ПК 1 + 3.00) 2 наблюдение";
    QTest::newRow("a single row beyond the limit is a spike, two rows count")
        << 2 << false << false << 1.0 << QStringList { early, late, spike, watched };
    QTest::newRow("one row beyond the wider pair is not enough for the class, two are, and come first")
        << 2 << true << false << 1.0 << QStringList { late + " срочно", early, spike, watched };
    QTest::newRow("sorted by position on request")
        << 2 << true << true << 1.0 << QStringList { early, late + " срочно", spike, watched };
    QTest::newRow("a rule of one row counts every row, and one row makes the class")
        << 1 << true << false << 0.0
        << QStringList { early + " срочно", late + " срочно",
                         "В ПК 1 + 1.00…ПК 1 + 1.00 0.25 м 7.000 (ПК 1 + 1.00) 1 край" };
}

void TestExceedanceFinder::countsStretchesByTheNoiseRule()
{
    QFETCH(int, minRows);
    QFETCH(bool, immediate);
    QFETCH(bool, byPosition);
    QFETCH(double, watch);
    QFETCH(QStringList, expected);
    ReportOptions options;
    options.minRows = minRows;
    options.sortByPosition = byPosition;
    options.limits[Vertical] = { -6, 6, watch, immediate, -9, 9 };
    const Report r = Report::build(protocol("1+;1.00;7.000;0;\n1+;1.25;0.000;0;\n1+;1.50;7.000;0;\n"
                                            "1+;1.75;9.500;0;\n1+;2.00;0.000;0;\n1+;2.25;9.500;0;\n"
                                            "1+;2.50;9.600;0;\n1+;2.75;5.500;0;\n1+;3.00;5.600;0;\n"
                                            "1+;3.25;0.000;0;\n"),
                                   options);
    QCOMPARE(describe(r.protocol, r.exceedances) + describe(r.protocol, r.spikes, true, "выброс: ")
                 + describe(r.protocol, r.watched),
             expected);
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
        = ExceedanceFinder::summarise(p, track, ExceedanceFinder::find(p, track, limits), {}, limits);
    QStringList out;
    for (const PicketSummary &s : pickets) {
        QString line = QStringLiteral("%1%2 %3 строк").arg(s.picket).arg(s.forward ? '+' : '-').arg(s.rows);
        for (int c = 0; c < channelCount; ++c)
            line += QStringLiteral(" | %1 %2 м ").arg(s.stretches[c][Out]).arg(s.lengthOut[c])
                    + (s.worstRow[c] < 0 ? QStringLiteral("—") : QString::number(p.rows[size_t(s.worstRow[c])].value[c]));
        out << line;
    }
    QCOMPARE(out, QStringList({ "12+ 2 строк | 1 0.25 м 7 | 1 0.25 м -9", "13+ 2 строк | 1 0.25 м 6.5 | 0 0 м —",
                                "13+ 1 строк | 0 0 м 0.5 | 0 0 м 0.5" }));
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
        << 2.0 << 4 << QStringList { "Г ПК 12 + 99.50…ПК 12 + 99.50 0.25 м 2.500 (ПК 12 + 99.50) 1",
                                     "В ПК 12 + 99.75…ПК 12 + 99.75 0.25 м -3.000 (ПК 12 + 99.75) 1" };
    QTest::newRow("a difference of exactly the tolerance is within it")
        << QByteArray("5+;1.00;5.300;0.000;\n5+;1.25;5.300;0.000;\n")
        << QByteArray("5+;1.00;4.300;1.000;\n5+;1.25;4.299;-1.001;\n") << 1.0 << 2
        << QStringList { "В ПК 5 + 1.25…ПК 5 + 1.25 0.25 м 1.001 (ПК 5 + 1.25) 1",
                         "Г ПК 5 + 1.25…ПК 5 + 1.25 0.25 м 1.001 (ПК 5 + 1.25) 1" };
    QTest::newRow("rows without counterpart or reading are not compared")
        << QByteArray("5+;1.00;9.000;0.000;\n5+;1.25;9.000;;\n5+;1.50;9.000;0.000;\n")
        << QByteArray("5+;1.25;0.000;9.000;\n5+;1.50;;9.000;\n") << 2.0 << 2
        << QStringList { "В ПК 5 + 1.25…ПК 5 + 1.25 0.25 м 9.000 (ПК 5 + 1.25) 1",
                         "Г ПК 5 + 1.50…ПК 5 + 1.50 0.25 м -9.000 (ПК 5 + 1.50) 1" };
    // The other run passed 5+1.25 twice (a second push appended); its first pass counts.
    QTest::newRow("a position the other run holds twice matches its first row")
        << QByteArray("5+;1.00;0.000;0.000;\n5+;1.25;0.000;0.000;\n")
        << QByteArray("5+;1.25;0.000;0.000;\n5+;1.00;9.000;0.000;\n5+;1.25;-9.000;9.000;\n") << 2.0 << 2
        << QStringList { "В ПК 5 + 1.00…ПК 5 + 1.00 0.25 м -9.000 (ПК 5 + 1.00) 1" };
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
    QCOMPARE(describe(a, c.differences, false), expected);
}

QTEST_GUILESS_MAIN(TestExceedanceFinder)
#include "tst_exceedancefinder.moc"
