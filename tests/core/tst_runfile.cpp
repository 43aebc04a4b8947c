#include "runfile.h"

#include <QtTest>

class TestRunFile : public QObject
{
    Q_OBJECT

private slots:
    void roundTripKeepsEveryField();
    void readerTakesWhatItKnows_data();
    void readerTakesWhatItKnows();
    void pathAndDigest();
};

void TestRunFile::roundTripKeepsEveryField()
{
    RunInfo run;
    run.programName = QStringLiteral("tervalo");
    run.programVersion = QStringLiteral("1.2.3");
    run.line = QStringLiteral("Кольцевая");
    run.track = QStringLiteral("2");
    run.operatorName = QStringLiteral("Петров");
    run.trolley = QStringLiteral("Р-417 №7");
    run.calibrationValidUntil = QDate(2026, 12, 1);
    run.startPicket = -3;
    run.forward = false;
    run.started = QDateTime(QDate(2026, 12, 8), QTime(1, 2, 3), Qt::OffsetFromUTC, 3 * 3600);
    run.stopped = run.started.addSecs(3600);
    run.stepLength = 0.001;
    run.tolerancesKnown = true;
    run.vertical = { -6, 6.5 };
    run.horizontal = { -8, 8 };
    run.rows = 181;
    run.sha256 = RunFile::sha256Hex("x");
    run.marks.push_back({ -4, false, 37.254, QStringLiteral("defect"), QStringLiteral("скол"), run.started });

    RunInfo back;
    QString error;
    QVERIFY2(RunFile::fromJson(RunFile::toJson(run), &back, &error), qPrintable(error));
    QCOMPARE(back.programVersion, run.programVersion);
    QCOMPARE(back.line, run.line);
    QCOMPARE(back.operatorName, run.operatorName);
    QCOMPARE(back.trolley, run.trolley);
    QCOMPARE(back.calibrationValidUntil, run.calibrationValidUntil);
    QVERIFY(back.calibrationExpired());
    QCOMPARE(back.startPicket, -3);
    QCOMPARE(back.forward, false);
    QCOMPARE(back.started, run.started);
    QCOMPARE(back.started.offsetFromUtc(), 3 * 3600);
    QCOMPARE(back.stopped, run.stopped);
    QCOMPARE(back.stepLength, 0.001);
    QVERIFY(back.tolerancesKnown);
    QCOMPARE(back.vertical.high, 6.5);
    QCOMPARE(back.rows, 181);
    QCOMPARE(back.sha256, run.sha256);
    QCOMPARE(int(back.marks.size()), 1);
    QCOMPARE(back.marks[0].distance, 37.25);
    QCOMPARE(back.marks[0].kind, QStringLiteral("defect"));
    QCOMPARE(back.marks[0].note, QStringLiteral("скол"));
    QCOMPARE(back.marks[0].time, run.started);
    QVERIFY(RunFile::toJson(run).contains("\"calibrationValidUntil\": \"2026-12-01\""));
    QVERIFY(RunFile::toJson(run).contains("\"started\": \"2026-12-08T01:02:03+03:00\""));
}

void TestRunFile::readerTakesWhatItKnows_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("errorPart");
    QTest::newRow("unknown fields of a later version are ignored")
            << QByteArray(R"({"format":2,"line":"1","future":{"a":1},"marks":[{"kind":"joint","x":1}]})")
            << true << QString();
    QTest::newRow("null calibration date is none")
            << QByteArray(R"({"format":1,"calibrationValidUntil":null})") << true << QString();
    QTest::newRow("no format") << QByteArray(R"({"line":"1"})") << false << QStringLiteral("format");
    QTest::newRow("format 0") << QByteArray(R"({"format":0})") << false << QStringLiteral("format");
    QTest::newRow("not an object") << QByteArray("[1,2]") << false << QStringLiteral("объект");
    QTest::newRow("torn") << QByteArray(R"({"format":1,"line")") << false << QStringLiteral("JSON");
    QTest::newRow("rows as text") << QByteArray(R"({"format":1,"rows":"181"})") << false << QStringLiteral("rows");
    QTest::newRow("bad direction") << QByteArray(R"({"format":1,"direction":"up"})") << false
                                   << QStringLiteral("direction");
    QTest::newRow("bad date") << QByteArray(R"({"format":1,"calibrationValidUntil":"01.12.2026"})") << false
                              << QStringLiteral("calibrationValidUntil");
    QTest::newRow("mark without kind") << QByteArray(R"({"format":1,"marks":[{"picket":1}]})") << false
                                       << QStringLiteral("marks[0].kind");
    QTest::newRow("tolerance not a pair") << QByteArray(R"({"format":1,"tolerances":{"vertical":[1]}})") << false
                                          << QStringLiteral("tolerances.vertical");
}

void TestRunFile::readerTakesWhatItKnows()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, ok);
    QFETCH(QString, errorPart);
    RunInfo run;
    QString error;
    QCOMPARE(RunFile::fromJson(json, &run, &error), ok);
    QVERIFY2(error.contains(errorPart), qPrintable(error));
}

void TestRunFile::pathAndDigest()
{
    QCOMPARE(RunFile::pathFor(QStringLiteral("/tmp/a.b/night.csv")), QStringLiteral("/tmp/a.b/night.json"));
    QCOMPARE(RunFile::pathFor(QStringLiteral("C:/runs/night")), QStringLiteral("C:/runs/night.json"));
    QCOMPARE(RunFile::pathFor(QStringLiteral("night.2026.csv")), QStringLiteral("night.2026.json"));
    QCOMPARE(RunFile::besideProtocol(QStringLiteral("/tmp/a.b/night.csv"), QStringLiteral(".pdf")), QStringLiteral("/tmp/a.b/night.pdf"));
    QCOMPARE(RunFile::sha256Hex("abc"),
             QByteArray("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    QCOMPARE(RunFile::markKindText(QStringLiteral("rampStart")), QStringLiteral("начало отвода"));
}

QTEST_GUILESS_MAIN(TestRunFile)
#include "tst_runfile.moc"
