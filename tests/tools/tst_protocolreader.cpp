#include "protocolreader.h"

#include "testfolder.h"

#include <QtTest>

// The reader takes what the program writes, empty fields included, and refuses
// anything else with the file and line named.
class TestProtocolReader : public QObject
{
    Q_OBJECT

private slots:
    void readsRowsAsTheProgramWritesThem();
    void refusesWhatIsNotAProtocol_data();
    void refusesWhatIsNotAProtocol();
};

namespace {
QByteArray header()
{
    return ProtocolReader::header() + '\n';
}
} // namespace

void TestProtocolReader::readsRowsAsTheProgramWritesThem()
{
    // Negative and reverse pickets, empty fields for a sensor without reading,
    // a CR left by an editor, blank lines at the end.
    const QByteArray bytes = header() + "12+;1234.50;5.250;-12.500;\n"
                                        "-1-;0.25;;3.000;\n"
                                        "0+;0.00;-0.001;;\r\n"
                                        "7-;99.75;;;\n\n\n";
    Protocol p;
    QString error;
    QVERIFY2(ProtocolReader::parse(bytes, QStringLiteral("night.csv"), &p, &error), qPrintable(error));
    QStringList rows;
    for (const ProtocolRow &r : p.rows) {
        rows << QStringLiteral("%1 %2 %3 %4")
                    .arg(positionText(r))
                    .arg(r.quarters)
                    .arg(r.hasValue[Vertical] ? QString::number(r.value[Vertical]) : QStringLiteral("—"))
                    .arg(r.hasValue[Horizontal] ? QString::number(r.value[Horizontal]) : QStringLiteral("—"));
    }
    QCOMPARE(rows, QStringList({ "ПК 12 + 1234.50 4938 5.25 -12.5", "ПК -1 - 0.25 1 — 3", "ПК 0 + 0.00 0 -0.001 —",
                                 "ПК 7 - 99.75 399 — —" }));

    // The same rows read from a file that ends without its last LF.
    TestFolder folder;
    QVERIFY(folder.isValid());
    QVERIFY(writeFile(folder.filePath("cut.csv"), bytes.left(bytes.indexOf("\n\n"))));
    QVERIFY2(ProtocolReader::read(folder.filePath("cut.csv"), &p, &error), qPrintable(error));
    QCOMPARE(p.rows.size(), size_t(4));
    QVERIFY(p.modified.isValid());
}

void TestProtocolReader::refusesWhatIsNotAProtocol_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");

    const QByteArray good = "12+;3.00;1.000;2.000;\n";
    QTest::newRow("an empty file") << QByteArray() << "p.csv:1: empty file";
    QTest::newRow("a header in UTF-8") << QStringLiteral("Пикет;Расстояние, м;Вертикаль, мм;Горизонталь, мм;\n").toUtf8()
                                       << "p.csv:1: not a protocol";
    QTest::newRow("a PDF") << QByteArray("%PDF-1.4\n%\xe2\xe3\n1 0 obj") << "p.csv:1: not a protocol";
    QTest::newRow("a row with three fields") << header() + good + "12+;3.25;1.000;\n" << "p.csv:3: 3 field(s)";
    QTest::newRow("a row with five fields") << header() + "12+;3.25;1.000;2.000;9;\n" << "p.csv:2: more than 4 fields";
    QTest::newRow("a row cut short") << header() + good + good + "12+;3.25;1.000;2.0" << "p.csv:4: 3 field(s)";
    QTest::newRow("a blank line between rows") << header() + good + "\n" + good << "p.csv:3: empty line";
    QTest::newRow("a picket without direction") << header() + "12;3.25;1.000;2.000;\n" << "p.csv:2: picket \"12\"";
    QTest::newRow("a fractional picket") << header() + "1.5+;3.25;1.000;2.000;\n" << "p.csv:2: picket \"1.5+\"";
    QTest::newRow("a distance with a decimal comma") << header() + "12+;3,25;1.000;2.000;\n"
                                                     << "p.csv:2: distance \"3,25\" is not a number";
    QTest::newRow("a negative distance") << header() + "12+;-3.25;1.000;2.000;\n" << "p.csv:2: distance \"-3.25\"";
    QTest::newRow("a distance off the quarter grid") << header() + "12+;3.30;1.000;2.000;\n"
                                                     << "p.csv:2: distance \"3.30\" is not a multiple of 0.25 m";
    QTest::newRow("a vertical value that is text") << header() + "12+;3.25;abc;2.000;\n"
                                                   << "p.csv:2: vertical value \"abc\"";
    QTest::newRow("a horizontal value with an exponent") << header() + "12+;3.25;1.000;1e3;\n"
                                                         << "p.csv:2: horizontal value \"1e3\"";
    QTest::newRow("a blank for an empty field") << header() + "12+;3.25; ;2.000;\n" << "p.csv:2: vertical value \" \"";
}

void TestProtocolReader::refusesWhatIsNotAProtocol()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    TestFolder folder;
    QVERIFY(folder.isValid());
    QVERIFY(writeFile(folder.filePath("p.csv"), bytes));
    Protocol p;
    QString error;
    QVERIFY(!ProtocolReader::read("p.csv", &p, &error));
    QVERIFY2(error.startsWith(message), qPrintable(error));
}

QTEST_GUILESS_MAIN(TestProtocolReader)
#include "tst_protocolreader.moc"
